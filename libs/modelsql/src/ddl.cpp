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
// A model without table facts gives steps 3 and 7 only. The facts are read
// and checked in ddlfacts.cpp; what one dialect alone decides lives in its
// folder.
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

const ky::genericSet* enumerationAttributes(const fieldInfo& field) {
    ky::const_refPtr<fieldInfo> current(&field);
    for (int depth = 0; current && depth < 64; ++depth) {
        if (!current->sourceField()) return &current->semanticAttribs();
        current = current->sourceField();
    }
    return nullptr;
}

void appendList(std::string& out, const std::vector<ky::scString>& names, const ddlContext& ctx) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        ctx.appendQuoted(out, names[i]);
    }
}

// The default a column takes: the field's own stored default or its source
// chain's, never the type's default that getDefaultValue answers without
// one. True when there is one; `literal` is then its SQL literal, empty
// when it has none.
bool storedDefault(const fieldInfo& field, eDialect dialect, std::string& literal) {
    ky::genericValue value;
    if (!field.hasStoredDefault(true) || !field.getDefaultValue(value, true) || value.empty()) return false;
    if (!literalOf(value, field.type(), dialect, literal)) literal.clear();
    return true;
}

// Appends the CHECK of an enumeration's items to the column's definition.
void appendEnumerationCheck(const fieldInfo& field, column& c, ddlContext& ctx, const table& t) {
    const ky::genericSet* attribs = enumerationAttributes(field);
    const std::vector<enumItem>* items = nullptr;
    if (!attribs || !attribs->getValuePtr(keys::enumItems, items) || items->empty()) return;
    std::string values;
    for (const enumItem& item : *items) {
        std::string literal;
        if (!literalOf(item.itemValue, field.type(), ctx.options.dialect, literal)) {
            ctx.warn("sql.ddl.enum-item", L"an enumeration item has no SQL literal; no CHECK is written", t.name.string(),
                     field);
            return;
        }
        if (!values.empty()) values += ", ";
        values += literal;
    }
    c.definition += " CHECK (";
    ctx.appendQuoted(c.definition, c.name);
    c.definition.append(" IN (").append(values).append("))");
}

// ---- columns ----

// The column type of an eCustom field: the custom type string where the
// dialect takes it; for a field reflected from the other dialect the
// nearest type of this one (SQLite: none) with a warning; else false (the
// column is left out) after a warning.
bool customColumnType(const fieldInfo& field, const column& c, ddlContext& ctx, const table& t, std::string& out) {
    const ky::string custom = field.typeString().string();
    const bool sqlite = ctx.dialect() == eSqlite;
    const auto warn = [&](const ky::string& message) {
        ctx.warn("sql.ddl.custom-type", message, t.name.string(), field);
    };
    if (!sqlite && c.facts().hasOtherType) {
        out = detail::pgNearestType(c.facts().otherType);
        warn(L"the SQLite column type \"" + c.facts().otherType + L"\" becomes " + detail::wide(out));
        return true;
    }
    if (sqlite ? custom.empty() || detail::sqliteTakesType(custom) : isSafeCustomType(custom)) {
        out = detail::utf8(custom);
        return true;
    }
    // A type text PostgreSQL takes but SQLite's grammar does not (an array,
    // a precision inside the name) is the other dialect's.
    if (sqlite && (c.facts().hasOtherType || isSafeCustomType(custom))) {
        out.clear();
        warn(L"the custom type \"" + custom + L"\" is no SQLite type; the column gets none");
        return true;
    }
    warn(L"the custom type \"" + custom + L"\" is no SQL type; the column is left out");
    return false;
}

// Whether the field's own type names an enum or domain (no type of the
// dialect's own), which checks its values itself.
bool typeChecksValues(const column& c) {
    return c.facts().hasType && !parseColumnType(detail::wide(c.facts().type), eSqlite).known;
}

