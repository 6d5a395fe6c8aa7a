// Reflection of a SQLite database, in one read transaction:
//
//   1. sqlite_schema: each table's and view's CREATE statement, each
//      index's and trigger's;
//   2. only when a virtual table is among them, pragma_table_list for the
//      shadow tables of virtual tables, which belong to their virtual table
//      and are not carried with it;
//   3. each table's statement, read by SQLite's own rules (tabletext.h):
//      its columns, foreign keys and constraint indexes come from there
//      when the statement is exact, which is every statement of the forms
//      SQLite itself writes and most that people write. The pragmas would
//      say the same at a cost that grows faster than the tables (each call
//      prepares a statement and looks its table up in SQLite's schema hash,
//      which keeps a fixed number of buckets);
//   4. for the other tables, and for the indexes of a table that has a
//      CREATE INDEX of its own, one prepared statement each for
//      pragma_table_xinfo, pragma_foreign_key_list, and pragma_index_list
//      with pragma_index_xinfo, stepped once per table;
//   5. one prepared statement stepped once per view for its columns: a view
//      over a table that no longer exists cannot be read.
//
// What the pragmas do not say (collations, generation expressions,
// AUTOINCREMENT, CHECK constraints, DEFERRABLE, names of constraints, the
// table options) is read from each table's statement in any case. Names
// reach SQLite only as bound values of the pragma functions, never as SQL
// text.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "sqlinternal.h"
#include "sqlite/tabletext.h"
#include "sqlite/tokens.h"

namespace ky::metamodel::sql {

namespace {

using detail::catalogue;
using detail::catColumn;
using detail::catForeignKey;
using detail::catTable;
using detail::foldedAscii;
using detail::makeDiagnostic;
using detail::utf8;
using detail::wide;
namespace text = detail::sqlite;

constexpr const char* shadowQuery = "SELECT name FROM pragma_table_list WHERE schema = 'main' AND type = 'shadow'";

constexpr const char* schemaQuery =
    "SELECT type, name, tbl_name, sql FROM sqlite_schema WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";

// The columns of a table or view.
constexpr const char* columnsQuery =
    "SELECT name, type, \"notnull\", dflt_value, pk, hidden FROM pragma_table_xinfo(?1, 'main')";

// pragma_foreign_key_list and pragma_index_list answer the newest first.
constexpr const char* foreignKeysQuery =
    "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete FROM pragma_foreign_key_list(?1, 'main') "
    "ORDER BY id DESC, seq";

constexpr const char* indexesQuery =
    "SELECT i.name, i.\"unique\", i.origin, i.partial, x.cid, x.name, x.\"desc\", x.coll "
    "FROM pragma_index_list(?1, 'main') AS i JOIN pragma_index_xinfo(i.name, 'main') AS x "
    "WHERE x.key = 1 ORDER BY i.seq DESC, x.seqno";

// A view read from sqlite_schema, waiting for its columns and its place.
struct pendingView {
    std::string name;
    std::string sql;
};

struct trigger {
    std::string name;
    std::string table;
    std::string sql;
};

struct reader {
    reader(sqlite3* connection, const reflectOptions& chosen, diagnostics& found)
        : db(connection), options(chosen), problems(found) {}

    sqlite3* db;
    const reflectOptions& options;
    diagnostics& problems;
    catalogue cat;
    std::unordered_map<std::string, std::size_t> tableIndex;  // UTF-8 name → index in cat.tables
    std::unordered_map<std::string, std::size_t> byFolded;    // ASCII-folded UTF-8 name → index in cat.tables
    std::unordered_map<std::string, bool> selected;          // cached pattern answers
    std::unordered_set<std::string> shadows;                 // the shadow tables of virtual tables
    std::vector<std::string> tableNames;                     // the UTF-8 name of each table in cat.tables
    std::vector<std::string> tableSql;                       // the CREATE statement of each table in cat.tables
    text::tableText text;                                    // what the statement of the table being read says
    bool textRead = false;                                   // whether that statement could be read
    std::unordered_map<std::string, std::string> indexSql;   // index name → CREATE INDEX statement
    std::unordered_set<std::string> indexed;                 // ASCII-folded names of the tables with a CREATE INDEX
    std::vector<pendingView> views;
    std::vector<trigger> triggers;

