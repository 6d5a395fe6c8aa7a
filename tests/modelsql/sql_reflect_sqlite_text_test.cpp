// SQLite reflection reads the columns, foreign keys and constraint indexes
// of a table from its CREATE statement when the statement is of the forms
// it knows SQLite's rules for, and asks the pragmas otherwise. Each case
// here reflects a statement twice: as written, and with a comment after its
// opening parenthesis, which leaves it to the pragmas. Both models must
// give the same DDL and the same diagnostics; the trace of the statements
// SQLite ran tells which way each took.
#include <string>
#include <vector>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

struct reflected {
    std::string ddl;
    std::string codes;  // the diagnostics' codes, one per line
    int pragmaCalls = 0;  // steps of statements over pragma_table_xinfo, foreign_key_list or index_list
};

int onTrace(unsigned, void* context, void* statement, void*) {
    const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
    const std::string text = sql ? sql : "";
    for (const char* pragma : {"pragma_table_xinfo", "pragma_foreign_key_list", "pragma_index_list"})
        if (text.find(pragma) != std::string::npos) ++*static_cast<int*>(context);
    return 0;
}

reflected reflectTraced(const std::string& ddl) {
    reflected out;
    const sqliteConnection connection(sqliteFileWith(ddl));
    sqlite3_trace_v2(connection.db, SQLITE_TRACE_STMT, &onTrace, &out.pragmaCalls);
    const sql::reflectResult result = sql::reflectSqlite(connection.db, sql::reflectOptions());
    sqlite3_trace_v2(connection.db, 0, nullptr, nullptr);
    for (const auto& p : result.problems) out.codes += p.code.toUtf8() + "\n";
    EXPECT_TRUE(result.model) << describeAll(result.problems);
    if (result.model) out.ddl = sql::createDdl(*result.model, sql::ddlOptions()).text;
    return out;
}

// `ddl` with a comment after the first "(" of every CREATE TABLE.
std::string withComments(const std::string& ddl) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = ddl.find("CREATE TABLE", from)) != std::string::npos; from = at) {
        const std::size_t open = ddl.find('(', at);
        out += ddl.substr(from, open + 1 - from) + "/* by the pragmas */ ";
        at = open + 1;
    }
    return out + ddl.substr(from);
}

// Reflects `ddl` both ways; answers the plain reflection.
reflected compareWays(const std::string& ddl) {
    const reflected byText = reflectTraced(ddl);
    const reflected byPragma = reflectTraced(withComments(ddl));
    EXPECT_EQ(byText.ddl, byPragma.ddl) << ddl;
    EXPECT_EQ(byText.codes, byPragma.codes) << ddl;
    EXPECT_GT(byPragma.pragmaCalls, 0) << ddl;
    return byText;
}

}  // namespace

TEST(SqliteReflectText, DeclaredTypesAsSqliteKeepsThem) {
    const reflected r = compareWays(
        "CREATE TABLE t (a integer, b Text, c int(5), d Int, e any, f DOUBLE   PRECISION, g varchar ( 40 , 2 ),"
        " h real, i blob, j NUMERIC(10, -2), k UNSIGNED BIG INT, l timestamp with time zone, m, n INTEGER(+3));");
    EXPECT_EQ(r.pragmaCalls, 0);
    EXPECT_NE(r.ddl.find("DOUBLE   PRECISION"), std::string::npos);
}

TEST(SqliteReflectText, DefaultsAsTheSpanOfTheirTerm) {
    const reflected r = compareWays(
        "CREATE TABLE t (a INT DEFAULT (  1 + 2  ), b INT DEFAULT -  1, c INT DEFAULT +1, d TEXT DEFAULT 'x''y',"
        " e TEXT DEFAULT CURRENT_TIMESTAMP, f TEXT DEFAULT \"abc\", g BLOB DEFAULT x'00' NOT NULL,"
        " h BOOLEAN DEFAULT TRUE, i TEXT DEFAULT NULL, j REAL DEFAULT 1.5e-3, k TEXT DEFAULT (datetime('now')),"
        " l TEXT DEFAULT 'a\nb');");
    EXPECT_EQ(r.pragmaCalls, 0);
}

TEST(SqliteReflectText, GeneratedColumnsAndNotNull) {
    const reflected r = compareWays(
        "CREATE TABLE t (a INT NOT NULL ON CONFLICT IGNORE, b INT GENERATED   ALWAYS AS (a + 1) stored,"
        " c GENERATED ALWAYS AS (1), d TEXT AS (upper(e)) VIRTUAL, e TEXT NULL CONSTRAINT nn NOT NULL,"
        " f INT CONSTRAINT named DEFAULT 3 CHECK (f > 0));");
    EXPECT_EQ(r.pragmaCalls, 0);
}

