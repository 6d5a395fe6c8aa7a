// DDL of a model: a CREATE TABLE per non-abstract class in dependency order,
// foreign keys of cycles added afterwards (PostgreSQL) or checked at commit
// (SQLite), and the labels as comments (PostgreSQL).
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;

struct column {
    ky::const_refPtr<fieldInfo> field;
    ky::string name;
    std::string definition;  // everything after the name
};

struct foreignKey {
    std::vector<ky::string> from;
    std::size_t target = 0;
    std::vector<ky::string> to;
    bool closesCycle = false;
};

struct table {
    ky::const_refPtr<classInfo> cls;
    ky::string name;
    std::vector<column> columns;
    std::vector<ky::string> key;
    std::vector<foreignKey> foreignKeys;
};

struct ddlContext {
    const ddlOptions& options;
    diagnostics& problems;
    std::vector<table> tables;
    std::unordered_map<const classInfo*, std::size_t> tableOf;
    std::unordered_map<int, std::string> typeDefaults;  // literal of each type's default, read once

    std::string quote(const ky::string& name) const { return quoteIdentifier(name, options.dialect); }
    void warn(const char* code, const ky::string& message, const ky::string& tbl, const ky::string& fld = {}) {
        problems.push_back(makeDiagnostic(eWarning, code, message, tbl, fld));
    }
    void fail(const char* code, const ky::string& message, const ky::string& tbl, const ky::string& fld = {}) {
        problems.push_back(makeDiagnostic(eError, code, message, tbl, fld));
    }
};

// The text under which two names clash in the dialect: SQLite compares
// identifiers with ASCII letters folded, quoted or not.
ky::string clashKey(const ky::string& name, eDialect dialect) {
    if (dialect != eSqlite) return name;
    ky::string key = name;
    for (wchar_t& c : key)
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
    return key;
}

const ky::genericSet* enumerationAttributes(const fieldInfo& field) {
    ky::const_refPtr<fieldInfo> current(&field);
    for (int depth = 0; current && depth < 64; ++depth) {
        if (!current->sourceField()) return &current->semanticAttribs();
        current = current->sourceField();
    }
    return nullptr;
}

std::string listOf(const std::vector<ky::string>& names, const ddlContext& ctx) {
    std::string out;
    for (const ky::string& name : names) {
        if (!out.empty()) out += ", ";
        out += ctx.quote(name);
    }
    return out;
}

bool clockDefault(eFieldType type) { return type == eDate || type == eTime || type == eTimestamp; }

// Whether the field holds a default value of its own, told apart from the
// type's default by comparing literals. The literal of a type's default is
// read once per DDL; the clock-based defaults of dates and times are read
// before and after, so that a tick in between does not count.
bool storedDefault(const fieldInfo& field, ddlContext& ctx, std::string& literal) {
    const eFieldType type = field.type();
    const eDialect dialect = ctx.options.dialect;
    ky::genericValue before, value, after;
    if (clockDefault(type)) fieldInfo::getDefaultFromType(type, before);
    if (!field.getDefaultValue(value, true)) return false;
    if (!literalOf(value, type, dialect, literal)) {
        literal.clear();
        return !value.empty() && !fieldInfo::getDefaultFromType(type, after);
    }
    if (!clockDefault(type)) {
        auto known = ctx.typeDefaults.find(type);
        if (known == ctx.typeDefaults.end()) {
            std::string typeLiteral;
            if (!fieldInfo::getDefaultFromType(type, after) || !literalOf(after, type, dialect, typeLiteral))
                typeLiteral = "\x01";  // no literal: never equal to one
            known = ctx.typeDefaults.emplace(type, typeLiteral).first;
        }
        return literal != known->second;
    }
    fieldInfo::getDefaultFromType(type, after);
    std::string first, last;
    if (!literalOf(before, type, dialect, first) || !literalOf(after, type, dialect, last)) return true;
    if (first <= last) return literal < first || literal > last;
    return literal < first && literal > last;  // the time of day wrapped at midnight
}

