// Migrations of what lives beside the tables, planned by createMigration
// and run by applyMigration in its one transaction on the test PostgreSQL
// server: domains, sequences and their owners, a table's persistence and
// storage parameters, schemas that come and go, enum values used in the
// migration that adds them, and foreign keys towards a key that changes.
// Each case checks the rows, and the database reflected afterwards is the
// new model (applyOptions::expected).
#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

bool hasKind(const sql::migration& m, sql::eStepKind kind) {
    return std::any_of(m.steps.begin(), m.steps.end(), [&](const sql::migrationStep& s) { return s.kind == kind; });
}

bool warns(const sql::migration& m, const char* code) {
    return std::any_of(m.problems.begin(), m.problems.end(), [&](const sql::diagnostic& d) { return d.code.toUtf8() == code; });
}

class PgObjects : public ::testing::Test {
protected:
    std::string schema;
    std::vector<std::string> schemas;  // those read besides `schema`, dropped at the end
    sql::migration plan;
    sql::diagnostics applied;
    bool checked = true;  // the apply reflects the database before and after the steps
    std::vector<std::pair<ky::string, ky::string>> renames;  // those the migration is told of
    PGconn* conn = nullptr;

    void SetUp() override {
        KY_REQUIRE_PG();
        schema = pgServer::freshSchema();
        conn = PQconnectdb(pgServer::conninfo().c_str());
    }
    void TearDown() override {
        for (const std::string& other : schemas) pgServer::run("DROP SCHEMA IF EXISTS " + other + " CASCADE");
        if (conn) PQfinish(conn);
    }

    // The test's schema and those of `schemas` that exist now.
    sql::reflectOptions read() const {
        sql::reflectOptions options;
        options.schemas = {ky::string::fromUtf8(schema)};
        for (const std::string& other : schemas)
            if (query("SELECT count(*) FROM pg_namespace WHERE nspname = '" + other + "'") == "1")
                options.schemas.push_back(ky::string::fromUtf8(other));
        return options;
    }

    ky::refPtr<modelInfo> reflect() const {
        sql::reflectResult r = sql::reflectPostgresql(conn, read());
        EXPECT_TRUE(r.model) << describeAll(r.problems);
        return r.model;
    }

    void reset() {
        std::string sql = "DROP SCHEMA " + schema + " CASCADE; CREATE SCHEMA " + schema + ";";
        for (const std::string& other : schemas) sql += "DROP SCHEMA IF EXISTS " + other + " CASCADE;";
        pgServer::run(sql);
    }

    // Makes the new schema and reads it, replaces it by the old one with its
    // rows, plans and applies the migration with both models checked.
    void migrate(const std::string& oldSql, const std::string& rows, const std::string& newSql) {
        pgServer::run("SET search_path = " + schema + "; " + newSql);
        const ky::refPtr<modelInfo> after = reflect();
        reset();
        pgServer::run("SET search_path = " + schema + "; " + oldSql + rows);
        const ky::refPtr<modelInfo> before = reflect();
        ASSERT_TRUE(before);
        ASSERT_TRUE(after);
        plan = sql::createMigration(*before, *after, {sql::ePostgresql, renames});
        ASSERT_FALSE(sql::hasErrors(plan.problems)) << describeAll(plan.problems);
        sql::applyOptions options;
        options.allowDestructive = true;
        if (checked) {
            options.planned = before.get();
            options.expected = after.get();
            options.reflect = read();
        }
        PGconn* session = PQconnectdb(pgServer::conninfo(schema).c_str());
        applied = sql::applyMigration(session, plan, options);
        PQfinish(session);
        EXPECT_TRUE(applied.empty()) << describeAll(applied) << "\n" << plan.sql();
        const ky::refPtr<modelInfo> migrated = reflect();
        ASSERT_TRUE(migrated);
        const sql::migration again = sql::createMigration(*after, *migrated, {sql::ePostgresql, {}});
        EXPECT_TRUE(again.steps.empty()) << again.sql() << "\nafter:\n" << plan.sql();
    }

    std::string query(const std::string& sql) const { return pgRows(conn, schema, sql); }
};

// ---- domains ----

