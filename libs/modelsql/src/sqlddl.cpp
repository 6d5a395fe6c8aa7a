// DDL of a model: a CREATE TABLE per non-abstract class in dependency order,
// foreign keys of cycles added afterwards (PostgreSQL) or checked at commit
// (SQLite), and the labels as comments (PostgreSQL).
#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;

// Names are the model's interned handles: copied without allocating,
// compared as exactly as their texts.
struct column {
    ky::const_refPtr<fieldInfo> field;
    ky::scString name;
    std::string definition;  // everything after the name
};

struct foreignKey {
    std::vector<ky::scString> from;
    std::size_t target = 0;
    std::vector<ky::scString> to;
    bool closesCycle = false;
};

struct table {
    ky::const_refPtr<classInfo> cls;
    ky::scString name;
    std::vector<column> columns;
    std::vector<ky::scString> key;
    std::vector<foreignKey> foreignKeys;
};

struct ddlContext {
    const ddlOptions& options;
    diagnostics& problems;
    std::vector<table> tables;
    std::unordered_map<const classInfo*, std::size_t> tableOf;

    void appendQuoted(std::string& out, ky::scString name) const {
        detail::appendIdentifier(out, name.string(), options.dialect);
    }
    void warn(const char* code, const ky::string& message, const ky::string& tbl, const ky::string& fld = {}) {
        problems.push_back(makeDiagnostic(eWarning, code, message, tbl, fld));
    }
    // A warning about `field`, named in `element` as its own class names it
    // (a base's field gives the same element in every table that holds it).
    void warn(const char* code, const ky::string& message, const ky::string& tbl, const fieldInfo& field) {
        warn(code, message, tbl, field.scName().string());
        problems.back().element = field.qualifiedName();
    }
    void fail(const char* code, const ky::string& message, const ky::string& tbl, const ky::string& fld = {}) {
        problems.push_back(makeDiagnostic(eError, code, message, tbl, fld));
    }
};

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

bool describeColumn(const fieldInfo& field, ddlContext& ctx, const table& t, column& out) {
    out.name = field.scName();
    const eDialect dialect = ctx.options.dialect;
    const auto warn = [&](const char* code, const ky::string& message) {
        ctx.warn(code, message, t.name.string(), field);
    };
    if (field.type() == eCustom) {
        const ky::string custom = field.typeString().string();
        if (custom.empty() && dialect == eSqlite) {
            out.definition.clear();
        } else if (!isSafeCustomType(custom)) {
            warn("sql.ddl.custom-type", L"the custom type \"" + custom + L"\" is no SQL type; the column is left out");
            return false;
        } else {
            out.definition = " " + detail::utf8(custom);
        }
    } else {
        const std::string type = sqlTypeOf(field.type(), fieldLength(field), field.semantic(), dialect);
        if (type.empty()) {
            warn("sql.ddl.type", L"the field's type has no column type; the column is left out");
            return false;
        }
        out.definition.reserve(type.size() + 32);
        out.definition.assign(" ").append(type);
    }
    const bool key = field.semantic() == eSemPrimkey;
    if (field.isMandatory() || key) out.definition += " NOT NULL";
    if (field.isUnique() && !key) out.definition += " UNIQUE";
    if (std::string literal; storedDefault(field, dialect, literal)) {
        if (literal.empty()) warn("sql.ddl.default", L"the default value has no SQL literal; no DEFAULT is written");
        else out.definition.append(" DEFAULT ").append(literal);
    }
    if (ctx.options.checkEnumerations && field.semantic() == eSemEnum) appendEnumerationCheck(field, out, ctx, t);
    return true;
}

// The longest identifier PostgreSQL keeps, in bytes of UTF-8; it cuts a
// longer one silently, so that two long names may become one.
constexpr std::size_t pgIdentifierBytes = 63;

// The columns every PostgreSQL table has already ("oid" is no longer one).
constexpr std::array<std::wstring_view, 6> pgSystemColumns = {L"tableoid", L"xmin", L"cmin", L"xmax", L"cmax", L"ctid"};