    const char* failCode(int rc) const {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return "sql.locked";
        if (rc == SQLITE_NOTADB) return "sql.not-a-database";
        return "sql.query";
    }

    void fail(int rc, const wchar_t* what) {
        problems.push_back(makeDiagnostic(eError, failCode(rc), what, {}, {}, wide(sqlite3_errmsg(db))));
    }

    void notCarried(const ky::string& message, const std::string& table, const ky::string& databaseMessage = {}) {
        problems.push_back(makeDiagnostic(eWarning, "sql.reflect.not-carried", message, wide(table), {}, databaseMessage));
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

    void addTable(const std::string& name, std::string sql) {
        const std::size_t index = cat.tables.size();
        cat.tables.emplace_back().name = wide(name);
        tableIndex.emplace(name, index);
        byFolded.emplace(foldedAscii(name), index);
        tableNames.push_back(name);
        tableSql.push_back(std::move(sql));
    }
};

ky::string quoted(const std::string& name) { return L"\"" + wide(name) + L"\""; }

ky::string wideAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* value = sqlite3_column_text(stmt, column);
    return value ? wide(reinterpret_cast<const char*>(value), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                 : ky::string();
}

std::string textAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* value = sqlite3_column_text(stmt, column);
    return value ? std::string(reinterpret_cast<const char*>(value), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
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

// A statement of one bound name, prepared on first use and stepped once per
// name.
class perName {
public:
    perName(reader& r, const char* sql, const wchar_t* what) : mReader(r), mSql(sql), mWhat(what) {}
    perName(const perName&) = delete;
    perName& operator=(const perName&) = delete;
    ~perName() { sqlite3_finalize(mStmt); }

    // Hands each row for `name` to `row`; false (with a diagnostic) when
    // SQLite fails.
    template <class Row>
    bool each(const std::string& name, Row&& row) {
        int rc = SQLITE_OK;
        if (!mStmt && (rc = sqlite3_prepare_v2(mReader.db, mSql, -1, &mStmt, nullptr)) != SQLITE_OK) {
            mReader.fail(rc, mWhat);
            return false;
        }
        sqlite3_bind_text(mStmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        while ((rc = sqlite3_step(mStmt)) == SQLITE_ROW) row(mStmt);
        if (rc != SQLITE_DONE) mReader.fail(rc, mWhat);
        sqlite3_reset(mStmt);
        sqlite3_clear_bindings(mStmt);
        return rc == SQLITE_DONE;
    }

private:
    reader& mReader;
    const char* mSql;
    const wchar_t* mWhat;
    sqlite3_stmt* mStmt = nullptr;
};

bool readShadows(reader& r) {
    return eachRow(r, shadowQuery, L"the tables could not be listed",
                   [&](sqlite3_stmt* stmt) { r.shadows.insert(textAt(stmt, 0)); });
}

struct schemaEntry {
    std::string type, name, table, sql;
};

bool isVirtual(const std::string& sql) { return sql.compare(0, 21, "CREATE VIRTUAL TABLE ") == 0; }

// The objects of the main database in creation order: tables become
// catalogue tables at once, the rest waits for them.
void schemaRow(reader& r, schemaEntry& e) {
    if (e.type == "index") {
        r.indexed.insert(foldedAscii(e.table));
        return void(r.indexSql.emplace(std::move(e.name), std::move(e.sql)));
    }
    if (e.type == "trigger") return r.triggers.push_back({std::move(e.name), std::move(e.table), std::move(e.sql)});
    if ((e.type != "table" && e.type != "view") || !r.isSelected(e.name)) return;
    if (e.type == "view") r.views.push_back({std::move(e.name), std::move(e.sql)});
    else if (isVirtual(e.sql))
        r.notCarried(L"the virtual table " + quoted(e.name) + L" is not carried", e.name);
    else if (r.shadows.count(e.name))
        r.notCarried(L"the table " + quoted(e.name) + L" belongs to a virtual table and is not carried", e.name);
    else if (r.tableIndex.count(e.name) == 0) r.addTable(e.name, std::move(e.sql));
}

// sqlite_schema, and the shadow tables only when there is a virtual table
// for them to belong to.
bool readSchema(reader& r) {
    std::vector<schemaEntry> entries;
    bool virtuals = false;
    const bool read = eachRow(r, schemaQuery, L"the schema could not be read", [&](sqlite3_stmt* stmt) {
        schemaEntry& e = entries.emplace_back(schemaEntry{textAt(stmt, 0), textAt(stmt, 1), textAt(stmt, 2), textAt(stmt, 3)});
        virtuals = virtuals || (e.type == "table" && isVirtual(e.sql));
    });
    if (!read || (virtuals && !readShadows(r))) return false;
    r.cat.tables.reserve(entries.size());
    for (schemaEntry& e : entries) schemaRow(r, e);
    return true;
}

// The columns of a table or view as the pragma answers them. A generated
// column gets only its kind here ("STORED", "VIRTUAL"); its expression comes
// from the table's statement.
void readColumn(sqlite3_stmt* stmt, int first, catColumn& column) {
    column.name = wideAt(stmt, first);
    column.sqlType = wideAt(stmt, first + 1);
    column.typeless = column.sqlType.empty();
    column.notNull = sqlite3_column_int(stmt, first + 2) != 0;
    column.hasDefault = sqlite3_column_type(stmt, first + 3) != SQLITE_NULL;
    if (column.hasDefault) column.defaultText = wideAt(stmt, first + 3);
    column.keyPosition = sqlite3_column_int(stmt, first + 4);
    const int hidden = sqlite3_column_int(stmt, first + 5);
    if (hidden == 2 || hidden == 3) column.generated = hidden == 3 ? L"STORED" : L"VIRTUAL";
}

// The columns of an exact statement, as the pragma would answer them.
void columnsOfText(const text::tableText& t, std::vector<catColumn>& columns) {
    columns.reserve(t.columns.size());
    for (const text::columnText& written : t.columns) {
        catColumn& column = columns.emplace_back();
        column.name = wide(written.name);
        column.sqlType = wide(written.type);
        column.typeless = written.type.empty();
        column.notNull = written.notNull;
        column.hasDefault = written.hasDefault;
        if (written.hasDefault) column.defaultText = wide(written.defaultText);
        column.keyPosition = written.keyPosition;
        if (!written.generated.empty()) column.generated = written.stored ? L"STORED" : L"VIRTUAL";
    }
}

// Each table gets a list of exactly its size: tens of thousands of tables
// would otherwise keep the spare room of a doubled list each.
bool readColumns(reader& r, perName& pragma, std::size_t i) {
    catTable& table = r.cat.tables[i];
    if (r.text.exact) {
        columnsOfText(r.text, table.columns);
        return true;
    }
    std::vector<catColumn> gathered;
    if (!pragma.each(r.tableNames[i], [&](sqlite3_stmt* stmt) { readColumn(stmt, 0, gathered.emplace_back()); }))
        return false;
    table.columns.assign(std::make_move_iterator(gathered.begin()), std::make_move_iterator(gathered.end()));
    return true;
}

// ---- what each table's statement adds ----

std::string foldedUtf8(const ky::string& name) { return foldedAscii(utf8(name)); }

void applyColumnText(reader& r, const catTable& table, const text::columnText& written, catColumn& column) {
    column.collation = wide(written.collation);
    column.autoincrement = written.autoincrement;
    for (const std::string& literal : written.checkLiterals) column.checkLiterals.push_back(wide(literal));
    column.enumCheck = written.enumCheck;
    if (column.generated.empty()) return;
    if (written.generated.empty()) {
        r.problems.push_back(makeDiagnostic(eWarning, "sql.reflect.not-carried",
                                            L"the expression of the generated column " + quoted(utf8(column.name)) +
                                                L" could not be read; it becomes a plain column",
                                            table.name, column.name));
        column.generated.clear();
        return;
    }
    column.generated = L"GENERATED ALWAYS AS (" + wide(written.generated) + L") " + column.generated;
}

// The columns of the statement and of the pragma are the same list in the
// same order; they are paired by name only should the numbers differ.
void applyColumnTexts(reader& r, catTable& table, const text::tableText& t) {
    if (t.columns.size() == table.columns.size()) {
        for (std::size_t i = 0; i < t.columns.size(); ++i) applyColumnText(r, table, t.columns[i], table.columns[i]);
        return;
    }
    std::unordered_map<std::string, const text::columnText*> byName;
    for (const text::columnText& column : t.columns) byName.emplace(foldedAscii(column.name), &column);
    for (catColumn& column : table.columns) {
        auto it = byName.find(foldedUtf8(column.name));
        if (it != byName.end()) applyColumnText(r, table, *it->second, column);
        else if (!column.generated.empty()) column.generated.clear();
    }
}

// Reads a table's statement, before its columns: an exact one gives them.
void readStatement(reader& r, std::size_t i) {
    r.text = {};
    r.textRead = text::readTableText(r.tableSql[i], r.text);
    if (!r.textRead) r.text = {};
}

// What the statement adds to the columns, once they are read.
void completeTable(reader& r, std::size_t index) {
    catTable& table = r.cat.tables[index];
    text::tableText& t = r.text;
    if (!r.textRead) {
        r.notCarried(L"the statement of the table " + quoted(r.tableNames[index]) +
                         L" could not be read; its checks, collations, generated columns and options are not carried",
                     r.tableNames[index]);
        for (catColumn& column : table.columns) column.generated.clear();
        return;
    }
    applyColumnTexts(r, table, t);
    for (const text::checkText& check : t.checks) table.checks.push_back({wide(check.name), wide(check.text)});
    table.keyName = wide(t.keyName);
    table.options = wide(t.options);
}

// ---- foreign keys ----

// The actions that differ from the default, as both dialects take them;
// MATCH and DEFERRABLE come from the table's statement.
std::string actionsOf(const std::string& onUpdate, const std::string& onDelete) {
    std::string out;
    if (onUpdate != "NO ACTION") out = "ON UPDATE " + onUpdate;
    if (onDelete != "NO ACTION") out += (out.empty() ? "ON DELETE " : " ON DELETE ") + onDelete;
    return out;
}

std::vector<ky::string> wideAll(const std::vector<std::string>& names) {
    std::vector<ky::string> out;
    out.reserve(names.size());
    for (const std::string& name : names) out.push_back(wide(name));
    return out;
}

bool readForeignKeys(reader& r, perName& pragma, std::size_t i) {
    catTable& table = r.cat.tables[i];
    if (r.text.exact) {
        table.foreignKeys.reserve(r.text.foreignKeys.size());
        for (const text::foreignKeyText& written : r.text.foreignKeys) {
            catForeignKey& fk = table.foreignKeys.emplace_back();
            fk.target = wide(written.targetName);
            fk.actions = wide(actionsOf(written.onUpdate, written.onDelete));
            fk.from = wideAll(written.fromColumns);
            fk.to = wideAll(written.toColumns);
        }
        return true;
    }
    int lastId = -1;
    const bool read = pragma.each(r.tableNames[i], [&](sqlite3_stmt* stmt) {
        const int id = sqlite3_column_int(stmt, 0);
        if (table.foreignKeys.empty() || id != lastId) {
            catForeignKey& fk = table.foreignKeys.emplace_back();
            fk.target = wideAt(stmt, 1);
            fk.actions = wide(actionsOf(textAt(stmt, 4), textAt(stmt, 5)));
            lastId = id;
        }
        catForeignKey& fk = table.foreignKeys.back();
        fk.from.push_back(wideAt(stmt, 2));
        // A foreign key written without target columns leads to the
        // target's primary key; SQLite answers NULL for them.
        if (sqlite3_column_type(stmt, 3) != SQLITE_NULL) fk.to.push_back(wideAt(stmt, 3));
    });
    return read;
}

std::vector<std::string> foldedNames(const std::vector<ky::string>& names) {
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const ky::string& name : names) out.push_back(foldedUtf8(name));
    return out;
}

// Gives each foreign key the name, DEFERRABLE clause and text its table's
// statement holds for it, and says whether its target was read.
void completeForeignKeys(reader& r, catTable& table, text::tableText& t) {
    for (catForeignKey& fk : table.foreignKeys) {
        const std::string target = foldedUtf8(fk.target);
        fk.targetRead = r.byFolded.count(target) != 0;
        const std::vector<std::string> from = foldedNames(fk.from), to = foldedNames(fk.to);
        for (text::foreignKeyText& written : t.foreignKeys) {
            if (written.matched || written.target != target || written.from != from || written.to != to) continue;
            written.matched = true;
            fk.name = wide(written.name);
            fk.definition = wide(written.definition);
            // PostgreSQL knows only FULL and SIMPLE, its default; SQLite
            // acts on neither.
            if (written.matchFull) fk.actions = fk.actions.empty() ? L"MATCH FULL" : L"MATCH FULL " + fk.actions;
            if (!written.deferrable.empty()) fk.actions += (fk.actions.empty() ? L"" : L" ") + wide(written.deferrable);
            break;
        }
    }
}

// ---- indexes ----

// One index as pragma_index_list and pragma_index_xinfo describe it.
struct indexRead {
    catTable* table = nullptr;
    std::size_t position = 0;          // the table's index in the catalogue
    std::string name;
    std::string origin;                // "pk", "u" (a UNIQUE constraint's), "c" (CREATE INDEX)
    bool unique = false;
    bool plain = true;                 // column names only, default order and collation, no condition
    std::vector<std::string> columns;  // the names of the indexed columns (empty for an expression)
};

constexpr const char* binary = "BINARY";

// Whether `collation` is the one the column compares with anyway.
bool columnCollation(const catColumn& column, const std::string& collation) {
    if (column.collation.empty()) return foldedAscii(collation) == "binary";
    const std::string written = utf8(column.collation);
    const text::tokenList t(written);
    return t.ok() && t.size() == 1 && foldedAscii(t.name(0)) == foldedAscii(collation);
}

void indexColumn(indexRead& index, sqlite3_stmt* stmt) {
    const int cid = sqlite3_column_int(stmt, 4);
    index.columns.push_back(textAt(stmt, 5));
    const std::vector<catColumn>& columns = index.table->columns;
    if (cid < 0 || static_cast<std::size_t>(cid) >= columns.size() || sqlite3_column_int(stmt, 6) != 0 ||
        !columnCollation(columns[static_cast<std::size_t>(cid)], textAt(stmt, 7)))
        index.plain = false;
}

std::vector<ky::string> wideNames(const std::vector<std::string>& names) {
    std::vector<ky::string> out;
    for (const std::string& name : names)
        if (!name.empty()) out.push_back(wide(name));
    return out;
}

ky::string statementOf(const reader& r, const std::string& index) {
    auto it = r.indexSql.find(index);
    return it == r.indexSql.end() ? ky::string() : wide(it->second);
}

// A unique index: a column's own when it is one plain column, else one of
// the table's uniques, with the text of its constraint or its statement
// when it is more than its columns.
void addUnique(reader& r, const indexRead& index) {
    catTable& table = *index.table;
    // Only a constraint is the column's unique mark; a unique index of one
    // column stays an index, as the database holds it.
    if (index.plain && index.columns.size() == 1 && index.origin == "u") {
        const ky::string column = wide(index.columns[0]);
        if (std::find(table.uniqueColumns.begin(), table.uniqueColumns.end(), column) == table.uniqueColumns.end())
            table.uniqueColumns.push_back(column);
        return;
    }
    detail::catUnique& unique = table.uniques.emplace_back();
    unique.columns = wideNames(index.columns);
    unique.constraint = index.origin == "u";
    if (!unique.constraint) {
        unique.name = wide(index.name);
        if (!index.plain) unique.definition = statementOf(r, index.name);
        return;
    }
    std::vector<std::string> columns;
    for (const std::string& name : index.columns) columns.push_back(foldedAscii(name));
    for (text::uniqueText& written : r.text.uniques) {
        if (written.matched || written.columns != columns) continue;
        written.matched = true;
        unique.name = wide(written.name);
        if (!index.plain) unique.definition = wide(written.text);
        break;
    }
}

void addIndex(reader& r, const indexRead& index) {
    if (index.origin == "pk") return;
    if (index.origin == "c") ++r.cat.counts.indexes;
    if (index.unique) return addUnique(r, index);
    detail::catIndex& added = index.table->indexes.emplace_back();
    added.name = wide(index.name);
    added.plain = index.plain;
    if (index.plain) added.columns = wideNames(index.columns);
    added.statement = statementOf(r, index.name);
}

// Whether the constraint indexes of an exact statement are what the
// pragmas would list: no CREATE INDEX of the table's own, no index that
// SQLite orders last for its ON CONFLICT REPLACE, no two constraints over
// the same columns (SQLite keeps one index for both).
bool indexesOfText(const reader& r, std::size_t position) {
    const text::tableText& t = r.text;
    if (!t.exact || t.replaces || (!r.indexed.empty() && r.indexed.count(foldedAscii(r.tableNames[position]))))
        return false;
    std::vector<std::vector<std::string>> lists;
    if (!t.keyColumns.empty()) lists.push_back(t.keyColumns);
    for (const text::uniqueText& unique : t.uniques) {
        std::vector<std::string>& list = lists.emplace_back();
        for (const text::itemText& item : unique.items) list.push_back(foldedAscii(item.name));
    }
    for (std::size_t a = 0; a < lists.size(); ++a)
        for (std::size_t b = a + 1; b < lists.size(); ++b)
            if (lists[a] == lists[b]) return false;
    return true;
}

// The index of each unique constraint, as pragma_index_xinfo would
// describe it: the columns as the table names them, the collation the item
// or else the column gives.
void addTextIndexes(reader& r, std::size_t position) {
    const text::tableText& t = r.text;
    catTable& table = r.cat.tables[position];
    for (const text::uniqueText& unique : t.uniques) {
        indexRead index;
        index.table = &table;
        index.position = position;
        index.origin = "u";
        index.unique = true;
        for (const text::itemText& item : unique.items) {
            const std::string name = foldedAscii(item.name);
            std::size_t cid = 0;
            while (cid < t.columns.size() && foldedAscii(t.columns[cid].name) != name) ++cid;
            if (cid == t.columns.size()) continue;  // not in an exact statement
            index.columns.push_back(t.columns[cid].name);
            const std::string& collation =
                !item.collation.empty() ? item.collation
                                        : !t.columns[cid].collationName.empty() ? t.columns[cid].collationName : binary;
            if (item.desc || !columnCollation(table.columns[cid], collation)) index.plain = false;
        }
        addIndex(r, index);
    }
}

bool readIndexes(reader& r, perName& pragma, std::size_t position) {
    if (indexesOfText(r, position)) {
        addTextIndexes(r, position);
        return true;
    }
    indexRead index;
    const bool read = pragma.each(r.tableNames[position], [&](sqlite3_stmt* stmt) {
        const std::string_view name(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
        if (!index.table || name != index.name) {
            if (index.table) addIndex(r, index);
            index = {};
            index.table = &r.cat.tables[position];
            index.position = position;
            index.name = name;
            index.unique = sqlite3_column_int(stmt, 1) != 0;
            index.origin = textAt(stmt, 2);
            index.plain = sqlite3_column_int(stmt, 3) == 0;
        }
        indexColumn(index, stmt);
    });
    if (!read) return false;
    if (index.table) addIndex(r, index);
    return true;
}

// ---- views ----

// The columns of one view; false when SQLite cannot read them.
bool readViewColumns(sqlite3_stmt* stmt, const std::string& name, catTable& view, int& rc) {
    sqlite3_bind_text(stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) readColumn(stmt, 0, view.columns.emplace_back());
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE;
}

// The tables and views a view's statement names: every name in it that is
// the name of a table or another view (a column of the same name counts
// too, which costs at most an order between two views). Tables come first.
void readDependencies(reader& r, std::size_t self, const std::unordered_map<std::string, std::size_t>& views,
                      std::vector<std::size_t>& viewsNamed, catTable& view) {
    const text::tokenList t(r.views[self].sql);
    std::vector<std::size_t> tables;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!t.isName(i)) continue;
        const std::string name = foldedAscii(t.name(i));
        auto table = r.byFolded.find(name);
        auto other = views.find(name);
        if (table != r.byFolded.end() && std::find(tables.begin(), tables.end(), table->second) == tables.end())
            tables.push_back(table->second);
        else if (table == r.byFolded.end() && other != views.end() && other->second != self &&
                 std::find(viewsNamed.begin(), viewsNamed.end(), other->second) == viewsNamed.end())
            viewsNamed.push_back(other->second);
    }
    for (std::size_t table : tables) view.dependsOn.emplace_back(ky::string(), r.cat.tables[table].name);
    for (std::size_t other : viewsNamed) view.dependsOn.emplace_back(ky::string(), wide(r.views[other].name));
}

// Places each view after the views it reads, otherwise in creation order:
// a depth-first walk from each view in creation order, without recursion
// (a chain of views may be long). Views that read each other (only through
// a name that is no table) are placed where the walk meets them.
std::vector<std::size_t> viewOrder(const std::vector<std::vector<std::size_t>>& reads, const std::vector<bool>& carried) {
    enum eState : char { eNew, eOpen, eDone };
    std::vector<eState> state(reads.size(), eNew);
    std::vector<std::size_t> order;
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // a view and the next of its reads to visit
    for (std::size_t root = 0; root < reads.size(); ++root) {
        if (!carried[root] || state[root] != eNew) continue;
        state[root] = eOpen;
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            const std::size_t view = stack.back().first;
            if (stack.back().second < reads[view].size()) {
                const std::size_t next = reads[view][stack.back().second++];
                if (!carried[next] || state[next] != eNew) continue;
                state[next] = eOpen;
                stack.emplace_back(next, 0);
            } else {
                state[view] = eDone;
                order.push_back(view);
                stack.pop_back();
            }
        }
    }
    return order;
}

bool readViews(reader& r) {
    if (r.views.empty()) return true;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(r.db, columnsQuery, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        r.fail(rc, L"the columns of the views could not be read");
        sqlite3_finalize(stmt);
        return false;
    }
    std::unordered_map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < r.views.size(); ++i) byName.emplace(foldedAscii(r.views[i].name), i);
    std::vector<catTable> views(r.views.size());
    std::vector<std::vector<std::size_t>> reads(r.views.size());
    std::vector<bool> carried(r.views.size(), true);
    for (std::size_t i = 0; i < r.views.size(); ++i) {
        const pendingView& pending = r.views[i];
        if (!readViewColumns(stmt, pending.name, views[i], rc)) {
            if (rc != SQLITE_ERROR) break;
            r.notCarried(L"the view " + quoted(pending.name) + L" could not be read and is not carried", pending.name,
                         wide(sqlite3_errmsg(r.db)));
            carried[i] = false;
            continue;
        }
        views[i].name = wide(pending.name);
        views[i].kind = detail::eView;
        views[i].viewStatement = wide(pending.sql);
        readDependencies(r, i, byName, reads[i], views[i]);
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ERROR) r.fail(rc, L"the columns of the views could not be read");
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ERROR) return false;
    for (std::size_t i : viewOrder(reads, carried)) {
        const std::string& name = r.views[i].name;
        r.tableIndex.emplace(name, r.cat.tables.size());
        r.byFolded.emplace(foldedAscii(name), r.cat.tables.size());
        r.cat.tables.push_back(std::move(views[i]));
        ++r.cat.counts.views;
    }
    return true;
}

