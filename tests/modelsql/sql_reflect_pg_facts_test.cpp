// The table facts a PostgreSQL reflection reads beyond the metamodel's own
// places, checked on the reflected model's user properties: schemas, the
// types, domains and sequences columns need, partitions, views, triggers,
// extensions, constraints and indexes; what is left out is named; and bad
// names and a server that goes away mid-read.
#include <algorithm>
#include <chrono>
#include <thread>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class PgReflectFacts : public reflectTest {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }

    // Reflects a new schema made by `ddl` (run with the schema first on the
    // search path); `schema` names it in the expected texts.
    ky::refPtr<modelInfo> reflect(const std::string& ddl) {
        schema = pgServer::freshSchema();
        pgServer::run("SET search_path = " + schema + "; " + ddl);
        options.schemas = {ky::string::fromUtf8(schema)};
        result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }

    // A new database of its own, for what one database holds once (an
    // extension) or for reading every schema; answers its connection string.
    static std::string freshDatabase(const std::string& sql) {
        static int counter = 0;
        const std::string name = "facts" + std::to_string(++counter);
        pgServer::run("CREATE DATABASE " + name);
        const std::string conninfo = pgServer::conninfo() + " dbname=" + name;
        PGconn* conn = PQconnectdb(conninfo.c_str());
        PGresult* done = PQexec(conn, sql.c_str());
        EXPECT_EQ(PQresultStatus(done), PGRES_COMMAND_OK) << PQerrorMessage(conn);
        PQclear(done);
        PQfinish(conn);
        return conninfo;
    }

    // A user property of a class, "<missing>" when it has none.
    std::string classProperty(const wchar_t* cls, const wchar_t* key) {
        ky::refPtr<classInfo> info = result.model ? result.model->classInfo(cls, false) : ky::refPtr<classInfo>();
        ky::string text;
        if (!info || !info->getUserProperty(key, text, false)) return "<missing>";
        return text.toUtf8();
    }

    // A user property of a field, "<missing>" when it has none.
    std::string fieldProperty(const wchar_t* cls, const wchar_t* field, const wchar_t* key) {
        ky::refPtr<fieldInfo> info = fieldOf(cls, field);
        ky::string text;
        if (!info || !info->getUserProperty(key, text, false)) return "<missing>";
        return text.toUtf8();
    }

    std::string schema;
};

}  // namespace

TEST_F(PgReflectFacts, TablesOfOneNameInTwoSchemasStayTwoClasses) {
    const std::string other = pgServer::freshSchema();
    reflect("CREATE TABLE item (a int); CREATE TABLE " + other + ".item (b int);");
    options.schemas.push_back(ky::string::fromUtf8(other));
    result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    ASSERT_TRUE(result.model) << describeAll(result.problems);
    // The schema first in name order keeps the name.
    const std::string first = std::min(schema, other, [](const auto& a, const auto& b) { return a < b; });
    const std::string second = first == schema ? other : schema;
    const ky::string renamed = ky::string::fromUtf8(second + "_item");
    EXPECT_EQ(classProperty(L"item", L"sql.schema"), first);
    EXPECT_EQ(classProperty(renamed.c_str(), L"sql.schema"), second);
    EXPECT_EQ(classProperty(renamed.c_str(), L"sql.table"), "item");
}

// PostgreSQL tells "Order" from order; a model that folds names cannot.
TEST_F(PgReflectFacts, NamesWithCapitalsAreWarnedOfWhenTheModelFoldsNames) {
    reflect("CREATE TABLE \"Order\" (id int, \"CustomerId\" int); CREATE TABLE line (\"Qty\" int); "
            "CREATE TABLE plain (id int)");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.case"), 2);
    const auto warned = std::find_if(result.problems.begin(), result.problems.end(),
                                     [](const sql::diagnostic& d) { return d.code == L"sql.reflect.case"; });
    ASSERT_NE(warned, result.problems.end());
    EXPECT_EQ(warned->table, L"Order");
    EXPECT_NE(warned->message.find(L"(its own, \"CustomerId\")"), ky::string::npos) << warned->message.toUtf8();
    options.caseSensitiveNames = true;
    reflect("CREATE TABLE \"Order\" (id int)");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.case"), 0);
}