std::string enumerationCheck(const fieldInfo& field, const ky::string& name, ddlContext& ctx, const ky::string& tbl) {
    const ky::genericSet* attribs = enumerationAttributes(field);
    const std::vector<enumItem>* items = nullptr;
    if (!attribs || !attribs->getValuePtr(L"enumItems", items) || items->empty()) return std::string();
    std::string values;
    for (const enumItem& item : *items) {
        std::string literal;
        if (!literalOf(item.itemValue, field.type(), ctx.options.dialect, literal)) {
            ctx.warn("sql.ddl.enum-item", L"an enumeration item has no SQL literal; no CHECK is written", tbl, name);
            return std::string();
        }
        if (!values.empty()) values += ", ";
        values += literal;
    }
    return " CHECK (" + ctx.quote(name) + " IN (" + values + "))";
}

bool describeColumn(const fieldInfo& field, const classInfo& cls, ddlContext& ctx, column& out) {
    const ky::string tbl = cls.scName().string();
    out.name = field.scName().string();
    const eDialect dialect = ctx.options.dialect;
    if (field.type() == eCustom) {
        const ky::string custom = field.typeString().string();
        if (custom.empty() && dialect == eSqlite) {
            out.definition.clear();
        } else if (!isSafeCustomType(custom)) {
            ctx.warn("sql.ddl.custom-type", L"the custom type \"" + custom + L"\" is no SQL type; the column is left out", tbl,
                     out.name);
            return false;
        } else {
            out.definition = " " + detail::utf8(custom);
        }
    } else {
        const std::string type = sqlTypeOf(field.type(), fieldLength(field), field.semantic(), dialect);
        if (type.empty()) {
            ctx.warn("sql.ddl.type", L"the field's type has no column type; the column is left out", tbl, out.name);
            return false;
        }
        out.definition = " " + type;
    }
    const bool key = field.semantic() == eSemPrimkey;
    if (field.isMandatory() || key) out.definition += " NOT NULL";
    if (field.isUnique() && !key) out.definition += " UNIQUE";
    std::string literal;
    if (storedDefault(field, ctx, literal)) {
        if (literal.empty()) ctx.warn("sql.ddl.default", L"the default value has no SQL literal; no DEFAULT is written", tbl, out.name);
        else out.definition += " DEFAULT " + literal;
    }
    if (ctx.options.checkEnumerations && field.semantic() == eSemEnum)
        out.definition += enumerationCheck(field, out.name, ctx, tbl);
    return true;
}

bool namesDistinct(const std::vector<ky::string>& names, eDialect dialect, ddlContext& ctx, const ky::string& tbl,
                   bool columns) {
    std::unordered_set<ky::string> seen;
    bool distinct = true;
    for (const ky::string& name : names) {
        if (name.empty()) {
            ctx.fail("sql.ddl.empty-name", columns ? L"a field has an empty name" : L"a class has an empty name", tbl);
            distinct = false;
        } else if (!seen.insert(clashKey(name, dialect)).second) {
            ctx.fail("sql.ddl.name-clash",
                     L"the name \"" + name + L"\" clashes with another one in the dialect's name rule",
                     columns ? tbl : name, columns ? name : ky::string());
            distinct = false;
        }
    }
    return distinct;
}

void collectTables(const modelInfo& model, ddlContext& ctx) {
    std::vector<ky::string> tableNames;
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        const ky::const_refPtr<classInfo> cls(*it);
        if (!cls || cls->isAbstract()) continue;
        table t;
        t.cls = cls;
        t.name = cls->scName().string();
        for (const auto& field : detail::tableFields(*cls)) {
            column c;
            c.field = field;
            if (describeColumn(*field, *cls, ctx, c)) t.columns.push_back(std::move(c));
        }
        if (t.columns.empty() && ctx.options.dialect == eSqlite) {
            ctx.warn("sql.ddl.no-columns", L"the class has no column; SQLite needs one, the table is left out", t.name);
            continue;
        }
        std::vector<ky::string> columnNames;
        for (const column& c : t.columns) columnNames.push_back(c.name);
        namesDistinct(columnNames, ctx.options.dialect, ctx, t.name, true);
        for (const column& c : t.columns)
            if (c.field->semantic() == eSemPrimkey) t.key.push_back(c.name);
        tableNames.push_back(t.name);
        ctx.tableOf[cls.get()] = ctx.tables.size();
        ctx.tables.push_back(std::move(t));
    }
    namesDistinct(tableNames, ctx.options.dialect, ctx, ky::string(), false);
}

