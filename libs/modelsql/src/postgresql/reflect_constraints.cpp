// The constraints and indexes of a PostgreSQL reflection. A constraint or
// index that a partition only inherits (conparentid set, conislocal false,
// an index attached to its parent's) is not read again; one of the
// partition's own becomes a statement after the partition's. An index is plain when it is
// only columns in btree's default order, operator class and collation,
// without a condition, INCLUDE columns, storage parameters or tablespace;
// for every other its pg_get_indexdef is what carries it.
#include <algorithm>

#include "postgresql/reader.h"

namespace ky::metamodel::sql::detail {

namespace {

constexpr const char* constraintsQuery =
    "SELECT con.conrelid, con.contype, con.conname, con.conkey::pg_catalog.text, con.confrelid, "
    "  con.confkey::pg_catalog.text, fn.nspname, fc.relname, con.confupdtype, con.confdeltype, con.confmatchtype, "
    "  con.condeferrable, con.condeferred, con.convalidated, "
    "  CASE WHEN con.contype" KY_NE "'p' THEN pg_catalog.pg_get_constraintdef(con.oid) END, "
    "  con.conislocal, {delsetcols}, "
    "  i.indnatts" KY_EQ "i.indnkeyatts AND ic.reloptions IS NULL AND ic.reltablespace" KY_EQ "0 {nullsdistinct} "
    "FROM pg_catalog.pg_constraint con "
    "JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "con.conrelid "
    "LEFT JOIN pg_catalog.pg_class fc ON fc.oid" KY_EQ "con.confrelid "
    "LEFT JOIN pg_catalog.pg_namespace fn ON fn.oid" KY_EQ "fc.relnamespace "
    "LEFT JOIN pg_catalog.pg_index i ON i.indexrelid" KY_EQ "con.conindid AND con.contype" KY_EQ "'u' "
    "LEFT JOIN pg_catalog.pg_class ic ON ic.oid" KY_EQ "i.indexrelid "
    "WHERE (" KY_READ("c.relnamespace") "OR c.relispartition) AND con.conparentid" KY_EQ "0 "
    "  AND (con.contype" KY_EQ "'p' OR con.contype" KY_EQ "'f' OR con.contype" KY_EQ "'u' OR con.contype" KY_EQ
    "'c' OR con.contype" KY_EQ "'x') "
    "ORDER BY con.conrelid, con.oid";

// Indexes that back no key, unique or exclusion constraint of their table.
constexpr const char* indexesQuery =
    "SELECT i.indrelid, ic.relname, i.indisunique, i.indkey::pg_catalog.text, i.indclass::pg_catalog.text, "
    "  i.indcollation::pg_catalog.text, i.indoption::pg_catalog.text, "
    "  f.plain, ic.relispartition, CASE WHEN NOT f.plain THEN pg_catalog.pg_get_indexdef(i.indexrelid) END, "
    "  i.indexrelid, ic.reloptions::pg_catalog.text, "
    "  (SELECT p.reloptions::pg_catalog.text FROM pg_catalog.pg_inherits ih "
    "   JOIN pg_catalog.pg_class p ON p.oid" KY_EQ "ih.inhparent WHERE ih.inhrelid" KY_EQ "i.indexrelid) "
    "FROM pg_catalog.pg_index i "
    "JOIN pg_catalog.pg_class c ON c.oid" KY_EQ "i.indrelid "
    "JOIN pg_catalog.pg_class ic ON ic.oid" KY_EQ "i.indexrelid "
    "JOIN pg_catalog.pg_am am ON am.oid" KY_EQ "ic.relam "
    "CROSS JOIN LATERAL (SELECT i.indexprs IS NULL AND i.indpred IS NULL AND am.amname" KY_EQ "'btree' "
    "  AND i.indnatts" KY_EQ "i.indnkeyatts AND ic.reloptions IS NULL AND ic.reltablespace" KY_EQ "0 {nullsdistinct} "
    "  AND i.indoption::pg_catalog.text OPERATOR(pg_catalog.~) '^[0 ]*$' AS plain) f "
    "WHERE (" KY_READ("c.relnamespace") "OR c.relispartition) "
    "  AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_constraint con WHERE con.conindid" KY_EQ "i.indexrelid "
    "    AND con.conrelid" KY_EQ "i.indrelid AND (con.contype" KY_EQ "'p' OR con.contype" KY_EQ "'u' OR con.contype" KY_EQ
    "'x')) "
    "ORDER BY i.indrelid, i.indexrelid";

// The definitions of the indexes that the index query found plain but
// whose operator classes or collations are not the columns' defaults; $1
// lists them.
constexpr const char* indexDefinitionsQuery =
    "SELECT i.indexrelid, pg_catalog.pg_get_indexdef(i.indexrelid) FROM pg_catalog.pg_index i "
    "WHERE i.indexrelid OPERATOR(pg_catalog.=) ANY ($1::pg_catalog.oid[])";

constexpr const char* opclassQuery = "SELECT oc.oid FROM pg_catalog.pg_opclass oc WHERE oc.opcdefault";

// `query` for the server's version: NULLS NOT DISTINCT and ON DELETE SET
// NULL (columns) came with PostgreSQL 15.
std::string versioned(const reader& r, std::string query) {
    const bool v15 = r.serverVersion >= 150000;
    auto replace = [&](const std::string& token, const char* text) {
        for (std::size_t at = query.find(token); at != std::string::npos; at = query.find(token))
            query.replace(at, token.size(), text);
    };
    replace("{delsetcols}", v15 ? "con.confdelsetcols::pg_catalog.text" : "NULL");
    replace("{nullsdistinct}", v15 ? "AND NOT i.indnullsnotdistinct" : "");
    return query;
}

// The names of the columns `numbers` of `rel`; a number that is no column
// (an expression's 0) is skipped.
std::vector<ky::string> columnNames(reader& r, const pgRelation& rel, const std::vector<long>& numbers) {
    std::vector<ky::string> out;
    if (!rel.read) return out;
    const catTable& table = tableOf(r, rel);
    for (long n : numbers) {
        auto column = rel.byAttnum.find(n);
        if (column != rel.byAttnum.end()) out.push_back(table.columns[column->second].name);
    }
    return out;
}

// The relation of a constraint or index row, when it is a table read; a
// partition keeps its own object as the statement `own` makes.
template <class Statement>
pgRelation* ownerOf(reader& r, PGresult* result, int row, Statement&& own) {
    auto it = r.relations.find(oidValue(result, row, 0));
    if (it == r.relations.end()) return nullptr;
    pgRelation& rel = it->second;
    if (rel.partition) {
        rel.own.push_back(own(rel));
        return nullptr;
    }
    return rel.read ? &rel : nullptr;
}

const char* actionText(char action) {
    switch (action) {
        case 'r': return "RESTRICT";
        case 'c': return "CASCADE";
        case 'n': return "SET NULL";
        case 'd': return "SET DEFAULT";
        default: return nullptr;  // 'a': NO ACTION, the default
    }
}

std::string joinedNames(const std::vector<ky::string>& names) {
    std::string out;
    for (const ky::string& name : names) out += (out.empty() ? "" : ", ") + quoteIdentifier(name, ePostgresql);
    return out;
}

// What follows the column lists of a foreign key, only what differs from
// the defaults.
ky::string foreignKeyActions(reader& r, const pgRelation& rel, PGresult* result, int row) {
    std::string out;
    auto add = [&](const std::string& clause) { out += (out.empty() ? "" : " ") + clause; };
    const char match = value(result, row, 10)[0];
    if (match == 'f') add("MATCH FULL");
    if (match == 'p') add("MATCH PARTIAL");
    if (const char* update = actionText(value(result, row, 8)[0])) add(std::string("ON UPDATE ") + update);
    if (const char* remove = actionText(value(result, row, 9)[0])) {
        std::string clause = std::string("ON DELETE ") + remove;
        if (!isNull(result, row, 16))
            clause += " (" + joinedNames(columnNames(r, rel, numbersOf(value(result, row, 16)))) + ")";
        add(clause);
    }
    if (flag(result, row, 11)) add(flag(result, row, 12) ? "DEFERRABLE INITIALLY DEFERRED" : "DEFERRABLE");
    if (!flag(result, row, 13)) add("NOT VALID");
    return wide(out);
}

void readForeignKey(reader& r, pgRelation& rel, PGresult* result, int row) {
    catForeignKey fk;
    fk.name = wide(value(result, row, 2));
    fk.from = columnNames(r, rel, numbersOf(value(result, row, 3)));
    fk.targetSchema = wide(value(result, row, 6));
    fk.target = wide(value(result, row, 7));
    auto target = r.relations.find(oidValue(result, row, 4));
    fk.targetRead = target != r.relations.end() && target->second.read;
    // A target outside the tables read keeps its name only; the builder
    // reports that it is not read.
    if (fk.targetRead) fk.to = columnNames(r, target->second, numbersOf(value(result, row, 5)));
    fk.actions = foreignKeyActions(r, rel, result, row);
    fk.definition = wide(value(result, row, 14));
    tableOf(r, rel).foreignKeys.push_back(std::move(fk));
    ++r.cat.counts.foreignKeys;
}

void readKey(reader& r, pgRelation& rel, PGresult* result, int row) {
    catTable& table = tableOf(r, rel);
    int position = 0;
    for (long n : numbersOf(value(result, row, 3))) {
        auto column = rel.byAttnum.find(n);
        if (column != rel.byAttnum.end()) table.columns[column->second].keyPosition = ++position;
    }
    const std::string name = value(result, row, 2);
    if (name != rel.name + "_pkey") table.keyName = wide(name);
    ++r.cat.counts.primaryKeys;
}

void addUnique(catTable& table, catUnique unique) {
    // Only a constraint is the column's unique mark; a unique index of one
    // column stays an index, as the database holds it.
    if (unique.constraint && unique.definition.empty() && unique.columns.size() == 1)
        table.uniqueColumns.push_back(unique.columns[0]);
    else table.uniques.push_back(std::move(unique));
}

void constraintRow(reader& r, PGresult* result, int row) {
    const char type = value(result, row, 1)[0];
    // A check a table inherits comes with INHERITS (or its partition bound),
    // valid: a partition's NOT VALID copy of its table's check is not carried.
    if (!flag(result, row, 15)) {
        auto it = r.relations.find(oidValue(result, row, 0));
        if (type == 'c' && !flag(result, row, 13) && it != r.relations.end() && it->second.partition)
            notCarried(r,
                       "NOT VALID of the check " + quoted(value(result, row, 2)) + " of the partition " +
                           qualified(it->second.schema, it->second.name),
                       it->second.name, "the partition takes its table's check valid");
        return;
    }
    pgRelation* rel = ownerOf(r, result, row, [&](const pgRelation& partition) {
        return "ALTER TABLE ONLY " + qualified(partition.schema, partition.name) + " ADD CONSTRAINT " +
               quoted(value(result, row, 2)) + " " + value(result, row, 14) + ";";
    });
    if (!rel) return;
    catTable& table = tableOf(r, *rel);
    if (type == 'p') return readKey(r, *rel, result, row);
    if (type == 'f') return readForeignKey(r, *rel, result, row);
    if (type == 'u') {
        const bool plain = !flag(result, row, 11) && flag(result, row, 17);
        addUnique(table, {wide(value(result, row, 2)), columnNames(r, *rel, numbersOf(value(result, row, 3))), true,
                          plain ? ky::string() : wide(value(result, row, 14))});
        return;
    }
    table.checks.push_back({wide(value(result, row, 2)), wide(value(result, row, 14))});
    ++r.cat.counts.checks;
}

// Whether the key columns of an index are plain columns in their default
// order, operator class and collation.
bool plainColumns(const reader& r, const pgRelation& rel, const std::vector<long>& columns, PGresult* result, int row) {
    const std::vector<long> classes = numbersOf(value(result, row, 4));
    const std::vector<long> collations = numbersOf(value(result, row, 5));
    const std::vector<long> orders = numbersOf(value(result, row, 6));
    if (classes.size() != columns.size() || collations.size() != columns.size()) return false;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        auto collation = rel.collationOf.find(columns[k]);
        if (columns[k] == 0 || collation == rel.collationOf.end() ||
            static_cast<pgOid>(collations[k]) != collation->second ||
            !r.defaultOpclasses.count(static_cast<pgOid>(classes[k])))
            return false;
    }
    return std::all_of(orders.begin(), orders.end(), [](long o) { return o == 0; });
}

void indexRow(reader& r, PGresult* result, int row) {
    auto it = r.relations.find(oidValue(result, row, 0));
    if (it == r.relations.end()) return;
    const pgRelation& rel = it->second;
    // An index attached to its parent's comes with the parent's, and with
    // the parent's storage parameters: its own are not carried.
    if (rel.partition && flag(result, row, 8)) {
        if (value(result, row, 11) != value(result, row, 12))
            notCarried(r,
                       "the storage parameters " + value(result, row, 11) + " of the index " +
                           qualified(rel.schema, value(result, row, 1)) + " of the partition " +
                           qualified(rel.schema, rel.name) + ", which its table's index does not have,",
                       rel.name, nullptr);
        return;
    }
    if (!rel.partition && !rel.read) return;
    pgIndex& index = r.indexes.emplace_back();
    index.table = it->first;
    index.oid = oidValue(result, row, 10);
    index.name = value(result, row, 1);
    index.unique = flag(result, row, 2);
    index.columns = numbersOf(value(result, row, 3));
    index.plain = flag(result, row, 7) && plainColumns(r, rel, index.columns, result, row);
    index.statement = value(result, row, 9);
}

void placeIndex(reader& r, const pgIndex& index) {
    pgRelation& rel = r.relations[index.table];
    if (rel.partition) {
        rel.own.push_back(index.statement + ";");
        return;
    }
    catTable& table = tableOf(r, rel);
    const ky::string statement = index.plain ? ky::string() : wide(index.statement);
    ++r.cat.counts.indexes;
    if (index.unique) return addUnique(table, {wide(index.name), columnNames(r, rel, index.columns), false, statement});
    catIndex& placed = table.indexes.emplace_back();
    placed.name = wide(index.name);
    placed.plain = index.plain;
    if (index.plain) placed.columns = columnNames(r, rel, index.columns);
    placed.statement = wide(index.statement);
}

}  // namespace

