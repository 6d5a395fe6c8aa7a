// Applying a migration on PostgreSQL: its DDL is transactional, so one
// BEGIN ... COMMIT holds every step, and a statement refused, a connection
// lost or a server stopped leaves the database as it was (the server rolls
// back a transaction whose session ends). The reflections inside it see the
// transaction's own changes. A session that may not write (a read-only
// default, a standby) is refused before BEGIN.
#include <libpq-fe.h>

#include <algorithm>
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
    pgSession(PGconn* conn, const migration& steps, int timeoutS) : mConn(conn), mSteps(steps), mTimeoutS(timeoutS) {}

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
        return read && privileged(problems);
    }

    // The timeouts hold for the transaction alone (set_config's is_local):
    // COMMIT or ROLLBACK gives the session its own settings back.
    bool begin(diagnostics& problems) override {
        if (!detail::pgCommand(mConn, "BEGIN", problems, "sql.apply.begin", L"the transaction could not begin"))
            return false;
        if (mTimeoutS <= 0) return true;
        const std::string ms = std::to_string(std::min(mTimeoutS * 1000LL, 2147483647LL));
        const char* params[1] = {ms.c_str()};
        PGresult* result = PQexecParams(mConn,
                                        "SELECT pg_catalog.set_config('statement_timeout', $1, true), "
                                        "pg_catalog.set_config('lock_timeout', $1, true)",
                                        1, nullptr, params, nullptr, nullptr, 0);
        const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
        if (!ok)
            problems.push_back(makeDiagnostic(eError, "sql.apply.begin", L"the timeouts of the transaction could not be set",
                                              {}, {}, pgMessage(mConn, result)));
        PQclear(result);
        return ok;
    }

    bool run(const std::string& statement, const ky::string& what, const ky::string& element,
             diagnostics& problems) override {
        PGresult* result = PQexec(mConn, statement.c_str());
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        const char* state = ok ? nullptr : PQresultErrorField(result, PG_DIAG_SQLSTATE);
        const bool timedOut = state && (std::strcmp(state, "57014") == 0 || std::strcmp(state, "55P03") == 0);
        if (timedOut)
            problems.push_back(makeDiagnostic(eError, "sql.timeout",
                                              L"a statement of '" + what + L"' or its wait for a lock took longer than " +
                                                  std::to_wstring(mTimeoutS) + L" s: rolled back",
                                              element, {}, pgMessage(mConn, result)));
        else if (!ok)
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
    // Whether the role may make what the steps make and change what they
    // change: ownership of each table or view a step names that exists
    // (PostgreSQL lets only an owner alter or drop one) and of each schema
    // dropped, CREATE on the schema of each new table, view or type (the
    // schema its element names, else the current one; none made by the
    // migration itself), CREATE on the database when a schema is made.
    bool privileged(diagnostics& problems) {
        std::string changed, created, madeSchemas, droppedSchemas;
        const auto add = [](std::string& list, const ky::string& element) {
            list += (list.empty() ? "" : "\x1f") + element.toUtf8();
        };
        for (const migrationStep& step : mSteps.steps) {
            if (step.element.empty()) continue;
            if (step.kind == eStepCreateSchema) add(madeSchemas, step.element);
            else if (step.kind == eStepDropSchema) add(droppedSchemas, step.element);
            else add(changed, step.element);
            if (step.kind == eStepCreateTable || step.kind == eStepCreateView || step.kind == eStepCreateObject)
                add(created, step.element);
        }
        const char* params[4] = {changed.c_str(), created.c_str(), madeSchemas.c_str(), droppedSchemas.c_str()};
        // Each element read as schema.table[.part] or table[.part] (in the
        // current schema). The session's search path may put an owner's
        // operators before pg_catalog's, so every operator is qualified.
        PGresult* result = PQexecParams(
            mConn,
            "WITH e AS (SELECT pg_catalog.string_to_array(x, '.') AS p FROM "
            "  pg_catalog.unnest(pg_catalog.string_to_array($1, pg_catalog.chr(31))) AS x), "
            "made AS (SELECT pg_catalog.unnest(pg_catalog.string_to_array($3, pg_catalog.chr(31))) AS nspname), "
            "r AS (SELECT DISTINCT n.nspname, c.relname, c.relowner FROM e, pg_catalog.pg_class c "
            "  JOIN pg_catalog.pg_namespace n ON n.oid OPERATOR(pg_catalog.=) c.relnamespace "
            "  WHERE c.relkind OPERATOR(pg_catalog.=) ANY (ARRAY['r', 'p', 'v', 'm', 'f']::pg_catalog.\"char\"[]) "
            "  AND ((n.nspname OPERATOR(pg_catalog.=) e.p[1] AND c.relname OPERATOR(pg_catalog.=) e.p[2]) "
            "    OR (c.relname OPERATOR(pg_catalog.=) e.p[1] "
            "        AND n.nspname OPERATOR(pg_catalog.=) pg_catalog.current_schema()))), "
            "s AS (SELECT DISTINCT CASE WHEN pg_catalog.cardinality(p) OPERATOR(pg_catalog.>) 1 "
            "    AND (p[1] OPERATOR(pg_catalog.=) ANY (SELECT nspname FROM made) OR "
            "    EXISTS (SELECT FROM pg_catalog.pg_namespace n WHERE n.nspname OPERATOR(pg_catalog.=) p[1])) THEN p[1] "
            "    ELSE pg_catalog.current_schema()::pg_catalog.text END AS nspname "
            "  FROM pg_catalog.unnest(pg_catalog.string_to_array($2, pg_catalog.chr(31))) AS x, "
            "  pg_catalog.string_to_array(x, '.') AS p) "
            "SELECT 'table', pg_catalog.concat_ws('.', nspname, relname) FROM r "
            "  WHERE NOT pg_catalog.pg_has_role(relowner, 'USAGE') "
            "UNION ALL SELECT 'schema', s.nspname FROM s "
            "  JOIN pg_catalog.pg_namespace n ON n.nspname OPERATOR(pg_catalog.=) s.nspname "
            "  WHERE NOT (s.nspname OPERATOR(pg_catalog.=) ANY (SELECT nspname FROM made)) "
            "  AND NOT pg_catalog.has_schema_privilege(n.oid, 'CREATE') "
            "UNION ALL SELECT 'owner', n.nspname::pg_catalog.text FROM pg_catalog.pg_namespace n "
            "  WHERE n.nspname OPERATOR(pg_catalog.=) ANY (pg_catalog.string_to_array($4, pg_catalog.chr(31))) "
            "  AND NOT pg_catalog.pg_has_role(n.nspowner, 'USAGE') "
            "UNION ALL SELECT 'database', pg_catalog.current_database()::pg_catalog.text "
            "  WHERE $3::pg_catalog.text OPERATOR(pg_catalog.<>) '' "
            "  AND NOT pg_catalog.has_database_privilege(pg_catalog.current_database(), 'CREATE') "
            "ORDER BY 1, 2 LIMIT 10",
            4, nullptr, params, nullptr, nullptr, 0);
        const bool read = PQresultStatus(result) == PGRES_TUPLES_OK;
        if (!read)
            problems.push_back(makeDiagnostic(eError, "sql.apply.connection", L"the role's privileges could not be asked",
                                              {}, {}, pgMessage(mConn, result)));
        for (int row = 0; read && row < PQntuples(result); ++row) {
            const std::string kind = PQgetvalue(result, row, 0);
            const ky::string name = detail::wide(PQgetvalue(result, row, 1));
            problems.push_back(makeDiagnostic(
                eError, "sql.apply.privilege",
                kind == "table"    ? L"the role does not own " + name + L", which the migration changes: nothing is run"
                : kind == "schema" ? L"the role may not create in the schema " + name + L": nothing is run"
                : kind == "owner"  ? L"the role does not own the schema " + name + L", which the migration drops: nothing is run"
                                   : L"the role may not create schemas in the database " + name + L": nothing is run",
                kind == "table" ? name : ky::string()));
            problems.back().element = name;
        }
        const bool allowed = read && PQntuples(result) == 0;
        PQclear(result);
        return allowed;
    }

    static bool refuse(diagnostics& problems, const char* code, const wchar_t* what) {
        problems.push_back(makeDiagnostic(eError, code, what));
        return false;
    }

    PGconn* mConn;            // the host's connection
    const migration& mSteps;  // what the migration runs
    int mTimeoutS;            // applyOptions::timeoutS
};

}  // namespace

diagnostics applyMigration(pg_conn* connection, const migration& steps, const applyOptions& options) {
    pgSession session(connection, steps, options.timeoutS);
    return detail::applyThrough(session, steps, options);
}

}  // namespace ky::metamodel::sql