const column* findColumn(const table& t, const ky::string& name) {
    auto it = std::find_if(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == name; });
    return it == t.columns.end() ? nullptr : &*it;
}

// Whether the columns `to` of `t` are its key or a unique column, as the
// database needs for the target of a foreign key.
bool referencesKey(const table& t, const std::vector<ky::string>& to) {
    std::vector<ky::string> sortedTo = to, sortedKey = t.key;
    std::sort(sortedTo.begin(), sortedTo.end());
    std::sort(sortedKey.begin(), sortedKey.end());
    if (!sortedKey.empty() && sortedTo == sortedKey) return true;
    if (to.size() != 1) return false;
    const column* c = findColumn(t, to[0]);
    return c && c->field->isUnique() && c->field->semantic() != eSemPrimkey;
}

bool resolveForeignKey(const relationInfo& relation, table& from, ddlContext& ctx, foreignKey& fk) {
    const auto& pairs = relation.fieldRelations();
    const ky::string relationName = relation.scName().string();
    auto refuse = [&](const ky::string& why) {
        ctx.warn("sql.ddl.foreign-key", L"the relation \"" + relationName + L"\" " + why + L"; no FOREIGN KEY is written",
                 from.name);
        return false;
    };
    if (pairs.empty() || !pairs[0].second) return refuse(L"has no field pairs");
    const bool towardsClass = pairs.size() == 1 && pairs[0].second->type() == ePtr;
    const ky::refPtr<classInfo> targetClass = pairs[0].second->classInfo();
    if (!targetClass) return refuse(L"has no target class");
    auto target = ctx.tableOf.find(targetClass.get());
    if (target == ctx.tableOf.end()) return refuse(L"leads to a class without a table");
    fk.target = target->second;
    const table& to = ctx.tables[fk.target];
    for (const auto& pair : pairs) {
        if (!pair.first || !findColumn(from, pair.first->scName().string()))
            return refuse(L"starts from a field the table does not hold");
        fk.from.push_back(pair.first->scName().string());
        if (!towardsClass) {
            if (!pair.second || !findColumn(to, pair.second->scName().string()))
                return refuse(L"leads to a field the target table does not hold");
            fk.to.push_back(pair.second->scName().string());
        }
    }
    if (towardsClass) fk.to = to.key;
    if (fk.to.empty()) return refuse(L"leads to a class without a primary key");
    if (fk.to.size() != fk.from.size()) return refuse(L"pairs a different number of fields than the target's key");
    if (!referencesKey(to, fk.to)) return refuse(L"leads to fields that are neither the target's key nor unique");
    return true;
}

void resolveForeignKeys(ddlContext& ctx) {
    for (table& t : ctx.tables) {
        for (const auto& relation : detail::tableRelations(*t.cls)) {
            foreignKey fk;
            if (resolveForeignKey(*relation, t, ctx, fk)) t.foreignKeys.push_back(std::move(fk));
        }
    }
}

// Orders the tables so that each follows the tables its foreign keys lead
// to: a depth-first walk in model order (iterative, so a long chain of
// references cannot exhaust the stack). A foreign key that leads back to a
// table still on the walk closes a cycle and is marked.
std::vector<std::size_t> dependencyOrder(ddlContext& ctx) {
    enum mark { unseen, open, done };
    std::vector<mark> marks(ctx.tables.size(), unseen);
    std::vector<std::size_t> order;
    order.reserve(ctx.tables.size());
    struct frame { std::size_t table; std::size_t next; };
    std::vector<frame> stack;
    for (std::size_t start = 0; start < ctx.tables.size(); ++start) {
        if (marks[start] != unseen) continue;
        stack.push_back({start, 0});
        marks[start] = open;
        while (!stack.empty()) {
            frame& top = stack.back();
            table& t = ctx.tables[top.table];
            if (top.next == t.foreignKeys.size()) {
                marks[top.table] = done;
                order.push_back(top.table);
                stack.pop_back();
                continue;
            }
            foreignKey& fk = t.foreignKeys[top.next++];
            if (fk.target == top.table) continue;
            if (marks[fk.target] == open) fk.closesCycle = true;
            else if (marks[fk.target] == unseen) {
                marks[fk.target] = open;
                stack.push_back({fk.target, 0});
            }
        }
    }
    return order;
}