// The column's type text; false when the column is left out. An
// AUTOINCREMENT column (which SQLite takes on INTEGER PRIMARY KEY alone) is
// INTEGER; `autoincrement` is cleared when the column holds no integers.
bool columnTypeOf(const fieldInfo& field, column& c, ddlContext& ctx, const table& t, bool& autoincrement,
                  std::string& type) {
    const auto warn = [&](const char* code, const ky::string& message) {
        ctx.warn(code, message, t.name.string(), field);
    };
    if (c.facts().hasType) {
        type = c.facts().type;
    } else if (field.type() == eCustom) {
        if (!customColumnType(field, c, ctx, t, type)) return false;
    } else {
        type = sqlTypeOf(field.type(), fieldLength(field), field.semantic(), ctx.dialect());
        if (type.empty()) {
            warn("sql.ddl.type", L"the field's type has no column type; the column is left out");
            return false;
        }
    }
    if (!autoincrement || detail::foldedAscii(type) == "integer") return true;
    if (c.facts().hasType || field.type() == eShort || field.type() == eInt || field.type() == eLong) {
        type = "INTEGER";
        return true;
    }
    warn("sql.ddl.unusable-fact", L"the property \"sqlite.autoincrement\" is on a column that holds no integers; it is left out");
    autoincrement = false;
    return true;
}

// Appends the column's default: its own text in the dialect, else the
// stored default's literal; a default only the other dialect's text gives
// is warned of. A generated or identity column takes none.
void appendDefault(const fieldInfo& field, column& c, ddlContext& ctx, const table& t) {
    if (!c.facts().generated.empty() || !c.facts().identity.empty()) return;
    std::string literal;
    if (!c.facts().defaultText.empty()) {
        c.definition.append(" DEFAULT ").append(c.facts().defaultText);
    } else if (storedDefault(field, ctx.dialect(), literal)) {
        if (literal.empty())
            ctx.warn("sql.ddl.default", L"the default value has no SQL literal; no DEFAULT is written", t.name.string(), field);
        else c.definition.append(" DEFAULT ").append(literal);
    } else if (!c.facts().otherDefault.empty()) {
        ctx.warn("sql.ddl.not-carried",
                 L"the property \"" + ky::string(ctx.otherPrefix()) +
                     L"default\" holds what only the other dialect takes (" + c.facts().otherDefault +
                     L"); no DEFAULT is written",
                 t.name.string(), field);
    }
}

// Writes the column's definition; false when the column is left out.
// `inKey`: the column is in the table's key; `soleKey`: it is the whole key.
bool describeColumn(const fieldInfo& field, ddlContext& ctx, table& t, bool inKey, bool soleKey, column& out) {
    out.name = field.scName();
    const detail::fieldFacts& facts = out.facts();
    bool autoincrement = facts.autoincrement && soleKey;
    if (facts.autoincrement && !soleKey)
        ctx.warn("sql.ddl.unusable-fact",
                 L"the property \"sqlite.autoincrement\" is on a column that is not the whole primary key; it is left out",
                 t.name.string(), field);
    std::string type;
    if (!columnTypeOf(field, out, ctx, t, autoincrement, type)) return false;
    out.definition.reserve(type.size() + 32);
    if (!type.empty()) out.definition.assign(" ").append(type);
    if (!facts.collation.empty()) out.definition.append(" COLLATE ").append(facts.collation);
    if (autoincrement) out.definition += " PRIMARY KEY AUTOINCREMENT";
    if (!facts.identity.empty()) out.definition.append(" ").append(facts.identity);
    if (!facts.generated.empty()) out.definition.append(" ").append(facts.generated);
    const bool key = field.semantic() == eSemPrimkey || inKey;
    if (field.isMandatory() || key) out.definition += " NOT NULL";
    if (field.isUnique() && !key) out.definition += " UNIQUE";
    appendDefault(field, out, ctx, t);
    if (ctx.options.checkEnumerations && field.semantic() == eSemEnum && !typeChecksValues(out))
        appendEnumerationCheck(field, out, ctx, t);
    if (autoincrement) t.keyInColumn = true;
    return true;
}

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
    t.name = (pg || t.facts.schema.empty()) && !t.facts.table.empty() ? ky::scString::createFrom(t.facts.table)
                                                                       : t.cls->scName();
}

// A view is written from its statement in the dialect; without one it is left out.
void collectView(table& t, const std::vector<ky::const_refPtr<fieldInfo>>& fields, ddlContext& ctx) {
    for (const auto& field : fields) t.columns.push_back({field, field->scName(), nullptr, {}});
    if (!t.facts.viewStatement.empty()) return;
    t.written = false;
    const ky::string otherView = ky::string(ctx.otherPrefix()) + L"view";
    if (!t.cls->userProperties(false).contains(otherView))
        ctx.warn("sql.ddl.unusable-fact",
                 L"the class is a view without its statement in the dialect; it is left out", t.cls->scName().string());
}