TEST_F(PgReflectFacts, EveryUserSchemaIsReadWhenNoneIsNamed) {
    const std::string conninfo =
        freshDatabase("CREATE SCHEMA app; CREATE TABLE app.a (x int); CREATE TABLE public.b (y int);");
    result = sql::reflectPostgresqlDatabase(conninfo, options);
    ASSERT_TRUE(result.model) << describeAll(result.problems);
    EXPECT_EQ(result.model->countClasses(), 2u);
    EXPECT_EQ(classProperty(L"a", L"sql.schema"), "app");
    EXPECT_EQ(classProperty(L"b", L"sql.schema"), "<missing>");
}

TEST_F(PgReflectFacts, EnumAndDomainAreCreatedBeforeTheTable) {
    reflect("CREATE TYPE mood AS ENUM ('sad', 'it''s ok');"
            "CREATE DOMAIN year AS integer DEFAULT 2000 NOT NULL CONSTRAINT year_check CHECK (VALUE > 1900);"
            "CREATE TABLE t (m mood, y year, ms mood[]);");
    EXPECT_EQ(fieldProperty(L"t", L"m", L"postgresql.type"), schema + ".mood");
    EXPECT_EQ(fieldProperty(L"t", L"m", L"postgresql.before"),
              "CREATE TYPE " + schema + ".mood AS ENUM ('sad', 'it''s ok');\n");
    EXPECT_EQ(fieldProperty(L"t", L"y", L"postgresql.before"),
              "CREATE DOMAIN " + schema +
                  ".year AS integer DEFAULT 2000 NOT NULL CONSTRAINT year_check CHECK ((VALUE > 1900));\n");
    // An array of an enum needs the enum too.
    EXPECT_EQ(fieldProperty(L"t", L"ms", L"postgresql.before"), fieldProperty(L"t", L"m", L"postgresql.before"));
}

TEST_F(PgReflectFacts, SerialAndIdentityKeepTheirSequences) {
    reflect("CREATE TABLE t (id serial, n bigint GENERATED BY DEFAULT AS IDENTITY (START WITH 10 INCREMENT BY 5),"
            "  g int GENERATED ALWAYS AS IDENTITY, twice int GENERATED ALWAYS AS (id * 2) STORED);");
    EXPECT_EQ(fieldProperty(L"t", L"id", L"postgresql.default"), "nextval('" + schema + ".t_id_seq'::regclass)");
    EXPECT_EQ(fieldProperty(L"t", L"id", L"postgresql.before"),
              "CREATE SEQUENCE " + schema + ".t_id_seq AS integer;\n");
    EXPECT_EQ(fieldProperty(L"t", L"id", L"postgresql.after"),
              "ALTER SEQUENCE " + schema + ".t_id_seq OWNED BY " + schema + ".t.id;\n");
    EXPECT_EQ(fieldProperty(L"t", L"n", L"postgresql.identity"),
              "GENERATED BY DEFAULT AS IDENTITY (INCREMENT BY 5 START WITH 10)");
    EXPECT_EQ(fieldProperty(L"t", L"g", L"postgresql.identity"), "GENERATED ALWAYS AS IDENTITY");
    EXPECT_EQ(fieldProperty(L"t", L"twice", L"postgresql.generated"), "GENERATED ALWAYS AS ((id * 2)) STORED");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.not-carried"), 0) << describeAll(result.problems);
}