TEST_F(PgObjects, DomainDefaultNotNullAndChecksChangeInPlace) {
    migrate("CREATE DOMAIN qty AS integer DEFAULT 1 CONSTRAINT qty_small CHECK (VALUE < 100);"
            "CREATE DOMAIN code AS text NOT NULL;"
            "CREATE TABLE t (id integer PRIMARY KEY, q qty, c code);",
            "INSERT INTO t VALUES (1, 5, 'a'), (2, 99, 'b');",
            "CREATE DOMAIN qty AS integer NOT NULL DEFAULT 2 CONSTRAINT qty_positive CHECK (VALUE > 0);"
            "CREATE DOMAIN code AS text CHECK (VALUE <> '');"
            "CREATE TABLE t (id integer PRIMARY KEY, q qty, c code);");
    EXPECT_EQ(query("SELECT id, q, c FROM t ORDER BY id"), "1|5|a;2|99|b");
    EXPECT_FALSE(hasKind(plan, sql::eStepDropObject));
    EXPECT_FALSE(warns(plan, "sql.migrate.irreversible"));
    EXPECT_EQ(query("INSERT INTO t (id, c) VALUES (3, 'c') RETURNING q"), "2");
}

TEST_F(PgObjects, DomainWithANewBaseTypeIsMadeAgainAndItsColumnsCast) {
    migrate("CREATE DOMAIN label AS varchar(10) DEFAULT 'x';"
            "CREATE TABLE t (id integer PRIMARY KEY, l label DEFAULT 'y');"
            "CREATE VIEW v AS SELECT id, l FROM t;",
            "INSERT INTO t VALUES (1, 'short'), (2, NULL);",
            "CREATE DOMAIN label AS text DEFAULT 'x';"
            "CREATE TABLE t (id integer PRIMARY KEY, l label DEFAULT 'y');"
            "CREATE VIEW v AS SELECT id, l FROM t;");
    EXPECT_EQ(query("SELECT id, l FROM t ORDER BY id"), "1|short;2|NULL");
    EXPECT_EQ(query("SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid = 't'::regclass"
                    " AND attname = 'l'"),
              "label");
    EXPECT_FALSE(plan.destructive());
    EXPECT_EQ(query("SELECT count(*) FROM v"), "2");
}

TEST_F(PgObjects, DomainNarrowedIsDestructive) {
    migrate("CREATE DOMAIN n AS bigint; CREATE TABLE t (id integer PRIMARY KEY, v n);", "INSERT INTO t VALUES (1, 7);",
            "CREATE DOMAIN n AS smallint; CREATE TABLE t (id integer PRIMARY KEY, v n);");
    EXPECT_EQ(query("SELECT v FROM t"), "7");
    EXPECT_TRUE(plan.destructive());
}

// ---- sequences ----

TEST_F(PgObjects, SequenceOptionsChangeAndItKeepsItsPlace) {
    migrate("CREATE SEQUENCE s START WITH 5; CREATE SEQUENCE d AS integer INCREMENT BY -1;"
            "CREATE TABLE t (id integer PRIMARY KEY DEFAULT nextval('s'), e integer DEFAULT nextval('d'));",
            "INSERT INTO t DEFAULT VALUES; INSERT INTO t DEFAULT VALUES;",
            "CREATE SEQUENCE s AS integer INCREMENT BY 10 MINVALUE 1 MAXVALUE 100000 START WITH 5 CACHE 20 CYCLE;"
            "CREATE SEQUENCE d AS bigint INCREMENT BY -2 MINVALUE -500;"
            "CREATE TABLE t (id integer PRIMARY KEY DEFAULT nextval('s'), e integer DEFAULT nextval('d'));");
    EXPECT_EQ(query("SELECT id, e FROM t ORDER BY id"), "5|-1;6|-2");
    EXPECT_EQ(query("SELECT increment_by, max_value, cache_size, cycle FROM pg_sequences WHERE sequencename = 's'"
                    " AND schemaname = current_schema()"),
              "10|100000|20|t");
    // The sequence goes on from where it was.
    EXPECT_EQ(query("INSERT INTO t DEFAULT VALUES RETURNING id, e"), "16|-4");
    EXPECT_FALSE(warns(plan, "sql.migrate.irreversible"));
}

TEST_F(PgObjects, SequenceOwnedByAnotherColumnOutlivesTheDroppedOne) {
    migrate("CREATE SEQUENCE s; CREATE TABLE a (id integer PRIMARY KEY, n integer DEFAULT nextval('s'));"
            "CREATE TABLE b (id integer PRIMARY KEY, m integer); ALTER SEQUENCE s OWNED BY a.n;",
            "INSERT INTO a (id) VALUES (1), (2);",
            "CREATE SEQUENCE s; CREATE TABLE a (id integer PRIMARY KEY);"
            "CREATE TABLE b (id integer PRIMARY KEY, m integer DEFAULT nextval('s')); ALTER SEQUENCE s OWNED BY b.m;");
    EXPECT_EQ(query("INSERT INTO b (id) VALUES (1) RETURNING m"), "3");
    EXPECT_EQ(query("SELECT count(*) FROM a"), "2");
}

