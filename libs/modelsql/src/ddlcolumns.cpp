// The definition of one column: its type (the field's, its native one, or
// the nearest one of a type only the other dialect has), collation,
// AUTOINCREMENT, identity or generation, NOT NULL and UNIQUE, its default
// and the CHECK of an enumeration.
#include "ddl.h"

namespace ky::metamodel::sql::detail {

namespace {

const ky::genericSet* enumerationAttributes(const fieldInfo& field) {
    ky::const_refPtr<fieldInfo> current(&field);
    for (int depth = 0; current && depth < 64; ++depth) {
        if (!current->sourceField()) return &current->semanticAttribs();
        current = current->sourceField();
    }
    return nullptr;
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
        out = pgNearestType(c.facts().otherType);
        warn(L"the SQLite column type \"" + c.facts().otherType + L"\" becomes " + wide(out));
        return true;
    }
    if (sqlite ? custom.empty() || sqliteTakesType(custom) : isSafeCustomType(custom)) {
        out = utf8(custom);
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
    return c.facts().hasType && !parseColumnType(wide(c.facts().type), eSqlite).known;
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
    if (!autoincrement || foldedAscii(type) == "integer") return true;
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

}  // namespace

bool describeColumn(const fieldInfo& field, ddlContext& ctx, table& t, bool inKey, bool soleKey, column& out) {
    out.name = field.scName();
    const fieldFacts& facts = out.facts();
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
    out.type = std::move(type);
    out.notNull = field.isMandatory() || key;
    out.unique = field.isUnique() && !key;
    if (out.notNull) out.definition += " NOT NULL";
    if (out.unique) out.definition += " UNIQUE";
    const std::size_t defaultAt = out.definition.size();
    appendDefault(field, out, ctx, t);
    if (out.definition.size() > defaultAt) out.defaultSql = out.definition.substr(defaultAt + sizeof(" DEFAULT ") - 1);
    const std::size_t checkAt = out.definition.size();
    if (ctx.options.checkEnumerations && field.semantic() == eSemEnum && !typeChecksValues(out))
        appendEnumerationCheck(field, out, ctx, t);
    if (out.definition.size() > checkAt) out.check = out.definition.substr(checkAt + 1);
    if (autoincrement) t.keyInColumn = true;
    return true;
}

}  // namespace ky::metamodel::sql::detail