TEST_F(PgReflectFacts, PartitionsInAnotherSchemaAreStatementsOfTheirTable) {
    const std::string other = pgServer::freshSchema();
    reflect("CREATE TABLE t (k int, d date, PRIMARY KEY (k, d)) PARTITION BY RANGE (d);"
            "CREATE TABLE " + other + ".t2024 PARTITION OF t FOR VALUES FROM ('2024-01-01') TO ('2025-01-01') "
            "  PARTITION BY HASH (k);"
            "CREATE TABLE " + other + ".t2024a PARTITION OF " + other + ".t2024 FOR VALUES WITH (MODULUS 2, REMAINDER 0);"
            "CREATE TABLE " + other + ".t_rest PARTITION OF t DEFAULT;"
            "CREATE INDEX t_rest_k ON " + other + ".t_rest (k);");
    EXPECT_EQ(result.model->countClasses(), 1u);
    EXPECT_EQ(classProperty(L"t", L"postgresql.options"), "PARTITION BY RANGE (d)");
    EXPECT_EQ(classProperty(L"t", L"postgresql.before"), "CREATE SCHEMA IF NOT EXISTS " + other + ";\n");
    const std::string t = schema + ".t";
    EXPECT_EQ(classProperty(L"t", L"postgresql.after"),
              "CREATE TABLE " + other + ".t2024 PARTITION OF " + t +
                  " FOR VALUES FROM ('2024-01-01') TO ('2025-01-01') PARTITION BY HASH (k);\n"
                  "CREATE TABLE " + other + ".t2024a PARTITION OF " + other +
                  ".t2024 FOR VALUES WITH (modulus 2, remainder 0);\n"
                  "CREATE TABLE " + other + ".t_rest PARTITION OF " + t + " DEFAULT;\n"
                  "CREATE INDEX t_rest_k ON " + other + ".t_rest USING btree (k);\n");
    EXPECT_EQ(result.summary.tables, 1u);
}

TEST_F(PgReflectFacts, ViewOverAViewFollowsIt) {
    ky::refPtr<modelInfo> model = reflect("CREATE VIEW v2 AS SELECT 1 AS one;"  // replaced below: made first
                                          "CREATE TABLE t (a int);"
                                          "CREATE VIEW v1 AS SELECT a FROM t;"
                                          "CREATE OR REPLACE VIEW v2 AS SELECT a AS one FROM v1;"
                                          "CREATE MATERIALIZED VIEW m AS SELECT one FROM v2;");
    ASSERT_TRUE(model);
    std::vector<std::string> order;
    for (auto it = model->classes_begin(); it != model->classes_end(); ++it)
        order.push_back((*it)->scName().string().toUtf8());
    EXPECT_EQ(order, (std::vector<std::string>{"t", "v1", "v2", "m"}));
    EXPECT_EQ(classProperty(L"v2", L"sql.kind"), "view");
    EXPECT_EQ(classProperty(L"m", L"sql.kind"), "materialized view");
    EXPECT_EQ(classProperty(L"v1", L"postgresql.view"),
              "CREATE VIEW " + schema + ".v1 AS SELECT t.a\n   FROM " + schema + ".t");
    EXPECT_EQ(result.summary.views, 3u);
}

TEST_F(PgReflectFacts, ViewCallingAnAggregateNeedsItAndItsFunction) {
    reflect("CREATE FUNCTION glue(text, text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT $1 || $2';"
            "CREATE AGGREGATE joined(text) (SFUNC = glue, STYPE = text, INITCOND = '');"
            "CREATE TABLE t (a text); CREATE VIEW v AS SELECT joined(a) AS j FROM t;");
    const std::string before = classProperty(L"v", L"postgresql.before");
    const std::string aggregate =
        "CREATE AGGREGATE " + schema + ".joined(text) (SFUNC = " + schema + ".glue, STYPE = text, INITCOND = '');\n";
    EXPECT_NE(before.find("CREATE OR REPLACE FUNCTION " + schema + ".glue(text, text)"), std::string::npos) << before;
    ASSERT_GE(before.size(), aggregate.size());
    EXPECT_EQ(before.substr(before.size() - aggregate.size()), aggregate);
}