TEST_F(PgObjects, SequenceNoLongerOwnedIsLeftStanding) {
    migrate("CREATE SEQUENCE s; CREATE TABLE a (id integer PRIMARY KEY, n integer DEFAULT nextval('s'));"
            "ALTER SEQUENCE s OWNED BY a.n;",
            "INSERT INTO a (id) VALUES (1);",
            "CREATE SEQUENCE s; CREATE TABLE a (id integer PRIMARY KEY, n integer DEFAULT nextval('s'));");
    EXPECT_EQ(query("SELECT count(*) FROM pg_depend WHERE objid = 's'::regclass AND deptype = 'a'"), "0");
}

// ---- table options ----

TEST_F(PgObjects, PersistenceAndStorageParametersChangeInPlace) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY) WITH (fillfactor = 70, autovacuum_enabled = false);"
            "CREATE UNLOGGED TABLE c (id integer PRIMARY KEY, p integer REFERENCES p);"
            "CREATE TABLE q (id integer PRIMARY KEY);"
            "CREATE TABLE r (id integer PRIMARY KEY, q integer REFERENCES q);",
            "INSERT INTO p VALUES (1); INSERT INTO c VALUES (1, 1); INSERT INTO q VALUES (4); INSERT INTO r VALUES (5, 4);",
            "CREATE TABLE p (id integer PRIMARY KEY) WITH (fillfactor = 80, toast_tuple_target = 4096);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p);"
            "CREATE UNLOGGED TABLE q (id integer PRIMARY KEY);"
            "CREATE UNLOGGED TABLE r (id integer PRIMARY KEY, q integer REFERENCES q);");
    EXPECT_EQ(query("SELECT relname, relpersistence FROM pg_class WHERE relname IN ('c', 'q', 'r')"
                    " AND relnamespace = current_schema()::regnamespace ORDER BY 1"),
              "c|p;q|u;r|u");
    EXPECT_EQ(query("SELECT array_to_string(reloptions, ',') FROM pg_class WHERE relname = 'p'"
                    " AND relnamespace = current_schema()::regnamespace"),
              "fillfactor=80,toast_tuple_target=4096");
    EXPECT_EQ(query("SELECT c.id, r.id FROM c, r"), "1|5");
    EXPECT_FALSE(warns(plan, "sql.migrate.options"));
}

TEST_F(PgObjects, PartitioningThatChangesIsWarnedOfByTheTablesName) {
    pgServer::run("SET search_path = " + schema + "; CREATE TABLE m (id integer, k integer) PARTITION BY RANGE (id)");
    const ky::refPtr<modelInfo> before = reflect();
    reset();
    pgServer::run("SET search_path = " + schema + "; CREATE TABLE m (id integer, k integer) PARTITION BY RANGE (k)");
    const ky::refPtr<modelInfo> after = reflect();
    ASSERT_TRUE(before);
    ASSERT_TRUE(after);
    plan = sql::createMigration(*before, *after, {sql::ePostgresql, {}});
    ASSERT_TRUE(warns(plan, "sql.migrate.options"));
    const auto it = std::find_if(plan.problems.begin(), plan.problems.end(),
                                 [](const sql::diagnostic& d) { return d.code.toUtf8() == "sql.migrate.options"; });
    EXPECT_NE(it->message.find(L"m"), ky::string::npos);
    EXPECT_EQ(it->element, ky::string::fromUtf8(schema + ".m"));
}

// ---- schemas ----

TEST_F(PgObjects, SchemaGoneIsDroppedAfterItsObjectsAndANewOneMadeBeforeThem) {
    const std::string gone = schema + "_gone", fresh = schema + "_new";
    schemas = {gone, fresh};
    checked = false;  // the schemas read differ before and after
    migrate("CREATE SCHEMA " + gone + "; CREATE TYPE " + gone + ".kind AS ENUM ('a', 'b');"
            "CREATE TABLE " + gone + ".old (id integer PRIMARY KEY, k " + gone + ".kind);"
            "CREATE TABLE t (id integer PRIMARY KEY, k " + gone + ".kind);",
            "INSERT INTO t VALUES (1, 'a');",
            "CREATE SCHEMA " + fresh + "; CREATE TYPE " + fresh + ".level AS ENUM ('x');"
            "CREATE TABLE " + fresh + ".made (id integer PRIMARY KEY, l " + fresh + ".level);"
            "CREATE TABLE t (id integer PRIMARY KEY);");
    EXPECT_EQ(query("SELECT count(*) FROM pg_namespace WHERE nspname = '" + gone + "'"), "0");
    EXPECT_EQ(query("SELECT count(*) FROM " + fresh + ".made"), "0");
    EXPECT_EQ(query("SELECT id FROM t"), "1");
    ASSERT_TRUE(hasKind(plan, sql::eStepDropSchema));
    EXPECT_EQ(plan.steps.back().kind, sql::eStepDropSchema);
    const auto first = std::find_if(plan.steps.begin(), plan.steps.end(), [&](const sql::migrationStep& step) {
        return step.kind != sql::eStepCreateSchema && step.statements[0].find(fresh) != std::string::npos;
    });
    ASSERT_NE(first, plan.steps.end());
    EXPECT_TRUE(std::any_of(plan.steps.begin(), first,
                            [](const sql::migrationStep& step) { return step.kind == sql::eStepCreateSchema; }));
}

