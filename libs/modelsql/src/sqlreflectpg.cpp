// Reflection of a PostgreSQL schema: five catalogue queries (tables,
// columns, keys, unique indexes, enum labels) with the schema name as their
// one parameter, in one read-only transaction, whatever the number of tables.
#include <libpq-fe.h>

#include <cstdlib>
#include <unordered_map>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

using detail::catalogue;
using detail::catTable;
using detail::makeDiagnostic;
using detail::wide;

constexpr const char* tablesQuery =
    "SELECT c.oid, c.relname, d.description "
    "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid = c.oid "
    "  AND d.classoid = 'pg_catalog.pg_class'::pg_catalog.regclass AND d.objsubid = 0 "
    "WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') ORDER BY c.oid";

constexpr const char* columnsQuery =
    "SELECT a.attrelid, a.attnum, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull, "
    "  pg_catalog.pg_get_expr(ad.adbin, ad.adrelid), d.description, t.typtype, a.atttypid "
    "FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
    "LEFT JOIN pg_catalog.pg_attrdef ad ON ad.adrelid = a.attrelid AND ad.adnum = a.attnum "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid = a.attrelid "
    "  AND d.classoid = 'pg_catalog.pg_class'::pg_catalog.regclass AND d.objsubid = a.attnum "
    "WHERE n.nspname = $1 AND c.relkind IN ('r', 'p') AND a.attnum > 0 AND NOT a.attisdropped "
    "ORDER BY a.attrelid, a.attnum";

constexpr const char* keysQuery =
    "SELECT con.conrelid, con.contype, con.conkey::text, con.confrelid, con.confkey::text, fc.relname "
    "FROM pg_catalog.pg_constraint con "
    "JOIN pg_catalog.pg_class c ON c.oid = con.conrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "LEFT JOIN pg_catalog.pg_class fc ON fc.oid = con.confrelid "
    "WHERE n.nspname = $1 AND con.contype IN ('p', 'f') ORDER BY con.conrelid, con.oid";

// Unique indexes of one plain column, those behind UNIQUE constraints included.
constexpr const char* uniqueQuery =
    "SELECT i.indrelid, i.indkey::text "
    "FROM pg_catalog.pg_index i "
    "JOIN pg_catalog.pg_class c ON c.oid = i.indrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE n.nspname = $1 AND i.indisunique AND NOT i.indisprimary AND i.indnkeyatts = 1 "
    "  AND i.indpred IS NULL AND i.indexprs IS NULL";

constexpr const char* enumQuery =
    "SELECT e.enumtypid, e.enumlabel FROM pg_catalog.pg_enum e ORDER BY e.enumtypid, e.enumsortorder";

struct tableEntry {
    std::size_t index;                                // in cat.tables
    std::unordered_map<long, std::size_t> byAttnum;  // attribute number → column index
};

struct reader {
    PGconn* conn;
    const reflectOptions& options;
    diagnostics& problems;
    std::string schema;
    catalogue cat;
    std::unordered_map<std::string, tableEntry> tables;  // oid text → table
    std::unordered_map<std::string, std::vector<ky::string>> enumLabels;  // type oid text → labels
};

ky::string pgMessage(PGconn* conn, PGresult* result) {
    const char* text = result ? PQresultErrorMessage(result) : nullptr;
    if (!text || !*text) text = conn ? PQerrorMessage(conn) : "out of memory";
    ky::string message = wide(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L' ')) message.pop_back();
    return message;
}

std::string value(PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column)));
}

// Runs one catalogue query with the schema as parameter and hands each row
// to `row`; false (with a diagnostic) when the server refuses it.
template <class Row>
bool eachRow(reader& r, const char* sql, const wchar_t* what, Row&& row) {
    const char* params[1] = {r.schema.c_str()};
    PGresult* result = PQexecParams(r.conn, sql, 1, nullptr, params, nullptr, nullptr, 0);
    if (!result || PQresultStatus(result) != PGRES_TUPLES_OK) {
        r.problems.push_back(makeDiagnostic(eError, "sql.query", what, {}, {}, pgMessage(r.conn, result)));
        PQclear(result);
        return false;
    }
    const int rows = PQntuples(result);
    for (int i = 0; i < rows; ++i) row(result, i);
    PQclear(result);
    return true;
}

bool command(reader& r, const char* sql, const char* code, const wchar_t* what) {
    PGresult* result = PQexec(r.conn, sql);
    const bool ok = result && PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok) r.problems.push_back(makeDiagnostic(eError, code, what, {}, {}, pgMessage(r.conn, result)));
    PQclear(result);
    return ok;
}

// The numbers of an int2[] ("{1,2}") or int2vector ("1 2") text.
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

bool readTables(reader& r) {
    return eachRow(r, tablesQuery, L"the tables could not be read", [&](PGresult* result, int row) {
        const ky::string name = wide(value(result, row, 1));
        if (!detail::tableSelected(r.options, name)) return;
        r.tables[value(result, row, 0)] = tableEntry{r.cat.tables.size(), {}};
        r.cat.tables.emplace_back();
        r.cat.tables.back().name = name;
        r.cat.tables.back().comment = wide(value(result, row, 2));
    });
}

bool readEnums(reader& r) {
    PGresult* result = PQexec(r.conn, enumQuery);
    if (!result || PQresultStatus(result) != PGRES_TUPLES_OK) {
        r.problems.push_back(makeDiagnostic(eError, "sql.query", L"the enum types could not be read", {}, {},
                                            pgMessage(r.conn, result)));
        PQclear(result);
        return false;
    }
    for (int i = 0, rows = PQntuples(result); i < rows; ++i)
        r.enumLabels[value(result, i, 0)].push_back(wide(value(result, i, 1)));
    PQclear(result);
    return true;
}

