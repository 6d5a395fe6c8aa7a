// The migration planner: the steps that bring a database made from one
// model to another, both read as the DDL writer reads them (ddl.h), so that
// a fact the DDL writes and the step that changes it are written once.
//
//   1. Both models are collected as tables (refused when either gives no
//      DDL, when they disagree on case folding or when a rename the host
//      asserts names nothing or the wrong kind of element).
//   2. Each table and column of the new model is matched with the one of
//      the old model it continues: the same class or field name under the
//      models' name rule, or the old name a rename gives. Nothing else is a
//      rename.
//   3. Each pair of tables is compared part by part (columns, key, checks,
//      uniques, foreign keys, indexes, labels) and each difference becomes
//      a step in its phase (migration.h): views, foreign keys, indexes,
//      statements and constraints are dropped before tables and columns
//      change and created after, types and schemas before their users, and
//      objects the old statements made are dropped last. SQLite rebuilds a
//      table whose change its ALTER TABLE does not take (sqlite/migration.cpp);
//      PostgreSQL alters a column in place (postgresql/migration.cpp).
//   4. The phases are joined in order.
//
// Changes the database takes in place are preferred; a step is destructive
// when it can lose rows or values (a dropped table or column, a narrowed
// type, a NOT NULL added, a value dropped from an enum).
#include <algorithm>
#include <system_error>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "migration.h"

