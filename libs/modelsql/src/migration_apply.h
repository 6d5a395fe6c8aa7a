// What applying a migration needs of a connection, whatever its dialect:
// a transaction, statements run one by one, a reflection inside that
// transaction, the dialect's last check before COMMIT. The driver
// (migration_apply.cpp) holds the order and the refusals; each dialect's
// folder holds its session (sqlite/apply.cpp, postgresql/apply.cpp).
#pragma once

#include <string>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

// One connection's part of an apply. Every member appends what went wrong
// to `problems` and answers false then.
class applySession {
public:
    virtual ~applySession() = default;
    // The dialect the session runs.
    virtual eDialect dialect() const = 0;
    // Whether the connection may run the migration at all: open, outside a
    // transaction, allowed to write. Runs nothing that changes the database.
    virtual bool usable(diagnostics& problems) = 0;
    // Begins the one transaction of the migration.
    virtual bool begin(diagnostics& problems) = 0;
    // Runs one statement inside the transaction; `what` names it.
    virtual bool run(const std::string& statement, const ky::string& what, const ky::string& element,
                     diagnostics& problems) = 0;
    // The database's model as the transaction sees it now, leaving the
    // transaction as it was.
    virtual reflectResult reflect(const reflectOptions& options) = 0;
    // The dialect's checks before COMMIT (SQLite: the foreign keys).
    virtual bool check(diagnostics& problems) = 0;
    // Ends the transaction.
    virtual bool commit(diagnostics& problems) = 0;
    // Ends the transaction undone; never fails where the database can tell.
    virtual void rollback() = 0;
    // Whether the connection was lost (the server rolls back on its own).
    virtual bool lost() const = 0;
};

// Runs `steps` through `session`: refusals first, then the one transaction
// with the reflections the options ask for.
diagnostics applyThrough(applySession& session, const migration& steps, const applyOptions& options);

}  // namespace ky::metamodel::sql::detail