void collectTable(const ky::const_refPtr<classInfo>& cls, ddlContext& ctx) {
    table t;
    t.cls = cls;
    detail::readClassFacts(*cls, ctx, t.facts);
    nameTable(t, ctx);
    const auto fields = detail::tableFields(*cls);
    if (t.facts.view) {
        collectView(t, fields, ctx);
    } else {
        t.key = keyOf(fields, t, ctx);
        t.columns.reserve(fields.size());
        for (const auto& field : fields) {
            column c;
            c.field = field;
            c.ownFacts = detail::readFieldFacts(*field, *cls, ctx);
            const bool inKey = std::find(t.key.begin(), t.key.end(), field->scName()) != t.key.end();
            if (describeColumn(*field, ctx, t, inKey, inKey && t.key.size() == 1, c)) t.columns.push_back(std::move(c));
        }
        if (t.columns.empty() && ctx.dialect() == eSqlite) {
            ctx.warn("sql.ddl.no-columns", L"the class has no column; SQLite needs one, the table is left out",
                     t.name.string());
            return;
        }
        namesDistinct(t.columns, [](const column& c) { return c.name; }, columnSchema, ctx, t.name.string(), true);
        std::erase_if(t.key, [&](ky::scString name) { return !hasColumn(t, name); });
        keepKnownColumns(t.facts.uniques, L"unique", t, ctx);
        keepKnownColumns(t.facts.uniqueIndexes, L"uniqueIndex", t, ctx);
        keepKnownColumns(t.facts.indexes, L"index", t, ctx);
    }
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

// Whether a constraint text or foreign-key clauses end in NOT VALID (or are
// only that): PostgreSQL then adds the constraint after the tables.
bool endsNotValid(const std::string& text) {
    const std::string folded = detail::foldedAscii(" " + text);
    return folded.size() >= 10 && folded.compare(folded.size() - 10, 10, " not valid") == 0;
}

// The clauses the relation's foreign-key fact gives; NOT VALID is kept for
// PostgreSQL (the key is added after the tables) and dropped with a
// warning for SQLite.
void applyClauses(const relationInfo& relation, const table& from, ddlContext& ctx, foreignKey& fk) {
    auto clauses = from.facts.foreignKeyClauses.find(relation.scName().string());
    if (clauses == from.facts.foreignKeyClauses.end()) return;
    fk.clauses = clauses->second;
    if (endsNotValid(fk.clauses)) {
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

// ---- statements ----

void appendForeignKey(std::string& out, const foreignKey& fk, const ddlContext& ctx) {
    out += "FOREIGN KEY (";
    appendList(out, fk.from, ctx);
    out += ") REFERENCES ";
    ctx.appendTableName(out, ctx.tables[fk.target]);
    out += " (";
    appendList(out, fk.to, ctx);
    out += ")";
    if (!fk.clauses.empty()) out.append(" ").append(fk.clauses);
}

void appendNameList(std::string& out, const std::vector<ky::string>& names, const ddlContext& ctx) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        ctx.appendQuoted(out, names[i]);
    }
}

// "CONSTRAINT name " for a named constraint, nothing for an unnamed one.
void appendConstraintName(std::string& out, const ky::string& name, const ddlContext& ctx) {
    if (name.empty()) return;
    out += "CONSTRAINT ";
    ctx.appendQuoted(out, name);
    out += ' ';
}


// The constraints written inside CREATE TABLE after the columns, in the
// order the facts list them; `part` starts each.
// Starts each part of a CREATE TABLE statement: the first on a line of its
// own, the others after a comma.
struct partStart {
    std::string& out;
    bool first = true;
    std::string& operator()() {
        out += first ? "\n    " : ",\n    ";
        first = false;
        return out;
    }
};

void appendTableConstraints(const table& t, const ddlContext& ctx, partStart& part) {
    const bool pg = ctx.dialect() == ePostgresql;
    if (!t.key.empty() && !t.keyInColumn) {
        part() += "PRIMARY KEY (";
        appendList(part.out, t.key, ctx);
        part.out += ")";
    }
    for (const detail::namedText& check : t.facts.checks) {
        if (pg && endsNotValid(check.text)) continue;
        appendConstraintName(part(), check.name, ctx);
        part.out += check.text;
    }
    for (const detail::namedColumns& unique : t.facts.uniques) {
        appendConstraintName(part(), unique.name, ctx);
        part.out += "UNIQUE (";
        appendNameList(part.out, unique.columns, ctx);
        part.out += ")";
    }
    for (const detail::namedText& unique : t.facts.uniqueConstraints) {
        appendConstraintName(part(), unique.name, ctx);
        part.out += unique.text;
    }
    for (const foreignKey& fk : t.foreignKeys) {
        if ((fk.closesCycle || fk.notValid) && pg) continue;
        appendForeignKey(part(), fk, ctx);
        if (fk.closesCycle && fk.clauses.find("DEFERRABLE") == std::string::npos) part.out += " DEFERRABLE INITIALLY DEFERRED";
    }
    if (!pg)
        for (const detail::namedText& fk : t.facts.foreignKeys) {
            appendConstraintName(part(), fk.name, ctx);
            part.out += fk.text;
        }
}

// Written straight into one string: a list of parts joined afterwards would
// cost two allocations a column.
std::string createTable(const table& t, const ddlContext& ctx) {
    std::size_t size = 24 + t.name.string().size();
    for (const column& c : t.columns) size += c.name.string().size() + c.definition.size() + 8;
    std::string out;
    out.reserve(size + 64 * (t.foreignKeys.size() + 1));
    out += "CREATE TABLE ";
    ctx.appendTableName(out, t);
    out += " (";
    partStart part{out};
    for (const column& c : t.columns) {
        ctx.appendQuoted(part(), c.name);
        out += c.definition;
    }
    appendTableConstraints(t, ctx, part);
    out += part.first ? ")" : "\n)";
    if (!t.facts.options.empty()) out.append(" ").append(t.facts.options);
    return out;
}

// PostgreSQL: what is added to the tables once they all exist: the foreign
// keys that close a cycle, NOT VALID constraints, and the foreign keys no
// relation carries (their targets may come later in the order).
void alterStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    const auto alter = [&]() -> std::string& {
        std::string& statement = out.emplace_back("ALTER TABLE ");
        ctx.appendTableName(statement, t);
        statement += " ADD ";
        return statement;
    };
    for (const foreignKey& fk : t.foreignKeys) {
        if (!fk.closesCycle && !fk.notValid) continue;
        std::string& statement = alter();
        appendForeignKey(statement, fk, ctx);
        if (fk.notValid) statement += " NOT VALID";
    }
    for (const detail::namedText& check : t.facts.checks) {
        if (!endsNotValid(check.text)) continue;
        std::string& statement = alter();
        appendConstraintName(statement, check.name, ctx);
        statement += check.text;
    }
    for (const detail::namedText& fk : t.facts.foreignKeys) {
        std::string& statement = alter();
        appendConstraintName(statement, fk.name, ctx);
        statement += fk.text;
    }
}