namespace ky::metamodel::sql {

namespace {

using detail::column;
using detail::ddlContext;
using detail::foreignKey;
using detail::makeDiagnostic;
using detail::namedColumns;
using detail::namedText;
using detail::none;
using detail::planner;
using detail::table;
using namespace detail;

// ---- bad input ----

void fail(migration& out, const char* code, const ky::string& message, const ky::string& element = {}) {
    out.problems.push_back(makeDiagnostic(eError, code, message));
    out.problems.back().element = element;
}

// The renames the host asserts, checked against both models: each old name
// is a table (or a column of one) of `from`, each new one of `to`.
struct renames {
    std::unordered_map<ky::string, ky::string> tableOld;   // new class name (folded) → old class name
    std::unordered_map<ky::string, ky::string> columnOld;  // "newClass.newField" (folded) → old field name
};

ky::string folded(const ky::string& name, bool caseSensitive) { return caseSensitive ? name : name.lower(); }

const table* tableOfClass(const ddlContext& ctx, const ky::string& name) {
    const ky::const_refPtr<classInfo> cls = ctx.model.classInfo(name, false);
    const auto it = cls ? ctx.tableOf.find(cls.get()) : ctx.tableOf.end();
    return it == ctx.tableOf.end() ? nullptr : &ctx.tables[it->second];
}

bool hasColumnNamed(const table& t, const ky::string& name, bool caseSensitive) {
    const ky::string key = folded(name, caseSensitive);
    return std::any_of(t.columns.begin(), t.columns.end(),
                       [&](const column& c) { return folded(c.name.string(), caseSensitive) == key; });
}

// Checks one table rename; false after an error.
bool checkTableRename(const ddlContext& from, const ddlContext& to, const ky::string& oldName, const ky::string& newName,
                      migration& out) {
    const table* before = tableOfClass(from, oldName);
    const table* after = tableOfClass(to, newName);
    if (!before || !after) {
        fail(out, "sql.migrate.rename",
             L"the rename \"" + oldName + L"=" + newName + L"\" names " +
                 (!before ? L"no table \"" + oldName + L"\" of the old model" : L"no table \"" + newName + L"\" of the new model"),
             oldName);
        return false;
    }
    if (before->facts.view != after->facts.view) {
        fail(out, "sql.migrate.rename-kind",
             L"the rename \"" + oldName + L"=" + newName + L"\" turns a " + (before->facts.view ? L"view" : L"table") +
                 L" into a " + (after->facts.view ? L"view" : L"table"),
             oldName);
        return false;
    }
    return true;
}

// Checks one column rename ("table.column" of the old model to a column
// name of the table that continues it); false after an error.
bool checkColumnRename(const ddlContext& from, const ddlContext& to, const renames& r, const ky::string& oldName,
                       const ky::string& newName, migration& out) {
    const bool cs = to.model.caseSensitiveNames();
    const std::size_t dot = oldName.find(L'.');
    const ky::string oldTable = oldName.substr(0, dot), oldColumn = oldName.substr(dot + 1);
    const table* before = tableOfClass(from, oldTable);
    const auto refuse = [&](const char* code, const ky::string& why) {
        fail(out, code, L"the rename \"" + oldName + L"=" + newName + L"\" " + why, oldName);
        return false;
    };
    if (before && before->facts.view) return refuse("sql.migrate.rename-kind", L"names a column of a view");
    if (!before || !hasColumnNamed(*before, oldColumn, cs))
        return refuse("sql.migrate.rename", L"names no column \"" + oldName + L"\" of the old model");
    if (newName.find(L'.') != ky::string::npos)
        return refuse("sql.migrate.rename-kind", L"gives a column a qualified name; give the new column's name alone");
    ky::string newTable = oldTable;
    for (const auto& [renamedTo, renamedFrom] : r.tableOld)
        if (folded(renamedFrom, cs) == folded(oldTable, cs)) newTable = renamedTo;
    const table* after = tableOfClass(to, newTable);
    if (!after || !hasColumnNamed(*after, newName, cs))
        return refuse("sql.migrate.rename", L"names no column \"" + newName + L"\" of the new model's table");
    return true;
}

// Table renames first: a column rename's table may be renamed too.
renames readRenames(const ddlContext& from, const ddlContext& to, const migrationOptions& options, migration& out) {
    renames r;
    const bool cs = to.model.caseSensitiveNames();
    for (const auto& [oldName, newName] : options.renames)
        if (oldName.find(L'.') == ky::string::npos && checkTableRename(from, to, oldName, newName, out))
            r.tableOld[folded(newName, cs)] = oldName;
    for (const auto& [oldName, newName] : options.renames) {
        if (oldName.find(L'.') == ky::string::npos || !checkColumnRename(from, to, r, oldName, newName, out)) continue;
        const std::size_t dot = oldName.find(L'.');
        r.columnOld[folded(oldName.substr(0, dot), cs) + L"." + folded(newName, cs)] = oldName.substr(dot + 1);
    }
    return r;
}

// ---- matching ----

void matchTables(planner& p, const renames& r) {
    const bool cs = p.to.model.caseSensitiveNames();
    p.fromOf.assign(p.to.tables.size(), none);
    p.toOf.assign(p.from.tables.size(), none);
    std::unordered_map<ky::string, ky::string> newOfOld;
    for (const auto& [newName, oldName] : r.tableOld) newOfOld[folded(oldName, cs)] = newName;
    for (std::size_t i = 0; i < p.to.tables.size(); ++i) {
        const ky::string name = folded(p.to.tables[i].cls->scName().string(), cs);
        const auto renamed = r.tableOld.find(name);
        const table* before = nullptr;
        if (renamed != r.tableOld.end()) before = tableOfClass(p.from, renamed->second);
        else if (!newOfOld.contains(name)) before = tableOfClass(p.from, name);
        if (!before || before->facts.view != p.to.tables[i].facts.view) continue;
        const std::size_t j = static_cast<std::size_t>(before - p.from.tables.data());
        p.fromOf[i] = j;
        p.toOf[j] = i;
    }
}

void matchColumns(planner& p, const renames& r) {
    const bool cs = p.to.model.caseSensitiveNames();
    p.columnFrom.assign(p.to.tables.size(), {});
    for (std::size_t i = 0; i < p.to.tables.size(); ++i) {
        if (p.fromOf[i] == none) continue;
        const table& after = p.to.tables[i];
        const table& before = p.from.tables[p.fromOf[i]];
        const ky::string oldTable = folded(before.cls->scName().string(), cs);
        std::unordered_set<ky::string> renamedAway;
        for (const auto& [key, oldColumn] : r.columnOld)
            if (key.compare(0, oldTable.size() + 1, oldTable + L".") == 0) renamedAway.insert(folded(oldColumn, cs));
        auto& map = p.columnFrom[i];
        map.assign(after.columns.size(), none);
        // Nearly every column keeps its name and place: those are matched
        // without a look-up (names are interned: equal handles, equal names).
        std::unordered_map<ky::string, std::size_t> byName;
        for (std::size_t c = 0; c < after.columns.size(); ++c) {
            if (renamedAway.empty() && c < before.columns.size() && before.columns[c].name == after.columns[c].name) {
                map[c] = c;
                continue;
            }
            if (byName.empty())
                for (std::size_t k = 0; k < before.columns.size(); ++k) byName[folded(before.columns[k].name.string(), cs)] = k;
            const ky::string name = folded(after.columns[c].name.string(), cs);
            const auto renamed = r.columnOld.find(oldTable + L"." + name);
            const ky::string oldName = renamed != r.columnOld.end() ? folded(renamed->second, cs) : name;
            if (renamed == r.columnOld.end() && renamedAway.contains(name)) continue;
            const auto it = byName.find(oldName);
            if (it != byName.end()) map[c] = it->second;
        }
    }
}

// ---- comparing tables ----

std::vector<std::string> foreignKeyTexts(const table& t, const ddlContext& ctx) {
    std::vector<std::string> out;
    for (const foreignKey& fk : t.foreignKeys) appendForeignKey(out.emplace_back(), fk, ctx);
    return out;
}

bool sameNamed(const std::vector<namedColumns>& a, const std::vector<namedColumns>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const namedColumns& x, const namedColumns& y) { return x.name == y.name && x.columns == y.columns; });
}
bool sameTexts(const std::vector<namedText>& a, const std::vector<namedText>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const namedText& x, const namedText& y) { return x.name == y.name && x.text == y.text; });
}

