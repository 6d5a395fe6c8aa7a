// The statements a model runs before its tables (types, domains,
// sequences, functions, extensions) and after them (triggers, partitions,
// ...), compared as texts: a new one runs, one that is gone has what it made
// dropped where its text says what that is (CREATE TRIGGER name ON table
// gives DROP TRIGGER), and one that cannot be undone is warned of. An enum
// type that gains values gets them with ALTER TYPE ... ADD VALUE in their
// order; one that loses or reorders values is made again, its columns cast
// through text, which loses the rows holding a dropped value.
#include <algorithm>
#include <unordered_set>

#include "migration.h"

namespace ky::metamodel::sql::detail {

namespace {

// The words and names of a statement's head, read as the tokenizer reads
// them: a quoted name keeps its quotes, so it is written back as it was.
struct head {
    std::string_view text;
    std::size_t at = 0;

    void blanks() {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    }
    // The next word or (qualified, quoted) name; empty at a symbol.
    std::string name() {
        blanks();
        std::string out;
        for (;;) {
            if (at < text.size() && text[at] == '"') {
                const std::size_t start = at++;
                while (at < text.size() && (text[at] != '"' || (at + 1 < text.size() && text[at + 1] == '"')))
                    at += text[at] == '"' ? 2 : 1;
                if (at >= text.size()) return {};
                out.append(text.substr(start, ++at - start));
            } else {
                const std::size_t start = at;
                while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_' ||
                                            static_cast<unsigned char>(text[at]) >= 0x80))
                    ++at;
                if (at == start) return out;
                out.append(text.substr(start, at - start));
            }
            if (at >= text.size() || text[at] != '.') return out;
            out += text[at++];
        }
    }
    bool word(std::string_view expected) {
        const std::size_t keep = at;
        if (foldedAscii(name()) == expected) return true;
        at = keep;
        return false;
    }
};

// What a CREATE statement makes: its kind ("TRIGGER", "TYPE", ...) and
// name; false for any other statement or an object without a name.
bool createdObject(const std::string& statement, std::string& kind, std::string& name, std::string& on) {
    head h{statement};
    if (!h.word("create")) return false;
    if (h.word("or")) h.word("replace");
    h.word("unique");
    h.word("temp") || h.word("temporary") || h.word("unlogged");
    kind = foldedAscii(h.name());
    if (kind == "materialized") kind = foldedAscii(h.name());
    if (h.word("if")) {
        h.word("not");
        h.word("exists");
    }
    name = h.name();
    if (name.empty()) return false;
    if (kind == "trigger") {
        // CREATE TRIGGER name {BEFORE|AFTER|INSTEAD OF} events ON table
        for (std::string w = h.name(); !w.empty() || h.at < statement.size(); w = h.name()) {
            if (w.empty()) ++h.at;
            else if (foldedAscii(w) == "on") {
                on = h.name();
                break;
            }
        }
    }
    return true;
}

// The statement that drops what `statement` made; empty when there is none.
// It says IF EXISTS: what a statement made may go with a table dropped
// earlier in the same migration (a trigger, a partition, a sequence OWNED
// BY one of its columns), and is then gone already.
std::string dropOf(const std::string& statement, eDialect dialect, bool& destructive) {
    std::string kind, name, on;
    if (!createdObject(statement, kind, name, on)) return {};
    destructive = kind == "table" || kind == "sequence";
    if (kind == "trigger")
        return "DROP TRIGGER IF EXISTS " + name + (dialect == ePostgresql && !on.empty() ? " ON " + on : "");
    static const char* kinds[] = {"table", "index", "view", "type", "domain", "sequence", "extension", "schema"};
    if (std::find(std::begin(kinds), std::end(kinds), kind) == std::end(kinds)) return {};
    if (dialect == eSqlite && kind != "table" && kind != "index" && kind != "view") return {};
    return "DROP " + foldedAscii(kind == "view" && statement.find("MATERIALIZED") != std::string::npos ? "materialized view" : kind) +
           " IF EXISTS " + name;
}