bool readConstraints(reader& r) {
    return eachRow(r, versioned(r, constraintsQuery), L"the constraints could not be read", constraintRow);
}

bool readDefaultOpclasses(reader& r) {
    return eachRow(r, opclassQuery, nullptr, L"the operator classes could not be read",
                   [](reader& r, PGresult* result, int row) { r.defaultOpclasses.insert(oidValue(result, row, 0)); });
}

bool readIndexes(reader& r) {
    if (!eachRow(r, versioned(r, indexesQuery), L"the indexes could not be read", indexRow)) return false;
    // The definitions still missing: an index plain by its flags but not by
    // its operator classes or collations, and a partition's own index.
    std::string missing = "{";
    for (const pgIndex& index : r.indexes)
        if ((!index.plain || r.relations[index.table].partition) && index.statement.empty())
            missing += (missing.size() > 1 ? "," : "") + std::to_string(index.oid);
    missing += "}";
    if (!eachRow(r, indexDefinitionsQuery, missing.c_str(), L"the index definitions could not be read",
                 [](reader& r, PGresult* result, int row) {
                     r.indexDefinitions[oidValue(result, row, 0)] = value(result, row, 1);
                 }))
        return false;
    for (pgIndex& index : r.indexes) {
        if (index.statement.empty()) index.statement = r.indexDefinitions[index.oid];
        placeIndex(r, index);
    }
    return true;
}

}  // namespace ky::metamodel::sql::detail