std::string foreignKeyClause(const foreignKey& fk, const ddlContext& ctx) {
    const table& to = ctx.tables[fk.target];
    return "FOREIGN KEY (" + listOf(fk.from, ctx) + ") REFERENCES " + ctx.quote(to.name) + " (" + listOf(fk.to, ctx) + ")";
}

// Written straight into one string: a list of parts joined afterwards would
// cost two allocations a column.
std::string createTable(const table& t, const ddlContext& ctx) {
    const bool pg = ctx.options.dialect == ePostgresql;
    std::string out = "CREATE TABLE " + ctx.quote(t.name) + " (";
    std::size_t size = out.size() + 2;
    for (const column& c : t.columns) size += c.name.size() + c.definition.size() + 8;
    out.reserve(size + 64 * (t.foreignKeys.size() + 1));
    bool first = true;
    auto part = [&]() -> std::string& {
        out += first ? "\n    " : ",\n    ";
        first = false;
        return out;
    };
    for (const column& c : t.columns) part().append(ctx.quote(c.name)).append(c.definition);
    if (!t.key.empty()) part().append("PRIMARY KEY (").append(listOf(t.key, ctx)).append(")");
    for (const foreignKey& fk : t.foreignKeys) {
        if (fk.closesCycle && pg) continue;
        part().append(foreignKeyClause(fk, ctx)).append(fk.closesCycle ? " DEFERRABLE INITIALLY DEFERRED" : "");
    }
    out += first ? ")" : "\n)";
    return out;
}

void commentStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    std::string literal;
    if (!t.cls->label().empty() && quoteLiteral(t.cls->label(), literal))
        out.push_back("COMMENT ON TABLE " + ctx.quote(t.name) + " IS " + literal);
    for (const column& c : t.columns) {
        const ky::string label = detail::fieldLabel(*c.field);
        if (!label.empty() && quoteLiteral(label, literal))
            out.push_back("COMMENT ON COLUMN " + ctx.quote(t.name) + "." + ctx.quote(c.name) + " IS " + literal);
    }
}

std::vector<std::string> statementsOf(ddlContext& ctx) {
    const std::vector<std::size_t> order = dependencyOrder(ctx);
    const bool pg = ctx.options.dialect == ePostgresql;
    std::vector<std::string> statements;
    for (std::size_t index : order) statements.push_back(createTable(ctx.tables[index], ctx));
    if (pg) {
        for (std::size_t index : order)
            for (const foreignKey& fk : ctx.tables[index].foreignKeys)
                if (fk.closesCycle)
                    statements.push_back("ALTER TABLE " + ctx.quote(ctx.tables[index].name) + " ADD " +
                                         foreignKeyClause(fk, ctx));
        if (ctx.options.labelsAsComments)
            for (std::size_t index : order) commentStatements(ctx.tables[index], ctx, statements);
    }
    return statements;
}

}  // namespace

ddlResult createDdl(const modelInfo& model, const ddlOptions& options) {
    ddlResult result;
    ddlContext ctx{options, result.problems, {}, {}, {}};
    if (options.dialect != eSqlite && options.dialect != ePostgresql) {
        ctx.fail("sql.ddl.dialect", L"the dialect is neither SQLite nor PostgreSQL", ky::string());
        return result;
    }
    collectTables(model, ctx);
    if (hasErrors(result.problems)) return result;
    resolveForeignKeys(ctx);
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
