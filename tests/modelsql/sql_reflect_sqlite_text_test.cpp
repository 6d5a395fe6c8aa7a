// SQLite reflection reads the columns, foreign keys and constraint indexes
// of a table from its CREATE statement when the statement is of the forms
// it knows SQLite's rules for, and asks the pragmas otherwise. Each case
// here reflects a statement twice: as written, and with a comment after its
// opening parenthesis, which leaves it to the pragmas. Both models must
// give the same DDL and the same diagnostics; the trace of the statements
// SQLite ran tells which way each took.
#include <cstdio>
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

namespace {

// Random tables from pieces of SQLite's column and table syntax, with a
// fixed seed: some SQLite refuses (and they are left out), the rest are
// reflected both ways.
class tableMaker {
public:
    explicit tableMaker(unsigned seed) : mState(seed) {}

    std::string table(int index) {
        const int columns = 1 + pick(6);
        std::vector<std::string> names;
        std::string sql = "CREATE TABLE " + tableName(index) + " (";
        for (int c = 0; c < columns; ++c) {
            names.push_back(columnName(c));
            if (c > 0) sql += ", ";
            sql += names.back() + typeOf() + columnConstraints(names.back(), index);
        }
        for (int k = pick(3); k > 0; --k) sql += ", " + tableConstraint(names, index);
        sql += ")";
        const int option = pick(8);
        if (option == 0) sql += " STRICT";
        if (option == 1) sql += " WITHOUT ROWID";
        return sql + ";";
    }

private:
    unsigned mState;

    int pick(int n) {
        mState = mState * 1103515245u + 12345u;
        return static_cast<int>((mState >> 16) % static_cast<unsigned>(n));
    }
    template <std::size_t N>
    std::string oneOf(const char* const (&choices)[N]) {
        return choices[pick(static_cast<int>(N))];
    }

    static std::string tableName(int index) {
        static const char* const forms[] = {"t%d", "\"T %d\"", "[t%d]", "`t%d`", "\"t\"\"%d\""};
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, forms[index % 5], index);
        return buffer;
    }
    std::string columnName(int c) {
        static const char* const forms[] = {"c%d", "C%d", "\"c %d\"", "[c%d]", "`c%d`", "key%d", "\"q\"\"%d\""};
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, forms[pick(7)], c);
        return buffer;
    }
    std::string typeOf() {
        static const char* const types[] = {"",
                                            " INTEGER",
                                            " integer",
                                            " Int",
                                            " TEXT",
                                            " text",
                                            " VARCHAR(40)",
                                            " varchar ( 10 , 2 )",
                                            " DOUBLE   PRECISION",
                                            " NUMERIC(10, -2)",
                                            " BLOB",
                                            " real",
                                            " ANY",
                                            " timestamp with time zone",
                                            " UNSIGNED BIG INT",
                                            " \"quoted\"",
                                            " 'text'",
                                            " CHARACTER VARYING(+5)",
                                            " INT GENERATED",
                                            " DATE"};
        return oneOf(types);
    }
    std::string target(int index) {
        const int to = pick(index + 2) - 1;  // -1: a table that does not exist
        return to < 0 ? std::string("missing") : tableName(to);
    }
    std::string actions() {
        static const char* const clauses[] = {"",
                                              " ON DELETE CASCADE",
                                              " ON UPDATE SET NULL ON DELETE SET DEFAULT",
                                              " ON DELETE RESTRICT ON UPDATE NO ACTION",
                                              " MATCH FULL",
                                              " DEFERRABLE INITIALLY DEFERRED",
                                              " NOT DEFERRABLE INITIALLY IMMEDIATE",
                                              " ON INSERT CASCADE",
                                              " ON DELETE CASCADE ON DELETE SET NULL"};
        return oneOf(clauses);
    }
    std::string columnConstraints(const std::string& name, int index) {
        static const char* const plain[] = {" NOT NULL",
                                            " NULL",
                                            " NOT NULL ON CONFLICT IGNORE",
                                            " DEFAULT 0",
                                            " DEFAULT -  1",
                                            " DEFAULT +2.5e-3",
                                            " DEFAULT 'a''b'",
                                            " DEFAULT (  1 + 2  )",
                                            " DEFAULT CURRENT_TIMESTAMP",
                                            " DEFAULT \"word\"",
                                            " DEFAULT x'0a'",
                                            " DEFAULT TRUE",
                                            " UNIQUE",
                                            " UNIQUE ON CONFLICT REPLACE",
                                            " COLLATE nocase",
                                            " COLLATE 'rtrim'",
                                            " COLLATE \"BINARY\"",
                                            " PRIMARY KEY",
                                            " PRIMARY KEY DESC",
                                            " PRIMARY KEY AUTOINCREMENT",
                                            " GENERATED ALWAYS AS (1) STORED",
                                            " AS (2) VIRTUAL",
                                            " AS (3)",
                                            " CONSTRAINT named NOT NULL",
                                            " DEFERRABLE"};
        std::string out;
        for (int k = pick(4); k > 0; --k) {
            const int which = pick(28);
            if (which < 25) out += plain[which];
            else if (which == 25) out += " CHECK (" + name + " <> 0)";
            else out += " REFERENCES " + target(index) + (pick(2) ? "" : " (c0)") + actions();
        }
        return out;
    }
    std::string list(const std::vector<std::string>& names, bool sorted) {
        std::string out = "(";
        const int items = 1 + pick(static_cast<int>(names.size()) < 3 ? static_cast<int>(names.size()) : 3);
        for (int k = 0; k < items; ++k) {
            if (k > 0) out += ", ";
            out += names[static_cast<std::size_t>(pick(static_cast<int>(names.size())))];
            if (sorted) {
                static const char* const tails[] = {"", "", " DESC", " ASC", " COLLATE nocase", " COLLATE BINARY DESC"};
                out += oneOf(tails);
            }
        }
        return out + ")";
    }
    std::string tableConstraint(const std::vector<std::string>& names, int index) {
        const std::string name = pick(3) == 0 ? "CONSTRAINT k" + std::to_string(pick(100)) + " " : "";
        switch (pick(5)) {
        case 0: return name + "PRIMARY KEY " + list(names, true);
        case 1: return name + "UNIQUE " + list(names, true) + (pick(4) ? "" : " ON CONFLICT REPLACE");
        case 2: return name + "CHECK (" + names[0] + " IS NOT NULL)";
        default: return name + "FOREIGN KEY " + list(names, false) + " REFERENCES " + target(index) + actions();
        }
    }
};

}  // namespace

TEST(SqliteReflectText, RandomTablesComeBackTheSameBothWays) {
    tableMaker maker(20231208u);
    std::string ddl;
    int accepted = 0;
    const sqliteConnection probe;
    for (int i = 0; accepted < 150 && i < 2000; ++i) {
        const std::string table = maker.table(accepted);
        if (sqlite3_exec(probe.db, table.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) continue;
        ddl += table + "\n";
        ++accepted;
    }
    ASSERT_EQ(accepted, 150);
    const reflected r = compareWays(ddl);
    EXPECT_GT(r.pragmaCalls, 0);  // some are of the other forms
}
