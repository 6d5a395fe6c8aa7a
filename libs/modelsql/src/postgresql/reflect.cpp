// Reflection of a PostgreSQL schema: five catalogue queries (tables,
// columns, keys, unique indexes, enum labels) with the schema name as their
// one parameter, in one read-only transaction, whatever the number of tables.
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
// default operator classes, which only a superuser can make. The same
// transaction pins the settings that change how the server prints the
// values read back (dates, floats, bytea) and bounds every wait with
// statement and lock timeouts. All of it is SET LOCAL: a host's connection
// is left as it was.
#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <utility>

#include "postgresql/connection.h"

namespace ky::metamodel::sql {

namespace {

using detail::catalogue;
using detail::catTable;
using detail::makeDiagnostic;
using detail::pgMessage;
using detail::wide;

// Each `rel.kind` is one of the kinds of tables read: plain and partitioned.
#define KY_TABLE_KIND(rel) \
    "(" rel ".relkind OPERATOR(pg_catalog.=) 'r' OR " rel ".relkind OPERATOR(pg_catalog.=) 'p')"

constexpr const char* tablesQuery =
    "SELECT c.oid, c.relname, d.description "
    "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid OPERATOR(pg_catalog.=) c.relnamespace "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid OPERATOR(pg_catalog.=) c.oid "
    "  AND d.classoid OPERATOR(pg_catalog.=) 'pg_catalog.pg_class'::pg_catalog.regclass "
    "  AND d.objsubid OPERATOR(pg_catalog.=) 0 "
    "WHERE n.nspname OPERATOR(pg_catalog.=) $1 AND " KY_TABLE_KIND("c") " ORDER BY c.oid";

constexpr const char* columnsQuery =
    "SELECT a.attrelid, a.attnum, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull, "
    "  pg_catalog.pg_get_expr(ad.adbin, ad.adrelid), d.description, t.typtype, a.atttypid "
    "FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid OPERATOR(pg_catalog.=) a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid OPERATOR(pg_catalog.=) c.relnamespace "
    "JOIN pg_catalog.pg_type t ON t.oid OPERATOR(pg_catalog.=) a.atttypid "
    "LEFT JOIN pg_catalog.pg_attrdef ad ON ad.adrelid OPERATOR(pg_catalog.=) a.attrelid "
    "  AND ad.adnum OPERATOR(pg_catalog.=) a.attnum "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid OPERATOR(pg_catalog.=) a.attrelid "
    "  AND d.classoid OPERATOR(pg_catalog.=) 'pg_catalog.pg_class'::pg_catalog.regclass "
    "  AND d.objsubid OPERATOR(pg_catalog.=) a.attnum "
    "WHERE n.nspname OPERATOR(pg_catalog.=) $1 AND " KY_TABLE_KIND("c") " AND a.attnum OPERATOR(pg_catalog.>) 0 "
    "  AND NOT a.attisdropped "
    "ORDER BY a.attrelid, a.attnum";

constexpr const char* keysQuery =
    "SELECT con.conrelid, con.contype, con.conkey::pg_catalog.text, con.confrelid, con.confkey::pg_catalog.text, "
    "  fc.relname "
    "FROM pg_catalog.pg_constraint con "
    "JOIN pg_catalog.pg_class c ON c.oid OPERATOR(pg_catalog.=) con.conrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid OPERATOR(pg_catalog.=) c.relnamespace "
    "LEFT JOIN pg_catalog.pg_class fc ON fc.oid OPERATOR(pg_catalog.=) con.confrelid "
    "WHERE n.nspname OPERATOR(pg_catalog.=) $1 "
    "  AND (con.contype OPERATOR(pg_catalog.=) 'p' OR con.contype OPERATOR(pg_catalog.=) 'f') "
    "ORDER BY con.conrelid, con.oid";

// Unique indexes of one plain column, those behind UNIQUE constraints included.
constexpr const char* uniqueQuery =
    "SELECT i.indrelid, i.indkey::pg_catalog.text "
    "FROM pg_catalog.pg_index i "
    "JOIN pg_catalog.pg_class c ON c.oid OPERATOR(pg_catalog.=) i.indrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid OPERATOR(pg_catalog.=) c.relnamespace "
    "WHERE n.nspname OPERATOR(pg_catalog.=) $1 AND i.indisunique AND NOT i.indisprimary "
    "  AND i.indnkeyatts OPERATOR(pg_catalog.=) 1 AND i.indpred IS NULL AND i.indexprs IS NULL";

#undef KY_TABLE_KIND

constexpr const char* enumQuery =
    "SELECT e.enumtypid, e.enumlabel FROM pg_catalog.pg_enum e ORDER BY e.enumtypid, e.enumsortorder";

// The settings of the read, local to its transaction; $1 is the timeout in
// milliseconds.
constexpr const char* settingsQuery =
    "SELECT pg_catalog.set_config('search_path', '', true), "
    "  pg_catalog.set_config('statement_timeout', $1, true), pg_catalog.set_config('lock_timeout', $1, true), "
    "  pg_catalog.set_config('DateStyle', 'ISO', true), pg_catalog.set_config('extra_float_digits', '3', true), "
    "  pg_catalog.set_config('bytea_output', 'hex', true)";

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

std::string value(PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column)));
}

