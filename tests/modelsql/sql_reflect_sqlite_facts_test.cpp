// Reflection of the table facts of SQLite that the metamodel has no place
// for: what lands in the user properties of classes and fields, what is
// left out with a warning, and bad names and sizes in those places.
#include <string>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

const ky::string none = L"<none>";

class SqliteFacts : public reflectTest {
protected:
    // Reflects a new file made by `ddl`; fails the test when no model comes back.
    ky::refPtr<modelInfo> reflect(const std::string& ddl) {
        result = sql::reflectSqliteFile(sqliteFileWith(ddl), options);
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }

    // The user property `key` of class `table`; "<none>" without it.
    ky::string classProperty(const wchar_t* table, const std::wstring& key) {
        ky::refPtr<classInfo> cls = result.model ? result.model->classInfo(table, false) : ky::refPtr<classInfo>();
        ky::string value;
        return cls && cls->getUserProperty(key, value, false) ? value : none;
    }

    // The user property `key` of field `column` of class `table`; "<none>" without it.
    ky::string fieldProperty(const wchar_t* table, const wchar_t* column, const std::wstring& key) {
        ky::refPtr<fieldInfo> field = fieldOf(table, column);
        ky::string value;
        return field && field->getUserProperty(key, value, false) ? value : none;
    }

    std::size_t relationCount(const wchar_t* table) {
        ky::refPtr<classInfo> cls = result.model->classInfo(table, false);
        return static_cast<std::size_t>(cls->toRelations_end() - cls->toRelations_begin());
    }
};

}  // namespace

TEST_F(SqliteFacts, TypelessColumnKeepsAnEmptyDeclaredType) {
    reflect("CREATE TABLE t (a, b INT, c INTEGER);");
    EXPECT_EQ(fieldProperty(L"t", L"a", L"sqlite.type"), L"");
    EXPECT_EQ(fieldProperty(L"t", L"b", L"sqlite.type"), L"INT");
    EXPECT_EQ(fieldProperty(L"t", L"c", L"sqlite.type"), none);
}

TEST_F(SqliteFacts, StrictAndWithoutRowidAreTheTableOptionsAsWritten) {
    reflect("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT) strict, without  rowid;"
            "CREATE TABLE u (id INTEGER PRIMARY KEY) WITHOUT ROWID; CREATE TABLE plain (a INT);");
    EXPECT_EQ(classProperty(L"t", L"sqlite.options"), L"STRICT, WITHOUT ROWID");
    EXPECT_EQ(classProperty(L"u", L"sqlite.options"), L"WITHOUT ROWID");
    EXPECT_EQ(classProperty(L"plain", L"sqlite.options"), none);
}

// The counters of AUTOINCREMENT live in sqlite_sequence, a table of
// SQLite's own that no model carries.
TEST_F(SqliteFacts, AutoincrementIsMarkedOnItsColumn) {
    ky::refPtr<modelInfo> model = reflect(
        "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT); CREATE TABLE u (id INTEGER PRIMARY KEY);"
        "INSERT INTO t (v) VALUES ('x');");
    EXPECT_EQ(fieldProperty(L"t", L"id", L"sqlite.autoincrement"), L"true");
    EXPECT_EQ(fieldProperty(L"u", L"id", L"sqlite.autoincrement"), none);
    EXPECT_EQ(model->countClasses(), 2u);
}

// The pragma table_info the reflection read before leaves generated columns out.
TEST_F(SqliteFacts, GeneratedColumnsAreFieldsWithTheirExpressionAndKind) {
    reflect("CREATE TABLE t (a INT, b INT GENERATED ALWAYS AS (a * (a + 1)) STORED, c TEXT AS ('x' || \")\"));"
            "CREATE TABLE \")\" (\")\" TEXT);");
    EXPECT_EQ(fieldProperty(L"t", L"b", L"sqlite.generated"), L"GENERATED ALWAYS AS (a * (a + 1)) STORED");
    EXPECT_EQ(fieldProperty(L"t", L"c", L"sqlite.generated"), L"GENERATED ALWAYS AS ('x' || \")\") VIRTUAL");
    EXPECT_EQ(fieldProperty(L"t", L"a", L"sqlite.generated"), none);
}

TEST_F(SqliteFacts, CollationIsKeptAsWritten) {
    reflect("CREATE TABLE t (a TEXT COLLATE NOCASE, b TEXT NOT NULL COLLATE \"RTRIM\" DEFAULT 'x', c TEXT);");
    EXPECT_EQ(fieldProperty(L"t", L"a", L"sqlite.collation"), L"NOCASE");
    EXPECT_EQ(fieldProperty(L"t", L"b", L"sqlite.collation"), L"\"RTRIM\"");
    EXPECT_EQ(fieldProperty(L"t", L"c", L"sqlite.collation"), none);
}