std::vector<ky::string> keyNames(const table& t) {
    std::vector<ky::string> out;
    for (ky::scString name : t.key) out.push_back(name.string());
    return out;
}

}  // namespace

bool detail::constraintsSame(const planner& p, const table& before, const table& after) {
    return keyNames(before) == keyNames(after) && before.keyInColumn == after.keyInColumn &&
           sameTexts(before.facts.checks, after.facts.checks) && sameNamed(before.facts.uniques, after.facts.uniques) &&
           sameTexts(before.facts.uniqueConstraints, after.facts.uniqueConstraints) &&
           sameTexts(before.facts.foreignKeys, after.facts.foreignKeys) &&
           foreignKeyTexts(before, p.from) == foreignKeyTexts(after, p.to) && before.facts.options == after.facts.options;
}

namespace {

// ---- steps of one table ----

void renameTable(planner& p, const table& before, const table& after) {
    if (before.name.string() == after.name.string() && before.schema == after.schema) return;
    migrationStep& s = p.step(pTables, eStepRenameTable, planner::elementOf(after),
                              L"rename table " + planner::elementOf(before) + L" to " + planner::elementOf(after));
    std::string name;
    p.from.appendTableName(name, before);
    if (before.schema != after.schema) {
        s.statements.push_back("ALTER TABLE " + name + " SET SCHEMA " + p.quoted(after.schema.empty() ? L"public" : after.schema));
        name = p.quoted(after.schema.empty() ? L"public" : after.schema) + "." + p.quoted(before.name.string());
    }
    if (before.name.string() != after.name.string())
        s.statements.push_back("ALTER TABLE " + name + " RENAME TO " + p.quoted(after.name.string()));
}

void addColumn(planner& p, const table& t, const column& c) {
    const ky::string element = planner::elementOf(t) + L"." + c.name.string();
    migrationStep& s = p.step(pTables, eStepAddColumn, element,
                              L"add column " + element + L" (" + wide(c.definition.substr(c.definition.empty() ? 0 : 1)) + L")");
    s.statements.push_back("ALTER TABLE " + p.tableName(t) + " ADD COLUMN " + p.quoted(c.name.string()) + c.definition);
}

void dropColumn(planner& p, const table& t, const column& c) {
    const ky::string element = planner::elementOf(t) + L"." + c.name.string();
    migrationStep& s = p.step(pTables, eStepDropColumn, element, L"drop column " + element);
    s.statements.push_back("ALTER TABLE " + p.tableName(t) + " DROP COLUMN " + p.quoted(c.name.string()));
    s.destructive = true;
}

void renameColumn(planner& p, const table& t, const column& before, const column& after) {
    const ky::string element = planner::elementOf(t) + L"." + after.name.string();
    migrationStep& s = p.step(pTables, eStepRenameColumn, element,
                              L"rename column " + planner::elementOf(t) + L"." + before.name.string() + L" to " + after.name.string());
    s.statements.push_back("ALTER TABLE " + p.tableName(t) + " RENAME COLUMN " + p.quoted(before.name.string()) + " TO " +
                           p.quoted(after.name.string()));
}

// The columns of a kept table, in place: renamed, added, dropped, altered.
void alterColumns(planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    const auto& map = p.columnFrom[i];
    std::vector<char> kept(before.columns.size(), 0);
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        if (map[c] == none) continue;
        kept[map[c]] = 1;
        const column& old = before.columns[map[c]];
        if (old.name.string() != after.columns[c].name.string()) renameColumn(p, after, old, after.columns[c]);
    }
    for (std::size_t c = 0; c < before.columns.size(); ++c)
        if (!kept[c]) dropColumn(p, after, before.columns[c]);
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        if (map[c] == none) addColumn(p, after, after.columns[c]);
        else if (p.dialect() == ePostgresql && before.columns[map[c]].definition != after.columns[c].definition)
            pgAlterColumn(p, i, before.columns[map[c]], after.columns[c]);
    }
}

bool columnsSame(const planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    if (before.columns.size() != after.columns.size()) return false;
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        const std::size_t old = p.columnFrom[i][c];
        if (old == none || before.columns[old].name.string() != after.columns[c].name.string() ||
            before.columns[old].definition != after.columns[c].definition)
            return false;
    }
    return true;
}

// ---- PostgreSQL constraints ----

// Adds or drops a constraint of the table `tt` of `to`. A drop runs before
// the tables change, so it names the table as `from` has it (a renamed
// table still has its old name then).
void pgConstraint(planner& p, const table& tt, bool add, const ky::string& name, const std::string& text,
                  eStepKind kind, const wchar_t* what) {
    const std::size_t i = static_cast<std::size_t>(&tt - p.to.tables.data());
    const table& t = !add && p.fromOf[i] != none ? p.from.tables[p.fromOf[i]] : tt;
    const ky::string element = planner::elementOf(t) + L"." + name;
    migrationStep& s = p.step(add ? (kind == eStepAddForeignKey || kind == eStepDropForeignKey ? pAddForeignKeys : pAddConstraints)
                                  : (kind == eStepAddForeignKey || kind == eStepDropForeignKey ? pDropForeignKeys : pDropConstraints),
                              kind, element, ky::string(add ? L"add " : L"drop ") + what + L" " + element);
    if (add) s.statements.push_back("ALTER TABLE " + p.tableName(t) + " ADD CONSTRAINT " + p.quoted(name) + " " + text);
    else s.statements.push_back("ALTER TABLE " + p.tableName(t) + " DROP CONSTRAINT " + p.quoted(name));
}

