// What the parts of the DDL writer share: the tables of a model as the DDL
// writes them, the table facts their classes and fields carry (docs/sql.md,
// "Table facts"), and the scanner that tells whether a fact's SQL text is one
// statement or one clause of the kind its key names.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

// ---- SQL text ----

// Splits `text` (UTF-8) into its statements at the semicolons outside
// quotes, comments and trigger or BEGIN ATOMIC bodies, each trimmed and
// without its semicolon. False with `why` set when the text holds a NUL,
// leaves a quote, comment or parenthesis open, closes one never opened, or
// holds an empty statement.
bool splitStatements(std::string_view text, eDialect dialect, std::vector<std::string>& out, std::string& why);

// Whether `text` is one clause: no semicolon, parentheses balanced, and with
// `oneItem` no comma outside them; `why` says what breaks it.
bool singleClause(std::string_view text, eDialect dialect, bool oneItem, std::string& why);

// Whether the words of `text` begin with `pattern`: words separated by
// blanks, "[WORD]" optional, "A|B" either (upper case; the text is compared
// in any case, comments skipped).
bool beginsWith(std::string_view text, eDialect dialect, std::string_view pattern);

// Whether every word of `text` is one of `allowed` (upper case, separated by
// blanks) and it holds nothing but words and blanks.
bool onlyWords(std::string_view text, std::string_view allowed);

// Whether a constraint text or foreign-key clauses end in NOT VALID (or
// are only that): PostgreSQL then adds the constraint after the tables.
bool endsNotValid(std::string_view text);

// ---- table facts ----

// Columns under a name: a composite unique constraint or a plain index.
struct namedColumns {
    ky::string name;
    std::vector<ky::string> columns;
};

// A SQL text under the name of its database object ("" for an unnamed one).
struct namedText {
    ky::string name;
    std::string text;  // UTF-8, checked
};

// What a class's properties say for the dialect written.
struct classFacts {
    ky::string schema;                        // sql.schema
    ky::string table;                         // sql.table
    bool view = false;                        // sql.kind names a view, or the dialect's view text is there
    bool materialized = false;                // sql.kind "materialized view"
    std::string viewStatement;                // <d>.view
    std::vector<ky::string> dependsOn;        // sql.dependsOn: class names
    std::vector<ky::string> primaryKey;       // sql.primaryKey
    std::vector<namedColumns> uniques;        // sql.unique.*
    std::vector<namedColumns> uniqueIndexes;  // sql.uniqueIndex.*
    std::vector<namedColumns> indexes;        // sql.index.*
    std::unordered_map<ky::string, std::string> foreignKeyClauses;  // sql.foreignKey.<relation>
    std::vector<namedText> checks;            // <d>.check.*
    std::vector<namedText> uniqueConstraints; // <d>.unique.* constraint texts
    std::vector<namedText> foreignKeys;       // <d>.foreignKey.*
    std::vector<namedText> indexStatements;   // <d>.index.* and <d>.unique.* statements
    std::string options;                      // <d>.options
    bool unlogged = false;                    // postgresql.unlogged
    std::vector<std::string> before, after;   // <d>.before, <d>.after
};

// What a field's properties say for the dialect written.
struct fieldFacts {
    bool hasType = false;           // <d>.type is given (it may be empty: SQLite without type)
    std::string type;               // <d>.type
    ky::string otherType;           // the other dialect's type, for the nearest one
    bool hasOtherType = false;
    std::string defaultText;        // <d>.default
    ky::string otherDefault;        // the other dialect's default, for a warning when nothing stands in
    std::string collation;          // <d>.collation
    std::string identity;           // <d>.identity
    std::string generated;          // <d>.generated
    bool autoincrement = false;     // sqlite.autoincrement
    std::vector<std::string> before, after;
};

// ---- the tables of a model ----

// Names are the model's interned handles: copied without allocating,
// compared as exactly as their texts.
struct column {
    ky::const_refPtr<fieldInfo> field;
    ky::scString name;
    std::unique_ptr<fieldFacts> ownFacts;  // null for a field without table facts (nearly all of a model built by hand)
    std::string definition;  // everything after the name
    // The parts of the definition a migration alters one by one.
    std::string type;        // the column type ("" for none)
    std::string defaultSql;  // the DEFAULT expression, "" for none
    std::string check;       // the enumeration's "CHECK (...)", "" for none
    bool notNull = false;
    bool unique = false;

    const fieldFacts& facts() const {
        static const fieldFacts none;
        return ownFacts ? *ownFacts : none;
    }
};

struct foreignKey {
    const relationInfo* relation = nullptr;
    std::vector<ky::scString> from;
    std::size_t target = 0;
    std::vector<ky::scString> to;
    std::string clauses;     // what follows the column lists: ON DELETE CASCADE, ...
    bool closesCycle = false;
    bool notValid = false;   // PostgreSQL: added after the tables, NOT VALID
    bool afterIndexes = false;  // its target is unique by a unique index (or, in a migration, by a key or unique
                                // the migration changes): PostgreSQL adds it once the indexes exist
};

