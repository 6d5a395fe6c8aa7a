// Reflection of a PostgreSQL database: a fixed set of catalogue queries,
// one per kind of object (schemas, relations, columns, types, constraints,
// indexes, sequences, functions, dependencies, triggers, the rest), each
// over every schema read at once, in one read-only transaction, whatever
// the number of tables. The schemas read are chosen first; every later
// query takes their oids as its one parameter ($1, an oid[]). What a query
// answers is kept in the reader (reader.h) and put in place at the end
// (finish in reflect_tables.cpp): partitions become statements of their
// root table, columns get what their types and sequences need before them,
// and whatever the schemas hold that no table needs is named by a warning.
//
// The database may belong to someone other than the user reflecting it, and
// its owner can set the search path every session starts with
// (ALTER DATABASE ... SET search_path) and put operators, types and casts of
// its own there, before pg_catalog: an unqualified `=`, `IN`, `::text` would
// then call the owner's functions with the reflecting user's rights. So the
// queries name every relation, function, operator and type with its schema
// (`OPERATOR(pg_catalog.=)`, `pg_catalog.text`), and the transaction first
// empties the search path, as pg_dump does; `IN (...)` is written out as
// comparisons. ORDER BY sorts oids and numbers only, through the types'
// default operator classes, which only a superuser can make. The texts read
// back (pg_get_expr, pg_get_constraintdef, pg_get_indexdef, pg_get_viewdef,
// pg_get_functiondef, pg_get_triggerdef) are the server's own deparsing, which
// runs none of the owner's code, and under the empty search path they name
// every object with its schema. The same transaction pins the settings that
// change how the server prints the values read back (dates, floats, bytea)
// and bounds every wait with statement and lock timeouts. All of it is SET
// LOCAL: a host's connection is left as it was.
#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "postgresql/reader.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;
using detail::pgMessage;
using detail::reader;
using detail::wide;

// The settings of the read, local to its transaction; $1 is the timeout in
// milliseconds.
constexpr const char* settingsQuery =
    "SELECT pg_catalog.set_config('search_path', '', true), "
    "  pg_catalog.set_config('statement_timeout', $1, true), pg_catalog.set_config('lock_timeout', $1, true), "
    "  pg_catalog.set_config('DateStyle', 'ISO', true), pg_catalog.set_config('extra_float_digits', '3', true), "
    "  pg_catalog.set_config('bytea_output', 'hex', true)";

// The code of a failed query: a wait ended by the statement or lock
// timeout is told apart from every other refusal.
const char* failureCode(const PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    return code == "57014" || code == "55P03" ? "sql.timeout" : "sql.query";
}

bool pinSettings(reader& r) {
    // The server takes at most INT_MAX milliseconds.
    const long long timeoutMs = std::min(std::max(r.options.queryTimeoutS, 0) * 1000LL, 2147483647LL);
    const std::string timeout = std::to_string(timeoutMs);
    return detail::eachRow(r, settingsQuery, timeout.c_str(), L"the settings of the read could not be made",
                           [](reader&, PGresult*, int) {});
}

bool readAll(reader& r) {
    using namespace detail;
    return pinSettings(r) && readSchemas(r) && readRelations(r) && readEnums(r) && readTypes(r) &&
           readDomainChecks(r) && readColumns(r) && readConstraints(r) && readDefaultOpclasses(r) && readIndexes(r) &&
           readSequences(r) && readFunctions(r) && readNeeds(r) && readTriggers(r) && readOthers(r);
}

// A host's connection as messages name it: what libpq says it reached.
std::string nameOf(PGconn* conn) {
    std::string text;
    for (const auto& [keyword, part] : {std::pair{"user", PQuser(conn)}, {"dbname", PQdb(conn)},
                                        {"host", PQhost(conn)}, {"port", PQport(conn)}})
        if (part && *part) text += std::string(text.empty() ? "" : " ") + keyword + "=" + part;
    return connectionDisplayName(text);
}

// Reads the catalogue between the commands `open` and `close` and builds
// the model, naming every diagnostic `source`.
void readBetween(PGconn* connection, const char* open, const char* close, const reflectOptions& options,
                 const ky::string& source, reflectResult& result) {
    reader r{connection, options, result.problems};
    r.serverVersion = PQserverVersion(connection);
    bool read = detail::pgCommand(connection, open, result.problems, "sql.transaction",
                                  L"the read transaction could not begin");
    if (read) {
        read = readAll(r);
        PGresult* end = PQexec(connection, close);
        PQclear(end);
    }
    if (read) detail::finish(r);
    detail::stampSource(result.problems, 0, source);
    if (read && !hasErrors(result.problems)) detail::buildModel(r.cat, options, ePostgresql, source, result);
}