ky::string orName(const ky::string& name, const table& t, const std::vector<ky::string>& columns, const char* label) {
    return name.empty() ? pgConstraintName(t.name.string(), columns, label) : name;
}

std::string uniqueText(const namedColumns& u, const planner& p) {
    std::string out = "UNIQUE (";
    for (std::size_t i = 0; i < u.columns.size(); ++i) out += (i ? ", " : "") + p.quoted(u.columns[i]);
    return out + ")";
}

// Each named text of `before` that `after` lacks is dropped, each of
// `after` that `before` lacks added.
template <class List, class Name, class Text>
void diffNamed(planner& p, const table& tb, const table& ta, const List& before, const List& after, Name name, Text text,
               eStepKind add, eStepKind drop, const wchar_t* what) {
    const auto contains = [&](const List& list, const auto& entry, const table& tl, const table& te) {
        return std::any_of(list.begin(), list.end(),
                           [&](const auto& x) { return name(x, tl) == name(entry, te) && text(x) == text(entry); });
    };
    for (const auto& entry : before)
        if (!contains(after, entry, ta, tb)) pgConstraint(p, ta, false, name(entry, tb), text(entry), drop, what);
    for (const auto& entry : after)
        if (!contains(before, entry, tb, ta)) pgConstraint(p, ta, true, name(entry, ta), text(entry), add, what);
}

std::vector<ky::string> fkColumns(const foreignKey& fk) {
    std::vector<ky::string> out;
    for (ky::scString name : fk.from) out.push_back(name.string());
    return out;
}

// Unquotes one part of a PostgreSQL name as the database reads it: a
// quoted one as written, an unquoted one folded to lower case.
ky::string namePart(std::string_view part) {
    if (part.size() < 2 || part.front() != '"') return wide(foldedAscii(std::string(part)));
    std::string out;
    for (std::size_t at = 1; at + 1 < part.size(); ++at) {
        out += part[at];
        if (part[at] == '"') ++at;
    }
    return wide(out);
}

// Whether a foreign key written as a whole text (a table fact: "FOREIGN
// KEY (a) REFERENCES s.t (b) ...") points at a table of `to` whose key or
// uniques change. The target is read after the first REFERENCES outside
// quotes; every table of that name (in that schema, when it is named) counts.
bool factTargetChanged(const planner& p, const std::string& text) {
    std::size_t at = 0;
    const auto skipQuoted = [&] {
        for (++at; at < text.size(); ++at)
            if (text[at] == '"' && !(at + 1 < text.size() && text[at + 1] == '"')) break;
            else if (text[at] == '"') ++at;
        ++at;
    };
    const auto isName = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
    };
    bool found = false;
    while (at < text.size() && !found) {
        if (text[at] == '"') {
            skipQuoted();
        } else if (isName(text[at])) {
            const std::size_t start = at;
            while (at < text.size() && isName(text[at])) ++at;
            found = foldedAscii(text.substr(start, at - start)) == "references";
        } else {
            ++at;
        }
    }
    if (!found) return false;
    std::vector<ky::string> parts;
    for (;;) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        const std::size_t start = at;
        if (at < text.size() && text[at] == '"') skipQuoted();
        else
            while (at < text.size() && isName(text[at])) ++at;
        if (at == start) break;
        parts.push_back(namePart(std::string_view(text).substr(start, std::min(at, text.size()) - start)));
        if (at >= text.size() || text[at] != '.') break;
        ++at;
    }
    if (parts.empty() || parts.size() > 2) return false;
    for (std::size_t i = 0; i < p.to.tables.size(); ++i) {
        const table& t = p.to.tables[i];
        if (t.name.string() != parts.back()) continue;
        if (parts.size() == 2 && t.schema != parts[0] && !(t.schema.empty() && parts[0] == L"public")) continue;
        if (p.targetChanged[i]) return true;
    }
    return false;
}

// The foreign keys a table fact carries: dropped when they go or change,
// or when their target's key or uniques change (they may depend on what is
// dropped there), added when they are new, change, or were so dropped.
void pgFactForeignKeys(planner& p, const table& before, const table& after) {
    const auto same = [](const namedText& x, const namedText& y) { return x.name == y.name && x.text == y.text; };
    const auto in = [&](const std::vector<namedText>& list, const namedText& x) {
        return std::any_of(list.begin(), list.end(), [&](const namedText& y) { return same(x, y); });
    };
    for (const namedText& fk : before.facts.foreignKeys)
        if (!in(after.facts.foreignKeys, fk) || factTargetChanged(p, fk.text))
            pgConstraint(p, after, false, orName(fk.name, before, {}, "fkey"), {}, eStepDropForeignKey, L"foreign key");
    for (const namedText& fk : after.facts.foreignKeys)
        if (!in(before.facts.foreignKeys, fk) || factTargetChanged(p, fk.text))
            pgConstraint(p, after, true, orName(fk.name, after, {}, "fkey"), fk.text, eStepAddForeignKey, L"foreign key");
}