TEST_F(PgObjects, SchemaHoldingWhatTheModelDoesNotKnowIsNotDroppedAndNothingChanges) {
    const std::string gone = schema + "_gone";
    schemas = {gone};
    pgServer::run("SET search_path = " + schema + "; CREATE TABLE t (id integer PRIMARY KEY)");
    const ky::refPtr<modelInfo> after = reflect();
    reset();
    pgServer::run("CREATE SCHEMA " + gone + "; CREATE TABLE " + gone + ".old (id integer); SET search_path = " + schema +
                  "; CREATE TABLE t (id integer PRIMARY KEY)");
    const ky::refPtr<modelInfo> before = reflect();
    ASSERT_TRUE(before);
    ASSERT_TRUE(after);
    plan = sql::createMigration(*before, *after, {sql::ePostgresql, {}});
    // An object the model does not carry keeps the schema: RESTRICT refuses, the migration is rolled back.
    pgServer::run("CREATE FUNCTION " + gone + ".f() RETURNS integer LANGUAGE sql AS 'SELECT 1'");
    sql::applyOptions options;
    options.allowDestructive = true;
    PGconn* session = PQconnectdb(pgServer::conninfo(schema).c_str());
    applied = sql::applyMigration(session, plan, options);
    PQfinish(session);
    ASSERT_TRUE(sql::hasErrors(applied));
    EXPECT_EQ(applied.front().code.toUtf8(), "sql.apply.statement");
    EXPECT_EQ(query("SELECT count(*) FROM " + gone + ".old"), "0");
}

// ---- enum values used where they are added ----

TEST_F(PgObjects, EnumValueAddedAndUsedAsADefaultInACheckAndByACast) {
    migrate("CREATE TYPE mood AS ENUM ('sad', 'ok');"
            "CREATE TABLE t (id integer PRIMARY KEY, m mood DEFAULT 'ok' CONSTRAINT m_kept CHECK (m <> 'ok' OR id > 0),"
            " word text);"
            "CREATE VIEW v AS SELECT id, m FROM t;",
            "INSERT INTO t VALUES (1, 'sad', 'happy'), (2, 'ok', 'sad');",
            "CREATE TYPE mood AS ENUM ('sad', 'ok', 'happy');"
            "CREATE TABLE t (id integer PRIMARY KEY, m mood DEFAULT 'happy' CONSTRAINT m_not_happy CHECK (m <> 'happy'),"
            " word mood, CONSTRAINT m_kept CHECK (m <> 'ok' OR id > 0));"
            "CREATE VIEW v AS SELECT id, m FROM t;");
    EXPECT_EQ(query("SELECT id, m, word FROM t ORDER BY id"), "1|sad|happy;2|ok|sad");
    EXPECT_NE(plan.sql().find("DROP CONSTRAINT m_kept"), std::string::npos) << plan.sql();
    // Every old value stays: the type made again loses nothing (the cast of word from text may).
    const auto rebuilt = std::find_if(plan.steps.begin(), plan.steps.end(),
                                      [](const sql::migrationStep& step) { return step.kind == sql::eStepCreateObject; });
    ASSERT_NE(rebuilt, plan.steps.end());
    EXPECT_FALSE(rebuilt->destructive);
    EXPECT_EQ(query("SELECT string_agg(enumlabel, ',' ORDER BY enumsortorder) FROM pg_enum e JOIN pg_type t"
                    " ON t.oid = e.enumtypid WHERE t.typname = 'mood' AND t.typnamespace = current_schema()::regnamespace"),
              "sad,ok,happy");
    EXPECT_EQ(query("SELECT count(*) FROM v"), "2");
}

TEST_F(PgObjects, EnumValueAddedAndHeldByAColumnCastToTheType) {
    migrate("CREATE TYPE mood AS ENUM ('sad'); CREATE TABLE t (id integer PRIMARY KEY, m mood, word text);",
            "INSERT INTO t VALUES (1, 'sad', 'glad'), (2, NULL, 'sad');",
            "CREATE TYPE mood AS ENUM ('sad', 'glad'); CREATE TABLE t (id integer PRIMARY KEY, m mood, word mood);");
    EXPECT_EQ(query("SELECT id, m, word FROM t ORDER BY id"), "1|sad|glad;2|NULL|sad");
    EXPECT_EQ(plan.sql().find("ADD VALUE"), std::string::npos) << plan.sql();
}