TEST_F(PgReflectFacts, TriggerComesWithItsFunction) {
    reflect("CREATE TABLE t (a int, at timestamptz);"
            "CREATE FUNCTION stamp() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN NEW.at := now(); RETURN NEW; END$$;"
            "CREATE TRIGGER t_stamp BEFORE INSERT ON t FOR EACH ROW EXECUTE FUNCTION stamp();"
            "ALTER TABLE t DISABLE TRIGGER t_stamp;");
    EXPECT_EQ(classProperty(L"t", L"postgresql.after"),
              "CREATE TRIGGER t_stamp BEFORE INSERT ON " + schema + ".t FOR EACH ROW EXECUTE FUNCTION " + schema +
                  ".stamp();\nALTER TABLE " + schema + ".t DISABLE TRIGGER t_stamp;\n");
    EXPECT_EQ(classProperty(L"t", L"postgresql.before"),
              "CREATE OR REPLACE FUNCTION " + schema + ".stamp()\n RETURNS trigger\n LANGUAGE plpgsql\n"
              "AS $function$BEGIN NEW.at := now(); RETURN NEW; END$function$;\n");
}

TEST_F(PgReflectFacts, IndexWithAnExtensionsOperatorClassNeedsTheExtension) {
    const std::string conninfo = freshDatabase(
        "CREATE SCHEMA ext; CREATE EXTENSION pg_trgm WITH SCHEMA ext;"
        "CREATE TABLE t (name text, code text COLLATE \"C\");"
        "CREATE INDEX t_name_trgm ON t USING gin (name ext.gin_trgm_ops); CREATE INDEX t_code ON t (code);");
    options.schemas = {L"public"};
    result = sql::reflectPostgresqlDatabase(conninfo, options);
    ASSERT_TRUE(result.model) << describeAll(result.problems);
    EXPECT_EQ(classProperty(L"t", L"postgresql.before"), "CREATE EXTENSION IF NOT EXISTS pg_trgm WITH SCHEMA ext;\n");
    EXPECT_EQ(classProperty(L"t", L"postgresql.index.t_name_trgm"),
              "CREATE INDEX t_name_trgm ON public.t USING gin (name ext.gin_trgm_ops)");
    // An index in the column's own collation is plain.
    EXPECT_EQ(classProperty(L"t", L"sql.index.t_code"), "code");
    EXPECT_EQ(fieldProperty(L"t", L"code", L"postgresql.collation"), "pg_catalog.\"C\"");
}

TEST_F(PgReflectFacts, ForeignKeyClausesUniquesChecksAndExclusions) {
    reflect("CREATE TABLE p (id int PRIMARY KEY, a int, b int, CONSTRAINT p_ab UNIQUE (a, b),"
            "  CONSTRAINT p_b UNIQUE NULLS NOT DISTINCT (b), CONSTRAINT positive CHECK (a > 0));"
            "CREATE TABLE c (pid int, during tsrange, CONSTRAINT no_overlap EXCLUDE USING gist (during WITH &&));"
            "ALTER TABLE c ADD CONSTRAINT c_p FOREIGN KEY (pid) REFERENCES p ON DELETE CASCADE "
            "  DEFERRABLE INITIALLY DEFERRED NOT VALID;"
            "CREATE UNIQUE INDEX p_a_live ON p (a) WHERE b IS NULL; CREATE INDEX p_ab_desc ON p (a DESC, b);");
    EXPECT_EQ(classProperty(L"c", L"sql.foreignKey.c_p"), "ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED NOT VALID");
    EXPECT_EQ(classProperty(L"p", L"sql.unique.p_ab"), "a\nb");
    EXPECT_EQ(classProperty(L"p", L"postgresql.unique.p_b"), "UNIQUE NULLS NOT DISTINCT (b)");
    EXPECT_EQ(classProperty(L"p", L"postgresql.unique.p_a_live"),
              "CREATE UNIQUE INDEX p_a_live ON " + schema + ".p USING btree (a) WHERE (b IS NULL)");
    EXPECT_EQ(classProperty(L"p", L"postgresql.index.p_ab_desc"),
              "CREATE INDEX p_ab_desc ON " + schema + ".p USING btree (a DESC, b)");
    EXPECT_EQ(classProperty(L"p", L"postgresql.check.positive"), "CHECK ((a > 0))");
    EXPECT_EQ(classProperty(L"c", L"postgresql.check.no_overlap"), "EXCLUDE USING gist (during WITH &&)");
    EXPECT_EQ(result.summary.checks, 2u);
    EXPECT_EQ(result.summary.indexes, 2u);
}