// ---- triggers and counts ----

// Each trigger runs after every table and view, with the one it belongs to.
void addTriggers(reader& r) {
    for (trigger& t : r.triggers) {
        auto it = r.byFolded.find(foldedAscii(t.table));
        if (it != r.byFolded.end()) r.cat.tables[it->second].after.push_back(wide(t.sql));
        else if (r.isSelected(t.table))
            r.notCarried(L"the trigger " + quoted(t.name) + L" of " + quoted(t.table) + L" is not carried", t.table);
    }
}

void count(catalogue& cat) {
    for (const catTable& table : cat.tables) {
        if (table.kind != detail::eTable) continue;
        ++cat.counts.tables;
        cat.counts.columns += table.columns.size();
        cat.counts.foreignKeys += table.foreignKeys.size();
        cat.counts.checks += table.checks.size();
        if (std::any_of(table.columns.begin(), table.columns.end(), [](const catColumn& c) { return c.keyPosition > 0; }))
            ++cat.counts.primaryKeys;
    }
}

// Reads everything, table by table in the order each step needs: the
// statement before the columns that an exact one gives, the columns before
// what the statement adds to them, the statement before the foreign keys
// and indexes it names and the columns before the indexes that judge their
// collations; the tables before the views that read them.
bool readAll(reader& r) {
    if (!readSchema(r)) return false;
    perName columns(r, columnsQuery, L"the columns could not be read");
    perName foreignKeys(r, foreignKeysQuery, L"the foreign keys could not be read");
    perName indexes(r, indexesQuery, L"the indexes could not be read");
    for (std::size_t i = 0; i < r.cat.tables.size(); ++i) {
        readStatement(r, i);
        if (!readColumns(r, columns, i)) return false;
        completeTable(r, i);
        if (!readForeignKeys(r, foreignKeys, i)) return false;
        completeForeignKeys(r, r.cat.tables[i], r.text);
        if (!readIndexes(r, indexes, i)) return false;
    }
    r.text = {};
    if (!readViews(r)) return false;
    addTriggers(r);
    count(r.cat);
    return true;
}

