// The table of the codes the SQL library reports: each code once, with its
// severity, a short title and where docs/sql.md explains it.
#include "kymdlsql.h"

namespace ky::metamodel::sql {

namespace {
constexpr std::string_view codes = "sql.md#diagnostics";
}  // namespace

const std::vector<diagnosticCode>& codeTable() {
    static const std::vector<diagnosticCode> table{
        {L"sql.ddl.dialect", eError, L"unknown dialect", codes},
        {L"sql.ddl.empty-name", eError, L"an empty name", codes},
        {L"sql.ddl.name-character", eError, L"a name holds a character no name may hold", codes},
        {L"sql.ddl.name-length", eError, L"a name too long for PostgreSQL", codes},
        {L"sql.ddl.system-column", eError, L"a column named like a system column", codes},
        {L"sql.ddl.reserved-name", eError, L"a table name SQLite keeps for itself", codes},
        {L"sql.ddl.foreign-key-type", eError, L"a foreign key over types that do not compare", codes},
        {L"sql.ddl.name-clash", eError, L"names the dialect takes for one", codes},
        {L"sql.ddl.unsafe-text", eError, L"a table fact's SQL text that is not what its key says", codes},
        {L"sql.ddl.no-columns", eWarning, L"a class without columns gets no table", codes},
        {L"sql.ddl.type", eWarning, L"a field type without a column type", codes},
        {L"sql.ddl.custom-type", eWarning, L"a custom type that is no safe SQL type", codes},
        {L"sql.ddl.default", eWarning, L"a default value without an SQL literal", codes},
        {L"sql.ddl.enum-item", eWarning, L"an enumeration item without an SQL literal", codes},
        {L"sql.ddl.foreign-key", eWarning, L"a relation a table cannot hold", codes},
        {L"sql.ddl.not-carried", eWarning, L"a table fact only the other dialect takes", codes},
        {L"sql.ddl.unusable-fact", eWarning, L"a table fact the DDL cannot use", codes},
        {L"sql.open", eError, L"the database file cannot be opened", codes},
        {L"sql.not-a-database", eError, L"the file is not a SQLite database", codes},
        {L"sql.locked", eError, L"the database stayed locked", codes},
        {L"sql.connect", eError, L"the server cannot be reached", codes},
        {L"sql.connection", eError, L"no usable connection", codes},
        {L"sql.transaction", eError, L"the connection is inside a transaction", codes},
        {L"sql.query", eError, L"a catalogue query failed", codes},
        {L"sql.timeout", eError, L"a catalogue query, a migration's statement or a wait for a lock took too long", codes},
        {L"sql.reflect.case", eWarning, L"names with capitals that a model folding names writes in lower case", codes},
        {L"sql.reflect.empty-name", eError, L"a table or column with an empty name", codes},
        {L"sql.reflect.name-character", eError, L"a table or column name no model may hold", codes},
        {L"sql.reflect.name-clash", eError, L"names that are one under the name rule", codes},
        {L"sql.reflect.foreign-key", eWarning, L"a foreign key that gives no relation", codes},
        {L"sql.reflect.no-schema", eError, L"a schema asked for does not exist", codes},
        {L"sql.reflect.not-carried", eWarning, L"an object read that the model does not carry", codes},
        {L"sql.exec.connection", eError, L"no usable connection to run the DDL on", codes},
        {L"sql.exec.transaction", eError, L"the connection is inside a transaction", codes},
        {L"sql.exec.begin", eError, L"the transaction cannot begin", codes},
        {L"sql.exec.statement", eError, L"a statement failed", codes},
        {L"sql.exec.commit", eError, L"the transaction cannot be committed", codes},
        {L"sql.migrate.case-folding", eError, L"models that disagree on case folding", codes},
        {L"sql.migrate.model", eError, L"a model that gives no DDL", codes},
        {L"sql.migrate.rename", eError, L"a rename that names nothing", codes},
        {L"sql.migrate.rename-kind", eError, L"a rename that names the wrong kind of element", codes},
        {L"sql.migrate.options", eWarning, L"table options a migration does not change", codes},
        {L"sql.migrate.irreversible", eWarning, L"a statement gone whose work cannot be undone", codes},
        {L"sql.apply.plan", eError, L"a migration with errors is not run", codes},
        {L"sql.apply.destructive", eError, L"a step that can lose data is not allowed", codes},
        {L"sql.apply.connection", eError, L"no usable connection to run the migration on", codes},
        {L"sql.apply.transaction", eError, L"the connection is inside a transaction", codes},
        {L"sql.apply.read-only", eError, L"the database may not be written", codes},
        {L"sql.apply.privilege", eError, L"the role may not change what the migration changes", codes},
        {L"sql.apply.begin", eError, L"the transaction cannot begin", codes},
        {L"sql.apply.changed", eError, L"the database changed since the migration was planned", codes},
        {L"sql.apply.statement", eError, L"a statement of a step failed", codes},
        {L"sql.apply.differs", eError, L"the database differs from the model after the steps", codes},
        {L"sql.apply.foreign-key", eError, L"rows break a foreign key after the steps", codes},
        {L"sql.apply.commit", eError, L"the transaction cannot be committed", codes},
        {L"sql.apply.lost", eError, L"the connection was lost during the migration", codes},
    };
    return table;
}

}  // namespace ky::metamodel::sql
