// What the steps of a PostgreSQL reflection share: the reader with the
// catalogue it fills and what the queries learnt about the objects around
// the tables (types, sequences, functions, partitions), running a query, and
// naming objects in the statements the reader writes.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "postgresql/connection.h"

// Pieces of the catalogue queries: every operator qualified, and whether a
// schema oid is one of those read ($1).
#define KY_EQ " OPERATOR(pg_catalog.=) "
#define KY_NE " OPERATOR(pg_catalog.<>) "
#define KY_READ(nsp) " " nsp " OPERATOR(pg_catalog.=) ANY ($1::pg_catalog.oid[]) "
// Whether the object (class `cls`, oid `obj`) belongs to an extension.
#define KY_EXTENSION_MEMBER(cls, obj)                                                                  \
    " EXISTS (SELECT 1 FROM pg_catalog.pg_depend x WHERE x.classid" KY_EQ "'pg_catalog." cls            \
    "'::pg_catalog.regclass AND x.objid" KY_EQ obj " AND x.deptype" KY_EQ "'e') "

namespace ky::metamodel::sql::detail {

using pgOid = std::uint32_t;

// A relation read, or a partition met on the way.
struct pgRelation {
    std::string schema;
    std::string name;
    bool read = false;                  // a table or view of its own (not a partition, in a schema read)
    bool excluded = false;              // left out by the include and exclude patterns
    bool inRead = false;                // lives in a schema read
    bool partition = false;
    char kind = 'r';                    // relkind
    std::string bound;                  // a partition: FOR VALUES ... / DEFAULT
    std::string partitionKey;           // a partitioned table: RANGE (a)
    std::string withOptions;            // WITH (...) from its storage parameters; empty when none
    std::size_t index = 0;              // when read: in cat.tables
    std::unordered_map<long, std::size_t> byAttnum;    // attribute number → column index
    std::unordered_map<long, pgOid> collationOf;       // attribute number → collation oid
    std::unordered_set<std::string> beforeSeen;        // statements already in the table's before
    std::vector<pgOid> parents;         // the tables it inherits from (a partition: the one it belongs to)
    std::vector<pgOid> dependsOn;       // a view: the relations it reads
    std::vector<pgOid> partitions;      // its partitions
    std::vector<std::string> extensions;  // CREATE EXTENSION ...; for what it uses
    std::vector<pgOid> functions;       // the functions it needs
    std::vector<std::string> triggers;  // CREATE TRIGGER ...; (and ALTER TABLE ... DISABLE TRIGGER ...;)
    std::vector<std::string> own;       // a partition: its own constraints, indexes and triggers as statements
    bool rowSecurity = false, forceRowSecurity = false;
};

// An enum, domain, range or composite type outside pg_catalog.
struct pgType {
    std::string schema;
    std::string name;
    char kind = 'e';                    // typtype
    bool inRead = false;                // lives in a schema read
    bool used = false;                  // a column read needs it
    pgOid base = 0;                     // a domain: its base type
    std::string extension;              // the CREATE EXTENSION of the extension owning it; empty when none
    // A domain: its base type as written, and what CREATE DOMAIN gives it.
    std::string baseText, collation, defaultText;
    bool notNull = false;
    std::vector<std::string> checks;    // CONSTRAINT n CHECK (...)
};

struct pgSequence {
    std::string schema;
    std::string name;
    std::string type;                   // format_type of its type
    std::string start, increment, max, min, cache;
    bool cycle = false;
    pgOid ownerTable = 0;               // the column owning it (OWNED BY or an identity)
    long ownerColumn = 0;
    bool identity = false;              // the sequence of an identity column
    bool inRead = false;
    bool used = false;
};

struct pgFunction {
    std::string schema;
    std::string signature;              // s.f(integer), for messages
    std::string definition;             // pg_get_functiondef (CREATE AGGREGATE for an aggregate) with ";";
                                        // empty when no statement makes it
    std::vector<pgOid> needs;           // an aggregate: its transition, final and combine functions
    bool inRead = false;
    bool used = false;
};

// An index as its query reads it, placed once every definition is known.
struct pgIndex {
    pgOid table = 0, oid = 0;
    std::string name;
    bool unique = false;
    bool plain = false;
    std::vector<long> columns;          // attribute numbers, 0 for an expression
    std::string statement;              // pg_get_indexdef; read only for an index that is not plain
};

struct reader {
    reader(PGconn* connection, const reflectOptions& o, diagnostics& p) : conn(connection), options(o), problems(p) {}
    PGconn* conn;
    const reflectOptions& options;
    diagnostics& problems;
    int serverVersion = 0;
    std::string namespaces;             // the oids of the schemas read as an oid[] literal: "{2200,16385}"
    std::unordered_map<pgOid, std::string> schemaName;  // every schema read
    catalogue cat;
    std::unordered_map<pgOid, pgRelation> relations;
    std::unordered_map<pgOid, std::vector<ky::string>> enumLabels;
    std::unordered_map<pgOid, pgType> types;
    std::unordered_map<pgOid, pgSequence> sequences;
    std::unordered_map<pgOid, pgFunction> functions;
    std::vector<std::pair<std::string, std::string>> extensionsInRead;  // (CREATE EXTENSION ...;, name) in schemas read
    std::unordered_set<std::string> extensionsUsed;  // the CREATE EXTENSION statements some table needs
    std::unordered_set<pgOid> defaultOpclasses;
    std::vector<pgIndex> indexes;
    std::unordered_map<pgOid, std::string> indexDefinitions;  // read for the indexes whose definition was left out
    std::unordered_map<std::uint64_t, pgOid> columnSequence;  // (table, attnum) → sequence of its default
    std::unordered_map<std::uint64_t, std::vector<pgOid>> columnTypes;  // (table, attnum) → type, element type
};

// The key of a column in the reader's maps.
inline std::uint64_t columnKey(pgOid table, long attnum) {
    return (static_cast<std::uint64_t>(table) << 16) ^ static_cast<std::uint64_t>(attnum & 0xffff);
}

// The text of a field of a row.
std::string value(PGresult* result, int row, int column);
inline pgOid oidValue(PGresult* result, int row, int column) {
    return static_cast<pgOid>(std::strtoul(PQgetvalue(result, row, column), nullptr, 10));
}
inline bool flag(PGresult* result, int row, int column) { return PQgetvalue(result, row, column)[0] == 't'; }
inline bool isNull(PGresult* result, int row, int column) { return PQgetisnull(result, row, column) != 0; }

// Runs one query with the oids of the schemas read as its parameter $1 (or
// `param` when given) and hands each row to `row`; false, with a diagnostic,
// when the server refuses it.
bool eachRow(reader& r, const std::string& sql, const char* param, const wchar_t* what,
             void (*row)(reader&, PGresult*, int));
bool eachRow(reader& r, const std::string& sql, const wchar_t* what, void (*row)(reader&, PGresult*, int));

// The numbers of an int2[] ("{1,2}"), int2vector or oidvector ("1 2") text.
std::vector<long> numbersOf(const std::string& text);

// `name` quoted as PostgreSQL takes it; `schema.name`.
std::string quoted(const std::string& name);
std::string qualified(const std::string& schema, const std::string& name);

// CREATE EXTENSION IF NOT EXISTS name WITH SCHEMA schema;
std::string extensionStatement(const std::string& name, const std::string& schema);

// The table of `rel` in the catalogue; `rel` must be read.
inline catTable& tableOf(reader& r, const pgRelation& rel) { return r.cat.tables[rel.index]; }

// Appends `statement` to the before of the table of `rel` unless it is there already.
void addBefore(reader& r, pgRelation& rel, const std::string& statement);

// A sql.reflect.not-carried warning naming what is left out, and why when `why` is given.
void notCarried(reader& r, const std::string& what, const std::string& table = std::string(),
                const char* why = nullptr);

// The steps of the read, in their order; each is one query, false when it failed.
bool readSchemas(reader& r);
bool readRelations(reader& r);
bool readEnums(reader& r);
bool readTypes(reader& r);
bool readDomainChecks(reader& r);
bool readColumns(reader& r);
bool readConstraints(reader& r);
bool readDefaultOpclasses(reader& r);
bool readIndexes(reader& r);
bool readSequences(reader& r);
bool readFunctions(reader& r);
bool readNeeds(reader& r);
bool readTriggers(reader& r);
bool readOthers(reader& r);
// What the rows gave, put in place: the partitions into their roots' after,
// the columns' types and sequences, what is not carried, the order of tables
// and views, and the counts.
void finish(reader& r);

}  // namespace ky::metamodel::sql::detail