// What a file that is not a regular one is, for the message refusing it.
const wchar_t* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return L"a directory";
    if (S_ISFIFO(mode)) return L"a FIFO";
    if (S_ISSOCK(mode)) return L"a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return L"a device";
    return L"a special file";
}

ky::string sourceOf(sqlite3* db) {
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return name && *name ? wide(name) : ky::string(L":memory:");
}

}  // namespace

namespace detail {

std::string sqliteFileName(const std::string& path) { return !path.empty() && path[0] == '/' ? path : "./" + path; }

// Opening a FIFO for reading waits for a writer, a device may act on being
// opened: the name is looked at first, and then, since it may have been
// replaced meanwhile, through a descriptor opened without waiting. SQLite
// opens the name once more itself (it takes no descriptor), so a file
// replaced in that last moment by someone who may write its directory is
// not caught.
bool sqliteFileOpenable(const std::string& path, diagnostics& problems) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return true;
    if (S_ISREG(info.st_mode)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return true;
        const bool seen = ::fstat(fd, &info) == 0;
        ::close(fd);
        if (!seen || S_ISREG(info.st_mode)) return true;
    }
    const ky::string kind = kindOf(info.st_mode);
    problems.push_back(makeDiagnostic(eError, "sql.open",
                                      L"the SQLite database could not be opened: it is " + kind + L", not a regular file"));
    return false;
}

}  // namespace detail

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
    // One read transaction: every query sees the same schema, also while
    // another connection changes it.
    const int rc = sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        reader(connection, options, result.problems).fail(rc, L"the read transaction could not begin");
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    result = detail::reflectSqliteInside(connection, options);
    sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
}

reflectResult reflectSqliteFile(const std::string& path, const reflectOptions& options) {
    reflectResult result;
    const std::string name = detail::sqliteFileName(path);
    if (!detail::sqliteFileOpenable(name, result.problems)) {
        detail::stampSource(result.problems, 0, wide(path));
        return result;
    }
    sqlite3* db = nullptr;
    // Read-only, and never created: a missing file is a diagnostic, not a new
    // empty database.
    const int rc = sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
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

namespace detail {

// The same reading as reflectSqlite's, in the transaction the caller holds:
// it sees that transaction's own changes and leaves it open.
reflectResult reflectSqliteInside(sqlite3* connection, const reflectOptions& options) {
    reflectResult result;
    const ky::string source = sourceOf(connection);
    reader r(connection, options, result.problems);
    const bool read = readAll(r);
    detail::stampSource(result.problems, 0, source);
    if (read) detail::buildModel(r.cat, options, eSqlite, source, result);
    return result;
}

}  // namespace detail

}  // namespace ky::metamodel::sql