TEST_F(PgObjects, EnumValueAddedAndUnusedIsAddedInPlace) {
    migrate("CREATE TYPE mood AS ENUM ('sad'); CREATE TABLE t (id integer PRIMARY KEY, m mood);",
            "INSERT INTO t VALUES (1, 'sad');",
            "CREATE TYPE mood AS ENUM ('sad', 'happy'); CREATE TABLE t (id integer PRIMARY KEY, m mood);");
    ASSERT_EQ(plan.steps.size(), 1u);
    EXPECT_NE(plan.steps[0].statements[0].find("ADD VALUE 'happy'"), std::string::npos);
    EXPECT_EQ(query("SELECT m FROM t"), "sad");
}

TEST_F(PgObjects, EnumMadeAgainWhileAColumnOfItIsDropped) {
    migrate("CREATE TYPE mood AS ENUM ('sad', 'ok', 'happy');"
            "CREATE TABLE t (id integer PRIMARY KEY, m mood, old mood NOT NULL DEFAULT 'happy');",
            "INSERT INTO t VALUES (1, 'sad', 'happy'), (2, 'ok', 'sad');",
            "CREATE TYPE mood AS ENUM ('sad', 'ok'); CREATE TABLE t (id integer PRIMARY KEY, m mood);");
    EXPECT_EQ(query("SELECT id, m FROM t ORDER BY id"), "1|sad;2|ok");
    EXPECT_TRUE(plan.destructive());
}

// ---- foreign keys towards a key that changes ----

TEST_F(PgObjects, ForeignKeysTowardsAChangedUniqueAreDroppedAndAddedAgain) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text CONSTRAINT p_code_key UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, code text REFERENCES p (code) ON DELETE CASCADE);",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 'a'), (11, 'b');",
            "CREATE TABLE p (id integer PRIMARY KEY, code text, CONSTRAINT p_code_key UNIQUE NULLS NOT DISTINCT (code));"
            "CREATE TABLE c (id integer PRIMARY KEY, code text REFERENCES p (code) ON DELETE CASCADE);");
    EXPECT_EQ(query("SELECT id, code FROM c ORDER BY id"), "10|a;11|b");
    EXPECT_TRUE(hasKind(plan, sql::eStepDropForeignKey)) << plan.sql();
    EXPECT_EQ(query("DELETE FROM p WHERE id = 1; SELECT count(*) FROM c"), "1");
}

TEST_F(PgObjects, ForeignKeysTowardsAPrimaryKeyOnOtherColumnsAreDroppedAndAddedAgain) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text NOT NULL);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p (id));",
            "INSERT INTO p VALUES (1, '1'), (2, '2'); INSERT INTO c VALUES (10, 1), (11, 2);",
            "CREATE TABLE p (id integer NOT NULL, code text PRIMARY KEY);"
            "CREATE TABLE c (id integer PRIMARY KEY, p text REFERENCES p (code));");
    EXPECT_EQ(query("SELECT id, p FROM c ORDER BY id"), "10|1;11|2");
}

// A new table's key towards a unique or key the same migration gives an
// existing table: the key waits until its target is unique.
TEST_F(PgObjects, NewTablesKeyTowardsAUniqueConstraintAddedInTheSameMigration) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text, part integer);",
            "INSERT INTO p VALUES (1, 'a', 1), (2, 'b', 1);",
            "CREATE TABLE p (id integer PRIMARY KEY, code text, part integer, CONSTRAINT p_pair UNIQUE (code, part));"
            "CREATE TABLE c (id integer PRIMARY KEY, code text, part integer,"
            " FOREIGN KEY (code, part) REFERENCES p (code, part) ON DELETE CASCADE);");
    EXPECT_EQ(query("SELECT id, code FROM p ORDER BY id"), "1|a;2|b");
    EXPECT_EQ(query("INSERT INTO c VALUES (10, 'a', 1), (11, 'b', 1); DELETE FROM p WHERE id = 1; SELECT id FROM c"), "11");
}

TEST_F(PgObjects, NewTablesKeyTowardsAUniqueColumnAndAUniqueIndexAddedInTheSameMigration) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text, name text);",
            "INSERT INTO p VALUES (1, 'a', 'x'), (2, 'b', 'y');",
            "CREATE TABLE p (id integer PRIMARY KEY, code text UNIQUE, name text);"
            "CREATE UNIQUE INDEX p_name ON p (name);"
            "CREATE TABLE c (id integer PRIMARY KEY, code text REFERENCES p (code), name text REFERENCES p (name));");
    EXPECT_EQ(query("SELECT id, code, name FROM p ORDER BY id"), "1|a|x;2|b|y");
    EXPECT_EQ(query("INSERT INTO c VALUES (10, 'a', 'y') RETURNING id"), "10");
    EXPECT_NE(query("INSERT INTO c VALUES (11, 'z', 'x')"), "");
}

