// Reflection of a SQLite database, in one read transaction and a number of
// queries that does not grow with the tables:
//
//   1. the shadow tables of virtual tables (pragma_table_list), which belong
//      to their virtual table and are not carried with it;
//   2. sqlite_schema itself: each table's and view's CREATE statement, each
//      index's and trigger's;
//   3. sqlite_schema joined with pragma_table_xinfo: the columns of every
//      table, generated ones included (virtual tables are left out: their
//      module may not be loaded, and the pragma would fail the whole query);
//   4. with pragma_foreign_key_list: the foreign keys with their actions;
//   5. with pragma_index_list and pragma_index_xinfo: every index with its
//      columns, order and collation;
//   6. one prepared statement stepped once per view for its columns: a view
//      over a table that no longer exists cannot be read, and in a join it
//      would fail the query for every view.
//
// What the pragmas do not say (collations, generation expressions,
// AUTOINCREMENT, CHECK constraints, DEFERRABLE, names of constraints, the
// table options) is read from each table's statement (tabletext.h). Names
// reach SQLite only as values of the pragma functions, never as SQL text.
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

#define KY_SQLITE_TABLES \
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND m.sql NOT LIKE 'CREATE VIRTUAL %' "

constexpr const char* columnsQuery =
    "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value, p.pk, p.hidden "
    "FROM sqlite_schema AS m JOIN pragma_table_xinfo(m.name) AS p " KY_SQLITE_TABLES;

// pragma_foreign_key_list and pragma_index_list answer the newest first.
constexpr const char* foreignKeysQuery =
    "SELECT m.name, f.id, f.\"table\", f.\"from\", f.\"to\", f.on_update, f.on_delete "
    "FROM sqlite_schema AS m JOIN pragma_foreign_key_list(m.name) AS f " KY_SQLITE_TABLES
    "ORDER BY m.rowid, f.id DESC, f.seq";

constexpr const char* indexesQuery =
    "SELECT m.name, i.name, i.\"unique\", i.origin, i.partial, x.cid, x.name, x.\"desc\", x.coll "
    "FROM sqlite_schema AS m JOIN pragma_index_list(m.name) AS i JOIN pragma_index_xinfo(i.name) AS x " KY_SQLITE_TABLES
    "AND x.key = 1 ORDER BY m.rowid, i.seq DESC, x.seqno";

#undef KY_SQLITE_TABLES

constexpr const char* viewColumnsQuery =
    "SELECT name, type, \"notnull\", dflt_value, pk, hidden FROM pragma_table_xinfo(?1)";

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
    std::vector<std::string> tableSql;                       // the CREATE statement of each table in cat.tables
    std::vector<text::tableText> texts;                      // what each table's statement says
    std::unordered_map<std::string, std::string> indexSql;   // index name → CREATE INDEX statement
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

bool readShadows(reader& r) {
    return eachRow(r, shadowQuery, L"the tables could not be listed",
                   [&](sqlite3_stmt* stmt) { r.shadows.insert(textAt(stmt, 0)); });
}

// The objects of the main database in creation order: tables become
// catalogue tables at once, the rest waits for them.
void schemaRow(reader& r, sqlite3_stmt* stmt) {
    const std::string type = textAt(stmt, 0);
    std::string name = textAt(stmt, 1);
    std::string sql = textAt(stmt, 3);
    if (type == "index") return void(r.indexSql.emplace(std::move(name), std::move(sql)));
    if (type == "trigger") return r.triggers.push_back({std::move(name), textAt(stmt, 2), std::move(sql)});
    if ((type != "table" && type != "view") || !r.isSelected(name)) return;
    if (type == "view") r.views.push_back({std::move(name), std::move(sql)});
    else if (sql.compare(0, 21, "CREATE VIRTUAL TABLE ") == 0)
        r.notCarried(L"the virtual table " + quoted(name) + L" is not carried", name);
    else if (r.shadows.count(name))
        r.notCarried(L"the table " + quoted(name) + L" belongs to a virtual table and is not carried", name);
    else if (r.tableIndex.count(name) == 0) r.addTable(name, std::move(sql));
}