// The name of an index the model holds unnamed ("#1"): the table's and the
// columns' names, as PostgreSQL names one it is not given a name for.
ky::string indexName(const table& t, const detail::namedColumns& index) {
    ky::string name = t.name.string();
    for (const ky::string& column : index.columns) name += L"_" + column;
    return name + L"_idx";
}

void indexStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    const auto plain = [&](const std::vector<detail::namedColumns>& list, const char* create) {
        for (const detail::namedColumns& index : list) {
            std::string& statement = out.emplace_back(create);
            ctx.appendQuoted(statement, index.name.empty() ? indexName(t, index) : index.name);
            statement += " ON ";
            ctx.appendTableName(statement, t);
            statement += " (";
            appendNameList(statement, index.columns, ctx);
            statement += ")";
        }
    };
    plain(t.facts.indexes, "CREATE INDEX ");
    plain(t.facts.uniqueIndexes, "CREATE UNIQUE INDEX ");
    out.insert(out.end(), t.facts.indexStatements.begin(), t.facts.indexStatements.end());
}

void commentStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    std::string literal;
    if (!t.cls->label().empty() && quoteLiteral(t.cls->label(), literal)) {
        std::string& statement = out.emplace_back(!t.facts.view        ? "COMMENT ON TABLE "
                                                  : t.facts.materialized ? "COMMENT ON MATERIALIZED VIEW "
                                                                         : "COMMENT ON VIEW ");
        ctx.appendTableName(statement, t);
        statement.append(" IS ").append(literal);
    }
    for (const column& c : t.columns) {
        const ky::string label = detail::fieldLabel(*c.field);
        if (label.empty() || !quoteLiteral(label, literal)) continue;
        std::string& statement = out.emplace_back("COMMENT ON COLUMN ");
        ctx.appendTableName(statement, t);
        statement += ".";
        ctx.appendQuoted(statement, c.name);
        statement.append(" IS ").append(literal);
    }
}