// The distinct statements before (or after) the tables of a model, in order.
std::vector<std::string> statementsOf(const ddlContext& ctx, bool before) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    const auto add = [&](const std::vector<std::string>& list) {
        for (const std::string& s : list)
            if (seen.insert(s).second) out.push_back(s);
    };
    for (const table& t : ctx.tables) {
        if (!t.written) continue;
        add(before ? t.facts.before : t.facts.after);
        for (const column& c : t.columns) add(before ? c.facts().before : c.facts().after);
    }
    return out;
}

// The values of CREATE TYPE name AS ENUM ('a', 'b'), as literals.
bool enumValues(const std::string& statement, std::string& name, std::vector<std::string>& values) {
    head h{statement};
    if (!h.word("create") || !h.word("type")) return false;
    name = h.name();
    if (name.empty() || !h.word("as") || !h.word("enum")) return false;
    for (std::size_t at = statement.find('(', h.at); at != std::string::npos && at < statement.size(); ++at) {
        if (statement[at] != '\'') continue;
        const std::size_t start = at++;
        while (at < statement.size() && (statement[at] != '\'' || (at + 1 < statement.size() && statement[at + 1] == '\'')))
            at += statement[at] == '\'' ? 2 : 1;
        values.push_back(statement.substr(start, at - start + 1));
    }
    return true;
}

}  // namespace

void recastColumns(planner& p, const std::string& name, const std::string& through, migrationStep& s,
                   std::vector<std::string>& defaults) {
    for (std::size_t i = 0; i < p.to.tables.size(); ++i) {
        const table& t = p.to.tables[i];
        if (p.fromOf[i] == none || t.facts.view) continue;
        // A column the migration drops later holds the old type until then:
        // it is turned into text, which takes every value, so the old type can go.
        const table& old = p.from.tables[p.fromOf[i]];
        std::vector<char> kept(old.columns.size(), 0);
        for (std::size_t c : p.columnFrom[i])
            if (c != none) kept[c] = 1;
        for (std::size_t c = 0; c < old.columns.size(); ++c) {
            if (kept[c] || foldedAscii(old.columns[c].type) != foldedAscii(name)) continue;
            const std::string alter = "ALTER TABLE " + p.tableName(old) + " ALTER COLUMN " + p.quoted(old.columns[c].name.string()) + " ";
            if (!old.columns[c].defaultSql.empty()) s.statements.push_back(alter + "DROP DEFAULT");
            s.statements.push_back(alter + "TYPE text USING " + p.quoted(old.columns[c].name.string()) + "::text");
        }
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            const std::size_t old = p.columnFrom[i][c];
            if (old == none || foldedAscii(p.from.tables[p.fromOf[i]].columns[old].type) != foldedAscii(name)) continue;
            const std::string alter = "ALTER TABLE " + p.tableName(p.from.tables[p.fromOf[i]]) + " ALTER COLUMN " +
                                      p.quoted(p.from.tables[p.fromOf[i]].columns[old].name.string()) + " ";
            const column& was = p.from.tables[p.fromOf[i]].columns[old];
            // The old default may name a value the type no longer has: the new one stands in.
            if (!was.defaultSql.empty()) s.statements.push_back(alter + "DROP DEFAULT");
            if (!was.defaultSql.empty() && !t.columns[c].defaultSql.empty())
                defaults.push_back(alter + "SET DEFAULT " + t.columns[c].defaultSql);
            // A check that names the column is written back against the old
            // type by the cast and then fails: it is dropped around the cast.
            // (One that changes is dropped before and added after anyway.)
            const table& before = p.from.tables[p.fromOf[i]];
            const std::string bare = was.name.string().toUtf8();
            for (const namedText& check : before.facts.checks) {
                const bool kept = std::any_of(t.facts.checks.begin(), t.facts.checks.end(), [&](const namedText& x) {
                    return x.name == check.name && x.text == check.text;
                });
                if (!kept || check.name.empty() || check.text.find(bare) == std::string::npos) continue;
                s.statements.push_back("ALTER TABLE " + p.tableName(before) + " DROP CONSTRAINT " + p.quoted(check.name));
                defaults.push_back("ALTER TABLE " + p.tableName(before) + " ADD CONSTRAINT " + p.quoted(check.name) + " " +
                                   check.text);
            }
            s.statements.push_back(alter + "TYPE " + name + " USING " + p.quoted(was.name.string()) + "::" +
                                   (through.empty() ? "" : through + "::") + name);
            // The views that read the column are made again around the cast.
            p.changed[i] = 1;
        }
    }
}

