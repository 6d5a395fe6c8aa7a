// DDL of a model, in the order the statements must run:
//
//   1. CREATE SCHEMA for each schema a table names (PostgreSQL);
//   2. the statements tables and columns need first (types, domains,
//      sequences, functions), each distinct one once;
//   3. a CREATE TABLE per non-abstract class, each after the tables its
//      foreign keys lead to and the tables it inherits from; a foreign key
//      that closes a cycle is added afterwards (PostgreSQL) or checked at
//      commit (SQLite), as are PostgreSQL's NOT VALID constraints and
//      foreign keys no relation carries;
//   4. the views, each after the views it reads;
//   5. the indexes;
//   6. the statements run after everything (partitions first, then
//      triggers, sequence owners, ...), each distinct one once;
//   7. the labels as comments (PostgreSQL).
//
// A model without table facts gives steps 3 and 7 only. This file collects
// the tables, their keys and foreign keys and orders them; ddlfacts.cpp
// reads and checks the facts, ddlcolumns.cpp writes a column's definition,
// ddlwrite.cpp the statements; what one dialect alone decides lives in its
// folder (postgresql/ddl.cpp, sqlite/ddl.cpp).
#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "ddl.h"

namespace ky::metamodel::sql {

namespace {

using detail::column;
using detail::ddlContext;
using detail::foreignKey;
using detail::makeDiagnostic;
using detail::table;

// When two names clash in the dialect, and a hash that agrees: SQLite
// compares identifiers with ASCII letters folded, quoted or not.
struct clashRule {
    bool fold;
    wchar_t at(const ky::string& name, std::size_t i) const noexcept {
        const wchar_t c = name[i];
        return fold ? detail::foldAscii(c) : c;
    }
    std::size_t hash(const ky::string& name) const noexcept {
        std::size_t h = 14695981039346656037ull;
        for (std::size_t i = 0; i < name.size(); ++i) h = (h ^ static_cast<std::size_t>(at(name, i))) * 1099511628211ull;
        return h;
    }
    bool same(const ky::string& a, const ky::string& b) const noexcept {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (at(a, i) != at(b, i)) return false;
        return true;
    }
};

// ---- names ----

// Whether the dialect refuses `name` for a table (or, with `column`, for a
// column) although it is not empty, and why. Names are refused rather than
// changed: a changed name would no longer be the model's.
bool faultOf(const ky::string& name, bool column, eDialect dialect, detail::nameFault& out) {
    if (const std::size_t bad = name.findNonNameCharacter(); bad != ky::string::npos) {
        out = {"sql.ddl.name-character", L"the name \"" + name + L"\" holds the character " + name.codePointAt(bad) +
                                             L", which no identifier may hold"};
        return true;
    }
    return dialect == ePostgresql ? detail::pgNameFault(name, column, out) : detail::sqliteNameFault(name, column, out);
}

// Reports the empty names of `list`, those the dialect refuses, and each
// one that clashes with an earlier one; `nameOf` gives the name of an
// element, `schemaOf` the schema it lives in, `tbl` the table of columns
// (empty for tables).
template <class List, class NameOf, class SchemaOf>
void namesDistinct(const List& list, NameOf nameOf, SchemaOf schemaOf, ddlContext& ctx, const ky::string& tbl,
                   bool columns) {
    const clashRule rule{ctx.dialect() == eSqlite};
    const auto name = [&](std::size_t i) -> const ky::string& { return nameOf(list[i]).string(); };
    // Sorted by hash and then by position, names that clash lie together,
    // the earlier ones first.
    std::vector<std::pair<std::size_t, std::size_t>> keyed(list.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) keyed[i] = {rule.hash(name(i)) ^ rule.hash(schemaOf(list[i])), i};
    std::sort(keyed.begin(), keyed.end());
    std::vector<bool> clashes(list.size());
    for (std::size_t i = 1; i < keyed.size(); ++i) {
        for (std::size_t j = i; j-- > 0 && keyed[j].first == keyed[i].first;) {
            const std::size_t a = keyed[j].second, b = keyed[i].second;
            if (rule.same(name(a), name(b)) && rule.same(schemaOf(list[a]), schemaOf(list[b]))) {
                clashes[b] = true;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (name(i).empty()) {
            ctx.fail("sql.ddl.empty-name", columns ? L"a field has an empty name" : L"a class has an empty name", tbl);
        } else if (detail::nameFault fault; faultOf(name(i), columns, ctx.dialect(), fault)) {
            ctx.fail(fault.code, fault.message, columns ? tbl : name(i), columns ? name(i) : ky::string());
        } else if (clashes[i]) {
            ctx.fail("sql.ddl.name-clash",
                     L"the name \"" + name(i) + L"\" clashes with another one in the dialect's name rule",
                     columns ? tbl : name(i), columns ? name(i) : ky::string());
        }
    }
}

// ---- tables ----

const ky::string noSchema;

const ky::string& columnSchema(const column&) { return noSchema; }

// The key's column names: the class's own key fact when each of its names
// is a field of the table, else the primary-key fields in table order.
std::vector<ky::scString> keyOf(const std::vector<ky::const_refPtr<fieldInfo>>& fields, table& t, ddlContext& ctx) {
    std::vector<ky::scString> key;
    for (const ky::string& name : t.facts.primaryKey) {
        const auto field = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f->scName().string() == name; });
        if (field == fields.end()) {
            ctx.warn("sql.ddl.unusable-fact",
                     L"the property \"sql.primaryKey\" names \"" + name + L"\", which is no field of the table; it is left out",
                     t.cls->scName().string());
            key.clear();
            break;
        }
        key.push_back((*field)->scName());
    }
    if (key.empty())
        for (const auto& field : fields)
            if (field->semantic() == eSemPrimkey) key.push_back(field->scName());
    return key;
}

bool hasColumn(const table& t, const ky::string& name) {
    return std::any_of(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name.string() == name; });
}
bool hasColumn(const table& t, ky::scString name) {
    return std::any_of(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == name; });
}