struct table {
    ky::const_refPtr<classInfo> cls;
    ky::scString name;       // the table's name in the database
    ky::string schema;       // PostgreSQL: its schema; empty for the default one
    classFacts facts;
    std::vector<column> columns;
    std::vector<ky::scString> key;
    bool keyInColumn = false;  // SQLite: an INTEGER PRIMARY KEY AUTOINCREMENT column holds the key
    std::vector<foreignKey> foreignKeys;
    std::vector<std::size_t> bases;  // tables this one inherits from (written before it)
    bool written = true;     // false: a view left out
};

struct ddlContext {
    const modelInfo& model;
    const ddlOptions& options;
    diagnostics& problems;
    std::vector<table> tables;
    std::unordered_map<const classInfo*, std::size_t> tableOf;

    eDialect dialect() const { return options.dialect; }
    // The prefix of the dialect written ("sqlite." or "postgresql.") and of the other one.
    const wchar_t* ownPrefix() const { return options.dialect == ePostgresql ? L"postgresql." : L"sqlite."; }
    const wchar_t* otherPrefix() const { return options.dialect == ePostgresql ? L"sqlite." : L"postgresql."; }

    void appendQuoted(std::string& out, ky::scString name) const {
        appendIdentifier(out, name.string(), options.dialect);
    }
    void appendQuoted(std::string& out, const ky::string& name) const { appendIdentifier(out, name, options.dialect); }
    // The table's name, qualified with its schema (PostgreSQL).
    void appendTableName(std::string& out, const table& t) const {
        if (!t.schema.empty()) {
            appendQuoted(out, t.schema);
            out += '.';
        }
        appendQuoted(out, t.name);
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

// Reads the table facts of `cls` for the dialect written into `out`: checks
// each SQL text (an error when it is not what its key says), warns of each
// fact of the other dialect that is left out.
void readClassFacts(const classInfo& cls, ddlContext& ctx, classFacts& out);

// The same for a field of the table of `cls`; null when the field has no
// user property.
std::unique_ptr<fieldFacts> readFieldFacts(const fieldInfo& field, const classInfo& cls, ddlContext& ctx);

// The lines of a property value (a list of names), empty lines left out.
std::vector<ky::string> lines(const ky::string& value);

// ---- collecting and ordering ----

// Collects the tables of ctx.model with their columns, keys and foreign
// keys as the DDL writes them; false after an error.
bool collectModel(ddlContext& ctx);

// The tables of a collected model in the order they are created (each after
// what its foreign keys lead to; a foreign key that closes a cycle marked),
// and the views written in theirs.
std::vector<std::size_t> tableOrder(ddlContext& ctx);
std::vector<std::size_t> viewsInOrder(const ddlContext& ctx);

// ---- writing ----

// Writes the definition of the column of `field` into `out`; false (after
// a warning) when the column is left out. `inKey`: the column is in the
// table's key; `soleKey`: it is the whole key.
bool describeColumn(const fieldInfo& field, ddlContext& ctx, table& t, bool inKey, bool soleKey, column& out);

// The statements of the DDL: `tables` in the order they are created (their
// foreign keys that close a cycle marked), `views` in theirs.
std::vector<std::string> writeStatements(const ddlContext& ctx, const std::vector<std::size_t>& tables,
                                         const std::vector<std::size_t>& views);

// The pieces of those statements that a migration compares and writes one by one.
std::string createTable(const table& t, const ddlContext& ctx);
void appendForeignKey(std::string& out, const foreignKey& fk, const ddlContext& ctx);
// The indexes of a table: each one's name and CREATE INDEX statement.
std::vector<namedText> tableIndexes(const table& t, const ddlContext& ctx);
// The COMMENT ON statements of a table and its columns (PostgreSQL).
void commentStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out);

// ---- what one dialect alone decides ----

// Why the dialect refuses `name` for a table (or, with `column`, for a
// column) although it is not empty; false when it does not.
struct nameFault {
    const char* code;
    ky::string message;
};
bool pgNameFault(const ky::string& name, bool column, nameFault& out);
bool sqliteNameFault(const ky::string& name, bool column, nameFault& out);

// Whether PostgreSQL compares a column of `from`'s type with a key column of
// `to`'s type, as a foreign key needs.
bool pgComparable(const fieldInfo& from, const fieldInfo& to);

// The PostgreSQL type nearest to the SQLite column type `sqliteType`, by the
// affinity SQLite gives it.
std::string pgNearestType(const ky::string& sqliteType);

// Whether SQLite takes `type` as a column type: names, then at most one
// parenthesis of one or two numbers at the end.
bool sqliteTakesType(const ky::string& type);

}  // namespace ky::metamodel::sql::detail