// Names in the three quoting styles, holding blanks, quotes and brackets;
// parentheses, quotes and comments inside the checks.
TEST_F(SqliteFacts, ChecksKeepTheirTextAndTheirNames) {
    reflect("CREATE TABLE t (price NUMERIC CONSTRAINT \"price > 0 \"\"ok\"\"\" CHECK (\"price\" > 0),"
            " qty INTEGER CONSTRAINT [qty (check)] CHECK ([qty] > 0) NOT NULL,"
            " note TEXT CHECK (note <> ')' /* ) */ AND `note` <> 'CHECK (x)'),"
            " CONSTRAINT `a ``b``` CHECK ((qty * (price + 1)) < 1000), CHECK (qty < 99));");
    EXPECT_EQ(classProperty(L"t", L"sqlite.check.price > 0 \"ok\""), L"CHECK (\"price\" > 0)");
    EXPECT_EQ(classProperty(L"t", L"sqlite.check.qty (check)"), L"CHECK ([qty] > 0)");
    EXPECT_EQ(classProperty(L"t", L"sqlite.check.#1"), L"CHECK (note <> ')' /* ) */ AND `note` <> 'CHECK (x)')");
    EXPECT_EQ(classProperty(L"t", L"sqlite.check.a `b`"), L"CHECK ((qty * (price + 1)) < 1000)");
    EXPECT_EQ(classProperty(L"t", L"sqlite.check.#2"), L"CHECK (qty < 99)");
    EXPECT_EQ(result.summary.checks, 5u);
}

// Chinook's PlaylistTrack: its key's own index is no unique of either column.
TEST_F(SqliteFacts, CompositeKeyOfForeignKeysKeepsItsKeyAndMakesNoUniques) {
    reflect("CREATE TABLE playlist (id INTEGER PRIMARY KEY); CREATE TABLE track (id INTEGER PRIMARY KEY);"
            "CREATE TABLE playlist_track (playlist INTEGER NOT NULL REFERENCES playlist (id),"
            " track INTEGER NOT NULL REFERENCES track, CONSTRAINT pk_pt PRIMARY KEY (playlist, track));");
    EXPECT_EQ(classProperty(L"playlist_track", L"sql.primaryKey"), L"playlist\ntrack");
    EXPECT_EQ(relationCount(L"playlist_track"), 2u);
    EXPECT_EQ(classProperty(L"playlist_track", L"sql.unique.#1"), none);
    EXPECT_EQ(countCode(result.problems, "sql.reflect.foreign-key"), 0);
}

// The NULL of SET NULL and DEFAULT NULL and the NOT of NOT DEFERRABLE start
// no constraint of their own.
TEST_F(SqliteFacts, ForeignKeyClausesAreKeptOnTheRelation) {
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT UNIQUE);"
            "CREATE TABLE c (a INTEGER REFERENCES p ON DELETE SET NULL NOT DEFERRABLE DEFAULT NULL NOT NULL,"
            " b TEXT, d INTEGER REFERENCES p (id) MATCH FULL DEFERRABLE INITIALLY IMMEDIATE,"
            " CONSTRAINT c_b FOREIGN KEY (b) REFERENCES p (code) ON UPDATE CASCADE ON DELETE RESTRICT"
            " DEFERRABLE INITIALLY DEFERRED);");
    EXPECT_EQ(classProperty(L"c", L"sql.foreignKey.a"), L"ON DELETE SET NULL");
    EXPECT_EQ(classProperty(L"c", L"sql.foreignKey.d"), L"MATCH FULL DEFERRABLE");
    EXPECT_EQ(classProperty(L"c", L"sql.foreignKey.c_b"), L"ON UPDATE CASCADE ON DELETE RESTRICT DEFERRABLE INITIALLY DEFERRED");
    EXPECT_TRUE(fieldOf(L"c", L"a")->isMandatory());
    EXPECT_EQ(relationCount(L"c"), 3u);
}

// SQLite takes a foreign key towards a table that does not exist; its text
// is kept for the DDL to write back.
TEST_F(SqliteFacts, ForeignKeyToAMissingTableKeepsItsText) {
    reflect("CREATE TABLE c (id INTEGER PRIMARY KEY, x INTEGER REFERENCES nowhere (id) ON DELETE CASCADE);");
    EXPECT_EQ(classProperty(L"c", L"sqlite.foreignKey.#1"), L"FOREIGN KEY (x) REFERENCES nowhere (id) ON DELETE CASCADE");
    EXPECT_EQ(relationCount(L"c"), 0u);
}