// Leaves out, with a warning, each unique constraint or index fact that
// names a column the table does not hold.
void keepKnownColumns(std::vector<detail::namedColumns>& list, const wchar_t* kind, const table& t, ddlContext& ctx) {
    const auto unknown = [&](const detail::namedColumns& entry) {
        for (const ky::string& name : entry.columns) {
            if (hasColumn(t, name)) continue;
            ctx.warn("sql.ddl.unusable-fact",
                     L"the property \"sql." + ky::string(kind) + L"." + (entry.name.empty() ? L"#" : entry.name) +
                         L"\" names \"" + name +
                         L"\", which is no column of the table; it is left out",
                     t.cls->scName().string());
            return true;
        }
        return false;
    };
    list.erase(std::remove_if(list.begin(), list.end(), unknown), list.end());
}

// The table's name in the database and its schema: the class's name, or the
// name and schema its facts give (SQLite, which has one schema, writes a
// class of another schema under its class name).
void nameTable(table& t, ddlContext& ctx) {
    const bool pg = ctx.dialect() == ePostgresql;
    if (pg) t.schema = t.facts.schema;
    if (detail::nameFault fault; !t.schema.empty() && faultOf(t.schema, false, ctx.dialect(), fault))
        ctx.fail(fault.code, L"the schema: " + fault.message, t.cls->scName().string());
    t.name = (pg || t.facts.schema.empty()) && !t.facts.table.empty() ? ky::scString::createFrom(t.facts.table)
                                                                       : t.cls->scName();
}

// A view is written from its statement in the dialect; without one it is left out.
void collectView(table& t, const std::vector<ky::const_refPtr<fieldInfo>>& fields, ddlContext& ctx) {
    for (const auto& field : fields) {
        column c;
        c.field = field;
        c.name = field->scName();
        t.columns.push_back(std::move(c));
    }
    if (!t.facts.viewStatement.empty()) return;
    t.written = false;
    const ky::string otherView = ky::string(ctx.otherPrefix()) + L"view";
    if (!t.cls->userProperties(false).contains(otherView))
        ctx.warn("sql.ddl.unusable-fact",
                 L"the class is a view without its statement in the dialect; it is left out", t.cls->scName().string());
}