// Reflects through `connection`, naming every diagnostic `source`.
reflectResult reflectNamed(PGconn* connection, const reflectOptions& options, const ky::string& source) {
    reflectResult result;
    if (PQtransactionStatus(connection) != PQTRANS_IDLE) {
        result.problems.push_back(makeDiagnostic(eError, "sql.transaction", L"the connection is inside a transaction"));
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    // Repeatable read: the queries see one snapshot of the catalogue, also
    // while another session changes the schema; read only: nothing is written.
    readBetween(connection, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", "ROLLBACK", options, source, result);
    return result;
}

}  // namespace

namespace detail {

std::string value(PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column)));
}

bool eachRow(reader& r, const std::string& sql, const char* param, const wchar_t* what,
             void (*row)(reader&, PGresult*, int)) {
    const char* params[1] = {param};
    PGresult* result = PQexecParams(r.conn, sql.c_str(), param ? 1 : 0, nullptr, params, nullptr, nullptr, 0);
    if (!result || PQresultStatus(result) != PGRES_TUPLES_OK) {
        r.problems.push_back(makeDiagnostic(eError, failureCode(result), what, {}, {}, pgMessage(r.conn, result)));
        PQclear(result);
        return false;
    }
    const int rows = PQntuples(result);
    for (int i = 0; i < rows; ++i) row(r, result, i);
    PQclear(result);
    return true;
}

bool eachRow(reader& r, const std::string& sql, const wchar_t* what, void (*row)(reader&, PGresult*, int)) {
    return eachRow(r, sql, r.namespaces.c_str(), what, row);
}

std::vector<long> numbersOf(const std::string& text) {
    std::vector<long> out;
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end != p) {
            out.push_back(n);
            p = end;
        } else {
            ++p;
        }
    }
    return out;
}

std::string quoted(const std::string& name) { return quoteIdentifier(wide(name), ePostgresql); }

std::string qualified(const std::string& schema, const std::string& name) {
    return quoted(schema) + "." + quoted(name);
}

std::string extensionStatement(const std::string& name, const std::string& schema) {
    return "CREATE EXTENSION IF NOT EXISTS " + quoted(name) + " WITH SCHEMA " + quoted(schema) + ";";
}

void addBefore(reader& r, pgRelation& rel, const std::string& statement) {
    if (rel.beforeSeen.insert(statement).second) tableOf(r, rel).before.push_back(wide(statement));
}

void notCarried(reader& r, const std::string& what, const std::string& table, const char* why) {
    r.problems.push_back(makeDiagnostic(eWarning, "sql.reflect.not-carried",
                                        wide(what) + L" is not carried by the model" + (why ? L": " + wide(why) : L""),
                                        wide(table)));
}

// The savepoint ends the settings the read pins (SET LOCAL lasts until the
// savepoint is rolled back) and a failed query's abort: the caller's
// transaction goes on as it was.
reflectResult reflectPostgresqlInside(pg_conn* connection, const reflectOptions& options) {
    reflectResult result;
    readBetween(connection, "SAVEPOINT ky_reflect", "ROLLBACK TO SAVEPOINT ky_reflect; RELEASE SAVEPOINT ky_reflect",
                options, wide(nameOf(connection)), result);
    return result;
}

}  // namespace detail

reflectResult reflectPostgresql(pg_conn* connection, const reflectOptions& options) {
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        reflectResult result;
        result.problems.push_back(makeDiagnostic(eError, "sql.connection", L"no open PostgreSQL connection was given"));
        return result;
    }
    return reflectNamed(connection, options, wide(nameOf(connection)));
}

reflectResult reflectPostgresqlDatabase(const std::string& conninfo, const reflectOptions& options) {
    reflectResult result;
    const detail::pgTarget target = detail::pgTargetOf(conninfo);
    PGconn* conn = detail::pgConnect(conninfo, options.connectTimeoutS, target, result.problems);
    if (conn) result = reflectNamed(conn, options, wide(target.displayName));
    PQfinish(conn);
    return result;
}

}  // namespace ky::metamodel::sql