void pgForeignKeys(planner& p, const table& before, const table& after) {
    std::vector<std::string> old = foreignKeyTexts(before, p.from), now = foreignKeyTexts(after, p.to);
    // A key towards a table whose primary key or a unique changes is dropped
    // before and added after: it may depend on what is dropped.
    for (std::size_t k = 0; k < before.foreignKeys.size(); ++k) {
        const std::size_t target = p.toOf[before.foreignKeys[k].target];
        const bool keep = std::find(now.begin(), now.end(), old[k]) != now.end() && target != none && !p.targetChanged[target];
        if (!keep)
            pgConstraint(p, after, false, pgConstraintName(before.name.string(), fkColumns(before.foreignKeys[k]), "fkey"), {},
                         eStepDropForeignKey, L"foreign key");
    }
    for (std::size_t k = 0; k < after.foreignKeys.size(); ++k)
        if (std::find(old.begin(), old.end(), now[k]) == old.end() || p.targetChanged[after.foreignKeys[k].target])
            pgConstraint(p, after, true, pgConstraintName(after.name.string(), fkColumns(after.foreignKeys[k]), "fkey"),
                         now[k] + (after.foreignKeys[k].notValid ? " NOT VALID" : ""), eStepAddForeignKey, L"foreign key");
}

void pgConstraints(planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    if (p.keyChanged[i]) {
        if (!before.key.empty())
            pgConstraint(p, after, false, pgConstraintName(before.name.string(), {}, "pkey"), {}, eStepDropConstraint,
                         L"primary key");
        if (!after.key.empty()) {
            std::string text = "PRIMARY KEY (";
            for (std::size_t k = 0; k < after.key.size(); ++k) text += (k ? ", " : "") + p.quoted(after.key[k].string());
            pgConstraint(p, after, true, pgConstraintName(after.name.string(), {}, "pkey"), text + ")", eStepAddConstraint,
                         L"primary key");
        }
    }
    const auto textName = [](const namedText& x, const table& t) { return orName(x.name, t, {}, "check"); };
    const auto textOf = [](const namedText& x) { return x.text; };
    diffNamed(p, before, after, before.facts.checks, after.facts.checks, textName, textOf, eStepAddConstraint,
              eStepDropConstraint, L"check");
    diffNamed(p, before, after, before.facts.uniqueConstraints, after.facts.uniqueConstraints, textName, textOf,
              eStepAddConstraint, eStepDropConstraint, L"unique constraint");
    diffNamed(
        p, before, after, before.facts.uniques, after.facts.uniques,
        [](const namedColumns& u, const table& t) { return orName(u.name, t, u.columns, "key"); },
        [&](const namedColumns& u) { return uniqueText(u, p); }, eStepAddConstraint, eStepDropConstraint,
        L"unique constraint");
    // Relations' keys before the facts' ones, as a new table adds them: reflection
    // makes the first of two keys from the same columns the relation.
    pgForeignKeys(p, before, after);
    pgFactForeignKeys(p, before, after);
    pgTableOptions(p, before, after);
}

// ---- indexes ----

void dropIndex(planner& p, const table& t, const namedText& index) {
    const ky::string element = planner::elementOf(t) + L"." + index.name;
    migrationStep& s = p.step(pDropIndexes, eStepDropIndex, element, L"drop index " + element);
    std::string name = t.schema.empty() ? std::string() : p.quoted(t.schema) + ".";
    s.statements.push_back("DROP INDEX " + name + p.quoted(index.name));
}

void createIndex(planner& p, const table& t, const namedText& index) {
    const ky::string element = planner::elementOf(t) + L"." + index.name;
    p.step(pCreateIndexes, eStepCreateIndex, element, L"create index " + element).statements.push_back(index.text);
}

void diffIndexes(planner& p, const table* before, const table& after, bool all) {
    const std::vector<namedText> old = before ? tableIndexes(*before, p.from) : std::vector<namedText>();
    const std::vector<namedText> now = tableIndexes(after, p.to);
    const auto in = [](const std::vector<namedText>& list, const namedText& x) {
        return std::any_of(list.begin(), list.end(), [&](const namedText& y) { return y.name == x.name && y.text == x.text; });
    };
    for (const namedText& index : old)
        if (all || !in(now, index)) dropIndex(p, *before, index);
    for (const namedText& index : now)
        if (all || !in(old, index)) createIndex(p, after, index);
}

// ---- labels (PostgreSQL) ----