bool readSchema(reader& r) {
    return eachRow(r, schemaQuery, L"the schema could not be read", [&](sqlite3_stmt* stmt) { schemaRow(r, stmt); });
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

// The rows of one table come together, in column order; each table gets a
// list of exactly its size: tens of thousands of tables would otherwise
// keep the spare room of a doubled list each.
bool readColumns(reader& r) {
    std::string current;
    bool started = false;
    std::vector<catColumn> gathered;
    catTable* table = nullptr;
    auto flush = [&] {
        // A table met twice (sqlite_schema's names are unique, so only in
        // theory) keeps the columns it had first.
        if (table && table->columns.empty())
            table->columns.assign(std::make_move_iterator(gathered.begin()), std::make_move_iterator(gathered.end()));
        gathered.clear();
    };
    const bool read = eachRow(r, columnsQuery, L"the columns could not be read", [&](sqlite3_stmt* stmt) {
        const std::string_view name(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
        if (!started || current != name) {
            flush();
            started = true;
            current = name;
            table = r.tableNamed(current);
        }
        if (table) readColumn(stmt, 1, gathered.emplace_back());
    });
    flush();
    return read;
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

void readStatement(reader& r, std::size_t index) {
    catTable& table = r.cat.tables[index];
    text::tableText& t = r.texts[index];
    t.columns.reserve(table.columns.size());
    if (!text::readTableText(r.tableSql[index], t)) {
        r.notCarried(L"the statement of the table " + quoted(utf8(table.name)) +
                         L" could not be read; its checks, collations, generated columns and options are not carried",
                     utf8(table.name));
        t = {};
        for (catColumn& column : table.columns) column.generated.clear();
        return;
    }
    applyColumnTexts(r, table, t);
    for (const text::checkText& check : t.checks) table.checks.push_back({wide(check.name), wide(check.text)});
    table.keyName = wide(t.keyName);
    table.options = wide(t.options);
}

void readStatements(reader& r) {
    r.texts.resize(r.cat.tables.size());
    for (std::size_t i = 0; i < r.cat.tables.size(); ++i) readStatement(r, i);
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

bool readForeignKeys(reader& r) {
    std::string lastTable;
    int lastId = -1;
    return eachRow(r, foreignKeysQuery, L"the foreign keys could not be read", [&](sqlite3_stmt* stmt) {
        const std::string name = textAt(stmt, 0);
        catTable* table = r.tableNamed(name);
        if (!table) return;
        const int id = sqlite3_column_int(stmt, 1);
        if (name != lastTable || id != lastId) {
            catForeignKey& fk = table->foreignKeys.emplace_back();
            fk.target = wideAt(stmt, 2);
            fk.actions = wide(actionsOf(textAt(stmt, 5), textAt(stmt, 6)));
            lastTable = name;
            lastId = id;
        }
        catForeignKey& fk = table->foreignKeys.back();
        fk.from.push_back(wideAt(stmt, 3));
        // A foreign key written without target columns leads to the
        // target's primary key; SQLite answers NULL for them.
        if (sqlite3_column_type(stmt, 4) != SQLITE_NULL) fk.to.push_back(wideAt(stmt, 4));
    });
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

// Whether `collation` is the one the column compares with anyway.
bool columnCollation(const catColumn& column, const std::string& collation) {
    if (column.collation.empty()) return foldedAscii(collation) == "binary";
    const std::string written = utf8(column.collation);
    const text::tokenList t(written);
    return t.ok() && t.size() == 1 && foldedAscii(t.name(0)) == foldedAscii(collation);
}

void indexColumn(indexRead& index, sqlite3_stmt* stmt) {
    const int cid = sqlite3_column_int(stmt, 5);
    index.columns.push_back(textAt(stmt, 6));
    const std::vector<catColumn>& columns = index.table->columns;
    if (cid < 0 || static_cast<std::size_t>(cid) >= columns.size() || sqlite3_column_int(stmt, 7) != 0 ||
        !columnCollation(columns[static_cast<std::size_t>(cid)], textAt(stmt, 8)))
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
    for (text::uniqueText& written : r.texts[index.position].uniques) {
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

bool readIndexes(reader& r) {
    indexRead index;
    const bool read = eachRow(r, indexesQuery, L"the indexes could not be read", [&](sqlite3_stmt* stmt) {
        const std::string table = textAt(stmt, 0);
        const std::string name = textAt(stmt, 1);
        if (!index.table || name != index.name) {
            if (index.table) addIndex(r, index);
            index = {};
            auto it = r.tableIndex.find(table);
            if (it == r.tableIndex.end()) return;
            index.table = &r.cat.tables[it->second];
            index.position = it->second;
            index.name = name;
            index.unique = sqlite3_column_int(stmt, 2) != 0;
            index.origin = textAt(stmt, 3);
            index.plain = sqlite3_column_int(stmt, 4) == 0;
        }
        indexColumn(index, stmt);
    });
    if (index.table) addIndex(r, index);
    return read;
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
    int rc = sqlite3_prepare_v2(r.db, viewColumnsQuery, -1, &stmt, nullptr);
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

// Reads everything, in the order each step needs: the shadow tables before
// the schema that lists them, the columns before the statements that
// complete them, the statements before the foreign keys and indexes they
// name and the indexes that judge their collations, the tables before the
// views that read them.
bool readAll(reader& r) {
    if (!readShadows(r) || !readSchema(r) || !readColumns(r)) return false;
    readStatements(r);
    if (!readForeignKeys(r)) return false;
    for (std::size_t i = 0; i < r.cat.tables.size(); ++i) completeForeignKeys(r, r.cat.tables[i], r.texts[i]);
    if (!readIndexes(r) || !readViews(r)) return false;
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
