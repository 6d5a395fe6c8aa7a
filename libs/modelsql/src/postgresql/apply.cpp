// Applying a migration on PostgreSQL: its DDL is transactional, so one
// BEGIN ... COMMIT holds every step, and a statement refused, a connection
// lost or a server stopped leaves the database as it was (the server rolls
// back a transaction whose session ends). The reflections inside it see the
// transaction's own changes. A session that may not write (a read-only
// default, a standby) is refused before BEGIN.
#include <libpq-fe.h>

#include <cstring>
#include <string>

#include "migration_apply.h"
#include "postgresql/connection.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;
using detail::pgMessage;

class pgSession final : public detail::applySession {
public:
    explicit pgSession(PGconn* conn) : mConn(conn) {}

    eDialect dialect() const override { return ePostgresql; }

    bool usable(diagnostics& problems) override {
        if (!mConn || PQstatus(mConn) != CONNECTION_OK)
            return refuse(problems, "sql.apply.connection", L"no open PostgreSQL connection was given");
        if (PQtransactionStatus(mConn) != PQTRANS_IDLE)
            return refuse(problems, "sql.apply.transaction", L"the connection is inside a transaction");
        PGresult* result = PQexec(mConn, "SELECT pg_catalog.current_setting('transaction_read_only'), "
                                         "pg_catalog.pg_is_in_recovery()");
        const bool read = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
        const bool readOnly = read && (std::strcmp(PQgetvalue(result, 0, 0), "on") == 0 ||
                                       std::strcmp(PQgetvalue(result, 0, 1), "t") == 0);
        if (!read)
            problems.push_back(makeDiagnostic(eError, "sql.apply.connection", L"the session could not be asked",
                                              {}, {}, pgMessage(mConn, result)));
        PQclear(result);
        if (readOnly) return refuse(problems, "sql.apply.read-only", L"the database may not be written: nothing is run");
        return read;
    }

    bool begin(diagnostics& problems) override {
        return detail::pgCommand(mConn, "BEGIN", problems, "sql.apply.begin", L"the transaction could not begin");
    }

    bool run(const std::string& statement, const ky::string& what, const ky::string& element,
             diagnostics& problems) override {
        PGresult* result = PQexec(mConn, statement.c_str());
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok)
            problems.push_back(makeDiagnostic(eError, "sql.apply.statement",
                                              L"the database refused a statement of '" + what + L"': rolled back",
                                              element, {}, pgMessage(mConn, result)));
        PQclear(result);
        return ok;
    }

    reflectResult reflect(const reflectOptions& options) override {
        return detail::reflectPostgresqlInside(mConn, options);
    }

    bool check(diagnostics&) override { return true; }

    // COMMIT of a transaction that failed answers success with the tag
    // ROLLBACK: the tag tells.
    bool commit(diagnostics& problems) override {
        PGresult* result = PQexec(mConn, "COMMIT");
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK && std::strcmp(PQcmdStatus(result), "COMMIT") == 0;
        if (!ok)
            problems.push_back(makeDiagnostic(eError, "sql.apply.commit", L"the transaction could not commit", {}, {},
                                              pgMessage(mConn, result)));
        PQclear(result);
        return ok;
    }

    void rollback() override {
        if (PQtransactionStatus(mConn) == PQTRANS_IDLE) return;
        PGresult* result = PQexec(mConn, "ROLLBACK");
        PQclear(result);
    }

    bool lost() const override { return PQstatus(mConn) != CONNECTION_OK; }

private:
    static bool refuse(diagnostics& problems, const char* code, const wchar_t* what) {
        problems.push_back(makeDiagnostic(eError, code, what));
        return false;
    }

    PGconn* mConn;  // the host's connection
};

}  // namespace

diagnostics applyMigration(pg_conn* connection, const migration& steps, const applyOptions& options) {
    pgSession session(connection);
    return detail::applyThrough(session, steps, options);
}

}  // namespace ky::metamodel::sql
