// A migration as kymdl diff and apply print it: the plan as text (one line
// a step, destructive steps marked) or as JSON.
#pragma once

#include <kymdlsql.h>

#include <string>

namespace kymdl {

/// One line a step: "  add column users.email (...)", a destructive step
/// marked "! ... (destructive)"; empty for an empty migration.
std::string planText(const ky::metamodel::sql::migration& plan);

/// The migration as a JSON object: the dialect, whether it is destructive,
/// whether SQLite's foreign keys go off around it, and the steps with their
/// kind, element, description, destructive flag and statements.
std::string planJson(const ky::metamodel::sql::migration& plan, ky::metamodel::sql::eDialect dialect);

}  // namespace kymdl