// Appends each statement of `list` not written before.
void appendOnce(const std::vector<std::string>& list, std::unordered_set<std::string>& seen, std::vector<std::string>& out) {
    for (const std::string& statement : list)
        if (seen.insert(statement).second) out.push_back(statement);
}

// The statements of every table's and column's fact `member`, in model order.
void factStatements(const ddlContext& ctx, std::vector<std::string> detail::classFacts::*ofClass,
                    std::vector<std::string> detail::fieldFacts::*ofField, std::vector<std::string>& out) {
    std::unordered_set<std::string> seen;
    for (const table& t : ctx.tables) {
        if (!t.written) continue;
        appendOnce(t.facts.*ofClass, seen, out);
        for (const column& c : t.columns) appendOnce(c.facts().*ofField, seen, out);
    }
}

// Puts the statements that create tables (partitions) before the others,
// each kind in its order: a constraint, trigger or foreign key of one
// table's partition may name another table's partition.
void tablesFirst(std::vector<std::string>::iterator begin, std::vector<std::string>::iterator end, eDialect dialect) {
    std::stable_partition(begin, end, [&](const std::string& statement) {
        return detail::beginsWith(statement, dialect, "CREATE [UNLOGGED] TABLE");
    });
}

void schemaStatements(const std::vector<std::size_t>& order, const ddlContext& ctx, std::vector<std::string>& out) {
    std::unordered_set<ky::string> seen;
    for (std::size_t index : order) {
        const ky::string& schema = ctx.tables[index].schema;
        if (schema.empty() || !seen.insert(schema).second) continue;
        ctx.appendQuoted(out.emplace_back("CREATE SCHEMA IF NOT EXISTS "), schema);
    }
}

std::vector<std::string> statementsOf(ddlContext& ctx) {
    std::vector<std::size_t> order = dependencyOrder(ctx);
    const std::vector<std::size_t> views = viewOrder(ctx);
    const std::size_t tableCount = order.size();
    order.insert(order.end(), views.begin(), views.end());
    const bool pg = ctx.dialect() == ePostgresql;
    std::vector<std::string> statements;
    statements.reserve(order.size());
    if (pg) schemaStatements(order, ctx, statements);
    factStatements(ctx, &detail::classFacts::before, &detail::fieldFacts::before, statements);
    for (std::size_t i = 0; i < tableCount; ++i) statements.push_back(createTable(ctx.tables[order[i]], ctx));
    if (pg)
        for (std::size_t i = 0; i < tableCount; ++i) alterStatements(ctx.tables[order[i]], ctx, statements);
    for (std::size_t index : views) statements.push_back(ctx.tables[index].facts.viewStatement);
    for (std::size_t index : order) indexStatements(ctx.tables[index], ctx, statements);
    const std::size_t after = statements.size();
    factStatements(ctx, &detail::classFacts::after, &detail::fieldFacts::after, statements);
    tablesFirst(statements.begin() + static_cast<std::ptrdiff_t>(after), statements.end(), ctx.dialect());
    if (pg && ctx.options.labelsAsComments)
        for (std::size_t index : order) commentStatements(ctx.tables[index], ctx, statements);
    return statements;
}

}  // namespace

ddlResult createDdl(const modelInfo& model, const ddlOptions& options) {
    ddlResult result;
    ddlContext ctx{model, options, result.problems, {}, {}};
    if (options.dialect != eSqlite && options.dialect != ePostgresql) {
        ctx.fail("sql.ddl.dialect", L"the dialect is neither SQLite nor PostgreSQL", ky::string());
        return result;
    }
    collectTables(model, ctx);
    if (hasErrors(result.problems)) return result;
    resolveForeignKeys(ctx);
    if (hasErrors(result.problems)) return result;
    result.statements = statementsOf(ctx);
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