void diffComments(planner& p, const table* before, const table& after) {
    std::vector<std::string> old, now;
    if (before) commentStatements(*before, p.from, old);
    commentStatements(after, p.to, now);
    for (const std::string& statement : now)
        if (std::find(old.begin(), old.end(), statement) == old.end())
            p.step(pComments, eStepComment, planner::elementOf(after), L"comment on " + planner::elementOf(after))
                .statements.push_back(statement);
    if (!before) return;
    // A label taken away: its comment is set to NULL.
    const auto clear = [&](const std::string& what, const ky::string& element) {
        p.step(pComments, eStepComment, element, L"drop the comment on " + element)
            .statements.push_back("COMMENT ON " + what + " IS NULL");
    };
    const char* kind = !after.facts.view ? "TABLE " : after.facts.materialized ? "MATERIALIZED VIEW " : "VIEW ";
    if (!before->cls->label().empty() && after.cls->label().empty()) clear(kind + p.tableName(after), planner::elementOf(after));
    const auto& map = p.columnFrom[static_cast<std::size_t>(&after - p.to.tables.data())];
    for (std::size_t c = 0; c < after.columns.size(); ++c)
        if (map[c] != none && !fieldLabel(*before->columns[map[c]].field).empty() && fieldLabel(*after.columns[c].field).empty())
            clear("COLUMN " + p.tableName(after) + "." + p.quoted(after.columns[c].name.string()),
                  planner::elementOf(after) + L"." + after.columns[c].name.string());
}

// ---- tables ----

void dropTable(planner& p, const table& t) {
    migrationStep& s = p.step(pDropTables, t.facts.view ? eStepDropView : eStepDropTable, planner::elementOf(t),
                              L"drop table " + planner::elementOf(t));
    std::string name;
    p.from.appendTableName(name, t);
    s.statements.push_back("DROP TABLE " + name);
    s.destructive = true;
}

void createTableStep(planner& p, std::size_t i) {
    // A key towards a kept table whose key or uniques change waits, as one
    // towards a unique index does, until they are in place: the CREATE TABLE
    // leaves it out and it is added with the other foreign keys.
    if (p.dialect() == ePostgresql)
        for (foreignKey& fk : p.to.tables[i].foreignKeys)
            if (p.targetChanged[fk.target]) fk.afterIndexes = true;
    const table& t = p.to.tables[i];
    p.step(pTables, eStepCreateTable, planner::elementOf(t), L"create table " + planner::elementOf(t))
        .statements.push_back(createTable(t, p.to));
    if (p.dialect() != ePostgresql) return;
    // What the DDL adds once every table exists: foreign keys that close a
    // cycle, NOT VALID ones, those towards columns a unique index makes unique.
    for (const foreignKey& fk : t.foreignKeys) {
        if (!fk.closesCycle && !fk.notValid && !fk.afterIndexes) continue;
        std::string text;
        appendForeignKey(text, fk, p.to);
        std::vector<ky::string> columns;
        for (ky::scString name : fk.from) columns.push_back(name.string());
        pgConstraint(p, t, true, pgConstraintName(t.name.string(), columns, "fkey"), text + (fk.notValid ? " NOT VALID" : ""),
                     eStepAddForeignKey, L"foreign key");
    }
    for (const namedText& fk : t.facts.foreignKeys) pgConstraint(p, t, true, fk.name, fk.text, eStepAddForeignKey, L"foreign key");
    for (const namedText& check : t.facts.checks)
        if (endsNotValid(check.text)) pgConstraint(p, t, true, check.name, check.text, eStepAddConstraint, L"check");
}

void keptTable(planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    renameTable(p, before, after);
    const bool same = columnsSame(p, i) && constraintsSame(p, before, after);
    p.changed[i] = !same || before.name.string() != after.name.string() || before.schema != after.schema;
    if (p.dialect() == eSqlite && !same && !sqliteAltersInPlace(p, i)) {
        p.rebuilt[i] = 1;
        sqliteRebuild(p, i);
        return;
    }
    alterColumns(p, i);
    if (p.dialect() == ePostgresql) pgConstraints(p, i);
    diffIndexes(p, &before, after, false);
    if (p.dialect() == ePostgresql && p.to.options.labelsAsComments) diffComments(p, &before, after);
}

// Whether a unique of the table `i` of `to` (a column's UNIQUE, a unique
// constraint, a unique index) is dropped, added or changed: a foreign key
// may reference it, and PostgreSQL drops none that one depends on.
bool uniquesChange(const planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    const auto uniqueColumns = [](const table& t) {
        std::vector<ky::string> out;
        for (const column& c : t.columns)
            if (c.unique) out.push_back(c.name.string());
        return out;
    };
    return uniqueColumns(before) != uniqueColumns(after) || !sameNamed(before.facts.uniques, after.facts.uniques) ||
           !sameTexts(before.facts.uniqueConstraints, after.facts.uniqueConstraints) ||
           !sameNamed(before.facts.uniqueIndexes, after.facts.uniqueIndexes);
}