TEST_F(SqliteFacts, IndexesArePlainColumnsOrTheirStatement) {
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY, first TEXT COLLATE NOCASE, last TEXT, born DATE, active INT);"
            "CREATE INDEX p_name ON p (last, first COLLATE NOCASE);"
            "CREATE INDEX p_active ON p (born) WHERE active = 1;"
            "CREATE INDEX p_lower ON p (lower(last));"
            "CREATE INDEX p_desc ON p (born DESC);"
            "CREATE INDEX p_binary ON p (first COLLATE BINARY);");
    EXPECT_EQ(classProperty(L"p", L"sql.index.p_name"), L"last\nfirst");
    EXPECT_EQ(classProperty(L"p", L"sqlite.index.p_active"), L"CREATE INDEX p_active ON p (born) WHERE active = 1");
    EXPECT_EQ(classProperty(L"p", L"sqlite.index.p_lower"), L"CREATE INDEX p_lower ON p (lower(last))");
    EXPECT_EQ(classProperty(L"p", L"sqlite.index.p_desc"), L"CREATE INDEX p_desc ON p (born DESC)");
    EXPECT_EQ(classProperty(L"p", L"sqlite.index.p_binary"), L"CREATE INDEX p_binary ON p (first COLLATE BINARY)");
    EXPECT_EQ(result.summary.indexes, 5u);
}

TEST_F(SqliteFacts, UniquesOfSeveralColumnsOrWithAConditionKeepTheirShape) {
    reflect("CREATE TABLE t (a INT, b INT, c INT, d TEXT, CONSTRAINT \"u ab\" UNIQUE (a, b), UNIQUE (b, c),"
            " UNIQUE (d COLLATE NOCASE, a));"
            "CREATE UNIQUE INDEX t_cd ON t (c, d); CREATE UNIQUE INDEX t_a ON t (a) WHERE a > 0;");
    EXPECT_EQ(classProperty(L"t", L"sql.unique.u ab"), L"a\nb");
    EXPECT_EQ(classProperty(L"t", L"sql.unique.#1"), L"b\nc");
    EXPECT_EQ(classProperty(L"t", L"sqlite.unique.#2"), L"UNIQUE (d COLLATE NOCASE, a)");
    EXPECT_EQ(classProperty(L"t", L"sql.uniqueIndex.t_cd"), L"c\nd");
    EXPECT_EQ(classProperty(L"t", L"sqlite.unique.t_a"), L"CREATE UNIQUE INDEX t_a ON t (a) WHERE a > 0");
    EXPECT_FALSE(fieldOf(L"t", L"a")->isUnique());
}

// v2 is created first, over v1 that does not exist yet.
TEST_F(SqliteFacts, ViewsComeAfterTheTablesEachAfterTheViewsItReads) {
    ky::refPtr<modelInfo> model =
        reflect("CREATE VIEW v2 AS SELECT id FROM [v 1] WHERE id > 1; CREATE TABLE t (id INTEGER PRIMARY KEY, n TEXT);"
                "CREATE VIEW [v 1] AS SELECT id, n FROM t;");
    std::vector<ky::string> order;
    for (auto it = model->classes_begin(); it != model->classes_end(); ++it) order.push_back((*it)->scName().string());
    EXPECT_EQ(order, (std::vector<ky::string>{L"t", L"v 1", L"v2"}));
    EXPECT_EQ(classProperty(L"v 1", L"sql.kind"), L"view");
    EXPECT_EQ(classProperty(L"v 1", L"sqlite.view"), L"CREATE VIEW [v 1] AS SELECT id, n FROM t");
    EXPECT_EQ(model->classInfo(L"v 1", false)->countFields(), 2u);
    EXPECT_EQ(result.summary.views, 2u);
    EXPECT_EQ(result.summary.tables, 1u);
}

TEST_F(SqliteFacts, ViewThatCannotBeReadIsLeftOutWithAWarning) {
    ky::refPtr<modelInfo> model = reflect("CREATE TABLE gone (a INT); CREATE VIEW bad AS SELECT a FROM gone;"
                                          "CREATE VIEW good AS SELECT 1 AS one; DROP TABLE gone;");
    EXPECT_FALSE(model->classInfo(L"bad", false));
    EXPECT_TRUE(model->classInfo(L"good", false));
    ASSERT_EQ(countCode(result.problems, "sql.reflect.not-carried"), 1) << describeAll(result.problems);
    EXPECT_EQ(result.problems[0].table, L"bad");
    EXPECT_NE(result.problems[0].databaseMessage.find(L"gone"), ky::string::npos);
    EXPECT_EQ(result.summary.notCarried, 1u);
}

TEST_F(SqliteFacts, TriggerRunsAfterTheTablesWithItsTable) {
    reflect("CREATE TABLE t (a INT); CREATE TABLE log (a INT);"
            "CREATE TRIGGER t_log AFTER INSERT ON T BEGIN INSERT INTO log VALUES (new.a); END;");
    EXPECT_EQ(classProperty(L"t", L"sqlite.after"),
              L"CREATE TRIGGER t_log AFTER INSERT ON T BEGIN INSERT INTO log VALUES (new.a); END;\n");
    EXPECT_EQ(classProperty(L"log", L"sqlite.after"), none);
}

