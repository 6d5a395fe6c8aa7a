// Reflection of a SQLite database: three catalogue queries over
// sqlite_schema joined with the pragma table functions, in one read
// transaction, whatever the number of tables. Names reach SQLite only as
// values of the pragma functions, never as SQL text.
#include <sqlite3.h>

#include <unordered_map>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

using detail::catalogue;
using detail::catTable;
using detail::makeDiagnostic;
using detail::wide;

constexpr const char* columnsQuery =
    "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value, p.pk "
    "FROM sqlite_schema AS m JOIN pragma_table_info(m.name) AS p "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";

constexpr const char* foreignKeysQuery =
    "SELECT m.name, f.id, f.\"table\", f.\"from\", f.\"to\" "
    "FROM sqlite_schema AS m JOIN pragma_foreign_key_list(m.name) AS f "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    "ORDER BY m.rowid, f.id, f.seq";

// Unique indexes of one plain column, whether made by a UNIQUE constraint
// or by CREATE UNIQUE INDEX; the primary key's own index is not one of them.
constexpr const char* uniqueQuery =
    "SELECT m.name, MIN(c.name) "
    "FROM sqlite_schema AS m JOIN pragma_index_list(m.name) AS i JOIN pragma_index_info(i.name) AS c "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    "AND i.\"unique\" = 1 AND i.partial = 0 AND i.origin <> 'pk' "
    "GROUP BY m.rowid, i.name HAVING COUNT(*) = 1 AND MIN(c.name) IS NOT NULL "
    "ORDER BY m.rowid";

struct reader {
    sqlite3* db;
    const reflectOptions& options;
    diagnostics& problems;
    catalogue cat;
    std::unordered_map<std::string, std::size_t> tableIndex;  // UTF-8 name → index in cat.tables
    std::unordered_map<std::string, bool> selected;          // cached pattern answers

    const char* failCode(int rc) const {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return "sql.locked";
        if (rc == SQLITE_NOTADB) return "sql.not-a-database";
        return "sql.query";
    }

    void fail(int rc, const wchar_t* what) {
        problems.push_back(makeDiagnostic(eError, failCode(rc), what, {}, {}, wide(sqlite3_errmsg(db))));
    }

    bool isSelected(const std::string& name) {
        auto it = selected.find(name);
        if (it != selected.end()) return it->second;
        return selected[name] = detail::tableSelected(options, wide(name));
    }

    catTable* tableNamed(const std::string& name) {
        auto it = tableIndex.find(name);
        return it == tableIndex.end() ? nullptr : &cat.tables[it->second];
    }
};

ky::string wideAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? wide(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                : ky::string();
}

std::string textAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                : std::string();
}

// Runs `sql` and hands each row to `row`; false (with a diagnostic) when
// SQLite fails.
template <class Row>
bool eachRow(reader& r, const char* sql, const wchar_t* what, Row&& row) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(r.db, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        r.fail(rc, what);
        sqlite3_finalize(stmt);
        return false;
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    if (rc != SQLITE_DONE) r.fail(rc, what);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

// The rows of one table come together, in column order, as the pragma
// answers them; the scan of sqlite_schema gives the tables in creation order.
bool readColumns(reader& r) {
    std::string current;
    std::size_t table = 0;
    bool skipping = false, first = true;
    return eachRow(r, columnsQuery, L"the columns could not be read", [&](sqlite3_stmt* stmt) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        if (first || current != name) {
            first = false;
            current = name;
            skipping = !r.isSelected(current);
            if (!skipping) {
                auto known = r.tableIndex.emplace(current, r.cat.tables.size());
                if (known.second) {
                    r.cat.tables.emplace_back();
                    r.cat.tables.back().name = wide(current);
                    r.cat.tables.back().columns.reserve(16);
                }
                table = known.first->second;
            }
        }
        if (skipping) return;
        detail::catColumn& column = r.cat.tables[table].columns.emplace_back();
        column.name = wideAt(stmt, 1);
        column.sqlType = wideAt(stmt, 2);
        column.notNull = sqlite3_column_int(stmt, 3) != 0;
        column.hasDefault = sqlite3_column_type(stmt, 4) != SQLITE_NULL;
        if (column.hasDefault) column.defaultText = wideAt(stmt, 4);
        column.keyPosition = sqlite3_column_int(stmt, 5);
    });
}

bool readForeignKeys(reader& r) {
    std::string lastTable;
    int lastId = -1;
    return eachRow(r, foreignKeysQuery, L"the foreign keys could not be read", [&](sqlite3_stmt* stmt) {
        const std::string name = textAt(stmt, 0);
        catTable* table = r.tableNamed(name);
        if (!table) return;
        const int id = sqlite3_column_int(stmt, 1);
        if (name != lastTable || id != lastId) {
            table->foreignKeys.emplace_back();
            table->foreignKeys.back().target = wideAt(stmt, 2);
            lastTable = name;
            lastId = id;
        }
        detail::catForeignKey& fk = table->foreignKeys.back();
        fk.from.push_back(wideAt(stmt, 3));
        // A foreign key written without target columns leads to the
        // target's primary key; SQLite answers NULL for them.
        if (sqlite3_column_type(stmt, 4) != SQLITE_NULL) fk.to.push_back(wideAt(stmt, 4));
    });
}

bool readUniques(reader& r) {
    return eachRow(r, uniqueQuery, L"the unique indexes could not be read", [&](sqlite3_stmt* stmt) {
        if (catTable* table = r.tableNamed(textAt(stmt, 0))) table->uniqueColumns.push_back(wideAt(stmt, 1));
    });
}

ky::string sourceOf(sqlite3* db) {
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return name && *name ? wide(name) : ky::string(L":memory:");
}

}  // namespace

reflectResult reflectSqlite(sqlite3* connection, const reflectOptions& options) {
    reflectResult result;
    if (!connection) {
        result.problems.push_back(makeDiagnostic(eError, "sql.connection", L"no SQLite connection was given"));
        return result;
    }
    const ky::string source = sourceOf(connection);
    if (!sqlite3_get_autocommit(connection)) {
        result.problems.push_back(makeDiagnostic(eError, "sql.transaction", L"the connection is inside a transaction"));
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    reader r{connection, options, result.problems, {}, {}, {}};
    // One read transaction: every query sees the same schema, also while
    // another connection changes it.
    int rc = sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) r.fail(rc, L"the read transaction could not begin");
    const bool read = rc == SQLITE_OK && readColumns(r) && readForeignKeys(r) && readUniques(r);
    if (rc == SQLITE_OK) sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    detail::stampSource(result.problems, 0, source);
    if (read) result.model = detail::buildModel(r.cat, options, eSqlite, source, result.problems);
    return result;
}

reflectResult reflectSqliteFile(const std::string& path, const reflectOptions& options) {
    reflectResult result;
    sqlite3* db = nullptr;
    // Read-only, and never created: a missing file is a diagnostic, not a new
    // empty database.
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        result.problems.push_back(makeDiagnostic(eError, "sql.open", L"the SQLite database could not be opened", {}, {},
                                                 wide(sqlite3_errmsg(db))));
        detail::stampSource(result.problems, 0, wide(path));
        sqlite3_close(db);
        return result;
    }
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    result = reflectSqlite(db, options);
    sqlite3_close(db);
    return result;
}

}  // namespace ky::metamodel::sql
