// Turns the catalogue a reader filled into a model. Everything the core
// would refuse (a name registered twice, a relation from a field that does
// not exist, a semantic the type does not allow) is checked here first and
// reported as a diagnostic.
#include <algorithm>
#include <unordered_map>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

namespace {

struct builder {
    const reflectOptions& options;
    eDialect dialect;
    diagnostics& problems;
    ky::refPtr<modelInfo> model;
    std::unordered_map<const catTable*, ky::refPtr<classInfo>> classOf;
    std::unordered_map<const classInfo*, const catTable*> tableOf;
    std::unordered_map<ky::string, const catTable*> byFoldedName;  // SQLite's ASCII-folded table names
    std::unordered_map<ky::string, columnType> types;  // the types read so far: a schema repeats few

    const columnType& typeOf(const ky::string& sqlType) {
        auto it = types.find(sqlType);
        if (it == types.end()) it = types.emplace(sqlType, parseColumnType(sqlType, dialect)).first;
        return it->second;
    }

    void report(eSeverity severity, const char* code, const ky::string& message, const ky::string& table,
                const ky::string& column = {}) {
        problems.push_back(makeDiagnostic(severity, code, message, table, column));
    }
};

ky::genericSet lengthAttribute(unsigned long length) {
    static const ky::scString key = ky::scString::createFrom(keys::length);
    ky::genericSet attribs;
    if (length > 0) attribs.setValue(key, static_cast<int>(length), true);
    return attribs;
}

void setItems(fieldInfo& field, const std::vector<enumItem>& items) {
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(keys::enumItems), items, true);
    field.setSemantic(eSemEnum, attribs, L"");
}

void setEnumeration(fieldInfo& field, const catColumn& column) {
    std::vector<enumItem> items;
    for (const ky::string& label : column.enumLabels) items.emplace_back(ky::genericValue::create(label), label);
    setItems(field, items);
}

// The items of an enumeration check (SQLite): each literal read as a value
// of the field's type, named by its text (a string by its content). None
// when the type takes no enumeration or a literal is not of the type.
void setCheckedItems(fieldInfo& field, const catColumn& column, eFieldType type) {
    if (type != eBool && type != eShort && type != eInt && type != eLong && type != eFloat && type != eDouble &&
        type != eString)
        return;
    std::vector<enumItem> items;
    for (const ky::string& literal : column.checkLiterals) {
        ky::genericValue value;
        if (!parseDefaultLiteral(literal, type, value)) return;
        ky::string name = literal;
        if (type == eString && !value.read(name)) return;
        items.emplace_back(value, name);
    }
    setItems(field, items);
}

// Reports a name of the database that holds a character no name of a model
// may hold; true when it does.
bool refusedName(builder& b, const ky::string& name, const wchar_t* what, const ky::string& table,
                 const ky::string& column = {}) {
    const std::size_t bad = name.findNonNameCharacter();
    if (bad == ky::string::npos) return false;
    b.report(eError, "sql.reflect.name-character",
             ky::string(what) + L" \"" + name + L"\" holds the character " + name.codePointAt(bad) +
                 L", which no name of a model may hold",
             table, column);
    return true;
}

void addColumn(builder& b, classInfo& cls, const catTable& table, const catColumn& column) {
    if (column.name.empty()) {
        b.report(eError, "sql.reflect.empty-name", L"a column has an empty name", table.name);
        return;
    }
    if (refusedName(b, column.name, L"the column", table.name, column.name)) return;
    if (cls.fieldInfo(column.name, false, false)) {
        b.report(eError, "sql.reflect.name-clash",
                 L"the column \"" + column.name + L"\" clashes with another column under the model's name rule",
                 table.name, column.name);
        return;
    }
    static const columnType enumType{eString, 0, eSemNone, true, {}};
    const columnType& type = column.isEnum ? enumType : b.typeOf(column.sqlType);
    if (!type.known)
        b.report(eWarning, "sql.reflect.unknown-type",
                 L"the column type \"" + column.sqlType + L"\" is unknown; the field gets it as custom type",
                 table.name, column.name);
    ky::refPtr<fieldInfo> field =
        cls.createFieldInfo(column.name, type.type, lengthAttribute(type.length), type.known ? ky::string() : type.custom);
    if (column.notNull) field->setMandatory(true);
    if (!column.comment.empty()) field->setLabel(column.comment);
    if (column.hasDefault) {
        field->setDefaultExpression(column.defaultText);
        ky::genericValue value;
        if (parseDefaultLiteral(column.defaultText, type.type, value)) field->setDefaultValue(value);
    }
    if (type.semantic == eSemMonetary) field->setSemantic(eSemMonetary, ky::genericSet(), L"");
    if (column.isEnum) setEnumeration(*field, column);
    else if (!column.checkLiterals.empty() && type.semantic == eSemNone) setCheckedItems(*field, column, type.type);
}

