// What the tables of a PostgreSQL reflection need around them, and putting
// it in place once every query has answered.
//
// One query follows pg_depend from each table, its column defaults,
// constraints, indexes, triggers and (for a view) its rewrite rule to what
// they use: a member of an extension (a type, an operator class, a function)
// gives CREATE EXTENSION in the table's before; a function of a user schema
// its pg_get_functiondef; a sequence behind a default its CREATE SEQUENCE in
// the column's before; a relation that a view reads, the view's dependsOn.
// The columns' types (enum, domain, the element of an array) are followed
// from the column query. Partitions hang below the table they belong to and
// become statements of the root table's after, each parent before its
// partitions, then the partitions' own constraints, indexes and triggers.
// What lives in the schemas read and nothing here needs is named by a
// not-carried warning at the end.
#include <algorithm>
#include <functional>

#include "postgresql/reader.h"

namespace ky::metamodel::sql::detail {

namespace {

// Functions of user schemas with their definitions; an aggregate of the
// plain kind (a transition, final and combine function, an initial value)
// with what CREATE AGGREGATE takes.
constexpr const char* functionsQuery =
    "SELECT p.oid, pg_catalog.format('%I.%I(%s)', n.nspname, p.proname, "
    "    pg_catalog.pg_get_function_identity_arguments(p.oid)), " KY_READ("p.pronamespace") ", "
    "  CASE WHEN p.prokind" KY_EQ "'f' OR p.prokind" KY_EQ "'p' THEN pg_catalog.pg_get_functiondef(p.oid) END, "
    "  ag.aggkind" KY_EQ "'n' AND ag.aggmtransfn" KY_EQ "0 AND ag.aggserialfn" KY_EQ "0 AND ag.aggdeserialfn" KY_EQ
    "0 AND ag.aggsortop" KY_EQ "0 AND NOT ag.aggfinalextra AND ag.aggfinalmodify" KY_EQ "'r', "
    "  ag.aggtransfn::pg_catalog.oid, ag.aggtransfn::pg_catalog.text, ag.aggfinalfn::pg_catalog.oid, "
    "  ag.aggfinalfn::pg_catalog.text, ag.aggcombinefn::pg_catalog.oid, ag.aggcombinefn::pg_catalog.text, "
    "  pg_catalog.format_type(ag.aggtranstype, NULL), ag.agginitval "
    "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "p.pronamespace "
    "LEFT JOIN pg_catalog.pg_aggregate ag ON ag.aggfnoid" KY_EQ "p.oid "
    "WHERE n.nspname" KY_NE "'pg_catalog' AND n.nspname" KY_NE "'information_schema' "
    "  AND NOT" KY_EXTENSION_MEMBER("pg_proc", "p.oid") "ORDER BY p.oid";

// Kinds of the objects of a table whose dependencies are followed.
enum { eOwnTable = 1, eOwnDefault = 2, eOwnConstraint = 3, eOwnIndex = 4, eOwnTrigger = 5, eOwnView = 6 };

constexpr const char* needsQuery =
    "SELECT o.tab, o.kind, o.attnum, d.refclassid" KY_EQ "'pg_catalog.pg_proc'::pg_catalog.regclass, d.refobjid, "
    "  e.extname, en.nspname "
    "FROM (SELECT c.oid AS obj, c.oid AS tab, 1 AS kind, 0 AS attnum, 'pg_catalog.pg_class'::pg_catalog.regclass AS cls "
    "      FROM pg_catalog.pg_class c WHERE" KY_READ("c.relnamespace") "AND (c.relkind" KY_EQ "'r' OR c.relkind" KY_EQ
    "'p' OR c.relkind" KY_EQ "'v' OR c.relkind" KY_EQ "'m') "
    "    UNION ALL SELECT ad.oid, ad.adrelid, 2, ad.adnum, 'pg_catalog.pg_attrdef'::pg_catalog.regclass "
    "      FROM pg_catalog.pg_attrdef ad "
    "    UNION ALL SELECT con.oid, con.conrelid, 3, 0, 'pg_catalog.pg_constraint'::pg_catalog.regclass "
    "      FROM pg_catalog.pg_constraint con WHERE con.conrelid" KY_NE "0 "
    "    UNION ALL SELECT i.indexrelid, i.indrelid, 4, 0, 'pg_catalog.pg_class'::pg_catalog.regclass "
    "      FROM pg_catalog.pg_index i "
    "    UNION ALL SELECT tg.oid, tg.tgrelid, 5, 0, 'pg_catalog.pg_trigger'::pg_catalog.regclass "
    "      FROM pg_catalog.pg_trigger tg WHERE NOT tg.tgisinternal "
    "    UNION ALL SELECT rw.oid, rw.ev_class, 6, 0, 'pg_catalog.pg_rewrite'::pg_catalog.regclass "
    "      FROM pg_catalog.pg_rewrite rw WHERE rw.rulename" KY_EQ "'_RETURN') o "
    "JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "o.tab "
    "JOIN pg_catalog.pg_depend d ON d.classid" KY_EQ "o.cls AND d.objid" KY_EQ "o.obj "
    "LEFT JOIN pg_catalog.pg_depend x ON x.classid" KY_EQ "d.refclassid AND x.objid" KY_EQ "d.refobjid "
    "  AND x.deptype" KY_EQ "'e' "
    "LEFT JOIN pg_catalog.pg_extension e ON e.oid" KY_EQ "x.refobjid "
    "LEFT JOIN pg_catalog.pg_namespace en ON en.oid" KY_EQ "e.extnamespace "
    "WHERE" KY_READ("c.relnamespace") "AND NOT c.relispartition AND d.refobjid" KY_NE "o.tab "
    "  AND d.refclassid" KY_NE "'pg_catalog.pg_namespace'::pg_catalog.regclass "
    "  AND (d.refclassid" KY_NE "'pg_catalog.pg_class'::pg_catalog.regclass OR o.kind" KY_EQ "2 OR o.kind" KY_EQ "6) "
    "  AND (x.objid IS NOT NULL OR d.refclassid" KY_EQ "'pg_catalog.pg_proc'::pg_catalog.regclass "
    "    OR d.refclassid" KY_EQ "'pg_catalog.pg_class'::pg_catalog.regclass) "
    "ORDER BY o.tab, o.kind, o.obj";

constexpr const char* triggersQuery =
    "SELECT tg.tgrelid, tg.tgname, pg_catalog.pg_get_triggerdef(tg.oid), tg.tgenabled, {parented} "
    "FROM pg_catalog.pg_trigger tg JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "tg.tgrelid "
    "WHERE NOT tg.tgisinternal AND (" KY_READ("c.relnamespace") "OR c.relispartition) "
    "ORDER BY tg.tgrelid, tg.oid";

// What lives in the schemas read, or on their tables, that no table carries.
constexpr const char* othersQuery =
    "SELECT 'the policy', pol.polrelid, pol.polname, NULL FROM pg_catalog.pg_policy pol "
    "UNION ALL SELECT 'the rule', rw.ev_class, rw.rulename, NULL FROM pg_catalog.pg_rewrite rw "
    "  WHERE rw.rulename" KY_NE "'_RETURN' "
    "UNION ALL SELECT 'the statistics object', 0, pg_catalog.format('%I.%I', n.nspname, s.stxname), NULL "
    "  FROM pg_catalog.pg_statistic_ext s JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "s.stxnamespace "
    "  WHERE" KY_READ("s.stxnamespace")
    "UNION ALL SELECT 'the extension', 0, e.extname, n.nspname "
    "  FROM pg_catalog.pg_extension e JOIN pg_catalog.pg_namespace n ON n.oid" KY_EQ "e.extnamespace "
    "  WHERE" KY_READ("e.extnamespace");

pgRelation* readRelation(reader& r, pgOid oid) {
    auto it = r.relations.find(oid);
    return it != r.relations.end() && it->second.read ? &it->second : nullptr;
}

void needRow(reader& r, PGresult* result, int row) {
    pgRelation* rel = readRelation(r, oidValue(result, row, 0));
    if (!rel) return;
    const int kind = std::atoi(PQgetvalue(result, row, 1));
    const pgOid ref = oidValue(result, row, 4);
    if (!isNull(result, row, 5)) {
        rel->extensions.push_back(extensionStatement(value(result, row, 5), value(result, row, 6)));
    } else if (flag(result, row, 3)) {
        if (r.functions.count(ref)) rel->functions.push_back(ref);
    } else if (kind == eOwnDefault) {
        if (r.sequences.count(ref))
            r.columnSequence[columnKey(oidValue(result, row, 0), std::atol(PQgetvalue(result, row, 2)))] = ref;
    } else if (kind == eOwnView && std::find(rel->dependsOn.begin(), rel->dependsOn.end(), ref) == rel->dependsOn.end()) {
        rel->dependsOn.push_back(ref);
    }
}

const char* triggerState(char enabled) {
    switch (enabled) {
        case 'D': return "DISABLE TRIGGER ";
        case 'R': return "ENABLE REPLICA TRIGGER ";
        case 'A': return "ENABLE ALWAYS TRIGGER ";
        default: return nullptr;  // 'O': enabled, as CREATE TRIGGER makes it
    }
}

void triggerRow(reader& r, PGresult* result, int row) {
    auto it = r.relations.find(oidValue(result, row, 0));
    if (it == r.relations.end()) return;
    pgRelation& rel = it->second;
    const std::string name = value(result, row, 1);
    if (rel.partition) {
        // A trigger cloned from the parent's comes with the parent's.
        if (!flag(result, row, 4)) rel.own.push_back(value(result, row, 2) + ";");
        return;
    }
    if (!rel.read) return;
    rel.triggers.push_back(value(result, row, 2) + ";");
    if (const char* state = triggerState(value(result, row, 3)[0]))
        rel.triggers.push_back("ALTER TABLE " + qualified(rel.schema, rel.name) + " " + state + quoted(name) + ";");
}

void otherRow(reader& r, PGresult* result, int row) {
    const std::string what = value(result, row, 0) + " " + quoted(value(result, row, 2));
    if (what.rfind("the extension", 0) == 0) {
        r.extensionsInRead.emplace_back(extensionStatement(value(result, row, 2), value(result, row, 3)), what);
        return;
    }
    if (what.rfind("the statistics object", 0) == 0)
        return notCarried(r, value(result, row, 0) + " " + value(result, row, 2));
    auto it = r.relations.find(oidValue(result, row, 1));
    if (it != r.relations.end() && (it->second.read || (it->second.partition && it->second.inRead)))
        notCarried(r, what + " of " + qualified(it->second.schema, it->second.name), it->second.name);
}

// CREATE AGGREGATE of a plain aggregate; the functions it calls are its needs.
void readAggregate(pgFunction& f, PGresult* result, int row) {
    std::string text = "CREATE AGGREGATE " + f.signature + " (SFUNC = " + value(result, row, 6) +
                       ", STYPE = " + value(result, row, 11);
    f.needs.push_back(oidValue(result, row, 5));
    for (const auto& [clause, column] : {std::pair{", FINALFUNC = ", 7}, {", COMBINEFUNC = ", 9}}) {
        if (oidValue(result, row, column) == 0) continue;
        text += clause + value(result, row, column + 1);
        f.needs.push_back(oidValue(result, row, column));
    }
    std::string initial;
    if (!isNull(result, row, 12) && quoteLiteral(wide(value(result, row, 12)), initial))
        text += ", INITCOND = " + initial;
    f.definition = text + ");";
}

// ---- putting it in place ----

std::string schemaStatement(const std::string& schema) { return "CREATE SCHEMA IF NOT EXISTS " + quoted(schema) + ";"; }

// The options of a sequence that differ from the defaults for its type
// and direction ("AS integer" only when `withType`).
std::string sequenceOptions(const pgSequence& s, bool withType) {
    const bool up = s.increment.empty() || s.increment[0] != '-';
    const std::string typeMax = s.type == "smallint"  ? "32767"
                                : s.type == "integer" ? "2147483647"
                                                      : "9223372036854775807";
    const std::string typeMin = s.type == "smallint"  ? "-32768"
                                : s.type == "integer" ? "-2147483648"
                                                      : "-9223372036854775808";
    const std::string min = up ? "1" : typeMin;
    const std::string max = up ? typeMax : "-1";
    std::string out;
    auto add = [&](const std::string& clause) { out += (out.empty() ? "" : " ") + clause; };
    if (withType && s.type != "bigint") add("AS " + s.type);
    if (s.increment != "1") add("INCREMENT BY " + s.increment);
    if (s.min != min) add("MINVALUE " + s.min);
    if (s.max != max) add("MAXVALUE " + s.max);
    if (s.start != (up ? s.min : s.max)) add("START WITH " + s.start);
    if (s.cache != "1") add("CACHE " + s.cache);
    if (s.cycle) add("CYCLE");
    return out;
}

struct columnPlace {
    pgRelation& rel;
    pgOid table;
    long attnum;
    catColumn& column;
};

void addColumnBefore(catColumn& column, const std::string& statement) {
    const ky::string text = wide(statement);
    if (std::find(column.before.begin(), column.before.end(), text) == column.before.end())
        column.before.push_back(text);
}

std::string enumStatement(reader& r, pgOid oid, const pgType& type) {
    std::string labels;
    for (const ky::string& label : r.enumLabels[oid]) {
        std::string literal;
        quoteLiteral(label, literal);
        labels += (labels.empty() ? "" : ", ") + literal;
    }
    return "CREATE TYPE " + qualified(type.schema, type.name) + " AS ENUM (" + labels + ");";
}

std::string domainStatement(const pgType& type) {
    std::string text = "CREATE DOMAIN " + qualified(type.schema, type.name) + " AS " + type.baseText;
    if (!type.collation.empty()) text += " COLLATE " + type.collation;
    if (!type.defaultText.empty()) text += " DEFAULT " + type.defaultText;
    if (type.notNull) text += " NOT NULL";
    for (const std::string& check : type.checks) text += " " + check;
    return text + ";";
}

// What the type `oid` of a column needs before the table: its schema, the
// types it is made of, its own statement, or its extension.
void placeType(reader& r, columnPlace& place, pgOid oid, int depth = 0) {
    auto it = r.types.find(oid);
    if (it == r.types.end() || depth > 8) return;
    pgType& type = it->second;
    type.used = true;
    if (!type.extension.empty()) {
        place.rel.extensions.push_back(type.extension);
        return;
    }
    if (type.kind == 'd') placeType(r, place, type.base, depth + 1);
    if (type.schema != place.rel.schema && type.schema != "public")
        addColumnBefore(place.column, schemaStatement(type.schema));
    if (type.kind == 'e') return addColumnBefore(place.column, enumStatement(r, oid, type));
    if (type.kind == 'd') return addColumnBefore(place.column, domainStatement(type));
    notCarried(r, "the type " + qualified(type.schema, type.name) + " of the column " + utf8(place.column.name),
               place.rel.name);
}

// A sequence the column's default reads or the column owns: created before
// the tables, owned by the column after them.
void placeSequence(reader& r, columnPlace& place, pgOid oid) {
    pgSequence& s = r.sequences[oid];
    s.used = true;
    if (s.schema != place.rel.schema && s.schema != "public") addColumnBefore(place.column, schemaStatement(s.schema));
    const std::string options = sequenceOptions(s, true);
    addColumnBefore(place.column,
                    "CREATE SEQUENCE " + qualified(s.schema, s.name) + (options.empty() ? "" : " " + options) + ";");
    const ky::string owned =
        wide("ALTER SEQUENCE " + qualified(s.schema, s.name) + " OWNED BY " +
             qualified(place.rel.schema, place.rel.name) + "." + quoted(utf8(place.column.name)) + ";");
    if (s.ownerTable == place.table && s.ownerColumn == place.attnum &&
        std::find(place.column.after.begin(), place.column.after.end(), owned) == place.column.after.end())
        place.column.after.push_back(owned);
}

void placeColumns(reader& r) {
    std::unordered_map<std::uint64_t, pgSequence*> identities;
    std::unordered_map<std::uint64_t, std::vector<pgOid>> owned;
    for (auto& [oid, s] : r.sequences) {
        if (s.identity) identities[columnKey(s.ownerTable, s.ownerColumn)] = &s;
        else if (s.ownerTable) owned[columnKey(s.ownerTable, s.ownerColumn)].push_back(oid);
    }
    for (auto& [key, list] : owned) std::sort(list.begin(), list.end());
    for (auto& [oid, rel] : r.relations) {
        if (!rel.read) continue;
        for (const auto& [attnum, index] : rel.byAttnum) {
            columnPlace place{rel, oid, attnum, tableOf(r, rel).columns[index]};
            const std::uint64_t key = columnKey(oid, attnum);
            for (pgOid type : r.columnTypes[key]) placeType(r, place, type);
            if (auto used = r.columnSequence.find(key); used != r.columnSequence.end())
                placeSequence(r, place, used->second);
            if (auto own = owned.find(key); own != owned.end())
                for (pgOid sequence : own->second) placeSequence(r, place, sequence);
            auto identity = identities.find(key);
            if (identity == identities.end()) continue;
            identity->second->used = true;
            const std::string options = sequenceOptions(*identity->second, false);
            if (!options.empty()) place.column.identity += wide(" (" + options + ")");
        }
    }
}

// The partitions below `parent`, each after the table it belongs to, in
// the after of `root`.
void placePartitions(reader& r, pgRelation& root, const pgRelation& parent) {
    std::vector<const pgRelation*> children;
    for (pgOid child : parent.partitions) children.push_back(&r.relations[child]);
    std::sort(children.begin(), children.end(), [](const pgRelation* a, const pgRelation* b) {
        return std::tie(a->schema, a->name) < std::tie(b->schema, b->name);
    });
    for (const pgRelation* child : children) {
        if (child->schema != root.schema && child->schema != "public")
            addBefore(r, root, schemaStatement(child->schema));
        std::string text = "CREATE TABLE " + qualified(child->schema, child->name) + " PARTITION OF " +
                           qualified(parent.schema, parent.name) + " " + child->bound;
        if (!child->partitionKey.empty()) text += " PARTITION BY " + child->partitionKey;
        if (!child->withOptions.empty()) text += " " + child->withOptions;
        tableOf(r, root).after.push_back(wide(text + ";"));
        placePartitions(r, root, *child);
    }
}

// The partitions' own constraints, indexes and triggers, once every partition is made.
void placePartitionsOwn(reader& r, pgRelation& root, const pgRelation& parent) {
    for (pgOid child : parent.partitions) {
        const pgRelation& partition = r.relations[child];
        for (const std::string& statement : partition.own) tableOf(r, root).after.push_back(wide(statement));
        placePartitionsOwn(r, root, partition);
    }
}

// The root of a partition (or the relation itself): null when a parent is
// not met (it lies outside what was read).
pgRelation* rootOf(reader& r, pgRelation& rel) {
    pgRelation* at = &rel;
    for (int depth = 0; at->partition && depth < 64; ++depth) {
        auto parent = at->parents.empty() ? r.relations.end() : r.relations.find(at->parents[0]);
        if (parent == r.relations.end()) return nullptr;
        at = &parent->second;
    }
    return at->partition ? nullptr : at;
}

void linkPartitions(reader& r) {
    std::vector<pgOid> partitions;
    for (auto& [oid, rel] : r.relations)
        if (rel.partition) partitions.push_back(oid);
    std::sort(partitions.begin(), partitions.end());
    for (pgOid oid : partitions) {
        pgRelation& rel = r.relations[oid];
        pgRelation* root = rootOf(r, rel);
        if (root && (root->read || root->excluded)) r.relations[rel.parents[0]].partitions.push_back(oid);
        else if (rel.inRead)
            notCarried(r, "the partition " + qualified(rel.schema, rel.name), rel.name,
                       "the table it belongs to is not read");
    }
}

// A function the table needs, after the functions it needs in turn.
void placeFunction(reader& r, pgRelation& rel, pgOid oid, int depth = 0) {
    auto it = r.functions.find(oid);
    if (it == r.functions.end() || depth > 8) return;
    pgFunction& f = it->second;
    f.used = true;
    for (pgOid need : f.needs) placeFunction(r, rel, need, depth + 1);
    if (f.definition.empty()) notCarried(r, "the aggregate " + f.signature, rel.name);
    else addBefore(r, rel, f.definition);
}

void placeTableNeeds(reader& r) {
    for (auto& [oid, rel] : r.relations) {
        if (!rel.read) continue;
        for (const std::string& extension : rel.extensions) {
            addBefore(r, rel, extension);
            r.extensionsUsed.insert(extension);
        }
        placePartitions(r, rel, rel);
        placePartitionsOwn(r, rel, rel);
        for (pgOid function : rel.functions) placeFunction(r, rel, function);
        catTable& table = tableOf(r, rel);
        for (const std::string& trigger : rel.triggers) table.after.push_back(wide(trigger));
        const std::string name = qualified(rel.schema, rel.name);
        if (rel.rowSecurity) table.after.push_back(wide("ALTER TABLE " + name + " ENABLE ROW LEVEL SECURITY;"));
        if (rel.forceRowSecurity) table.after.push_back(wide("ALTER TABLE " + name + " FORCE ROW LEVEL SECURITY;"));
    }
}

void reportUnused(reader& r) {
    // In oid order, so the warnings come in the order the objects were made.
    auto sorted = [](auto& map) {
        std::vector<std::pair<pgOid, typename std::decay_t<decltype(map)>::mapped_type*>> out;
        for (auto& [oid, object] : map) out.emplace_back(oid, &object);
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return out;
    };
    for (auto& [oid, t] : sorted(r.types))
        if (t->inRead && !t->used && t->extension.empty())
            notCarried(r, "the type " + qualified(t->schema, t->name), {}, "no column uses it");
    for (auto& [oid, s] : sorted(r.sequences))
        if (s->inRead && !s->used)
            notCarried(r, "the sequence " + qualified(s->schema, s->name), {}, "no column uses it");
    for (auto& [oid, f] : sorted(r.functions))
        if (f->inRead && !f->used) notCarried(r, "the function " + f->signature, {}, "no table needs it");
    for (const auto& [statement, what] : r.extensionsInRead)
        if (!r.extensionsUsed.count(statement)) notCarried(r, what, {}, "no table needs it");
}

// Tables before views; a table after those it inherits from, a view after
// those it reads. Each catTable's dependsOn names the views' relations.
void orderTables(reader& r) {
    std::vector<pgOid> oids;
    for (auto& [oid, rel] : r.relations)
        if (rel.read) oids.push_back(oid);
    std::sort(oids.begin(), oids.end());
    std::vector<catTable> ordered;
    ordered.reserve(r.cat.tables.size());
    std::unordered_set<pgOid> placed;
    std::function<void(pgOid, bool)> place = [&](pgOid oid, bool views) {
        pgRelation& rel = r.relations[oid];
        const bool isView = rel.kind == 'v' || rel.kind == 'm';
        if (isView != views || !placed.insert(oid).second) return;
        for (pgOid before : isView ? rel.dependsOn : rel.parents)
            if (readRelation(r, before)) place(before, views);
        catTable& table = r.cat.tables[rel.index];
        for (pgOid before : rel.dependsOn)
            if (const pgRelation* read = readRelation(r, before))
                table.dependsOn.emplace_back(wide(read->schema), wide(read->name));
        ordered.push_back(std::move(table));
    };
    for (bool views : {false, true})
        for (pgOid oid : oids) place(oid, views);
    r.cat.tables = std::move(ordered);
    for (std::size_t i = 0; i < r.cat.tables.size(); ++i) {
        const catTable& table = r.cat.tables[i];
        if (table.kind == eTable) {
            ++r.cat.counts.tables;
            r.cat.counts.columns += table.columns.size();
        } else {
            ++r.cat.counts.views;
        }
    }
}

}  // namespace

bool readFunctions(reader& r) {
    return eachRow(r, functionsQuery, L"the functions could not be read", [](reader& r, PGresult* result, int row) {
        pgFunction& f = r.functions[oidValue(result, row, 0)];
        f.signature = value(result, row, 1);
        f.inRead = flag(result, row, 2);
        std::string definition = value(result, row, 3);
        while (!definition.empty() && (definition.back() == '\n' || definition.back() == ' ')) definition.pop_back();
        if (!definition.empty()) f.definition = definition + ";";
        if (flag(result, row, 4)) readAggregate(f, result, row);
    });
}

bool readNeeds(reader& r) { return eachRow(r, needsQuery, L"the dependencies could not be read", needRow); }

bool readTriggers(reader& r) {
    std::string query = triggersQuery;
    query.replace(query.find("{parented}"), 10, r.serverVersion >= 130000 ? "tg.tgparentid" KY_NE "0" : "false");
    return eachRow(r, query, L"the triggers could not be read", triggerRow);
}

bool readOthers(reader& r) { return eachRow(r, othersQuery, L"the other objects could not be read", otherRow); }

void finish(reader& r) {
    placeColumns(r);
    linkPartitions(r);
    placeTableNeeds(r);
    reportUnused(r);
    orderTables(r);
}

}  // namespace ky::metamodel::sql::detail