namespace {

// Whether a value added to the enum `name` is used by a statement of the
// migration: named as a literal (a default, a check, a partition bound, a
// view), or a column cast to the type (its rows may hold the value).
// PostgreSQL refuses a value added in the transaction that uses it.
bool addedValuesUsed(const planner& p, const std::string& name, const std::vector<std::string>& added) {
    const std::size_t dot = name.rfind('.');
    std::string bare = foldedAscii(dot == std::string::npos ? name : name.substr(dot + 1));
    if (!bare.empty() && bare.front() == '"') bare = bare.substr(1, bare.size() - 2);
    const auto uses = [&](const std::string& statement) {
        for (const std::string& value : added)
            if (statement.find(value) != std::string::npos) return true;
        // "... TYPE [schema.]name ..." of an ALTER COLUMN (not ALTER TYPE itself).
        const std::string folded = foldedAscii(statement);
        if (folded.rfind("alter type", 0) == 0) return false;
        for (std::size_t at = folded.find(" type "); at != std::string::npos; at = folded.find(" type ", at + 1)) {
            std::size_t end = at + 6;
            while (end < folded.size() && folded[end] != ' ' && folded[end] != '(' && folded[end] != ';' && folded[end] != ',')
                ++end;
            std::string named = folded.substr(at + 6, end - at - 6);
            const std::size_t qualified = named.rfind('.');
            if (qualified != std::string::npos) named.erase(0, qualified + 1);
            if (named.size() > 1 && named.front() == '"') named = named.substr(1, named.size() - 2);
            if (named == bare) return true;
        }
        return false;
    };
    for (const auto& phase : p.phases)
        for (const migrationStep& step : phase)
            for (const std::string& statement : step.statements)
                if (uses(statement)) return true;
    for (const std::string& statement : statementsOf(p.to, false))
        if (uses(statement)) return true;
    for (const table& t : p.to.tables)
        if (t.facts.view && uses(t.facts.viewStatement)) return true;
    return false;
}

// An enum that keeps its values in order gains the new ones in place;
// else it is made again. True when `after` was handled as a change of `before`.
bool changeEnum(planner& p, const std::string& before, const std::string& after) {
    std::string oldName, newName;
    std::vector<std::string> oldValues, newValues;
    if (!enumValues(before, oldName, oldValues) || !enumValues(after, newName, newValues) || oldName != newName) return false;
    migrationStep& s = p.step(pCreateObjects, eStepCreateObject, wide(newName), L"change enum type " + wide(newName));
    std::size_t next = 0;
    for (const std::string& value : newValues)
        if (next < oldValues.size() && value == oldValues[next]) ++next;
    std::vector<std::string> added;
    for (const std::string& value : newValues)
        if (std::find(oldValues.begin(), oldValues.end(), value) == oldValues.end()) added.push_back(value);
    const bool inOrder = next == oldValues.size();
    if (inOrder && !addedValuesUsed(p, newName, added)) {
        std::size_t kept = 0;
        for (std::size_t k = 0; k < newValues.size(); ++k) {
            if (kept < oldValues.size() && newValues[k] == oldValues[kept]) {
                ++kept;
                continue;
            }
            std::string statement = "ALTER TYPE " + newName + " ADD VALUE " + newValues[k];
            if (k > 0) statement += " AFTER " + newValues[k - 1];
            else if (!oldValues.empty()) statement += " BEFORE " + oldValues[0];
            s.statements.push_back(statement);
        }
        s.description += L": values added";
        return true;
    }
    // Values dropped or reordered, or new ones used at once: the type is made again under its name.
    const std::size_t dot = newName.rfind('.');
    const std::string bare = dot == std::string::npos ? newName : newName.substr(dot + 1);
    const std::string renamed = bare.back() == '"' ? bare.substr(0, bare.size() - 1) + "_ky_old\"" : bare + "_ky_old";
    s.statements.push_back("ALTER TYPE " + newName + " RENAME TO " + renamed);
    s.statements.push_back(after);
    std::vector<std::string> defaults;
    recastColumns(p, newName, "text", s, defaults);
    s.statements.insert(s.statements.end(), defaults.begin(), defaults.end());
    s.statements.push_back("DROP TYPE " + (dot == std::string::npos ? std::string() : newName.substr(0, dot + 1)) + renamed);
    s.description += inOrder ? L": rebuilt, its new values are used in the same migration" : L": rebuilt, values dropped or reordered";
    s.destructive = !inOrder;
    return true;
}

// The sequence of ALTER SEQUENCE name OWNED BY table.column; empty for any other statement.
std::string ownedSequence(const std::string& statement) {
    head h{statement};
    if (!h.word("alter") || !h.word("sequence")) return {};
    std::string name = h.name();
    if (name.empty() || !h.word("owned") || !h.word("by") || h.word("none")) return {};
    return name;
}

void irreversible(planner& p, const std::string& statement) {
    p.result.problems.push_back(makeDiagnostic(
        eWarning, "sql.migrate.irreversible",
        L"the statement \"" + wide(statement.substr(0, 80)) + L"\" is gone from the new model, but what it made cannot be told; it is left as it is"));
}

// A statement run before the tables that makes what a statement gone from
// the old model made (the same kind and name): CREATE OR REPLACE runs in its
// place; anything else would have to drop what columns may still use, and is
// warned of and left. True when `statement` was handled so.
bool replacesInPlace(planner& p, const std::vector<std::string>& old, const std::unordered_set<std::string>& newSet,
                     const std::string& statement, std::unordered_set<std::string>& handled) {
    std::string kind, name, on;
    if (!createdObject(statement, kind, name, on)) return false;
    const auto same = std::find_if(old.begin(), old.end(), [&](const std::string& o) {
        std::string oldKind, oldName, oldOn;
        return !newSet.contains(o) && createdObject(o, oldKind, oldName, oldOn) && oldKind == kind && oldName == name;
    });
    if (same == old.end()) return false;
    handled.insert(*same);
    head h{statement};
    h.word("create");
    if (h.word("or") && h.word("replace")) return false;
    if (p.dialect() == ePostgresql && kind == "domain" && pgChangeDomain(p, *same, statement)) return true;
    if (p.dialect() == ePostgresql && kind == "sequence" && pgChangeSequence(p, *same, statement)) return true;
    p.result.problems.push_back(makeDiagnostic(
        eWarning, "sql.migrate.irreversible",
        L"the " + wide(kind) + L" " + wide(name) + L" changes, which a migration does not do in place; it is left as it is"));
    return true;
}

void diffList(planner& p, bool before) {
    const std::vector<std::string> old = statementsOf(p.from, before), now = statementsOf(p.to, before);
    const std::unordered_set<std::string> oldSet(old.begin(), old.end()), newSet(now.begin(), now.end());
    std::unordered_set<std::string> handled;
    for (const std::string& statement : now) {
        if (oldSet.contains(statement)) continue;
        const auto changed = std::find_if(old.begin(), old.end(), [&](const std::string& o) {
            return before && p.dialect() == ePostgresql && !newSet.contains(o) && changeEnum(p, o, statement);
        });
        if (changed != old.end()) {
            handled.insert(*changed);
            continue;
        }
        if (before && replacesInPlace(p, old, newSet, statement, handled)) continue;
        p.step(before ? pCreateObjects : pAddStatements, before ? eStepCreateObject : eStepAddStatement, {},
               before ? L"create object" : L"add statement")
            .statements.push_back(statement);
        p.phases[before ? pCreateObjects : pAddStatements].back().description += L": " + wide(statement.substr(0, 60));
    }
    // What went is dropped in the reverse of the order it was made in: a
    // type before the schema it lives in, a partition before its parent.
    for (auto it = old.rbegin(); it != old.rend(); ++it) {
        const std::string& statement = *it;
        if (newSet.contains(statement) || handled.contains(statement)) continue;
        std::string kind, name, on;
        // A schema goes once nothing of the new model uses it (dropSchemas).
        if (createdObject(statement, kind, name, on) && kind == "schema") continue;
        if (const std::string sequence = ownedSequence(statement); !sequence.empty()) {
            // The sequence outlives the column that owned it: a column dropped
            // or the new owner's ALTER SEQUENCE, which runs after the tables.
            p.step(pDropStatements, eStepDropStatement, wide(sequence), L"sequence " + wide(sequence) + L" owned by none")
                .statements.push_back("ALTER SEQUENCE " + sequence + " OWNED BY NONE");
            continue;
        }
        bool destructive = false;
        const std::string drop = dropOf(statement, p.dialect(), destructive);
        if (drop.empty()) {
            irreversible(p, statement);
            continue;
        }
        migrationStep& s = p.step(before ? pDropObjects : pDropStatements, before ? eStepDropObject : eStepDropStatement, {},
                                  wide(foldedAscii(drop.substr(0, 60))));
        s.statements.push_back(drop);
        s.destructive = destructive;
    }
}

}  // namespace