TEST_F(PgObjects, NewTablesKeyTowardsAPrimaryKeyAddedInTheSameMigration) {
    migrate("CREATE TABLE p (id integer NOT NULL, name text);", "INSERT INTO p VALUES (1, 'a'), (2, 'b');",
            "CREATE TABLE p (id integer PRIMARY KEY, name text);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p);");
    EXPECT_EQ(query("SELECT id, name FROM p ORDER BY id"), "1|a;2|b");
    EXPECT_EQ(query("INSERT INTO c VALUES (10, 2) RETURNING p"), "2");
    EXPECT_NE(query("INSERT INTO c VALUES (11, 9)"), "");
}

// Keys no relation carries (a second key from the same columns, one
// towards a unique NULLS NOT DISTINCT) are table facts: they are dropped and
// added again around a change of their target's key or uniques as well.
TEST_F(PgObjects, ForeignKeysOfTableFactsTowardsAChangedKeyOrUniqueAreDroppedAndAddedAgain) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text, CONSTRAINT p_code_key UNIQUE NULLS NOT DISTINCT (code));"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p, code text,"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES p ON DELETE CASCADE,"
            " CONSTRAINT c_code FOREIGN KEY (code) REFERENCES p (code));",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 1, 'a'), (11, 2, 'b');",
            "CREATE TABLE p (id integer PRIMARY KEY, code text, CONSTRAINT p_code_nnd UNIQUE NULLS NOT DISTINCT (code));"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p, code text,"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES p ON DELETE CASCADE,"
            " CONSTRAINT c_code FOREIGN KEY (code) REFERENCES p (code));");
    EXPECT_EQ(query("SELECT id, p, code FROM c ORDER BY id"), "10|1|a;11|2|b");
    EXPECT_NE(plan.sql().find("DROP CONSTRAINT c_p_again"), std::string::npos) << plan.sql();
    EXPECT_NE(plan.sql().find("DROP CONSTRAINT c_code"), std::string::npos) << plan.sql();
    EXPECT_EQ(query("SELECT count(*) FROM pg_constraint WHERE conrelid = 'c'::regclass AND contype = 'f'"), "3");
}

TEST_F(PgObjects, ForeignKeysOfTableFactsTowardsAChangedPrimaryKeyAreDroppedAndAddedAgain) {
    // A target whose name is written quoted.
    migrate("CREATE TABLE \"par ent\" (id integer PRIMARY KEY, code text UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, p text REFERENCES \"par ent\" (code),"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES \"par ent\" (code));",
            "INSERT INTO \"par ent\" VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 'a'), (11, 'b');",
            "CREATE TABLE \"par ent\" (id integer UNIQUE, code text PRIMARY KEY);"
            "CREATE TABLE c (id integer PRIMARY KEY, p text REFERENCES \"par ent\" (code),"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES \"par ent\" (code));");
    EXPECT_EQ(query("SELECT id, p FROM c ORDER BY id"), "10|a;11|b");
    EXPECT_NE(query("INSERT INTO c VALUES (12, 'z')"), "");
    EXPECT_EQ(query("SELECT count(*) FROM pg_constraint WHERE conrelid = 'c'::regclass AND contype = 'f'"), "2");
}

// What is dropped before the tables change is dropped under the names the
// tables have then: a renamed table's keys and checks go before its rename.
TEST_F(PgObjects, RenamedTablesKeysAndChecksAreDroppedUnderItsOldName) {
    renames = {{L"c", L"d"}};
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text CONSTRAINT p_code_key UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, code text REFERENCES p (code), n integer CONSTRAINT c_n CHECK (n > 0),"
            " CONSTRAINT c_again FOREIGN KEY (code) REFERENCES p (code));",
            "INSERT INTO p VALUES (1, 'a'); INSERT INTO c VALUES (10, 'a', 2);",
            "CREATE TABLE p (id integer PRIMARY KEY, code text, CONSTRAINT p_code_key UNIQUE NULLS NOT DISTINCT (code));"
            "CREATE TABLE d (id integer PRIMARY KEY, code text REFERENCES p (code), n integer CONSTRAINT c_n CHECK (n > 1),"
            " CONSTRAINT c_again FOREIGN KEY (code) REFERENCES p (code));");
    EXPECT_EQ(query("SELECT id, code, n FROM d"), "10|a|2");
}

