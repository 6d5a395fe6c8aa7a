// Running DDL on a connection the host hands over or names: one transaction,
// rolled back on the first failing statement.
#include <libpq-fe.h>
#include <sqlite3.h>

#include "postgresql/connection.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;
using detail::pgCommand;
using detail::wide;

diagnostic sqliteFailure(sqlite3* db, const char* code, const wchar_t* what) {
    return makeDiagnostic(eError, code, what, {}, {}, wide(sqlite3_errmsg(db)));
}

}  // namespace

diagnostics executeDdl(sqlite3* connection, const std::string& ddl) {
    diagnostics problems;
    if (!connection) {
        problems.push_back(makeDiagnostic(eError, "sql.exec.connection", L"no SQLite connection was given"));
        return problems;
    }
    if (!sqlite3_get_autocommit(connection)) {
        problems.push_back(makeDiagnostic(eError, "sql.exec.transaction", L"the connection is inside a transaction"));
        return problems;
    }
    if (sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        problems.push_back(sqliteFailure(connection, "sql.exec.begin", L"the transaction could not begin"));
        return problems;
    }
    if (sqlite3_exec(connection, ddl.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        problems.push_back(sqliteFailure(connection, "sql.exec.statement", L"the database refused a statement"));
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
        return problems;
    }
    if (sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        problems.push_back(sqliteFailure(connection, "sql.exec.commit", L"the transaction could not commit"));
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return problems;
}

diagnostics executeDdl(pg_conn* connection, const std::string& ddl) {
    diagnostics problems;
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        problems.push_back(makeDiagnostic(eError, "sql.exec.connection", L"no open PostgreSQL connection was given"));
        return problems;
    }
    if (PQtransactionStatus(connection) != PQTRANS_IDLE) {
        problems.push_back(makeDiagnostic(eError, "sql.exec.transaction", L"the connection is inside a transaction"));
        return problems;
    }
    if (!pgCommand(connection, "BEGIN", problems, "sql.exec.begin", L"the transaction could not begin")) return problems;
    if (!pgCommand(connection, ddl.c_str(), problems, "sql.exec.statement", L"the database refused a statement") ||
        !pgCommand(connection, "COMMIT", problems, "sql.exec.commit", L"the transaction could not commit")) {
        PGresult* result = PQexec(connection, "ROLLBACK");
        PQclear(result);
    }
    return problems;
}

diagnostics executeDdlOnSqliteFile(const std::string& path, const std::string& ddl) {
    sqlite3* db = nullptr;
    diagnostics problems;
    const std::string name = detail::sqliteFileName(path);
    if (detail::sqliteFileOpenable(name, problems)) {
        if (sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            problems.push_back(sqliteFailure(db, "sql.open", L"the SQLite database could not be opened"));
        } else {
            sqlite3_busy_timeout(db, 1000);
            problems = executeDdl(db, ddl);
        }
    }
    sqlite3_close(db);
    detail::stampSource(problems, 0, wide(path));
    return problems;
}

diagnostics executeDdlOnPostgresql(const std::string& conninfo, const std::string& ddl) {
    diagnostics problems;
    const detail::pgTarget target = detail::pgTargetOf(conninfo);
    PGconn* conn = detail::pgConnect(conninfo, 0, target, problems);
    if (conn) problems = executeDdl(conn, ddl);
    PQfinish(conn);
    return problems;
}

}  // namespace ky::metamodel::sql