void addClass(builder& b, const catTable& table) {
    if (table.name.empty()) {
        b.report(eError, "sql.reflect.empty-name", L"a table has an empty name", table.name);
        return;
    }
    if (refusedName(b, table.name, L"the table", table.name)) return;
    if (b.model->classInfo(table.name, false)) {
        b.report(eError, "sql.reflect.name-clash",
                 L"the table \"" + table.name + L"\" clashes with another table under the model's name rule", table.name);
        return;
    }
    ky::refPtr<classInfo> cls = b.model->createClassInfo(table.name, false);
    if (!table.comment.empty()) cls->setLabel(table.comment);
    for (const catColumn& column : table.columns) addColumn(b, *cls, table, column);
    for (const ky::string& name : table.uniqueColumns)
        if (ky::refPtr<fieldInfo> field = cls->fieldInfo(name, false, false)) field->setUnique(true);
    b.classOf[&table] = cls;
    b.tableOf[cls.get()] = &table;
    b.byFoldedName.emplace(foldedAscii(table.name), &table);
}

// The table a foreign key names: by the model's name rule, else (SQLite
// compares table names with ASCII letters folded) by the folded name.
const catTable* findTable(builder& b, const ky::string& name) {
    if (ky::refPtr<classInfo> cls = b.model->classInfo(name, false)) {
        auto it = b.tableOf.find(cls.get());
        if (it != b.tableOf.end()) return it->second;
    }
    if (b.dialect != eSqlite) return nullptr;
    auto it = b.byFoldedName.find(foldedAscii(name));
    return it == b.byFoldedName.end() ? nullptr : it->second;
}

std::vector<ky::string> keyColumns(const catTable& table) {
    std::vector<std::pair<int, ky::string>> ranked;
    for (const catColumn& c : table.columns)
        if (c.keyPosition > 0) ranked.emplace_back(c.keyPosition, c.name);
    std::sort(ranked.begin(), ranked.end());
    std::vector<ky::string> names;
    for (auto& entry : ranked) names.push_back(entry.second);
    return names;
}

bool alreadyRelated(classInfo& cls, const ky::refPtr<fieldInfo>& from, const ky::refPtr<fieldInfo>& to) {
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it)
        if (*it && (*it)->toFieldInfo(from).get() == to.get()) return true;
    return false;
}

void addForeignKey(builder& b, const catTable& table, const catForeignKey& fk) {
    auto refuse = [&](const ky::string& why) {
        b.report(eWarning, "sql.reflect.foreign-key",
                 L"the foreign key towards \"" + fk.target + L"\" " + why + L"; no relation is made", table.name,
                 fk.from.empty() ? ky::string() : fk.from[0]);
    };
    const catTable* target = fk.targetRead ? findTable(b, fk.target) : nullptr;
    auto targetClass = target ? b.classOf.find(target) : b.classOf.end();
    if (targetClass == b.classOf.end()) return refuse(L"leads to a table that is not read");
    const std::vector<ky::string> to = fk.to.empty() ? keyColumns(*target) : fk.to;
    if (fk.from.empty() || to.size() != fk.from.size()) return refuse(L"pairs no columns or a different number of them");
    ky::refPtr<classInfo> from = b.classOf[&table];
    std::vector<std::pair<ky::refPtr<fieldInfo>, ky::refPtr<fieldInfo>>> pairs;
    for (std::size_t i = 0; i < to.size(); ++i) {
        ky::refPtr<fieldInfo> f = from->fieldInfo(fk.from[i], false, false);
        ky::refPtr<fieldInfo> t = targetClass->second->fieldInfo(to[i], false, false);
        if (!f || !t) return refuse(L"names a column that does not exist");
        pairs.emplace_back(f, t);
    }
    if (alreadyRelated(*from, pairs[0].first, pairs[0].second))
        return refuse(L"starts like another foreign key of the table");
    ky::refPtr<relationInfo> relation =
        from->createRelation(pairs[0].first->scName().string(), false, pairs[0].second, eRef, L"", L"");
    for (std::size_t i = 1; i < pairs.size(); ++i) relation->addFieldRelation(pairs[i].first, pairs[i].second);
}

// The key comes last: a relation from a key column would otherwise take the
// column out of the key (a relation's from-field gets the relation semantic).
void setKey(builder& b, const catTable& table) {
    ky::refPtr<classInfo> cls = b.classOf[&table];
    for (const ky::string& name : keyColumns(table))
        if (ky::refPtr<fieldInfo> field = cls->fieldInfo(name, false, false))
            field->setSemantic(eSemPrimkey, ky::genericSet(), L"");
}

}  // namespace

ky::refPtr<modelInfo> buildModel(const catalogue& cat, const reflectOptions& options, eDialect dialect,
                                 const ky::string& source, diagnostics& problems) {
    const std::size_t first = problems.size();
    builder b{options, dialect, problems, modelInfo::createModelInfo(options.caseSensitiveNames), {}, {}, {}, {}};
    b.classOf.reserve(cat.tables.size());
    b.tableOf.reserve(cat.tables.size());
    b.byFoldedName.reserve(cat.tables.size());
    for (const catTable& table : cat.tables) addClass(b, table);
    if (!hasErrors(problems)) {
        for (const catTable& table : cat.tables)
            for (const catForeignKey& fk : table.foreignKeys) addForeignKey(b, table, fk);
        for (const catTable& table : cat.tables) setKey(b, table);
    }
    stampSource(problems, first, source);
    if (hasErrors(problems)) return ky::refPtr<modelInfo>();
    return b.model;
}

}  // namespace ky::metamodel::sql::detail