// The module of a virtual table need not even be loaded where the file is read.
TEST_F(SqliteFacts, VirtualTableAndItsShadowTablesAreLeftOutWithWarnings) {
    ky::refPtr<modelInfo> model = reflect("CREATE TABLE t (a INT); CREATE VIRTUAL TABLE doc USING fts5(body);"
                                          "PRAGMA writable_schema = ON; INSERT INTO sqlite_schema VALUES"
                                          " ('table', 'alien', 'alien', 0, 'CREATE VIRTUAL TABLE alien USING nowhere(a)');");
    EXPECT_EQ(model->countClasses(), 1u);
    EXPECT_FALSE(model->classInfo(L"doc_content", false));
    EXPECT_GE(countCode(result.problems, "sql.reflect.not-carried"), 3);
    EXPECT_EQ(result.summary.notCarried, static_cast<std::size_t>(countCode(result.problems, "sql.reflect.not-carried")));
}

TEST_F(SqliteFacts, SummaryCountsWhatWasRead) {
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY, n TEXT UNIQUE CHECK (n <> ''));"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p, q INT);"
            "CREATE TABLE free (a INT); CREATE INDEX c_q ON c (q); CREATE VIEW v AS SELECT * FROM c;");
    EXPECT_EQ(result.summary.tables, 3u);
    EXPECT_EQ(result.summary.columns, 6u);
    EXPECT_EQ(result.summary.primaryKeys, 2u);
    EXPECT_EQ(result.summary.foreignKeys, 1u);
    EXPECT_EQ(result.summary.indexes, 1u);
    EXPECT_EQ(result.summary.checks, 1u);
    EXPECT_EQ(result.summary.views, 1u);
}

// ---- bad input ----

// Quotes, semicolons, brackets and non-ASCII text in the names of tables,
// columns, constraints, indexes, views and triggers reach SQLite only as
// values and come back whole.
TEST_F(SqliteFacts, NamesWithQuotesSemicolonsAndNonAsciiTextComeBackWhole) {
    reflect("CREATE TABLE \"it's; \"\"ä\"\"]\" (\"c; 'ö' [x]\" INTEGER PRIMARY KEY,"
            " \"größe\" TEXT CONSTRAINT \"chk; ü\" CHECK (\"größe\" <> ';'));"
            "CREATE INDEX \"idx; 'é'\" ON \"it's; \"\"ä\"\"]\" (\"größe\");"
            "CREATE VIEW \"v; ß\" AS SELECT * FROM \"it's; \"\"ä\"\"]\";"
            "CREATE TRIGGER \"trg; ø\" AFTER DELETE ON \"it's; \"\"ä\"\"]\" BEGIN SELECT 1; END;");
    const wchar_t* table = L"it's; \"ä\"]";
    EXPECT_TRUE(fieldOf(table, L"c; 'ö' [x]"));
    EXPECT_EQ(classProperty(table, L"sqlite.check.chk; ü"), L"CHECK (\"größe\" <> ';')");
    EXPECT_EQ(classProperty(table, L"sql.index.idx; 'é'"), L"größe");
    EXPECT_EQ(classProperty(L"v; ß", L"sql.kind"), L"view");
    EXPECT_NE(classProperty(table, L"sqlite.after").find(L"\"trg; ø\""), ky::string::npos);
}

// No name of a model holds a line break: the whole reflection is refused.
TEST_F(SqliteFacts, NewlineInAConstraintNameIsAnError) {
    result = sql::reflectSqliteFile(
        sqliteFileWith("CREATE TABLE t (a INT CONSTRAINT \"two\nlines\" CHECK (a > 0));"), options);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(countCode(result.problems, "sql.reflect.name-character"), 1) << describeAll(result.problems);
}

TEST_F(SqliteFacts, TableOfSixteenHundredColumnsIsReadWhole) {
    std::string ddl = "CREATE TABLE wide (id INTEGER PRIMARY KEY";
    for (int i = 1; i < 1600; ++i)
        ddl += ", \"c " + std::to_string(i) + "\" TEXT COLLATE NOCASE CHECK (length(\"c " + std::to_string(i) + "\") < 9)";
    reflect(ddl + ");");
    EXPECT_EQ(result.model->classInfo(L"wide", false)->countFields(), 1600u);
    EXPECT_EQ(fieldProperty(L"wide", L"c 1599", L"sqlite.collation"), L"NOCASE");
    EXPECT_EQ(result.summary.checks, 1599u);
}
