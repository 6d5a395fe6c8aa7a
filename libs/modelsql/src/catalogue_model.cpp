// Turns the catalogue a reader filled into a model. Everything the core
// would refuse (a name registered twice, a relation from a field that does
// not exist, a semantic the type does not allow) is checked here first and
// reported as a diagnostic.
//
// What the metamodel has a place for goes there (type, length, mandatory,
// unique, default, key, relations, enumeration items, labels); every other
// table fact becomes an own string user property of the class or field, under
// "sql." when both dialects read it and under the dialect's prefix when it is
// that dialect's text (docs/sql.md, "Table facts"). A property is written only
// when it says something the rest of the model does not, so that a DDL of the
// model gives back what was read.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

namespace {

// PostgreSQL's format_type spelling of the types the DDL writes.
ky::string pgSpelling(const std::string& ddlType) {
    static const std::pair<const char*, const wchar_t*> words[] = {
        {"BOOLEAN", L"boolean"}, {"SMALLINT", L"smallint"}, {"INTEGER", L"integer"}, {"BIGINT", L"bigint"},
        {"REAL", L"real"}, {"DOUBLE PRECISION", L"double precision"}, {"NUMERIC", L"numeric"}, {"TEXT", L"text"},
        {"DATE", L"date"}, {"TIME", L"time without time zone"}, {"TIMESTAMP", L"timestamp without time zone"},
        {"BYTEA", L"bytea"}};
    for (const auto& word : words)
        if (ddlType == word.first) return word.second;
    if (ddlType.rfind("VARCHAR(", 0) == 0) return L"character varying" + wide(ddlType.substr(7));
    return wide(ddlType);
}

// Whether the DDL writes the column's native type back from the field's
// type alone: SQLite keeps the declared text as written, PostgreSQL
// answers its own spelling.
bool typeWrittenBack(const columnType& type, const ky::string& native, eDialect dialect) {
    if (!type.known) return false;
    const std::string ours = sqlTypeOf(type.type, type.length, type.semantic, dialect);
    return dialect == eSqlite ? wide(ours) == native : pgSpelling(ours) == native;
}

// A column type as read, and whether the DDL writes it back from the
// field's type alone.
struct readType {
    columnType type;
    bool writtenBack = false;
};

struct builder {
    const reflectOptions& options;
    eDialect dialect;
    diagnostics& problems;
    ky::refPtr<modelInfo> model;
    std::unordered_map<const catTable*, ky::refPtr<classInfo>> classOf;
    std::unordered_map<const classInfo*, const catTable*> tableOf;
    std::unordered_map<ky::string, const catTable*> byFoldedName;  // SQLite's ASCII-folded table names
    std::unordered_map<ky::string, const catTable*> bySchemaName;  // "schema\ntable" as the database names them
    std::unordered_map<ky::string, readType> types;  // the types read so far: a schema repeats few
    std::vector<ky::string> classNames;               // the class name of each table, in catalogue order
    ky::string prefix;                                // "postgresql." or "sqlite."

    // An own user property of a class or field, under the dialect's prefix
    // when `dialectText`.
    template <class Info>
    void put(Info& info, bool dialectText, const wchar_t* key, const ky::string& value) {
        info.setUserProperty(dialectText ? prefix + key : ky::string(L"sql.") + key, value, false);
    }