// The columns of a table, each with its definition; false when SQLite gets
// no table (it needs a column).
bool collectColumns(const std::vector<ky::const_refPtr<fieldInfo>>& fields, table& t, ddlContext& ctx) {
    t.key = keyOf(fields, t, ctx);
    t.columns.reserve(fields.size());
    for (const auto& field : fields) {
        column c;
        c.field = field;
        c.ownFacts = detail::readFieldFacts(*field, *t.cls, ctx);
        const bool inKey = std::find(t.key.begin(), t.key.end(), field->scName()) != t.key.end();
        if (detail::describeColumn(*field, ctx, t, inKey, inKey && t.key.size() == 1, c)) t.columns.push_back(std::move(c));
    }
    if (t.columns.empty() && ctx.dialect() == eSqlite) {
        ctx.warn("sql.ddl.no-columns", L"the class has no column; SQLite needs one, the table is left out",
                 t.name.string());
        return false;
    }
    std::erase_if(t.key, [&](ky::scString name) { return !hasColumn(t, name); });
    return true;
}

void collectTable(const ky::const_refPtr<classInfo>& cls, ddlContext& ctx) {
    table t;
    t.cls = cls;
    detail::readClassFacts(*cls, ctx, t.facts);
    nameTable(t, ctx);
    const auto fields = detail::tableFields(*cls);
    if (t.facts.view) collectView(t, fields, ctx);
    else if (!collectColumns(fields, t, ctx)) return;
    // A view's columns are named in its comments and indexes.
    namesDistinct(t.columns, [](const column& c) { return c.name; }, columnSchema, ctx, t.name.string(), true);
    keepKnownColumns(t.facts.uniques, L"unique", t, ctx);
    keepKnownColumns(t.facts.uniqueIndexes, L"uniqueIndex", t, ctx);
    keepKnownColumns(t.facts.indexes, L"index", t, ctx);
    ctx.tableOf[cls.get()] = ctx.tables.size();
    ctx.tables.push_back(std::move(t));
}

void collectTables(const modelInfo& model, ddlContext& ctx) {
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        const ky::const_refPtr<classInfo> cls(*it);
        if (cls && !cls->isAbstract()) collectTable(cls, ctx);
    }
    namesDistinct(ctx.tables, [](const table& t) { return t.name; }, [](const table& t) -> const ky::string& { return t.schema; },
                  ctx, ky::string(), false);
}

// Whether the columns `to` of `t` are its key, a unique column or the
// columns of a unique constraint or index, as the database needs for the
// target of a foreign key.
bool referencesKey(const table& t, const std::vector<ky::scString>& to) {
    std::vector<ky::scString> sortedTo = to, sortedKey = t.key;
    std::sort(sortedTo.begin(), sortedTo.end());
    std::sort(sortedKey.begin(), sortedKey.end());
    if (!sortedKey.empty() && sortedTo == sortedKey) return true;
    const auto& uniques = t.facts.uniques;
    const auto& uniqueIndexes = t.facts.uniqueIndexes;
    if (!uniques.empty() || !uniqueIndexes.empty()) {
        std::vector<ky::string> names;
        for (ky::scString name : to) names.push_back(name.string());
        std::sort(names.begin(), names.end());
        for (const auto* list : {&uniques, &uniqueIndexes})
            for (const detail::namedColumns& unique : *list) {
                std::vector<ky::string> columns = unique.columns;
                std::sort(columns.begin(), columns.end());
                if (columns == names) return true;
            }
    }
    if (to.size() != 1) return false;
    auto c = std::find_if(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == to[0]; });
    return c != t.columns.end() && c->field->isUnique() && c->field->semantic() != eSemPrimkey;
}

const fieldInfo& columnField(const table& t, ky::scString name) {
    return *std::find_if(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == name; })->field;
}

// Reports each pair of `fk` whose column types PostgreSQL does not compare;
// false when there is one.
bool typesPair(const relationInfo& relation, const table& from, const foreignKey& fk, ddlContext& ctx) {
    if (ctx.dialect() != ePostgresql) return true;
    const table& to = ctx.tables[fk.target];
    bool pairs = true;
    for (std::size_t i = 0; i < fk.from.size(); ++i) {
        const column& source = *std::find_if(from.columns.begin(), from.columns.end(),
                                             [&](const column& c) { return c.name == fk.from[i]; });
        if (source.facts().hasType || detail::pgComparable(*source.field, columnField(to, fk.to[i]))) continue;
        ctx.fail("sql.ddl.foreign-key-type",
                 L"the relation \"" + relation.scName().string() + L"\" pairs the column \"" + fk.from[i].string() +
                     L"\" with \"" + to.name.string() + L"." + fk.to[i].string() +
                     L"\", whose type PostgreSQL does not compare with its own",
                 from.name.string(), fk.from[i].string());
        pairs = false;
    }
    return pairs;
}

