// SQLite's part of a migration. Its ALTER TABLE renames tables and columns,
// adds a column that needs no check of the rows beyond NOT NULL with a
// constant default, and drops a column nothing else of the table names;
// every other change rebuilds the table the way SQLite documents for schema
// changes it has no statement for, inside the migration's transaction and
// with foreign keys off around it:
//
//   CREATE TABLE "t_ky_new" (the new definition);
//   INSERT INTO "t_ky_new" (kept columns) SELECT (their old names) FROM "t";
//   DROP TABLE "t";
//   ALTER TABLE "t_ky_new" RENAME TO "t";
//   the table's indexes and triggers again.
//
// The views that read the table are dropped before and created after by
// the planner; PRAGMA foreign_key_check runs before the commit.
#include <algorithm>

#include "../migration.h"

namespace ky::metamodel::sql::detail {

namespace {

bool named(const std::vector<namedColumns>& list, const ky::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const namedColumns& entry) {
        return std::find(entry.columns.begin(), entry.columns.end(), name) != entry.columns.end();
    });
}

// ADD COLUMN refuses a key or UNIQUE column, a stored generated one, NOT
// NULL without a constant default, and a default that is no constant.
bool addable(const table& t, const column& c) {
    const std::string& value = c.defaultSql;
    const std::string folded = foldedAscii(value);
    if (c.unique || std::find(t.key.begin(), t.key.end(), c.name) != t.key.end()) return false;
    if (foldedAscii(c.facts().generated).find("stored") != std::string::npos) return false;
    if (c.notNull && c.facts().generated.empty() && (value.empty() || folded == "null")) return false;
    return value.empty() || (value[0] != '(' && folded.rfind("current_", 0) != 0);
}

// DROP COLUMN refuses a column in a key, a unique constraint, an index or a
// foreign key, and one that a check, generated column or trigger may name.
bool droppable(const table& t, const column& c) {
    const ky::string& name = c.name.string();
    if (c.unique || std::find(t.key.begin(), t.key.end(), c.name) != t.key.end()) return false;
    if (named(t.facts.indexes, name) || named(t.facts.uniqueIndexes, name) || named(t.facts.uniques, name)) return false;
    if (!t.facts.checks.empty() || !t.facts.indexStatements.empty() || !t.facts.uniqueConstraints.empty() ||
        !t.facts.foreignKeys.empty() || !t.facts.after.empty())
        return false;
    for (const foreignKey& fk : t.foreignKeys)
        if (std::find(fk.from.begin(), fk.from.end(), c.name) != fk.from.end()) return false;
    return std::none_of(t.columns.begin(), t.columns.end(),
                        [](const column& other) { return !other.facts().generated.empty() || !other.facts().after.empty(); });
}

// The CREATE TRIGGER statements of a table's class and columns.
std::vector<std::string> triggersOf(const table& t, eDialect dialect) {
    std::vector<std::string> out;
    const auto add = [&](const std::vector<std::string>& list) {
        for (const std::string& s : list)
            if (beginsWith(s, dialect, "CREATE [TEMP|TEMPORARY] TRIGGER") && std::find(out.begin(), out.end(), s) == out.end())
                out.push_back(s);
    };
    add(t.facts.after);
    for (const column& c : t.columns) add(c.facts().after);
    return out;
}

}  // namespace

bool sqliteAltersInPlace(const planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    if (!constraintsSame(p, before, after)) return false;
    std::vector<char> kept(before.columns.size(), 0);
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        const std::size_t old = p.columnFrom[i][c];
        if (old == none) {
            if (!addable(after, after.columns[c])) return false;
            continue;
        }
        kept[old] = 1;
        if (before.columns[old].definition != after.columns[c].definition) return false;
    }
    for (std::size_t c = 0; c < before.columns.size(); ++c)
        if (!kept[c] && !droppable(before, before.columns[c])) return false;
    return true;
}

void sqliteRebuild(planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    const std::string name = p.quoted(after.name.string());
    const std::string fresh = p.quoted(after.name.string() + L"_ky_new");
    migrationStep& s = p.step(pTables, eStepRebuildTable, planner::elementOf(after),
                              L"rebuild table " + planner::elementOf(after) + L" (new table, rows copied)");
    const std::string create = createTable(after, p.to);
    s.statements.push_back("CREATE TABLE " + fresh + create.substr(sizeof("CREATE TABLE ") - 1 + name.size()));
    std::string into, select;
    std::vector<char> kept(before.columns.size(), 0);
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        const std::size_t old = p.columnFrom[i][c];
        if (old == none || !after.columns[c].facts().generated.empty()) {
            if (old != none) kept[old] = 1;
            continue;
        }
        kept[old] = 1;
        if (after.columns[c].notNull && !before.columns[old].notNull) s.destructive = true;
        into += (into.empty() ? "" : ", ") + p.quoted(after.columns[c].name.string());
        select += (select.empty() ? "" : ", ") + p.quoted(before.columns[old].name.string());
    }
    if (!into.empty()) s.statements.push_back("INSERT INTO " + fresh + " (" + into + ") SELECT " + select + " FROM " + name);
    s.statements.push_back("DROP TABLE " + name);
    s.statements.push_back("ALTER TABLE " + fresh + " RENAME TO " + name);
    for (namedText& index : tableIndexes(after, p.to)) s.statements.push_back(std::move(index.text));
    // The triggers the table keeps; those it gains run with the other new statements.
    const std::vector<std::string> old = triggersOf(before, eSqlite);
    for (const std::string& trigger : triggersOf(after, eSqlite))
        if (std::find(old.begin(), old.end(), trigger) != old.end()) s.statements.push_back(trigger);
    s.destructive = s.destructive || std::find(kept.begin(), kept.end(), 0) != kept.end();
    p.result.foreignKeysOff = true;
}

}  // namespace ky::metamodel::sql::detail