    const readType& typeOf(const ky::string& sqlType) {
        auto it = types.find(sqlType);
        if (it == types.end()) {
            readType read{parseColumnType(sqlType, dialect)};
            read.writtenBack = typeWrittenBack(read.type, sqlType, dialect);
            it = types.emplace(sqlType, std::move(read)).first;
        }
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

ky::string schemaKey(const ky::string& schema, const ky::string& name) { return schema + L"\n" + name; }

// Names one per line (names of a model hold no control characters).
ky::string lines(const std::vector<ky::string>& names) {
    ky::string out;
    for (const ky::string& name : names) {
        if (!out.empty()) out += L"\n";
        out += name;
    }
    return out;
}

// The columns `columns` as the class's fields name them (a model that folds
// names holds them folded); a column the class lacks as read.
std::vector<ky::string> fieldNames(const classInfo& cls, const std::vector<ky::string>& columns) {
    std::vector<ky::string> names;
    names.reserve(columns.size());
    for (const ky::string& column : columns) {
        ky::const_refPtr<fieldInfo> field = cls.fieldInfo(column, false, false);
        names.push_back(field ? field->scName().string() : column);
    }
    return names;
}

// Statements each ending in ";" and a line break, in order.
ky::string statements(const std::vector<ky::string>& list) {
    ky::string out;
    for (const ky::string& statement : list) {
        std::size_t end = statement.size();
        while (end > 0 && (statement[end - 1] == L';' || statement[end - 1] == L' ' || statement[end - 1] == L'\n' ||
                           statement[end - 1] == L'\t' || statement[end - 1] == L'\r'))
            --end;
        if (end == 0) continue;
        out += statement.substr(0, end);
        out += L";\n";
    }
    return out;
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
    static const readType enumType{{eString, 0, eSemNone, true, {}}, false};
    static const readType typelessType{{eBinary, 0, eSemNone, true, {}}, false};
    const readType& read = column.isEnum ? enumType : column.typeless ? typelessType : b.typeOf(column.sqlType);
    const columnType& type = read.type;
    ky::refPtr<fieldInfo> field =
        cls.createFieldInfo(column.name, type.type, lengthAttribute(type.length), type.known ? ky::string() : type.custom);
    if (column.typeless) b.put(*field, true, L"type", ky::string());
    else if (!read.writtenBack) b.put(*field, true, L"type", column.sqlType);
    if (column.notNull) field->setMandatory(true);
    if (!column.comment.empty()) field->setLabel(column.comment);
    if (column.hasDefault) {
        field->setDefaultExpression(column.defaultText);
        ky::genericValue value;
        std::string literal;
        const bool parsed = parseDefaultLiteral(column.defaultText, type.type, value);
        if (parsed) field->setDefaultValue(value);
        if (!parsed || !literalOf(value, type.type, b.dialect, literal) || wide(literal) != column.defaultText)
            b.put(*field, true, L"default", column.defaultText);
    }
    if (!column.collation.empty()) b.put(*field, true, L"collation", column.collation);
    if (!column.identity.empty()) b.put(*field, true, L"identity", column.identity);
    if (!column.generated.empty()) b.put(*field, true, L"generated", column.generated);
    if (column.autoincrement) field->setUserProperty(L"sqlite.autoincrement", ky::string(L"true"), false);
    if (!column.before.empty()) b.put(*field, true, L"before", statements(column.before));
    if (!column.after.empty()) b.put(*field, true, L"after", statements(column.after));
    if (type.semantic == eSemMonetary) field->setSemantic(eSemMonetary, ky::genericSet(), L"");
    if (column.isEnum) setEnumeration(*field, column);
    else if (!column.checkLiterals.empty() && type.semantic == eSemNone) setCheckedItems(*field, column, type.type);
}

// The key of a named object of a table: its name, or "#n" (counted per
// kind and table) for one without.
ky::string objectKey(const ky::string& name, std::size_t& unnamed) {
    if (name.empty()) return ky::string(L"#") + std::to_wstring(++unnamed);
    return name;
}

// The facts of a table that live in user properties of its class.
void addTableFacts(builder& b, classInfo& cls, const catTable& table, const ky::string& className) {
    if (!table.schema.empty() && table.schema != L"public") b.put(cls, false, L"schema", table.schema);
    if (className != table.name) b.put(cls, false, L"table", table.name);
    if (table.kind == eView) b.put(cls, false, L"kind", ky::string(L"view"));
    if (table.kind == eMaterializedView) b.put(cls, false, L"kind", ky::string(L"materialized view"));
    if (!table.viewStatement.empty()) b.put(cls, true, L"view", table.viewStatement);
    if (!table.options.empty()) b.put(cls, true, L"options", table.options);
    if (table.unlogged) b.put(cls, true, L"unlogged", ky::string(L"true"));
    std::size_t unnamedChecks = 0, unnamedUniques = 0, unnamedIndexes = 0;
    // Every check is kept as written, also one that gave a column its
    // enumeration items: the DDL adds no check of its own to such a table.
    for (const catNamedText& check : table.checks) {
        if (refusedName(b, check.name, L"the constraint", table.name)) continue;
        b.put(cls, true, (L"check." + objectKey(check.name, unnamedChecks)).c_str(), check.text);
    }
    for (const catUnique& unique : table.uniques) {
        if (refusedName(b, unique.name, L"the unique constraint", table.name)) continue;
        const ky::string key = objectKey(unique.name, unnamedUniques);
        if (!unique.definition.empty()) b.put(cls, true, (L"unique." + key).c_str(), unique.definition);
        else
            b.put(cls, false, ((unique.constraint ? L"unique." : L"uniqueIndex.") + key).c_str(),
                  lines(fieldNames(cls, unique.columns)));
    }
    for (const catIndex& index : table.indexes) {
        if (refusedName(b, index.name, L"the index", table.name)) continue;
        const ky::string key = objectKey(index.name, unnamedIndexes);
        if (index.plain)
            b.put(cls, false, ((index.unique ? L"uniqueIndex." : L"index.") + key).c_str(),
                  lines(fieldNames(cls, index.columns)));
        else b.put(cls, true, (L"index." + key).c_str(), index.statement);
    }
    if (!table.before.empty()) b.put(cls, true, L"before", statements(table.before));
    if (!table.after.empty()) b.put(cls, true, L"after", statements(table.after));
}

void addClass(builder& b, const catTable& table, const ky::string& className) {
    if (table.name.empty()) {
        b.report(eError, "sql.reflect.empty-name", L"a table has an empty name", table.name);
        return;
    }
    if (refusedName(b, table.name, L"the table", table.name) || refusedName(b, table.schema, L"the schema", table.name))
        return;
    if (b.model->classInfo(className, false)) {
        b.report(eError, "sql.reflect.name-clash",
                 L"the table \"" + table.name + L"\" clashes with another table under the model's name rule", table.name);
        return;
    }
    ky::refPtr<classInfo> cls = b.model->createClassInfo(className, false);
    if (!table.comment.empty()) cls->setLabel(table.comment);
    for (const catColumn& column : table.columns) addColumn(b, *cls, table, column);
    for (const ky::string& name : table.uniqueColumns)
        if (ky::refPtr<fieldInfo> field = cls->fieldInfo(name, false, false)) field->setUnique(true);
    addTableFacts(b, *cls, table, className);
    b.classOf[&table] = cls;
    b.tableOf[cls.get()] = &table;
    b.byFoldedName.emplace(foldedAscii(table.name), &table);
    b.bySchemaName.emplace(schemaKey(table.schema, table.name), &table);
}

// The class name of each table: its own, except that of tables of one name
// (under the model's name rule) in several schemas the one in "public", else
// in the schema first in name order, keeps it and every other one becomes
// "<schema>_<table>", numbered "_2", "_3", ... while that is taken too. Two
// tables of one schema that clash keep their names (and are refused).
std::vector<ky::string> classNamesOf(const catalogue& cat, bool caseSensitive) {
    std::vector<std::size_t> order(cat.tables.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto rank = [&](std::size_t i) {
        const ky::string& schema = cat.tables[i].schema;
        return std::make_pair(schema.empty() || schema == L"public" ? 0 : 1, std::cref(schema));
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t l, std::size_t r) { return rank(l) < rank(r); });
    auto keyOf = [&](const ky::string& name) { return caseSensitive ? name : name.lower(); };
    std::unordered_map<ky::string, const ky::string*> taken;  // name under the rule → the schema holding it
    std::vector<ky::string> names(cat.tables.size());
    for (std::size_t i : order) {
        const catTable& table = cat.tables[i];
        ky::string name = table.name;
        auto it = taken.find(keyOf(name));
        if (it != taken.end() && *it->second != table.schema) {
            const ky::string base = table.schema + L"_" + table.name;
            name = base;
            for (int n = 2; taken.count(keyOf(name)); ++n) name = base + L"_" + std::to_wstring(n);
        }
        taken.emplace(keyOf(name), &table.schema);
        names[i] = name;
    }
    return names;
}

// The table a foreign key names: by the model's name rule, else (SQLite
// compares table names with ASCII letters folded) by the folded name.
const catTable* findTable(builder& b, const ky::string& schema, const ky::string& name) {
    if (!schema.empty()) {
        auto it = b.bySchemaName.find(schemaKey(schema, name));
        return it == b.bySchemaName.end() ? nullptr : it->second;
    }
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

// Whether the columns `to` are the key of `table`, a unique column of it or
// the columns of one of its plain uniques, as a relation's target must be.
// (SQLite takes a foreign key towards any columns and only fails its writes.)
// Names are compared as the dialect does: SQLite with ASCII letters folded.
bool uniqueIn(const catTable& table, const std::vector<ky::string>& to, eDialect dialect) {
    auto sorted = [&](std::vector<ky::string> names) {
        if (dialect == eSqlite)
            for (ky::string& name : names) name = foldedAscii(name);
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<ky::string> wanted = sorted(to);
    if (wanted == sorted(keyColumns(table))) return true;
    if (wanted.size() == 1)
        for (const ky::string& column : table.uniqueColumns)
            if (sorted({column}) == wanted) return true;
    for (const catUnique& unique : table.uniques)
        if (unique.definition.empty() && sorted(unique.columns) == wanted) return true;
    return false;
}

bool alreadyRelated(classInfo& cls, const ky::refPtr<fieldInfo>& from, const ky::refPtr<fieldInfo>& to) {
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it)
        if (*it && (*it)->toFieldInfo(from).get() == to.get()) return true;
    return false;
}

// A name for the relation of `fk` that no other relation of the class has:
// the constraint's name, else its first field's, numbered while taken.
ky::string relationName(classInfo& cls, const catForeignKey& fk, const fieldInfo& firstField) {
    auto taken = [&](const ky::string& name) {
        for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it)
            if (*it && (*it)->scName().string() == name) return true;
        return false;
    };
    const ky::string base =
        fk.name.empty() || fk.name.findNonNameCharacter() != ky::string::npos ? firstField.scName().string() : fk.name;
    ky::string name = base;
    for (int n = 2; taken(name); ++n) name = base + L"_" + std::to_wstring(n);
    return name;
}

void addForeignKey(builder& b, const catTable& table, const catForeignKey& fk, std::size_t& unnamed) {
    ky::refPtr<classInfo> from = b.classOf[&table];
    const catTable* target = fk.targetRead ? findTable(b, fk.targetSchema, fk.target) : nullptr;
    // A key no relation can carry keeps its text when the DDL can write it
    // back: its target is in the model, or SQLite, which takes a key towards
    // a table that does not exist.
    auto refuse = [&](const ky::string& why) {
        if (!fk.definition.empty() && (target || b.dialect == eSqlite) &&
            fk.name.findNonNameCharacter() == ky::string::npos) {
            b.put(*from, true, (L"foreignKey." + objectKey(fk.name, unnamed)).c_str(), fk.definition);
            return;
        }
        b.report(eWarning, "sql.reflect.foreign-key",
                 L"the foreign key towards \"" + fk.target + L"\" " + why + L"; no relation is made", table.name,
                 fk.from.empty() ? ky::string() : fk.from[0]);
    };
    auto targetClass = target ? b.classOf.find(target) : b.classOf.end();
    if (targetClass == b.classOf.end()) return refuse(L"leads to a table that is not read");
    const std::vector<ky::string> to = fk.to.empty() ? keyColumns(*target) : fk.to;
    if (fk.from.empty() || to.size() != fk.from.size()) return refuse(L"pairs no columns or a different number of them");
    if (!uniqueIn(*target, to, b.dialect)) return refuse(L"leads to columns that are neither the target's key nor unique");
    std::vector<std::pair<ky::refPtr<fieldInfo>, ky::refPtr<fieldInfo>>> pairs;
    for (std::size_t i = 0; i < to.size(); ++i) {
        ky::refPtr<fieldInfo> f = from->fieldInfo(fk.from[i], false, false);
        ky::refPtr<fieldInfo> t = targetClass->second->fieldInfo(to[i], false, false);
        if (!f || !t) return refuse(L"names a column that does not exist");
        pairs.emplace_back(f, t);
    }
    if (alreadyRelated(*from, pairs[0].first, pairs[0].second))
        return refuse(L"starts like another foreign key of the table");
    const ky::string name = relationName(*from, fk, *pairs[0].first);
    ky::refPtr<relationInfo> relation =
        from->createRelation(pairs[0].first->scName().string(), false, pairs[0].second, eRef, name, L"");
    for (std::size_t i = 1; i < pairs.size(); ++i) relation->addFieldRelation(pairs[i].first, pairs[i].second);
    if (!fk.actions.empty()) b.put(*from, false, (L"foreignKey." + name).c_str(), fk.actions);
}

// The key goes first: a relation from a key column then turns the column
// into the relation's field, as the core does for every relation. The key
// the class's primary-key fields no longer say (in field order) is kept in
// "sql.primaryKey".
void setKey(builder& b, const catTable& table) {
    ky::refPtr<classInfo> cls = b.classOf[&table];
    for (const catColumn& column : table.columns) {
        if (column.keyPosition == 0) continue;
        ky::refPtr<fieldInfo> field = cls->fieldInfo(column.name, false, false);
        if (!field) continue;
        field->setSemantic(eSemPrimkey, ky::genericSet(), L"");
        // The key marks its fields mandatory; SQLite's key columns may hold NULL.
        field->setMandatory(column.notNull);
    }
}

void keepKey(builder& b, const catTable& table) {
    ky::refPtr<classInfo> cls = b.classOf[&table];
    const std::vector<ky::string> key = fieldNames(*cls, keyColumns(table));
    std::vector<ky::refPtr<fieldInfo>> fields;
    cls->getIdFieldInfos(fields);
    bool same = fields.size() == key.size();
    for (std::size_t i = 0; same && i < key.size(); ++i) same = fields[i]->scName().string() == key[i];
    if (!same) b.put(*cls, false, L"primaryKey", lines(key));
    // The key made its columns unique; one that left it for a relation is
    // unique only when it is unique alone.
    for (const ky::string& name : keyColumns(table)) {
        ky::refPtr<fieldInfo> field = cls->fieldInfo(name, false, false);
        if (field && field->semantic() != eSemPrimkey)
            field->setUnique(std::find(table.uniqueColumns.begin(), table.uniqueColumns.end(), name) !=
                             table.uniqueColumns.end());
    }
}

// The classes a view reads, as the model names them; a table outside what
// was read is left out.
void setDependencies(builder& b, const catTable& table) {
    if (table.dependsOn.empty()) return;
    std::vector<ky::string> names;
    for (const auto& [schema, name] : table.dependsOn) {
        auto it = b.bySchemaName.find(schemaKey(schema, name));
        if (it == b.bySchemaName.end()) continue;
        const ky::string className = b.classOf[it->second]->scName().string();
        if (std::find(names.begin(), names.end(), className) == names.end()) names.push_back(className);
    }
    if (!names.empty()) b.put(*b.classOf[&table], false, L"dependsOn", lines(names));
}

// PostgreSQL tells "Order" from order; a model that folds names writes
// both as order. One warning per table whose name or column names have
// capitals, naming them.
void warnFoldedNames(builder& b, const catalogue& cat) {
    const auto hasCapitals = [](const ky::string& name) { return name != name.lower(); };
    for (const catTable& table : cat.tables) {
        ky::string named = hasCapitals(table.name) ? L"its own" : L"";
        std::size_t columns = 0;
        for (const catColumn& column : table.columns) {
            if (!hasCapitals(column.name) || ++columns > 4) continue;
            named += (named.empty() ? L"\"" : L", \"") + column.name + L"\"";
        }
        if (named.empty()) continue;
        if (columns > 4) named += L" and " + std::to_wstring(columns - 4) + L" more";
        b.report(eWarning, "sql.reflect.case",
                 L"the table \"" + table.name + L"\" has names with capitals (" + named +
                     L"), which a model that folds names writes in lower case: reflect with case-sensitive names "
                     L"to keep them",
                 table.name);
    }
}

}  // namespace

void buildModel(const catalogue& cat, const reflectOptions& options, eDialect dialect, const ky::string& source,
                reflectResult& result) {
    diagnostics& problems = result.problems;
    const std::size_t first = problems.size();
    builder b{options, dialect, problems, modelInfo::createModelInfo(options.caseSensitiveNames), {}, {}, {}, {}, {},
              classNamesOf(cat, options.caseSensitiveNames), dialect == ePostgresql ? L"postgresql." : L"sqlite."};
    b.classOf.reserve(cat.tables.size());
    b.tableOf.reserve(cat.tables.size());
    b.byFoldedName.reserve(cat.tables.size());
    b.bySchemaName.reserve(cat.tables.size());
    for (std::size_t i = 0; i < cat.tables.size(); ++i) addClass(b, cat.tables[i], b.classNames[i]);
    if (!hasErrors(problems)) {
        for (const catTable& table : cat.tables) setKey(b, table);
        for (const catTable& table : cat.tables) {
            std::size_t unnamed = 0;
            for (const catForeignKey& fk : table.foreignKeys) addForeignKey(b, table, fk, unnamed);
        }
        for (const catTable& table : cat.tables) {
            keepKey(b, table);
            setDependencies(b, table);
        }
    }
    if (dialect == ePostgresql && !options.caseSensitiveNames) warnFoldedNames(b, cat);
    stampSource(problems, first, source);
    reflectSummary& summary = result.summary;
    summary.tables = cat.counts.tables;
    summary.columns = cat.counts.columns;
    summary.primaryKeys = cat.counts.primaryKeys;
    summary.foreignKeys = cat.counts.foreignKeys;
    summary.indexes = cat.counts.indexes;
    summary.checks = cat.counts.checks;
    summary.views = cat.counts.views;
    summary.notCarried = static_cast<std::size_t>(
        std::count_if(problems.begin(), problems.end(), [](const diagnostic& d) {
            return d.severity == eWarning && (d.code == L"sql.reflect.not-carried" || d.code == L"sql.reflect.foreign-key");
        }));
    if (!hasErrors(problems)) result.model = b.model;
}

}  // namespace ky::metamodel::sql::detail