TEST_F(PgReflectFacts, WhatNoTableCarriesIsNamed) {
    reflect("CREATE TABLE t (a int); CREATE SEQUENCE lonely; CREATE TYPE unused AS ENUM ('x');"
            "CREATE FUNCTION helper() RETURNS int LANGUAGE sql AS 'SELECT 1';"
            "CREATE POLICY own ON t USING (a > 0); CREATE RULE quiet AS ON DELETE TO t DO INSTEAD NOTHING;");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.not-carried"), 5) << describeAll(result.problems);
    EXPECT_EQ(result.summary.notCarried, 5u);
    std::string all = describeAll(result.problems);
    for (const char* name : {"lonely", "unused", "helper()", "policy own", "rule quiet"})
        EXPECT_NE(all.find(name), std::string::npos) << name;
}

TEST_F(PgReflectFacts, NamesWithQuotesSemicolonsAndNonAsciiAreQuotedInStatements) {
    reflect("CREATE TYPE \"it's; \"\"ü\"\"\" AS ENUM ('a''b');"
            "CREATE TABLE \"Größe; x\" (\"id \"\"q\"\"\" serial, k \"it's; \"\"ü\"\"\");");
    const ky::string table = ky::string::fromUtf8("Größe; x");
    const ky::string id = ky::string::fromUtf8("id \"q\"");
    ASSERT_TRUE(fieldOf(table.c_str(), id.c_str()));
    const std::string quotedTable = schema + ".\"Größe; x\"";
    const std::string sequence = schema + ".\"Größe; x_id \"\"q\"\"_seq\"";
    EXPECT_EQ(fieldProperty(table.c_str(), id.c_str(), L"postgresql.after"),
              "ALTER SEQUENCE " + sequence + " OWNED BY " + quotedTable + ".\"id \"\"q\"\"\";\n");
    EXPECT_EQ(fieldProperty(table.c_str(), L"k", L"postgresql.before"),
              "CREATE TYPE " + schema + ".\"it's; \"\"ü\"\"\" AS ENUM ('a''b');\n");
}

TEST_F(PgReflectFacts, NameWithALineBreakIsAnErrorAndNoModel) {
    schema = pgServer::freshSchema();
    pgServer::run("CREATE TABLE " + schema + ".\"two\nlines\" (a int)");
    options.schemas = {ky::string::fromUtf8(schema)};
    result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(countCode(result.problems, "sql.reflect.name-character"), 1) << describeAll(result.problems);
}

// The reflection waits on a catalogue another session holds; its server
// process is ended meanwhile, as a server that stops would end it.
TEST_F(PgReflectFacts, ServerThatGoesAwayMidReadIsAnErrorAndNoModel) {
    reflect("CREATE TABLE t (a int);");
    PGconn* holder = PQconnectdb(pgServer::conninfo().c_str());
    PGresult* locked = PQexec(holder, "BEGIN; LOCK TABLE pg_catalog.pg_trigger IN ACCESS EXCLUSIVE MODE");
    ASSERT_EQ(PQresultStatus(locked), PGRES_COMMAND_OK) << PQerrorMessage(holder);
    PQclear(locked);
    PGconn* reflecting = PQconnectdb((pgServer::conninfo() + " application_name=reflecting").c_str());
    std::thread read([&] { result = sql::reflectPostgresql(reflecting, options); });
    PGconn* killer = PQconnectdb(pgServer::conninfo().c_str());
    int ended = 0;
    for (int tries = 0; tries < 200 && ended == 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        PGresult* killed = PQexec(killer,
                                  "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE application_name = 'reflecting' AND wait_event_type = 'Lock'");
        ended = PQntuples(killed);
        PQclear(killed);
    }
    read.join();
    PQclear(PQexec(holder, "ROLLBACK"));
    PQfinish(killer);
    PQfinish(holder);
    PQfinish(reflecting);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(countCode(result.problems, "sql.query"), 1) << describeAll(result.problems);
}