TEST(SqliteReflectText, KeysInTheirOrder) {
    const reflected r = compareWays(
        "CREATE TABLE k1 (a TEXT, b INT, c INT, CONSTRAINT pk PRIMARY KEY (c DESC, A COLLATE nocase));"
        "CREATE TABLE k2 (id INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT);"
        "CREATE TABLE k3 (id INTEGER, v TEXT, PRIMARY KEY (id AUTOINCREMENT));"
        "CREATE TABLE k4 (code TEXT PRIMARY KEY ON CONFLICT ABORT, v TEXT);"
        "CREATE TABLE k5 (id INTEGER PRIMARY KEY DESC, v TEXT);");
    EXPECT_EQ(r.pragmaCalls, 0);
}

TEST(SqliteReflectText, ForeignKeysWithTheirActions) {
    const reflected r = compareWays(
        "CREATE TABLE \"Mixed Case\" (id INTEGER PRIMARY KEY, a INT, b INT, UNIQUE (a, b));"
        "CREATE TABLE c (x INT REFERENCES \"Mixed Case\" ON DELETE CASCADE ON UPDATE SET NULL,"
        " y INT REFERENCES [Mixed Case] (ID) ON DELETE SET DEFAULT ON UPDATE RESTRICT MATCH FULL,"
        " z INT, w INT, v INT CONSTRAINT fv REFERENCES `Mixed Case` (id) DEFERRABLE INITIALLY DEFERRED,"
        " CONSTRAINT fzw FOREIGN KEY (Z, w) REFERENCES \"Mixed Case\" (a, b) ON DELETE NO ACTION ON INSERT CASCADE"
        " NOT DEFERRABLE, FOREIGN KEY (w) REFERENCES missing, FOREIGN KEY (z) REFERENCES c (x) ON DELETE CASCADE"
        " ON DELETE RESTRICT);");
    EXPECT_EQ(r.pragmaCalls, 0);
}

TEST(SqliteReflectText, UniquesWithCollationsAndOrders) {
    const reflected r = compareWays(
        "CREATE TABLE u (a TEXT COLLATE nocase UNIQUE, b TEXT, c TEXT COLLATE 'rtrim', d INT,"
        " UNIQUE (b COLLATE nocase, a), UNIQUE (a DESC, d), UNIQUE (c COLLATE RTRIM, d), UNIQUE (d ASC, b),"
        " CONSTRAINT ub UNIQUE (b, d) ON CONFLICT FAIL, UNIQUE (b, a, d), CHECK (d > 0) ON CONFLICT ABORT);");
    EXPECT_EQ(r.pragmaCalls, 0);
}

TEST(SqliteReflectText, HostileNamesStayWhatTheyAre) {
    const reflected r = compareWays(
        "CREATE TABLE \"we\"\"ird; name\" (\"col \"\"q\"\"\" TEXT PRIMARY KEY, [sp ace] INT UNIQUE, `b``t` INT,"
        " \"ünï\" TEXT DEFAULT 'ü', key INT, action TEXT, UNIQUE (`b``t`, \"ünï\"),"
        " FOREIGN KEY ([sp ace]) REFERENCES \"we\"\"ird; name\" (\"col \"\"q\"\"\"));");
    EXPECT_EQ(r.pragmaCalls, 0);
}

// Forms whose pragma answers SQLite derives by rules not read from the text:
// each table goes to the pragmas, and the facts come back all the same.
TEST(SqliteReflectText, OtherFormsAreAskedOfThePragmas) {
    const std::vector<std::string> tables = {
        "CREATE TABLE w (id TEXT PRIMARY KEY, v INT) WITHOUT ROWID;",
        "CREATE TABLE s (code TEXT PRIMARY KEY, id INTEGER) STRICT;",
        "CREATE TABLE q (a \"quoted type\", b 'text');",
        "CREATE TABLE d (a INT DEFERRABLE, b INT);",
        "CREATE TABLE u2 (a INT, b INT, UNIQUE (a, b), UNIQUE (A, B));",
        "CREATE TABLE u3 (id INTEGER PRIMARY KEY UNIQUE, v INT);",
        "CREATE TABLE r (a INT UNIQUE ON CONFLICT REPLACE, b INT UNIQUE);",
        "CREATE TABLE i (a INT, b INT); CREATE INDEX i_b ON i (b DESC); CREATE UNIQUE INDEX i_a ON i (a);",
        "CREATE TABLE g (a INT, b INT GENERATED AS (a) STORED);",
    };
    for (const std::string& ddl : tables) {
        const reflected byText = reflectTraced(ddl);
        const reflected byPragma = reflectTraced(withComments(ddl));
        EXPECT_GT(byText.pragmaCalls, 0) << ddl;
        EXPECT_EQ(byText.ddl, byPragma.ddl) << ddl;
        EXPECT_EQ(byText.codes, byPragma.codes) << ddl;
    }
}