bool readColumns(reader& r) {
    return eachRow(r, columnsQuery, L"the columns could not be read", [&](PGresult* result, int row) {
        auto entry = r.tables.find(value(result, row, 0));
        if (entry == r.tables.end()) return;
        catTable& table = r.cat.tables[entry->second.index];
        detail::catColumn column;
        column.name = wide(value(result, row, 2));
        column.sqlType = wide(value(result, row, 3));
        column.notNull = value(result, row, 4) == "t";
        column.hasDefault = !PQgetisnull(result, row, 5);
        column.defaultText = wide(value(result, row, 5));
        column.comment = wide(value(result, row, 6));
        if (value(result, row, 7) == "e") {
            column.isEnum = true;
            column.enumLabels = r.enumLabels[value(result, row, 8)];
        }
        entry->second.byAttnum[std::atol(PQgetvalue(result, row, 1))] = table.columns.size();
        table.columns.push_back(std::move(column));
    });
}

// The column names of `numbers` in the table of `entry`; false when one is missing.
bool namesOf(reader& r, const tableEntry& entry, const std::vector<long>& numbers, std::vector<ky::string>& out) {
    const catTable& table = r.cat.tables[entry.index];
    for (long n : numbers) {
        auto column = entry.byAttnum.find(n);
        if (column == entry.byAttnum.end()) return false;
        out.push_back(table.columns[column->second].name);
    }
    return true;
}

bool readKeys(reader& r) {
    return eachRow(r, keysQuery, L"the keys could not be read", [&](PGresult* result, int row) {
        auto entry = r.tables.find(value(result, row, 0));
        if (entry == r.tables.end()) return;
        catTable& table = r.cat.tables[entry->second.index];
        const std::vector<long> from = numbersOf(value(result, row, 2));
        if (value(result, row, 1) == "p") {
            int position = 0;
            for (long n : from) {
                auto column = entry->second.byAttnum.find(n);
                if (column != entry->second.byAttnum.end()) table.columns[column->second].keyPosition = ++position;
            }
            return;
        }
        detail::catForeignKey fk;
        fk.target = wide(value(result, row, 5));
        namesOf(r, entry->second, from, fk.from);
        auto target = r.tables.find(value(result, row, 3));
        // A target outside the tables read keeps its name only; the builder
        // reports that it is not read.
        if (target != r.tables.end() && !namesOf(r, target->second, numbersOf(value(result, row, 4)), fk.to)) fk.to.clear();
        fk.targetRead = target != r.tables.end();
        table.foreignKeys.push_back(std::move(fk));
    });
}

bool readUniques(reader& r) {
    return eachRow(r, uniqueQuery, L"the unique indexes could not be read", [&](PGresult* result, int row) {
        auto entry = r.tables.find(value(result, row, 0));
        if (entry == r.tables.end()) return;
        std::vector<ky::string> names;
        if (namesOf(r, entry->second, numbersOf(value(result, row, 1)), names) && names.size() == 1)
            r.cat.tables[entry->second.index].uniqueColumns.push_back(names[0]);
    });
}

ky::string sourceOf(PGconn* conn) {
    if (!conn) return ky::string();
    std::string text = "postgresql:";
    if (const char* user = PQuser(conn)) text += std::string(" user=") + user;
    if (const char* db = PQdb(conn)) text += std::string(" dbname=") + db;
    if (const char* host = PQhost(conn)) text += std::string(" host=") + host;
    if (const char* port = PQport(conn)) text += std::string(" port=") + port;
    return wide(text);
}

}  // namespace

reflectResult reflectPostgresql(pg_conn* connection, const reflectOptions& options) {
    reflectResult result;
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        result.problems.push_back(makeDiagnostic(eError, "sql.connection", L"no open PostgreSQL connection was given"));
        return result;
    }
    const ky::string source = sourceOf(connection);
    if (PQtransactionStatus(connection) != PQTRANS_IDLE) {
        result.problems.push_back(makeDiagnostic(eError, "sql.transaction", L"the connection is inside a transaction"));
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    reader r{connection, options, result.problems, detail::utf8(options.schema), {}, {}, {}};
    // Repeatable read: the five queries see one snapshot of the catalogue,
    // also while another session changes the schema; read only: nothing is written.
    bool read = command(r, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", "sql.transaction",
                        L"the read-only transaction could not begin");
    if (read) {
        read = readTables(r) && readEnums(r) && readColumns(r) && readKeys(r) && readUniques(r);
        PGresult* end = PQexec(connection, "ROLLBACK");
        PQclear(end);
    }
    detail::stampSource(result.problems, 0, source);
    if (read) result.model = detail::buildModel(r.cat, options, ePostgresql, source, result.problems);
    return result;
}

reflectResult reflectPostgresqlDatabase(const std::string& conninfo, const reflectOptions& options) {
    reflectResult result;
    const std::string timeout = std::to_string(options.connectTimeoutS > 0 ? options.connectTimeoutS : 0);
    const char* keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {conninfo.c_str(), timeout.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keywords, values, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        result.problems.push_back(makeDiagnostic(eError, "sql.connect", L"the PostgreSQL server could not be reached",
                                                 {}, {}, pgMessage(conn, nullptr)));
        PQfinish(conn);
        return result;
    }
    result = reflectPostgresql(conn, options);
    PQfinish(conn);
    return result;
}

}  // namespace ky::metamodel::sql