// The code of a failed query: a wait ended by the statement or lock
// timeout is told apart from every other refusal.
const char* failureCode(const PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    return code == "57014" || code == "55P03" ? "sql.timeout" : "sql.query";
}

// Runs one query with the one parameter `param` (none when null) and hands
// each row to `row`; false (with a diagnostic) when the server refuses it.
template <class Row>
bool eachRow(reader& r, const char* sql, const char* param, const wchar_t* what, Row&& row) {
    const char* params[1] = {param};
    PGresult* result = PQexecParams(r.conn, sql, param ? 1 : 0, nullptr, params, nullptr, nullptr, 0);
    if (!result || PQresultStatus(result) != PGRES_TUPLES_OK) {
        r.problems.push_back(makeDiagnostic(eError, failureCode(result), what, {}, {}, pgMessage(r.conn, result)));
        PQclear(result);
        return false;
    }
    const int rows = PQntuples(result);
    for (int i = 0; i < rows; ++i) row(result, i);
    PQclear(result);
    return true;
}

// A catalogue query of the schema read.
template <class Row>
bool eachRow(reader& r, const char* sql, const wchar_t* what, Row&& row) {
    return eachRow(r, sql, r.schema.c_str(), what, std::forward<Row>(row));
}

bool pinSettings(reader& r) {
    // The server takes at most INT_MAX milliseconds.
    const long long timeoutMs = std::min(std::max(r.options.queryTimeoutS, 0) * 1000LL, 2147483647LL);
    const std::string timeout = std::to_string(timeoutMs);
    return eachRow(r, settingsQuery, timeout.c_str(), L"the settings of the read could not be made",
                   [](PGresult*, int) {});
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
    return eachRow(r, enumQuery, nullptr, L"the enum types could not be read", [&](PGresult* result, int row) {
        r.enumLabels[value(result, row, 0)].push_back(wide(value(result, row, 1)));
    });
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

// A host's connection as messages name it: what libpq says it reached.
std::string nameOf(PGconn* conn) {
    std::string text;
    for (const auto& [keyword, part] : {std::pair{"user", PQuser(conn)}, {"dbname", PQdb(conn)},
                                        {"host", PQhost(conn)}, {"port", PQport(conn)}})
        if (part && *part) text += std::string(text.empty() ? "" : " ") + keyword + "=" + part;
    return connectionDisplayName(text);
}

// Reflects through `connection`, naming every diagnostic `source`.
reflectResult reflectNamed(PGconn* connection, const reflectOptions& options, const ky::string& source) {
    reflectResult result;
    if (PQtransactionStatus(connection) != PQTRANS_IDLE) {
        result.problems.push_back(makeDiagnostic(eError, "sql.transaction", L"the connection is inside a transaction"));
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    reader r{connection, options, result.problems, detail::utf8(options.schemas.empty() ? ky::string(L"public") : options.schemas.front()), {}, {}, {}};
    // Repeatable read: the five queries see one snapshot of the catalogue,
    // also while another session changes the schema; read only: nothing is written.
    bool read = detail::pgCommand(connection, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", result.problems,
                                  "sql.transaction", L"the read-only transaction could not begin");
    if (read) {
        read = pinSettings(r) && readTables(r) && readEnums(r) && readColumns(r) && readKeys(r) && readUniques(r);
        PGresult* end = PQexec(connection, "ROLLBACK");
        PQclear(end);
    }
    detail::stampSource(result.problems, 0, source);
    if (read) detail::buildModel(r.cat, options, ePostgresql, source, result);
    return result;
}

}  // namespace

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