void diffStatements(planner& p) {
    diffList(p, true);
    diffList(p, false);
}

void diffSchemas(planner& p) {
    if (p.dialect() != ePostgresql) return;
    std::unordered_set<ky::string> old;
    for (const table& t : p.from.tables) old.insert(t.schema);
    for (std::size_t i : tableOrder(p.to)) {
        const ky::string& schema = p.to.tables[i].schema;
        if (schema.empty() || !old.insert(schema).second) continue;
        p.step(pSchemas, eStepCreateSchema, schema, L"create schema " + schema)
            .statements.push_back("CREATE SCHEMA IF NOT EXISTS " + p.quoted(schema));
    }
}

// The schemas a model uses: its tables', and those its statements before the
// tables create (a type's or sequence's schema). The default one is left out.
std::unordered_set<ky::string> schemasOf(const ddlContext& ctx) {
    std::unordered_set<ky::string> out;
    for (const table& t : ctx.tables)
        if (!t.schema.empty()) out.insert(t.schema);
    for (const std::string& statement : statementsOf(ctx, true)) {
        std::string kind, name, on;
        if (!createdObject(statement, kind, name, on) || kind != "schema") continue;
        std::string bare;
        if (name.size() > 1 && name.front() == '"') {
            for (std::size_t k = 1; k + 1 < name.size(); ++k) {
                bare.push_back(name[k]);
                if (name[k] == '"') ++k;
            }
        } else {
            bare = foldedAscii(name);
        }
        out.insert(wide(bare));
    }
    out.erase(L"public");
    return out;
}

void dropSchemas(planner& p) {
    if (p.dialect() != ePostgresql) return;
    const std::unordered_set<ky::string> now = schemasOf(p.to), old = schemasOf(p.from);
    std::vector<ky::string> gone;
    for (const ky::string& schema : old)
        if (!now.contains(schema)) gone.push_back(schema);
    std::sort(gone.begin(), gone.end());
    // Last of all: every object of the old model in it is gone by now, and
    // RESTRICT refuses a schema that still holds anything.
    for (const ky::string& schema : gone)
        p.step(pDropObjects, eStepDropSchema, schema, L"drop schema " + schema)
            .statements.push_back("DROP SCHEMA " + p.quoted(schema) + " RESTRICT");
}

}  // namespace ky::metamodel::sql::detail