// A key column whose type changes takes the keys towards it along.
TEST_F(PgObjects, ForeignKeysTowardsAKeyColumnOfANewTypeAreValidAfterwards) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code integer UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p, code integer REFERENCES p (code),"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES p);",
            "INSERT INTO p VALUES (1, 5), (2, 6); INSERT INTO c VALUES (10, 1, 5), (11, 2, 6);",
            "CREATE TABLE p (id text PRIMARY KEY, code bigint UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, p text REFERENCES p, code integer REFERENCES p (code),"
            " CONSTRAINT c_p_again FOREIGN KEY (p) REFERENCES p);");
    EXPECT_EQ(query("SELECT id, p, code FROM c ORDER BY id"), "10|1|5;11|2|6");
    EXPECT_NE(query("INSERT INTO c VALUES (12, '9', 5)"), "");
    EXPECT_NE(query("INSERT INTO c VALUES (12, '1', 9)"), "");
}

}  // namespace

namespace {

int collectRow(void* out, int columns, char** values, char**) {
    std::string& text = *static_cast<std::string*>(out);
    if (!text.empty()) text += ";";
    for (int i = 0; i < columns; ++i) text += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
    return 0;
}

// The same on SQLite files, applied with foreign keys enforced.
class SqliteObjects : public ::testing::Test {
protected:
    std::string path;
    sql::migration plan;
    sql::diagnostics applied;

    static ky::refPtr<modelInfo> reflect(const std::string& file) {
        sql::reflectResult r = sql::reflectSqliteFile(file, {});
        EXPECT_TRUE(r.model) << describeAll(r.problems);
        return r.model;
    }

    void migrate(const std::string& oldSql, const std::string& rows, const std::string& newSql) {
        path = sqliteFileWith(oldSql + rows);
        const ky::refPtr<modelInfo> before = reflect(path), after = reflect(sqliteFileWith(newSql));
        ASSERT_TRUE(before);
        ASSERT_TRUE(after);
        plan = sql::createMigration(*before, *after, {sql::eSqlite, {}});
        ASSERT_FALSE(sql::hasErrors(plan.problems)) << describeAll(plan.problems);
        sql::applyOptions options;
        options.allowDestructive = true;
        options.planned = before.get();
        options.expected = after.get();
        {
            sqliteConnection db(path);
            db.run("PRAGMA foreign_keys=ON");
            applied = sql::applyMigration(db.db, plan, options);
        }
        EXPECT_TRUE(applied.empty()) << describeAll(applied) << "\n" << plan.sql();
        const ky::refPtr<modelInfo> migrated = reflect(path);
        ASSERT_TRUE(migrated);
        EXPECT_TRUE(sql::createMigration(*after, *migrated, {sql::eSqlite, {}}).steps.empty());
    }

    std::string query(const std::string& sql) const {
        sqliteConnection db(path);
        std::string out;
        sqlite3_exec(db.db, sql.c_str(), collectRow, &out, nullptr);
        return out;
    }
};

TEST_F(SqliteObjects, StrictAndWithoutRowidComeAndGoByARebuild) {
    migrate("CREATE TABLE a (id INTEGER PRIMARY KEY, v TEXT);"
            "CREATE TABLE b (k TEXT PRIMARY KEY, n INTEGER) WITHOUT ROWID;",
            "INSERT INTO a VALUES (1, 'x'), (2, NULL); INSERT INTO b VALUES ('p', 1), ('q', NULL);",
            "CREATE TABLE a (id INTEGER PRIMARY KEY, v TEXT) STRICT, WITHOUT ROWID;"
            "CREATE TABLE b (k TEXT PRIMARY KEY, n INTEGER);");
    EXPECT_EQ(query("SELECT id, v FROM a ORDER BY id"), "1|x;2|NULL");
    EXPECT_EQ(query("SELECT k, n FROM b ORDER BY k"), "p|1;q|NULL");
    EXPECT_EQ(query("SELECT name, strict, wr FROM pragma_table_list WHERE name IN ('a', 'b') ORDER BY name"),
              "a|1|1;b|0|0");
    EXPECT_TRUE(hasKind(plan, sql::eStepRebuildTable));
}

TEST_F(SqliteObjects, StrictRefusingARowRollsTheMigrationBack) {
    path = sqliteFileWith("CREATE TABLE a (id INTEGER PRIMARY KEY, n INTEGER); INSERT INTO a VALUES (1, 'not a number');");
    const ky::refPtr<modelInfo> before = reflect(path),
                                after = reflect(sqliteFileWith("CREATE TABLE a (id INTEGER PRIMARY KEY, n INTEGER) STRICT;"));
    ASSERT_TRUE(before);
    ASSERT_TRUE(after);
    plan = sql::createMigration(*before, *after, {sql::eSqlite, {}});
    {
        sqliteConnection db(path);
        applied = sql::applyMigration(db.db, plan, {});
    }
    ASSERT_TRUE(sql::hasErrors(applied));
    EXPECT_EQ(applied.front().code.toUtf8(), "sql.apply.statement");
    EXPECT_EQ(query("SELECT id, n, strict FROM a, pragma_table_list WHERE name = 'a'"), "1|not a number|0");
}

TEST_F(SqliteObjects, ForeignKeysTowardsAPrimaryKeyOnOtherColumnsKeepTheirRows) {
    migrate("CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT NOT NULL);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id), note TEXT);",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 1, 'x'), (11, 2, 'y');",
            "CREATE TABLE p (id INTEGER NOT NULL UNIQUE, code TEXT PRIMARY KEY);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id), note TEXT);");
    EXPECT_EQ(query("SELECT c.id, p.code FROM c JOIN p ON p.id = c.p ORDER BY c.id"), "10|a;11|b");
    EXPECT_EQ(query("PRAGMA foreign_key_check"), "");
    // The key still holds: a child of no parent is refused.
    sqliteConnection db(path);
    db.run("PRAGMA foreign_keys=ON");
    EXPECT_NE(sqlite3_exec(db.db, "INSERT INTO c VALUES (12, 9, 'z')", nullptr, nullptr, nullptr), SQLITE_OK);
}

