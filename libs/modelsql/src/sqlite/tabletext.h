// What a SQLite CREATE TABLE statement says that the pragma functions do
// not: collations, generation expressions, AUTOINCREMENT, CHECK constraints
// with their names, the DEFERRABLE clause and text of each foreign key, the
// text of unique constraints, the key's name and the table options. SQLite
// has accepted the statement, so it is read leniently: its column
// definitions and table constraints are split at the commas of the outer
// parentheses, and each is walked constraint by constraint; what is not
// understood is stepped over, never guessed at.
//
// The same walk reads what pragma_table_xinfo, pragma_foreign_key_list and
// pragma_index_xinfo would answer for the table's columns, foreign keys and
// constraint indexes, by SQLite's own rules (the type as the span of its
// words, INT, INTEGER, REAL, TEXT, BLOB and ANY in upper case; a default as
// the span of its term or the inside of its parentheses; the key's order).
// It marks the statement exact only when every token of it fits the few
// forms it knows those rules for; any other statement (comments, quoted or
// reserved type words, WITHOUT ROWID, lists with collations where SQLite
// ignores them) is left to the pragmas.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ky::metamodel::sql::detail::sqlite {

struct columnText {
    std::string name;                       // the column's name, unquoted
    std::string written;                    // the name as written (quotes and all)
    std::string collation;                  // the name after COLLATE as written; empty without
    std::string generated;                  // the expression of AS (...), as written; empty without
    bool autoincrement = false;             // PRIMARY KEY ... AUTOINCREMENT
    std::vector<std::string> checkLiterals; // the literals of the column's enumeration check
    int enumCheck = -1;                     // the index in checks of that check; -1 when none
    // As pragma_table_xinfo answers them (when the table is exact):
    std::string type;                       // the declared type; empty without
    bool notNull = false;                   // NOT NULL
    bool hasDefault = false;                // DEFAULT
    std::string defaultText;                // the default's text
    int keyPosition = 0;                    // 1-based position in the primary key; 0 when not in it
    bool stored = false;                    // a generated column's STORED (else VIRTUAL)
    std::string collationName;              // the collation's name, unquoted; empty without
};

// One item of a key's, unique's or foreign key's column list.
struct itemText {
    std::string name;                       // the column's name, unquoted, as written
    std::string collation;                  // the name after COLLATE, unquoted; empty without
    bool desc = false;                      // DESC
};

struct checkText {
    std::string name;                       // the constraint's name, unquoted; empty when unnamed
    std::string text;                       // "CHECK (...)" as written
    std::vector<std::string> named;         // the names the check mentions, ASCII-folded
    std::vector<std::string> literals;      // when it is `CHECK (column IN (literal, ...))`: the literals
};

struct foreignKeyText {
    std::string name;                       // the constraint's name, unquoted; empty when unnamed
    std::vector<std::string> from;          // the columns, ASCII-folded
    std::string target;                     // the target table, ASCII-folded
    std::vector<std::string> to;            // the target columns, ASCII-folded; empty: the target's key
    bool matchFull = false;                 // MATCH FULL (SQLite keeps the clause without acting on it)
    std::string deferrable;                 // "DEFERRABLE" or "DEFERRABLE INITIALLY DEFERRED"; empty: not deferrable
    std::string definition;                 // "FOREIGN KEY (a) REFERENCES t (b) ..." as written
    bool matched = false;                   // taken by a foreign key the pragma listed
    // As pragma_foreign_key_list answers them (when the table is exact):
    std::string targetName;                 // the target table, unquoted, as written
    std::vector<std::string> fromColumns;   // the columns as the table declares them
    std::vector<std::string> toColumns;     // the target columns, unquoted, as written
    std::string onUpdate = "NO ACTION";     // the ON UPDATE action
    std::string onDelete = "NO ACTION";     // the ON DELETE action
};

struct uniqueText {
    std::string name;                       // the constraint's name, unquoted; empty when unnamed
    std::vector<std::string> columns;       // the first name of each indexed item, ASCII-folded
    std::string text;                       // "UNIQUE (...)" as written
    bool matched = false;                   // taken by a unique index the pragma listed
    std::vector<itemText> items;            // the indexed columns (when the table is exact)
};

struct tableText {
    std::vector<columnText> columns;
    std::vector<checkText> checks;          // column and table checks in the order written
    std::vector<foreignKeyText> foreignKeys;
    std::vector<uniqueText> uniques;
    std::string keyName;                    // the PRIMARY KEY constraint's name; empty when unnamed
    std::string options;                    // "WITHOUT ROWID", "STRICT", "WITHOUT ROWID, STRICT"; empty without
    bool exact = false;                     // every column, foreign key and unique read by SQLite's rules
    bool replaces = false;                  // a constraint is ON CONFLICT REPLACE (SQLite orders its index last)
    std::vector<std::string> keyColumns;    // the primary key's columns, ASCII-folded, in key order
};

// Reads the CREATE TABLE statement `sql`; false when its text cannot be
// split into tokens or has no column list.
bool readTableText(std::string_view sql, tableText& out);

}  // namespace ky::metamodel::sql::detail::sqlite
