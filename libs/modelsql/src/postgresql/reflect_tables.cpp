// The schemas, relations and columns of a PostgreSQL reflection, and the
// types and sequences the columns use.
#include <algorithm>

#include "postgresql/reader.h"

namespace ky::metamodel::sql::detail {

namespace {

constexpr const char* schemasQuery =
    "SELECT n.oid, n.nspname, " KY_EXTENSION_MEMBER("pg_namespace", "n.oid")
    "FROM pg_catalog.pg_namespace n ORDER BY n.oid";

// Tables, views and materialized views of the schemas read, foreign tables
// (to name them), and every partition wherever it lives (a partition of a
// table read belongs to it).
constexpr const char* relationsQuery =
    "SELECT c.oid, n.nspname, c.relname, c.relkind, c.relispartition, c.relpersistence, d.description, "
    "  CASE WHEN c.relkind" KY_EQ "'p' THEN pg_catalog.pg_get_partkeydef(c.oid) END, "
    "  CASE WHEN c.relispartition THEN pg_catalog.pg_get_expr(c.relpartbound, 0) END, "
    "  CASE WHEN c.relkind" KY_EQ "'v' OR c.relkind" KY_EQ "'m' THEN pg_catalog.pg_get_viewdef(c.oid) END, "
    "  pg_catalog.array_to_string(c.reloptions, pg_catalog.chr(1)), "
    "  (SELECT pg_catalog.string_agg(i.inhparent::pg_catalog.text, ' ' ORDER BY i.inhseqno) "
    "   FROM pg_catalog.pg_inherits i WHERE i.inhrelid" KY_EQ "c.oid), "
    "  (SELECT pg_catalog.string_agg(i.inhparent::pg_catalog.regclass::pg_catalog.text, ', ' ORDER BY i.inhseqno) "
    "   FROM pg_catalog.pg_inherits i WHERE i.inhrelid" KY_EQ "c.oid), "
    "  c.relrowsecurity, c.relforcerowsecurity, " KY_READ("c.relnamespace")
    "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "c.relnamespace "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid" KY_EQ "c.oid "
    "  AND d.classoid" KY_EQ "'pg_catalog.pg_class'::pg_catalog.regclass AND d.objsubid" KY_EQ "0 "
    "WHERE (" KY_READ("c.relnamespace") " AND (c.relkind" KY_EQ "'r' OR c.relkind" KY_EQ "'p' OR c.relkind" KY_EQ
    "'v' OR c.relkind" KY_EQ "'m' OR c.relkind" KY_EQ "'f')) "
    "  OR (c.relispartition AND (c.relkind" KY_EQ "'r' OR c.relkind" KY_EQ "'p')) "
    "ORDER BY c.oid";

// Only a generated column's expression names columns: every other default
// is deparsed without its table, which for a table of many columns is
// many times quicker (the server names the table's columns anew for each
// expression it deparses with one). Partition bounds likewise.
constexpr const char* columnsQuery =
    "SELECT a.attrelid, a.attnum, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull, "
    "  pg_catalog.pg_get_expr(ad.adbin, CASE WHEN a.attgenerated" KY_EQ "'s' THEN ad.adrelid ELSE 0::pg_catalog.oid END), "
    "  d.description, t.typtype, a.atttypid, t.typelem, "
    "  a.attidentity, a.attgenerated, a.attcollation, "
    "  CASE WHEN a.attcollation" KY_NE "t.typcollation THEN pg_catalog.format('%I.%I', cn.nspname, co.collname) END "
    "FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "a.attrelid "
    "JOIN pg_catalog.pg_type t ON t.oid" KY_EQ "a.atttypid "
    "LEFT JOIN pg_catalog.pg_attrdef ad ON ad.adrelid" KY_EQ "a.attrelid AND ad.adnum" KY_EQ "a.attnum "
    "LEFT JOIN pg_catalog.pg_description d ON d.objoid" KY_EQ "a.attrelid "
    "  AND d.classoid" KY_EQ "'pg_catalog.pg_class'::pg_catalog.regclass AND d.objsubid" KY_EQ "a.attnum "
    "LEFT JOIN pg_catalog.pg_collation co ON co.oid" KY_EQ "a.attcollation "
    "LEFT JOIN pg_catalog.pg_namespace cn ON cn.oid" KY_EQ "co.collnamespace "
    "WHERE" KY_READ("c.relnamespace") "AND NOT c.relispartition AND (c.relkind" KY_EQ "'r' OR c.relkind" KY_EQ
    "'p' OR c.relkind" KY_EQ "'v' OR c.relkind" KY_EQ "'m') "
    "  AND a.attnum" " OPERATOR(pg_catalog.>) " "0 AND NOT a.attisdropped "
    "ORDER BY a.attrelid, a.attnum";

constexpr const char* enumQuery =
    "SELECT e.enumtypid, e.enumlabel FROM pg_catalog.pg_enum e ORDER BY e.enumtypid, e.enumsortorder";

// Enum, domain, range, composite and base types outside the system schemas
// (a base type there comes from an extension), with the extension owning each.
constexpr const char* typesQuery =
    "SELECT t.oid, n.nspname, t.typname, t.typtype, " KY_READ("t.typnamespace") ", t.typbasetype, "
    "  pg_catalog.format_type(t.typbasetype, t.typtypmod), t.typnotnull, pg_catalog.pg_get_expr(t.typdefaultbin, 0), "
    "  CASE WHEN t.typcollation" KY_NE "bt.typcollation THEN pg_catalog.format('%I.%I', cn.nspname, co.collname) END, "
    "  e.extname, en.nspname "
    "FROM pg_catalog.pg_type t JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "t.typnamespace "
    "LEFT JOIN pg_catalog.pg_type bt ON bt.oid" KY_EQ "t.typbasetype "
    "LEFT JOIN pg_catalog.pg_collation co ON co.oid" KY_EQ "t.typcollation "
    "LEFT JOIN pg_catalog.pg_namespace cn ON cn.oid" KY_EQ "co.collnamespace "
    "LEFT JOIN pg_catalog.pg_depend x ON x.classid" KY_EQ "'pg_catalog.pg_type'::pg_catalog.regclass "
    "  AND x.objid" KY_EQ "t.oid AND x.deptype" KY_EQ "'e' "
    "LEFT JOIN pg_catalog.pg_extension e ON e.oid" KY_EQ "x.refobjid "
    "LEFT JOIN pg_catalog.pg_namespace en ON en.oid" KY_EQ "e.extnamespace "
    "WHERE n.nspname" KY_NE "'pg_catalog' AND n.nspname" KY_NE "'information_schema' "
    "  AND (t.typtype" KY_EQ "'e' OR t.typtype" KY_EQ "'d' OR t.typtype" KY_EQ "'r' "
    "    OR (t.typtype" KY_EQ "'b' AND t.typcategory" KY_NE "'A') "
    "    OR (t.typtype" KY_EQ "'c' AND EXISTS (SELECT 1 FROM pg_catalog.pg_class rc "
    "      WHERE rc.oid" KY_EQ "t.typrelid AND rc.relkind" KY_EQ "'c'))) "
    "ORDER BY t.oid";

constexpr const char* domainChecksQuery =
    "SELECT con.contypid, con.conname, pg_catalog.pg_get_constraintdef(con.oid) FROM pg_catalog.pg_constraint con "
    "WHERE con.contypid" KY_NE "0 AND con.contype" KY_EQ "'c' ORDER BY con.contypid, con.oid";

// Sequences outside extensions, with the column owning each (OWNED BY, or
// the identity column it serves).
constexpr const char* sequencesQuery =
    "SELECT s.seqrelid, n.nspname, c.relname, pg_catalog.format_type(s.seqtypid, NULL), s.seqstart, "
    "  s.seqincrement, s.seqmax, s.seqmin, s.seqcache, s.seqcycle, " KY_READ("c.relnamespace") ", "
    "  dep.refobjid, dep.refobjsubid, dep.deptype "
    "FROM pg_catalog.pg_sequence s JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "s.seqrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "c.relnamespace "
    "LEFT JOIN pg_catalog.pg_depend dep ON dep.classid" KY_EQ "'pg_catalog.pg_class'::pg_catalog.regclass "
    "  AND dep.objid" KY_EQ "s.seqrelid AND dep.refclassid" KY_EQ "'pg_catalog.pg_class'::pg_catalog.regclass "
    "  AND (dep.deptype" KY_EQ "'a' OR dep.deptype" KY_EQ "'i') "
    "WHERE NOT" KY_EXTENSION_MEMBER("pg_class", "s.seqrelid") "ORDER BY s.seqrelid";

bool isSystemSchema(const std::string& name) {
    return name == "pg_catalog" || name == "information_schema" || name.rfind("pg_toast", 0) == 0 ||
           name.rfind("pg_temp_", 0) == 0;
}

// The storage parameters "k=v" (separated by U+0001) as WITH (k='v', ...);
// a view's check_option is left to `checkOption`.
std::string withClause(const std::string& options, std::string* checkOption = nullptr) {
    std::string list;
    for (std::size_t start = 0; start < options.size();) {
        const std::size_t end = std::min(options.find('\1', start), options.size());
        const std::string option = options.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = option.find('=');
        const std::string key = option.substr(0, equals);
        const std::string setting = equals == std::string::npos ? std::string() : option.substr(equals + 1);
        if (checkOption && key == "check_option") {
            *checkOption = setting == "local" ? " WITH LOCAL CHECK OPTION" : " WITH CASCADED CHECK OPTION";
            continue;
        }
        std::string literal;
        quoteLiteral(wide(setting), literal);
        list += (list.empty() ? "" : ", ") + key + "=" + literal;
    }
    return list.empty() ? list : "WITH (" + list + ")";
}

// The viewdef as read (" SELECT ...;") without its blanks and ";" at the end.
std::string bareViewdef(std::string text) {
    while (!text.empty() && (text.back() == ';' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

void readTable(reader& r, pgRelation& rel, PGresult* result, int row) {
    rel.read = true;
    rel.index = r.cat.tables.size();
    catTable& table = r.cat.tables.emplace_back();
    table.schema = wide(rel.schema);
    table.name = wide(rel.name);
    table.comment = wide(value(result, row, 6));
    const std::string parents = value(result, row, 12);
    std::string checkOption;
    if (rel.kind == 'v' || rel.kind == 'm') {
        table.kind = rel.kind == 'v' ? eView : eMaterializedView;
        const std::string with = withClause(value(result, row, 10), &checkOption);
        table.viewStatement = wide(std::string(rel.kind == 'v' ? "CREATE VIEW " : "CREATE MATERIALIZED VIEW ") +
                                   qualified(rel.schema, rel.name) + (with.empty() ? "" : " " + with) + " AS" +
                                   bareViewdef(value(result, row, 9)) + checkOption);
        return;
    }
    std::string options;
    auto add = [&](const std::string& clause) {
        if (!clause.empty()) options += (options.empty() ? "" : " ") + clause;
    };
    if (!parents.empty()) add("INHERITS (" + parents + ")");
    if (!rel.partitionKey.empty()) add("PARTITION BY " + rel.partitionKey);
    add(rel.withOptions);
    table.options = wide(options);
    table.unlogged = value(result, row, 5) == "u";
}

void relationRow(reader& r, PGresult* result, int row) {
    pgRelation rel;
    rel.schema = value(result, row, 1);
    rel.name = value(result, row, 2);
    rel.kind = value(result, row, 3)[0];
    rel.partition = flag(result, row, 4);
    rel.partitionKey = value(result, row, 7);
    rel.bound = value(result, row, 8);
    if (rel.kind != 'v' && rel.kind != 'm') rel.withOptions = withClause(value(result, row, 10));
    rel.rowSecurity = flag(result, row, 13);
    rel.forceRowSecurity = flag(result, row, 14);
    rel.inRead = flag(result, row, 15);
    for (long parent : numbersOf(value(result, row, 11))) rel.parents.push_back(static_cast<pgOid>(parent));
    const pgOid oid = oidValue(result, row, 0);
    if (rel.kind == 'f') {
        notCarried(r, "the foreign table " + qualified(rel.schema, rel.name), rel.name);
        return;
    }
    rel.excluded = !rel.partition && !tableSelected(r.options, wide(rel.name));
    pgRelation& placed = r.relations.emplace(oid, std::move(rel)).first->second;
    if (!placed.partition && !placed.excluded) readTable(r, placed, result, row);
}

void columnRow(reader& r, PGresult* result, int row) {
    auto it = r.relations.find(oidValue(result, row, 0));
    if (it == r.relations.end() || !it->second.read) return;
    pgRelation& rel = it->second;
    catTable& table = tableOf(r, rel);
    catColumn& column = table.columns.emplace_back();
    const long attnum = std::atol(PQgetvalue(result, row, 1));
    column.name = wide(value(result, row, 2));
    column.sqlType = wide(value(result, row, 3));
    column.notNull = flag(result, row, 4);
    const std::string generated = value(result, row, 11);
    if (generated == "s") {
        column.generated = L"GENERATED ALWAYS AS (" + wide(value(result, row, 5)) + L") STORED";
    } else {
        column.hasDefault = !isNull(result, row, 5);
        column.defaultText = wide(value(result, row, 5));
    }
    column.comment = wide(value(result, row, 6));
    const pgOid type = oidValue(result, row, 8);
    if (value(result, row, 7) == "e") {
        column.isEnum = true;
        column.enumLabels = r.enumLabels[type];
    }
    const std::string identity = value(result, row, 10);
    if (identity == "a" || identity == "d")
        column.identity = identity == "a" ? L"GENERATED ALWAYS AS IDENTITY" : L"GENERATED BY DEFAULT AS IDENTITY";
    column.collation = wide(value(result, row, 13));
    rel.byAttnum[attnum] = table.columns.size() - 1;
    rel.collationOf[attnum] = oidValue(result, row, 12);
    r.columnTypes[columnKey(it->first, attnum)] = {type, oidValue(result, row, 9)};
}

void typeRow(reader& r, PGresult* result, int row) {
    pgType& type = r.types[oidValue(result, row, 0)];
    type.schema = value(result, row, 1);
    type.name = value(result, row, 2);
    type.kind = value(result, row, 3)[0];
    type.inRead = flag(result, row, 4);
    type.base = oidValue(result, row, 5);
    type.baseText = value(result, row, 6);
    type.notNull = flag(result, row, 7);
    type.defaultText = value(result, row, 8);
    type.collation = value(result, row, 9);
    if (!isNull(result, row, 10))
        type.extension = extensionStatement(value(result, row, 10), value(result, row, 11));
}

void sequenceRow(reader& r, PGresult* result, int row) {
    pgSequence& s = r.sequences[oidValue(result, row, 0)];
    s.schema = value(result, row, 1);
    s.name = value(result, row, 2);
    s.type = value(result, row, 3);
    s.start = value(result, row, 4);
    s.increment = value(result, row, 5);
    s.max = value(result, row, 6);
    s.min = value(result, row, 7);
    s.cache = value(result, row, 8);
    s.cycle = flag(result, row, 9);
    s.inRead = flag(result, row, 10);
    if (!isNull(result, row, 11)) {
        s.ownerTable = oidValue(result, row, 11);
        s.ownerColumn = std::atol(PQgetvalue(result, row, 12));
        s.identity = value(result, row, 13) == "i";
    }
}

}  // namespace

bool readSchemas(reader& r) {
    const bool ok =
        eachRow(r, schemasQuery, nullptr, L"the schemas could not be read", [](reader& r, PGresult* result, int row) {
            const std::string name = value(result, row, 1);
            const bool chosen = r.options.schemas.empty()
                                    ? !isSystemSchema(name) && !flag(result, row, 2)
                                    : std::find(r.options.schemas.begin(), r.options.schemas.end(), wide(name)) !=
                                          r.options.schemas.end();
            if (chosen) r.schemaName[oidValue(result, row, 0)] = name;
        });
    if (!ok) return false;
    bool all = true;
    for (const ky::string& wanted : r.options.schemas) {
        const std::string name = utf8(wanted);
        if (std::none_of(r.schemaName.begin(), r.schemaName.end(), [&](const auto& s) { return s.second == name; })) {
            r.problems.push_back(
                makeDiagnostic(eError, "sql.reflect.no-schema", L"the schema \"" + wanted + L"\" does not exist"));
            all = false;
        }
    }
    r.namespaces = "{";
    for (const auto& [oid, name] : r.schemaName)
        r.namespaces += (r.namespaces.size() > 1 ? "," : "") + std::to_string(oid);
    r.namespaces += "}";
    return all;
}

bool readRelations(reader& r) { return eachRow(r, relationsQuery, L"the tables could not be read", relationRow); }

bool readEnums(reader& r) {
    return eachRow(r, enumQuery, nullptr, L"the enum types could not be read",
                   [](reader& r, PGresult* result, int row) {
                       r.enumLabels[oidValue(result, row, 0)].push_back(wide(value(result, row, 1)));
                   });
}

bool readTypes(reader& r) { return eachRow(r, typesQuery, L"the types could not be read", typeRow); }

bool readDomainChecks(reader& r) {
    return eachRow(r, domainChecksQuery, nullptr, L"the domain constraints could not be read",
                   [](reader& r, PGresult* result, int row) {
                       auto it = r.types.find(oidValue(result, row, 0));
                       if (it != r.types.end())
                           it->second.checks.push_back("CONSTRAINT " + quoted(value(result, row, 1)) + " " +
                                                       value(result, row, 2));
                   });
}

bool readColumns(reader& r) { return eachRow(r, columnsQuery, L"the columns could not be read", columnRow); }

bool readSequences(reader& r) { return eachRow(r, sequencesQuery, L"the sequences could not be read", sequenceRow); }

}  // namespace ky::metamodel::sql::detail