std::size_t utf8Length(const ky::string& name) {
    std::size_t bytes = 0;
    for (wchar_t c : name) {
        const auto u = static_cast<std::uint32_t>(c);
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    }
    return bytes;
}

struct nameFault {
    const char* code;
    ky::string message;
};

// Whether the dialect refuses `name` for a table (or, with `column`, for a
// column) although it is not empty, and why. Names are refused rather than
// changed: a changed name would no longer be the model's.
bool faultOf(const ky::string& name, bool column, eDialect dialect, nameFault& out) {
    const ky::string shown = L"\"" + name + L"\"";
    if (const std::size_t bad = name.findNonNameCharacter(); bad != ky::string::npos) {
        out = {"sql.ddl.name-character",
               L"the name " + shown + L" holds the character " + name.codePointAt(bad) + L", which no identifier may hold"};
        return true;
    }
    if (dialect == ePostgresql) {
        if (const std::size_t bytes = utf8Length(name); bytes > pgIdentifierBytes) {
            out = {"sql.ddl.name-length", L"the name " + shown + L" takes " + std::to_wstring(bytes) +
                                              L" bytes of UTF-8; PostgreSQL keeps 63 and cuts the rest"};
            return true;
        }
        if (column && std::find(pgSystemColumns.begin(), pgSystemColumns.end(), std::wstring_view(name)) !=
                          pgSystemColumns.end()) {
            out = {"sql.ddl.system-column", L"the column " + shown + L" has the name of a PostgreSQL system column"};
            return true;
        }
    } else if (!column && name.size() >= 7 && clashRule{true}.same(name.substr(0, 7), L"sqlite_")) {
        out = {"sql.ddl.reserved-name", L"the table " + shown + L" begins with \"sqlite_\", which SQLite keeps for itself"};
        return true;
    }
    return false;
}

// Reports the empty names of `list`, those the dialect refuses, and each
// one that clashes with an earlier one; `nameOf` gives the name of an
// element, `tbl` the table of columns (empty for tables).
template <class List, class NameOf>
void namesDistinct(const List& list, NameOf nameOf, ddlContext& ctx, const ky::string& tbl, bool columns) {
    const clashRule rule{ctx.options.dialect == eSqlite};
    const auto name = [&](std::size_t i) -> const ky::string& { return nameOf(list[i]).string(); };
    // Sorted by hash and then by position, names that clash lie together,
    // the earlier ones first.
    std::vector<std::pair<std::size_t, std::size_t>> keyed(list.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) keyed[i] = {rule.hash(name(i)), i};
    std::sort(keyed.begin(), keyed.end());
    std::vector<bool> clashes(list.size());
    for (std::size_t i = 1; i < keyed.size(); ++i) {
        for (std::size_t j = i; j-- > 0 && keyed[j].first == keyed[i].first;) {
            if (rule.same(name(keyed[j].second), name(keyed[i].second))) {
                clashes[keyed[i].second] = true;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (name(i).empty()) {
            ctx.fail("sql.ddl.empty-name", columns ? L"a field has an empty name" : L"a class has an empty name", tbl);
        } else if (nameFault fault; faultOf(name(i), columns, ctx.options.dialect, fault)) {
            ctx.fail(fault.code, fault.message, columns ? tbl : name(i), columns ? name(i) : ky::string());
        } else if (clashes[i]) {
            ctx.fail("sql.ddl.name-clash",
                     L"the name \"" + name(i) + L"\" clashes with another one in the dialect's name rule",
                     columns ? tbl : name(i), columns ? name(i) : ky::string());
        }
    }
}

void collectTables(const modelInfo& model, ddlContext& ctx) {
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        const ky::const_refPtr<classInfo> cls(*it);
        if (!cls || cls->isAbstract()) continue;
        table t;
        t.cls = cls;
        t.name = cls->scName();
        const auto fields = detail::tableFields(*cls);
        t.columns.reserve(fields.size());
        for (const auto& field : fields) {
            column c;
            c.field = field;
            if (describeColumn(*field, ctx, t, c)) t.columns.push_back(std::move(c));
        }
        if (t.columns.empty() && ctx.options.dialect == eSqlite) {
            ctx.warn("sql.ddl.no-columns", L"the class has no column; SQLite needs one, the table is left out",
                     t.name.string());
            continue;
        }
        namesDistinct(t.columns, [](const column& c) { return c.name; }, ctx, t.name.string(), true);
        for (const column& c : t.columns)
            if (c.field->semantic() == eSemPrimkey) t.key.push_back(c.name);
        ctx.tableOf[cls.get()] = ctx.tables.size();
        ctx.tables.push_back(std::move(t));
    }
    namesDistinct(ctx.tables, [](const table& t) { return t.name; }, ctx, ky::string(), false);
}

bool hasColumn(const table& t, ky::scString name) {
    return std::any_of(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == name; });
}