// The clauses the relation's foreign-key fact gives; NOT VALID is kept for
// PostgreSQL (the key is added after the tables) and dropped with a
// warning for SQLite.
void applyClauses(const relationInfo& relation, const table& from, ddlContext& ctx, foreignKey& fk) {
    auto clauses = from.facts.foreignKeyClauses.find(relation.scName().string());
    if (clauses == from.facts.foreignKeyClauses.end()) return;
    fk.clauses = clauses->second;
    if (detail::endsNotValid(fk.clauses)) {
        fk.clauses.resize(fk.clauses.size() > 10 ? fk.clauses.size() - 10 : 0);
        fk.notValid = ctx.dialect() == ePostgresql;
        if (!fk.notValid)
            ctx.warn("sql.ddl.not-carried",
                     L"the property \"sql.foreignKey." + relation.scName().string() +
                         L"\" says NOT VALID, which SQLite does not take; the foreign key is written valid",
                     from.cls->scName().string());
    }
}

bool resolveForeignKey(const relationInfo& relation, table& from, ddlContext& ctx, foreignKey& fk) {
    const auto& pairs = relation.fieldRelations();
    auto refuse = [&](const ky::string& why) {
        ctx.warn("sql.ddl.foreign-key",
                 L"the relation \"" + relation.scName().string() + L"\" " + why + L"; no FOREIGN KEY is written",
                 from.name.string());
        if (const auto owner = relation.fromClassInfo())
            ctx.problems.back().element = owner->scName().string() + L"." + relation.scName().string();
        return false;
    };
    fk.relation = &relation;
    if (pairs.empty() || !pairs[0].second) return refuse(L"has no field pairs");
    const bool towardsClass = pairs.size() == 1 && pairs[0].second->type() == ePtr;
    const ky::refPtr<classInfo> targetClass = pairs[0].second->classInfo();
    if (!targetClass) return refuse(L"has no target class");
    auto target = ctx.tableOf.find(targetClass.get());
    if (target == ctx.tableOf.end() || !ctx.tables[target->second].written) return refuse(L"leads to a class without a table");
    if (ctx.tables[target->second].facts.view) return refuse(L"leads to a view");
    fk.target = target->second;
    const table& to = ctx.tables[fk.target];
    for (const auto& pair : pairs) {
        if (!pair.first || !hasColumn(from, pair.first->scName()))
            return refuse(L"starts from a field the table does not hold");
        fk.from.push_back(pair.first->scName());
        if (!towardsClass) {
            if (!pair.second || !hasColumn(to, pair.second->scName()))
                return refuse(L"leads to a field the target table does not hold");
            fk.to.push_back(pair.second->scName());
        }
    }
    if (towardsClass) fk.to = to.key;
    if (fk.to.empty()) return refuse(L"leads to a class without a primary key");
    if (fk.to.size() != fk.from.size()) return refuse(L"pairs a different number of fields than the target's key");
    if (!referencesKey(to, fk.to)) return refuse(L"leads to fields that are neither the target's key nor unique");
    if (!typesPair(relation, from, fk, ctx)) return false;
    applyClauses(relation, from, ctx, fk);
    return true;
}

// The tables a table with options inherits from (INHERITS needs them first).
void resolveBases(table& t, ddlContext& ctx) {
    if (t.facts.options.empty()) return;
    for (auto it = t.cls->baseClasses_begin(); !(it == t.cls->baseClasses_end()); ++it) {
        auto base = ctx.tableOf.find((*it).get());
        if (base != ctx.tableOf.end() && !ctx.tables[base->second].facts.view) t.bases.push_back(base->second);
    }
}

void resolveForeignKeys(ddlContext& ctx) {
    for (table& t : ctx.tables) {
        if (t.facts.view) continue;
        for (const auto& relation : detail::tableRelations(*t.cls)) {
            foreignKey fk;
            if (resolveForeignKey(*relation, t, ctx, fk)) t.foreignKeys.push_back(std::move(fk));
        }
        resolveBases(t, ctx);
    }
}