// Whether a column of the key or of a unique of the table `i` of `to`
// changes its type or collation: PostgreSQL then writes the keys towards it
// again, against the new type, and refuses one whose columns no longer
// match it (an integer column towards a key turned text).
bool referencedTypeChanges(const planner& p, std::size_t i) {
    const table& after = p.to.tables[i];
    const table& before = p.from.tables[p.fromOf[i]];
    const auto referenced = [&](const column& c) {
        const ky::string name = c.name.string();
        const auto inList = [&](const std::vector<namedColumns>& list) {
            return std::any_of(list.begin(), list.end(), [&](const namedColumns& u) {
                return std::find(u.columns.begin(), u.columns.end(), name) != u.columns.end();
            });
        };
        // A unique constraint's text is searched for the name: a key too many
        // is dropped and added again, none is left to fail.
        return c.unique || std::find(after.key.begin(), after.key.end(), c.name) != after.key.end() ||
               inList(after.facts.uniques) || inList(after.facts.uniqueIndexes) ||
               std::any_of(after.facts.uniqueConstraints.begin(), after.facts.uniqueConstraints.end(),
                           [&](const namedText& u) { return u.text.find(name.toUtf8()) != std::string::npos; });
    };
    for (std::size_t c = 0; c < after.columns.size(); ++c) {
        const std::size_t old = p.columnFrom[i][c];
        if (old == none) continue;
        const column& was = before.columns[old];
        if ((was.type != after.columns[c].type || was.facts().collation != after.columns[c].facts().collation) &&
            referenced(after.columns[c]))
            return true;
    }
    return false;
}

void diffTables(planner& p) {
    const std::size_t n = p.to.tables.size();
    p.changed.assign(n, 0);
    p.rebuilt.assign(n, 0);
    p.keyChanged.assign(n, 0);
    p.targetChanged.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        if (p.fromOf[i] != none && !p.to.tables[i].facts.view) {
            p.keyChanged[i] = keyNames(p.from.tables[p.fromOf[i]]) != keyNames(p.to.tables[i]);
            p.targetChanged[i] = p.keyChanged[i] || uniquesChange(p, i) || referencedTypeChanges(p, i);
        }
    for (std::size_t i : tableOrder(p.to)) {
        if (p.fromOf[i] == none) {
            p.changed[i] = 1;
            createTableStep(p, i);
            diffIndexes(p, nullptr, p.to.tables[i], false);
            if (p.dialect() == ePostgresql && p.to.options.labelsAsComments) diffComments(p, nullptr, p.to.tables[i]);
        } else {
            keptTable(p, i);
        }
    }
    // A logged table may not point at an unlogged one: tables turn unlogged
    // after every other change of the tables, the ones pointing first.
    auto& steps = p.phases[pTables];
    const auto unlogged = [](const migrationStep& s) {
        return s.kind == eStepAlterTable && s.statements.size() == 1 && s.statements[0].ends_with(" SET UNLOGGED");
    };
    const auto tail = std::stable_partition(steps.begin(), steps.end(), [&](const migrationStep& s) { return !unlogged(s); });
    std::reverse(tail, steps.end());
    std::vector<std::size_t> fromOrder = tableOrder(p.from);
    for (auto it = fromOrder.rbegin(); it != fromOrder.rend(); ++it)
        if (p.toOf[*it] == none) dropTable(p, p.from.tables[*it]);
}

// ---- views ----

void diffViews(planner& p) {
    // A view is dropped and created again when it goes, changes, or reads
    // a table or view that changes; one that names nothing it reads is
    // rebuilt with any change of a table.
    const bool anyChanged = std::any_of(p.changed.begin(), p.changed.end(), [](char c) { return c != 0; });
    const std::vector<std::size_t> order = viewsInOrder(p.to);
    std::vector<char> redo(p.to.tables.size(), 0);
    for (std::size_t i : order) {
        const table& v = p.to.tables[i];
        bool again = p.fromOf[i] == none || p.from.tables[p.fromOf[i]].facts.viewStatement != v.facts.viewStatement;
        again = again || (v.facts.dependsOn.empty() && anyChanged);
        for (const ky::string& name : v.facts.dependsOn) {
            const table* read = tableOfClass(p.to, name);
            if (read && (p.changed[static_cast<std::size_t>(read - p.to.tables.data())] ||
                         redo[static_cast<std::size_t>(read - p.to.tables.data())]))
                again = true;
        }
        redo[i] = again;
        if (again) p.changed[i] = 1;
    }
    const std::vector<std::size_t> fromViews = viewsInOrder(p.from);
    for (auto it = fromViews.rbegin(); it != fromViews.rend(); ++it) {
        const table& v = p.from.tables[*it];
        if (p.toOf[*it] != none && !redo[p.toOf[*it]]) continue;
        std::string name;
        p.from.appendTableName(name, v);
        p.step(pDropViews, eStepDropView, planner::elementOf(v), L"drop view " + planner::elementOf(v))
            .statements.push_back((v.facts.materialized ? "DROP MATERIALIZED VIEW " : "DROP VIEW ") + name);
    }
    for (std::size_t i : order) {
        if (!redo[i]) continue;
        const table& v = p.to.tables[i];
        p.step(pCreateViews, eStepCreateView, planner::elementOf(v), L"create view " + planner::elementOf(v))
            .statements.push_back(v.facts.viewStatement);
        if (p.dialect() == ePostgresql && p.to.options.labelsAsComments) diffComments(p, nullptr, v);
    }
}