// Whether the columns `to` of `t` are its key or a unique column, as the
// database needs for the target of a foreign key.
bool referencesKey(const table& t, const std::vector<ky::scString>& to) {
    std::vector<ky::scString> sortedTo = to, sortedKey = t.key;
    std::sort(sortedTo.begin(), sortedTo.end());
    std::sort(sortedKey.begin(), sortedKey.end());
    if (!sortedKey.empty() && sortedTo == sortedKey) return true;
    if (to.size() != 1) return false;
    auto c = std::find_if(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == to[0]; });
    return c != t.columns.end() && c->field->isUnique() && c->field->semantic() != eSemPrimkey;
}

// The families of column types PostgreSQL compares with one another.
enum class pgKind { other, boolean, integer, floating, numeric, text, datetime, time, bytes };

pgKind pgKindOf(const fieldInfo& field) {
    switch (field.type()) {
        case eBool: return pgKind::boolean;
        case eShort:
        case eInt:
        case eLong: return pgKind::integer;
        case eFloat:
        case eDouble: return field.semantic() == eSemMonetary ? pgKind::numeric : pgKind::floating;
        case eString:
        case eDirectory:
        case eFile:
        case eSearchPath: return pgKind::text;
        case eDate:
        case eTimestamp: return pgKind::datetime;
        case eTime: return pgKind::time;
        case eBinary: return pgKind::bytes;
        default: return pgKind::other;
    }
}

// Whether PostgreSQL takes a foreign key from a column of kind `from` to a
// key of kind `to`: it needs an equality operator of the key's index that
// takes both types, or an implicit cast of the referencing type to the
// key's. That holds within a family (the integers; REAL and DOUBLE
// PRECISION; VARCHAR and TEXT; DATE and TIMESTAMP), and from integers to
// REAL, DOUBLE PRECISION and NUMERIC keys and from NUMERIC to REAL and DOUBLE
// PRECISION keys. Custom types are the host's and are not judged.
bool pgPairs(pgKind from, pgKind to) {
    if (from == to || from == pgKind::other || to == pgKind::other) return true;
    if (from == pgKind::integer) return to == pgKind::floating || to == pgKind::numeric;
    return from == pgKind::numeric && to == pgKind::floating;
}

const fieldInfo& columnField(const table& t, ky::scString name) {
    return *std::find_if(t.columns.begin(), t.columns.end(), [&](const column& c) { return c.name == name; })->field;
}

