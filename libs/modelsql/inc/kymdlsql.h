/// \file
/// The SQL companion of the metamodel: DDL for SQLite and PostgreSQL made
/// from a model, and models reflected from live databases.
///
/// Every function here is a plain call that owns nothing after it returns:
/// the host keeps its models and connection handles. Functions may run on
/// several threads at once as long as each model and each connection is used
/// by one thread at a time. Problems are answered as diagnostics, never through
/// the core's assertion handler; a reflection with errors hands out no model.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <kymdldiagnostic.h>
#include <kymetamodel.h>

#include "kymdlsqlexport.h"

struct sqlite3;
struct pg_conn;

namespace ky::metamodel::sql {

/// The SQL dialects the library writes and reads.
enum eDialect {
    eSqlite = 1,     ///< SQLite 3
    ePostgresql = 2  ///< PostgreSQL
};

/// How serious a diagnostic is: an error means the result is not made (no
/// model, no DDL text); a warning that it is made with something left out or
/// guessed.
using eSeverity = ky::metamodel::eSeverity;
using ky::metamodel::eError;
using ky::metamodel::eNote;
using ky::metamodel::eWarning;

/// One problem found while writing DDL, executing it or reflecting a
/// database: what, where (`file` is the database file or connection, password
/// left out, empty for DDL; `table` and `field` the database object; `line`
/// and `column` in a DDL text where one applies) and the database's own
/// message in `databaseMessage`. Codes read like "sql.open" (see docs/sql.md).
using diagnostic = ky::metamodel::diagnostic;

/// A list of diagnostics in the order they were found.
using diagnostics = std::vector<diagnostic>;

/// Whether any of `list` is an error.
KY_SQL_API bool hasErrors(const diagnostics& list);

/// One diagnostic as a line of text: "severity code: message [table.field] (database message)".
KY_SQL_API ky::string describe(const diagnostic& entry);

/// The codes this library reports, in the order of docs/sql.md.
KY_SQL_API const std::vector<diagnosticCode>& codeTable();

// ---------------------------------------------------------------------------
// DDL
// ---------------------------------------------------------------------------

/// What createDdl writes.
struct KY_SQL_API ddlOptions {
    eDialect dialect = eSqlite;  ///< the dialect written
    bool labelsAsComments = true;  ///< PostgreSQL: COMMENT ON for class and field labels
    bool checkEnumerations = true;  ///< CHECK (... IN (...)) for enumeration fields
};

/// The DDL of a model: the statements as UTF-8 text, each ending in ";" and
/// a line break, and the diagnostics. With an error the text is empty.
struct KY_SQL_API ddlResult {
    std::string text;              ///< the statements; empty when an error was found
    std::vector<std::string> statements;  ///< the same statements one by one, without the ";"
    diagnostics problems;          ///< what was left out or refused
};

/// The CREATE TABLE statements of every non-abstract class of `model`, in
/// dependency order, with the constraints described in docs/sql.md. Never
/// throws for a model the core accepted; reads the model only.
KY_SQL_API ddlResult createDdl(const ky::metamodel::modelInfo& model, const ddlOptions& options);

/// Runs `ddl` (one or more statements) on an open SQLite connection inside
/// one transaction; answers the diagnostics (empty on success). The
/// connection's state stays as it was on failure (the transaction is rolled back).
KY_SQL_API diagnostics executeDdl(sqlite3* connection, const std::string& ddl);

/// Runs `ddl` on an open PostgreSQL connection inside one transaction;
/// answers the diagnostics (empty on success).
KY_SQL_API diagnostics executeDdl(pg_conn* connection, const std::string& ddl);

/// Opens (creating when missing) the SQLite file `path` and runs `ddl` there
/// as executeDdl does.
KY_SQL_API diagnostics executeDdlOnSqliteFile(const std::string& path, const std::string& ddl);

/// Connects with the libpq connection string or URI `conninfo` and runs
/// `ddl` there as executeDdl does.
KY_SQL_API diagnostics executeDdlOnPostgresql(const std::string& conninfo, const std::string& ddl);

// ---------------------------------------------------------------------------
// Reflection
// ---------------------------------------------------------------------------

/// What a reflection reads and how it names what it builds.
struct KY_SQL_API reflectOptions {
    std::vector<ky::string> schemas;     ///< PostgreSQL: the schemas read; empty: every schema but the system ones
    std::vector<ky::string> include;     ///< table patterns (* and ?) to read; empty: every table
    std::vector<ky::string> exclude;     ///< table patterns left out, applied after include
    bool caseSensitiveNames = false;     ///< the name rule of the model built
    int busyTimeoutMs = 200;             ///< SQLite: how long to wait for a locked database
    int connectTimeoutS = 5;             ///< PostgreSQL: how long to wait for the server; 0: libpq's wait
    int queryTimeoutS = 30;              ///< PostgreSQL: how long one catalogue query or lock wait may take; 0: no limit
};

/// How much a reflection read, and how much of it the model does not carry.
struct KY_SQL_API reflectSummary {
    std::size_t tables = 0;       ///< tables read (a partitioned table with its partitions counts once)
    std::size_t columns = 0;      ///< columns of the tables read
    std::size_t primaryKeys = 0;  ///< primary keys read
    std::size_t foreignKeys = 0;  ///< foreign keys read
    std::size_t indexes = 0;      ///< indexes read, other than those of keys and unique constraints
    std::size_t checks = 0;       ///< CHECK and EXCLUDE constraints read
    std::size_t views = 0;        ///< views and materialized views read
    std::size_t notCarried = 0;   ///< objects read that the model does not carry, each named by a warning
};

/// The summary as one line: "read 12 tables, 80 columns, 12 primary keys,
/// 9 foreign keys, 4 indexes, 2 checks, 1 view; 0 objects not carried".
KY_SQL_API std::string describe(const reflectSummary& summary);

/// A reflected model (empty when an error was found) and the diagnostics.
struct KY_SQL_API reflectResult {
    ky::refPtr<ky::metamodel::modelInfo> model;  ///< the model built; empty on error
    diagnostics problems;                        ///< what was found, errors and warnings
    reflectSummary summary;                      ///< what was read and what was not carried
};

/// Reflects the SQLite file `path`, opened read-only; anything but a regular
/// file (a FIFO, a directory, a device, a socket) is refused unopened.
KY_SQL_API reflectResult reflectSqliteFile(const std::string& path, const reflectOptions& options);

/// Reflects an open SQLite connection (a file or an in-memory database)
/// inside one read transaction; the connection must not be in a transaction.
KY_SQL_API reflectResult reflectSqlite(sqlite3* connection, const reflectOptions& options);

/// Reflects the schemas options.schemas of the PostgreSQL database that the
/// libpq connection string or URI `conninfo` names, in one read-only transaction.
KY_SQL_API reflectResult reflectPostgresqlDatabase(const std::string& conninfo, const reflectOptions& options);

/// Reflects through an open PostgreSQL connection, which must not be in a
/// transaction, in one read-only transaction.
KY_SQL_API reflectResult reflectPostgresql(pg_conn* connection, const reflectOptions& options);

/// The libpq connection string or URI `conninfo` as diagnostics name it:
/// the text with every password (the user information of a URI, a
/// `password` parameter or keyword) replaced by "****".
KY_SQL_API std::string connectionDisplayName(const std::string& conninfo);

// ---------------------------------------------------------------------------
// Migrations
// ---------------------------------------------------------------------------

/// What a migration step does.
enum eStepKind {
    eStepCreateSchema,     ///< CREATE SCHEMA
    eStepCreateObject,     ///< a statement run before the tables: a type, domain, sequence, function, extension
    eStepDropObject,       ///< drops what such a statement made
    eStepCreateTable,      ///< CREATE TABLE
    eStepDropTable,        ///< DROP TABLE
    eStepRenameTable,      ///< ALTER TABLE ... RENAME TO
    eStepRebuildTable,     ///< SQLite: a new table, the rows copied, the old one dropped, the new one renamed
    eStepAddColumn,        ///< ALTER TABLE ... ADD COLUMN
    eStepDropColumn,       ///< ALTER TABLE ... DROP COLUMN
    eStepRenameColumn,     ///< ALTER TABLE ... RENAME COLUMN
    eStepAlterColumn,      ///< PostgreSQL: a column's type, default, NOT NULL or identity
    eStepAddConstraint,    ///< a primary key, unique, check or exclude constraint added
    eStepDropConstraint,   ///< such a constraint dropped
    eStepAddForeignKey,    ///< a foreign key added
    eStepDropForeignKey,   ///< a foreign key dropped
    eStepCreateIndex,      ///< CREATE INDEX
    eStepDropIndex,        ///< DROP INDEX
    eStepCreateView,       ///< CREATE VIEW or MATERIALIZED VIEW
    eStepDropView,         ///< DROP VIEW or MATERIALIZED VIEW
    eStepComment,          ///< PostgreSQL: COMMENT ON a table or column
    eStepAddStatement,     ///< a statement run after the tables: a trigger, a partition, ...
    eStepDropStatement,    ///< drops what such a statement made
    eStepAlterTable,       ///< PostgreSQL: a table's LOGGED/UNLOGGED or storage parameters
    eStepDropSchema        ///< PostgreSQL: DROP SCHEMA ... RESTRICT of a schema the new model no longer uses
};

/// The kind as the plan writes it: "create table", "add column", ...
KY_SQL_API const char* stepKindName(eStepKind kind);

/// One step of a migration.
struct KY_SQL_API migrationStep {
    eStepKind kind = eStepCreateTable;   ///< what the step does
    ky::string element;                  ///< what it changes: "table", "table.column", "table.index", "schema.view"
    std::vector<std::string> statements; ///< its SQL, UTF-8, each without ";"
    ky::string description;              ///< one line: "add column users.email (VARCHAR(255) NOT NULL DEFAULT '')"
    bool destructive = false;            ///< it can lose data
};

/// What createMigration compares and how.
struct KY_SQL_API migrationOptions {
    eDialect dialect = eSqlite;  ///< the dialect of the database migrated
    /// Renames the host asserts, old to new: "table" to "newTable", "table.column" to
    /// "newColumn" (class and field names of the models). Never guessed otherwise.
    std::vector<std::pair<ky::string, ky::string>> renames;
};

/// The steps that bring a database made from one model to another, in an
/// order in which every statement is valid when it runs, and the diagnostics.
struct KY_SQL_API migration {
    std::vector<migrationStep> steps;  ///< empty: the models give the same database
    diagnostics problems;              ///< what was found; with an error there are no steps
    bool foreignKeysOff = false;       ///< SQLite: the steps need PRAGMA foreign_keys=OFF around the transaction (a rebuild)
    /// Whether any step is destructive.
    bool destructive() const;
    /// Every statement, each ending ";" and a line break, each step introduced by a comment line.
    std::string sql() const;
};

/// The migration that brings a database made from `from` to `to` in the
/// dialect options.dialect. Reads the models only; never throws for models
/// the core accepted.
KY_SQL_API migration createMigration(const ky::metamodel::modelInfo& from, const ky::metamodel::modelInfo& to,
                                     const migrationOptions& options);

/// How applyMigration runs.
struct KY_SQL_API applyOptions {
    bool allowDestructive = false;  ///< false: a destructive step refuses the whole migration before it runs
    /// When set: the database is reflected inside the transaction after the
    /// steps and rolled back when it differs from this model.
    const ky::metamodel::modelInfo* expected = nullptr;
    /// When set: the model the plan was made from; the database is reflected
    /// first inside the transaction and refused when it no longer matches it.
    const ky::metamodel::modelInfo* planned = nullptr;
    reflectOptions reflect;  ///< how those reflections read
    /// How long one statement of the migration, or its wait for a lock, may
    /// take, in seconds; 0: no limit. PostgreSQL: statement_timeout and
    /// lock_timeout for the migration's transaction only. SQLite: how long
    /// BEGIN IMMEDIATE waits for another connection's lock.
    int timeoutS = 0;
};

/// Runs `steps` in one transaction on an open SQLite connection; answers the
/// diagnostics (empty on success). On any failure the database is as it was.
KY_SQL_API diagnostics applyMigration(sqlite3* connection, const migration& steps, const applyOptions& options);

/// Runs `steps` in one transaction on an open PostgreSQL connection; answers
/// the diagnostics (empty on success). On any failure the database is as it was.
KY_SQL_API diagnostics applyMigration(pg_conn* connection, const migration& steps, const applyOptions& options);

// ---------------------------------------------------------------------------
// Names and column types
// ---------------------------------------------------------------------------

/// `name` as an identifier of the dialect in UTF-8: as written when it is a
/// lower-case ASCII word that is no keyword, else in double quotes with
/// inner quotes doubled.
KY_SQL_API std::string quoteIdentifier(const ky::string& name, eDialect dialect);

/// Whether `word` (any case) is a keyword of either dialect that must be quoted.
KY_SQL_API bool isReservedWord(const ky::string& word);

/// What a column type means for the model.
struct KY_SQL_API columnType {
    eFieldType type = eCustom;                ///< the field type
    unsigned long length = 0;                 ///< a string's length, 0 when none
    eFieldSemantics semantic = eSemNone;      ///< eSemMonetary for NUMERIC, else eSemNone
    bool known = false;                       ///< false: type is eCustom and custom is the SQL type
    ky::string custom;                        ///< the SQL type as read, for an unknown type
};

/// Reads the SQL type text of a column (as SQLite declares it or as
/// PostgreSQL's format_type writes it). Never fails: an unknown type is eCustom.
KY_SQL_API columnType parseColumnType(const ky::string& sqlType, eDialect dialect);

/// The SQL type of a field of type `type` with string length `length` and
/// semantic `semantic`; empty for ePtr and eCustom (see customColumnType).
KY_SQL_API std::string sqlTypeOf(eFieldType type, unsigned long length, eFieldSemantics semantic, eDialect dialect);

/// Whether a custom type string may be pasted into DDL as a column type:
/// letters, digits, blanks, underscores, and balanced parentheses and
/// brackets around numbers and commas.
KY_SQL_API bool isSafeCustomType(const ky::string& text);

/// A string literal of the dialect for `text` (UTF-8, quotes doubled);
/// false when the text holds a character the dialect cannot store (NUL).
KY_SQL_API bool quoteLiteral(const ky::string& text, std::string& out);

/// The SQL literal of `value` stored in a field of type `type`; false when
/// the value has none (an empty value, NaN, a type without literals).
KY_SQL_API bool literalOf(const ky::genericValue& value, eFieldType type, eDialect dialect, std::string& out);

/// Reads a column default as the database writes it back; true with `value`
/// set when it is a literal of the field type `type`, false for an
/// expression (such as CURRENT_DATE).
KY_SQL_API bool parseDefaultLiteral(const ky::string& text, eFieldType type, ky::genericValue& value);

/// The length a field's type attributes hold under keys::length (following
/// the source chain of a field that stands for another); 0 when none. The
/// same as fieldInfo::stringLength.
KY_SQL_API unsigned long fieldLength(const ky::metamodel::fieldInfo& field);

}  // namespace ky::metamodel::sql