// ---- order ----

// Orders the tables so that each follows the tables its foreign keys lead
// to and those it inherits from: a depth-first walk in model order
// (iterative, so a long chain of references cannot exhaust the stack). A
// foreign key that leads back to a table still on the walk closes a cycle
// and is marked. Views are left to viewOrder.
std::vector<std::size_t> dependencyOrder(ddlContext& ctx) {
    enum mark { unseen, open, done };
    std::vector<mark> marks(ctx.tables.size(), unseen);
    std::vector<std::size_t> order;
    order.reserve(ctx.tables.size());
    struct frame { std::size_t table; std::size_t next; };
    std::vector<frame> stack;
    for (std::size_t start = 0; start < ctx.tables.size(); ++start) {
        if (marks[start] != unseen || ctx.tables[start].facts.view) continue;
        stack.push_back({start, 0});
        marks[start] = open;
        while (!stack.empty()) {
            frame& top = stack.back();
            table& t = ctx.tables[top.table];
            if (top.next == t.foreignKeys.size() + t.bases.size()) {
                marks[top.table] = done;
                order.push_back(top.table);
                stack.pop_back();
                continue;
            }
            const std::size_t next = top.next++;
            foreignKey* fk = next < t.foreignKeys.size() ? &t.foreignKeys[next] : nullptr;
            const std::size_t target = fk ? fk->target : t.bases[next - t.foreignKeys.size()];
            if (target == top.table) continue;
            if (marks[target] == open && fk) fk->closesCycle = true;
            else if (marks[target] == unseen) {
                marks[target] = open;
                stack.push_back({target, 0});
            }
        }
    }
    return order;
}

// The views written, each after the views its dependsOn fact names (a
// cycle, which no database holds, is broken in model order).
std::vector<std::size_t> viewOrder(const ddlContext& ctx) {
    std::vector<std::size_t> order;
    std::vector<char> marks(ctx.tables.size(), 0);
    const auto visit = [&](std::size_t index, const auto& self) -> void {
        if (marks[index] != 0) return;
        marks[index] = 1;
        for (const ky::string& name : ctx.tables[index].facts.dependsOn) {
            const ky::const_refPtr<classInfo> cls = ctx.model.classInfo(name, false);
            const auto it = cls ? ctx.tableOf.find(cls.get()) : ctx.tableOf.end();
            if (it != ctx.tableOf.end() && ctx.tables[it->second].facts.view) self(it->second, self);
        }
        order.push_back(index);
    };
    for (std::size_t i = 0; i < ctx.tables.size(); ++i)
        if (ctx.tables[i].facts.view && ctx.tables[i].written) visit(i, visit);
    return order;
}

}  // namespace

namespace detail {

bool collectModel(ddlContext& ctx) {
    collectTables(ctx.model, ctx);
    if (hasErrors(ctx.problems)) return false;
    resolveForeignKeys(ctx);
    return !hasErrors(ctx.problems);
}

std::vector<std::size_t> tableOrder(ddlContext& ctx) { return dependencyOrder(ctx); }

std::vector<std::size_t> viewsInOrder(const ddlContext& ctx) { return viewOrder(ctx); }

}  // namespace detail

ddlResult createDdl(const modelInfo& model, const ddlOptions& options) {
    ddlResult result;
    ddlContext ctx{model, options, result.problems, {}, {}};
    if (options.dialect != eSqlite && options.dialect != ePostgresql) {
        ctx.fail("sql.ddl.dialect", L"the dialect is neither SQLite nor PostgreSQL", ky::string());
        return result;
    }
    if (!detail::collectModel(ctx)) return result;
    const std::vector<std::size_t> tables = dependencyOrder(ctx);
    result.statements = detail::writeStatements(ctx, tables, viewOrder(ctx));
    std::size_t size = 0;
    for (const std::string& s : result.statements) size += s.size() + 2;
    result.text.reserve(size);
    for (const std::string& s : result.statements) {
        result.text += s;
        result.text += ";\n";
    }
    return result;
}

}  // namespace ky::metamodel::sql
