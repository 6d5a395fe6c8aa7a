// What the PostgreSQL parts of the SQL library share: the name a connection
// goes by in messages, libpq's messages made fit for a diagnostic, and
// connecting with a timeout.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

// A connection string as messages may show it: the text with each password
// replaced by ****, and the passwords themselves (as written and decoded),
// which are cut from whatever libpq says about the string.
struct pgTarget {
    std::string displayName;
    std::vector<std::string> secrets;
};

// The display name and the passwords of a libpq URI or keyword/value string.
pgTarget pgTargetOf(const std::string& conninfo);

// What libpq says about a failed command (or, without a result, about the
// connection): one line, without the passwords of `secrets`, the
// connection's own and PGPASSWORD's.
ky::string pgMessage(PGconn* conn, const PGresult* result, const std::vector<std::string>& secrets = {});

// Connects with `conninfo`, waiting at most `timeoutS` seconds (0: as long
// as libpq waits); null with an sql.connect diagnostic named after the
// target when that fails.
PGconn* pgConnect(const std::string& conninfo, int timeoutS, const pgTarget& target, diagnostics& problems);

// Runs a command that answers no rows; false with a diagnostic of `code`
// when the server refuses it.
bool pgCommand(PGconn* conn, const char* sql, diagnostics& problems, const char* code, const wchar_t* what);

}  // namespace ky::metamodel::sql::detail