// Collects both models; two distinct models (which share nothing) on two
// threads, as collecting is nearly all of a migration's time.
void collectBoth(ddlContext& before, ddlContext& after, bool& fromOk, bool& toOk) {
    if (&before.model != &after.model) {
        try {
            std::thread other([&] { toOk = collectModel(after); });
            fromOk = collectModel(before);
            other.join();
            return;
        } catch (const std::system_error&) {
            // No thread to be had: one after the other.
        }
    }
    fromOk = collectModel(before);
    toOk = collectModel(after);
}

}  // namespace

namespace detail {
void diffStatements(planner& p);
void diffSchemas(planner& p);
void dropSchemas(planner& p);
}  // namespace detail

const char* stepKindName(eStepKind kind) {
    switch (kind) {
        case eStepCreateSchema: return "create schema";
        case eStepCreateObject: return "create object";
        case eStepDropObject: return "drop object";
        case eStepCreateTable: return "create table";
        case eStepDropTable: return "drop table";
        case eStepRenameTable: return "rename table";
        case eStepRebuildTable: return "rebuild table";
        case eStepAddColumn: return "add column";
        case eStepDropColumn: return "drop column";
        case eStepRenameColumn: return "rename column";
        case eStepAlterColumn: return "alter column";
        case eStepAddConstraint: return "add constraint";
        case eStepDropConstraint: return "drop constraint";
        case eStepAddForeignKey: return "add foreign key";
        case eStepDropForeignKey: return "drop foreign key";
        case eStepCreateIndex: return "create index";
        case eStepDropIndex: return "drop index";
        case eStepCreateView: return "create view";
        case eStepDropView: return "drop view";
        case eStepComment: return "comment";
        case eStepAddStatement: return "add statement";
        case eStepDropStatement: return "drop statement";
        case eStepAlterTable: return "alter table";
        case eStepDropSchema: return "drop schema";
    }
    return "unknown";
}

bool migration::destructive() const {
    return std::any_of(steps.begin(), steps.end(), [](const migrationStep& s) { return s.destructive; });
}

std::string migration::sql() const {
    std::string out;
    for (const migrationStep& step : steps) {
        // A name may hold a line break; the comment must not end before the line does.
        std::string line = step.description.toUtf8();
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        out.append("-- ").append(stepKindName(step.kind)).append(": ").append(line).append("\n");
        for (const std::string& statement : step.statements) out.append(statement).append(";\n");
    }
    return out;
}

migration createMigration(const modelInfo& from, const modelInfo& to, const migrationOptions& options) {
    migration result;
    if (from.caseSensitiveNames() != to.caseSensitiveNames()) {
        fail(result, "sql.migrate.case-folding",
             L"the models disagree on case folding: one keeps names as written, the other folds them");
        return result;
    }
    const ddlOptions ddl{options.dialect, true, true};
    diagnostics fromProblems, toProblems;
    ddlContext before{from, ddl, fromProblems, {}, {}}, after{to, ddl, toProblems, {}, {}};
    if (options.dialect != eSqlite && options.dialect != ePostgresql) {
        fail(result, "sql.ddl.dialect", L"the dialect is neither SQLite nor PostgreSQL");
        return result;
    }
    bool fromOk = false, toOk = false;
    collectBoth(before, after, fromOk, toOk);
    for (const auto& [ok, why, which] : {std::tuple{fromOk, &fromProblems, L"the old model"}, std::tuple{toOk, &toProblems, L"the new model"}}) {
        if (ok) continue;
        for (const diagnostic& d : *why)
            if (d.severity == eError) result.problems.push_back(d);
        fail(result, "sql.migrate.model", ky::string(which) + L" gives no DDL in the dialect; no migration is made");
    }
    if (hasErrors(result.problems)) return result;
    const renames r = readRenames(before, after, options, result);
    if (hasErrors(result.problems)) return result;
    planner p{before, after, result, {}, {}, {}, {}, {}, {}, {}, {}};
    matchTables(p, r);
    matchColumns(p, r);
    diffTables(p);
    diffSchemas(p);
    // Before the views: an enum or domain made again marks the tables whose
    // columns it casts changed, so the views that read them are made again.
    diffStatements(p);
    diffViews(p);
    dropSchemas(p);
    std::size_t count = 0;
    for (const auto& phase : p.phases) count += phase.size();
    result.steps.reserve(count);
    for (auto& phase : p.phases)
        for (migrationStep& s : phase) result.steps.push_back(std::move(s));
    return result;
}

}  // namespace ky::metamodel::sql