TEST_F(SqliteObjects, ForeignKeysMovedToANewKeyAreRebuiltWithTheirTable) {
    migrate("CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT NOT NULL);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id));",
            "INSERT INTO p VALUES (1, '1'), (2, '2'); INSERT INTO c VALUES (10, 1), (11, 2);",
            "CREATE TABLE p (id INTEGER NOT NULL, code TEXT PRIMARY KEY);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p TEXT REFERENCES p (code));");
    EXPECT_EQ(query("SELECT c.id, p.id FROM c JOIN p ON p.code = c.p ORDER BY c.id"), "10|1;11|2");
    EXPECT_EQ(query("PRAGMA foreign_key_check"), "");
}

// SQLite checks a foreign key's target when a row is written, not when the
// table is made: a new table may point at a unique its target gains in the
// same migration, by a rebuild or by a new unique index.
TEST_F(SqliteObjects, NewTablesKeyTowardsAUniqueAddedInTheSameMigration) {
    migrate("CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT); CREATE TABLE q (id INTEGER PRIMARY KEY, name TEXT);",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO q VALUES (1, 'x');",
            "CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT UNIQUE); CREATE TABLE q (id INTEGER PRIMARY KEY, name TEXT);"
            "CREATE UNIQUE INDEX q_name ON q (name);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, code TEXT REFERENCES p (code), name TEXT REFERENCES q (name));");
    EXPECT_EQ(query("SELECT id, code FROM p ORDER BY id"), "1|a;2|b");
    sqliteConnection db(path);
    db.run("PRAGMA foreign_keys=ON");
    EXPECT_EQ(sqlite3_exec(db.db, "INSERT INTO c VALUES (10, 'b', 'x')", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db.db, "INSERT INTO c VALUES (11, 'z', 'x')", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db.db, "INSERT INTO c VALUES (12, 'a', 'z')", nullptr, nullptr, nullptr), SQLITE_OK);
}

// A key of a table fact (a second one from the same columns) towards a
// table rebuilt under it still names the table made again, and holds.
TEST_F(SqliteObjects, ForeignKeysOfTableFactsTowardsARebuiltTableHold) {
    migrate("CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id),"
            " CONSTRAINT c_again FOREIGN KEY (p) REFERENCES p (id) ON DELETE CASCADE);",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 1), (11, 2);",
            "CREATE TABLE p (id INTEGER PRIMARY KEY, code TEXT UNIQUE NOT NULL DEFAULT '');"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id),"
            " CONSTRAINT c_again FOREIGN KEY (p) REFERENCES p (id) ON DELETE CASCADE);");
    EXPECT_TRUE(hasKind(plan, sql::eStepRebuildTable));
    EXPECT_EQ(query("SELECT id, p FROM c ORDER BY id"), "10|1;11|2");
    EXPECT_EQ(query("SELECT count(*) FROM pragma_foreign_key_list('c') WHERE \"table\" = 'p'"), "2");
    EXPECT_EQ(query("PRAGMA foreign_key_check"), "");
    sqliteConnection db(path);
    db.run("PRAGMA foreign_keys=ON");
    EXPECT_NE(sqlite3_exec(db.db, "INSERT INTO c VALUES (12, 9)", nullptr, nullptr, nullptr), SQLITE_OK);
    db.run("DELETE FROM p WHERE id = 1");
    EXPECT_EQ(query("SELECT id FROM c"), "11");
}

}  // namespace