// Reports each pair of `fk` whose column types PostgreSQL does not compare;
// false when there is one.
bool typesPair(const relationInfo& relation, const table& from, const foreignKey& fk, ddlContext& ctx) {
    if (ctx.options.dialect != ePostgresql) return true;
    const table& to = ctx.tables[fk.target];
    bool pairs = true;
    for (std::size_t i = 0; i < fk.from.size(); ++i) {
        const fieldInfo& source = columnField(from, fk.from[i]);
        const fieldInfo& target = columnField(to, fk.to[i]);
        if (pgPairs(pgKindOf(source), pgKindOf(target))) continue;
        ctx.fail("sql.ddl.foreign-key-type",
                 L"the relation \"" + relation.scName().string() + L"\" pairs the column \"" + fk.from[i].string() +
                     L"\" with \"" + to.name.string() + L"." + fk.to[i].string() +
                     L"\", whose type PostgreSQL does not compare with its own",
                 from.name.string(), fk.from[i].string());
        pairs = false;
    }
    return pairs;
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
    if (pairs.empty() || !pairs[0].second) return refuse(L"has no field pairs");
    const bool towardsClass = pairs.size() == 1 && pairs[0].second->type() == ePtr;
    const ky::refPtr<classInfo> targetClass = pairs[0].second->classInfo();
    if (!targetClass) return refuse(L"has no target class");
    auto target = ctx.tableOf.find(targetClass.get());
    if (target == ctx.tableOf.end()) return refuse(L"leads to a class without a table");
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
    return typesPair(relation, from, fk, ctx);
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

void appendForeignKey(std::string& out, const foreignKey& fk, const ddlContext& ctx) {
    out += "FOREIGN KEY (";
    appendList(out, fk.from, ctx);
    out += ") REFERENCES ";
    ctx.appendQuoted(out, ctx.tables[fk.target].name);
    out += " (";
    appendList(out, fk.to, ctx);
    out += ")";
}

// Written straight into one string: a list of parts joined afterwards would
// cost two allocations a column.
std::string createTable(const table& t, const ddlContext& ctx) {
    const bool pg = ctx.options.dialect == ePostgresql;
    std::size_t size = 24 + t.name.string().size();
    for (const column& c : t.columns) size += c.name.string().size() + c.definition.size() + 8;
    std::string out;
    out.reserve(size + 64 * (t.foreignKeys.size() + 1));
    out += "CREATE TABLE ";
    ctx.appendQuoted(out, t.name);
    out += " (";
    bool first = true;
    auto part = [&]() -> std::string& {
        out += first ? "\n    " : ",\n    ";
        first = false;
        return out;
    };
    for (const column& c : t.columns) {
        ctx.appendQuoted(part(), c.name);
        out += c.definition;
    }
    if (!t.key.empty()) {
        part() += "PRIMARY KEY (";
        appendList(out, t.key, ctx);
        out += ")";
    }
    for (const foreignKey& fk : t.foreignKeys) {
        if (fk.closesCycle && pg) continue;
        appendForeignKey(part(), fk, ctx);
        if (fk.closesCycle) out += " DEFERRABLE INITIALLY DEFERRED";
    }
    out += first ? ")" : "\n)";
    return out;
}

void commentStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    std::string literal;
    if (!t.cls->label().empty() && quoteLiteral(t.cls->label(), literal)) {
        std::string& statement = out.emplace_back("COMMENT ON TABLE ");
        ctx.appendQuoted(statement, t.name);
        statement.append(" IS ").append(literal);
    }
    for (const column& c : t.columns) {
        const ky::string label = detail::fieldLabel(*c.field);
        if (label.empty() || !quoteLiteral(label, literal)) continue;
        std::string& statement = out.emplace_back("COMMENT ON COLUMN ");
        ctx.appendQuoted(statement, t.name);
        statement += ".";
        ctx.appendQuoted(statement, c.name);
        statement.append(" IS ").append(literal);
    }
}

std::vector<std::string> statementsOf(ddlContext& ctx) {
    const std::vector<std::size_t> order = dependencyOrder(ctx);
    const bool pg = ctx.options.dialect == ePostgresql;
    std::vector<std::string> statements;
    statements.reserve(order.size());
    for (std::size_t index : order) statements.push_back(createTable(ctx.tables[index], ctx));
    if (pg) {
        for (std::size_t index : order)
            for (const foreignKey& fk : ctx.tables[index].foreignKeys)
                if (fk.closesCycle) {
                    std::string& statement = statements.emplace_back("ALTER TABLE ");
                    ctx.appendQuoted(statement, ctx.tables[index].name);
                    statement += " ADD ";
                    appendForeignKey(statement, fk, ctx);
                }
        if (ctx.options.labelsAsComments)
            for (std::size_t index : order) commentStatements(ctx.tables[index], ctx, statements);
    }
    return statements;
}

}  // namespace

ddlResult createDdl(const modelInfo& model, const ddlOptions& options) {
    ddlResult result;
    ddlContext ctx{options, result.problems, {}, {}};
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
