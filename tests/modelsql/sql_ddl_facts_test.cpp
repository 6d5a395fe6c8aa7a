// DDL of the table facts a model carries as properties (docs/sql.md, "Table
// facts"): models built here with the properties, their DDL run on a real
// SQLite file and on the test PostgreSQL server, and what the database then
// holds read back or tried: the key takes rows, the check refuses one, the
// foreign key cascades, the index exists, the view answers, the partition
// takes a row. One group per kind of fact, then the facts of one dialect
// written for the other, then texts that are not what their key says.
#include <algorithm>
#include <memory>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class DdlFacts : public ::testing::Test {
protected:
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);

    ky::refPtr<classInfo> cls(const wchar_t* name) { return model->createClassInfo(name, false); }

    static ky::refPtr<fieldInfo> field(const ky::refPtr<classInfo>& c, const wchar_t* name, eFieldType type = eInt) {
        return c->createFieldInfo(name, type, ky::genericSet(), L"");
    }

    // A class with the int key "id" and int fields named by `others`.
    ky::refPtr<classInfo> keyed(const wchar_t* name, std::initializer_list<const wchar_t*> others = {}) {
        ky::refPtr<classInfo> c = cls(name);
        field(c, L"id")->setSemantic(eSemPrimkey, ky::genericSet(), L"");
        for (const wchar_t* other : others) field(c, other);
        return c;
    }

    template <class Element>
    static void set(const Element& element, const wchar_t* key, const std::wstring& value) {
        element->setUserProperty(key, ky::string(value), false);
    }

    sql::ddlResult ddl(sql::eDialect dialect) const {
        sql::ddlOptions options;
        options.dialect = dialect;
        return sql::createDdl(*model, options);
    }

    // The SQLite DDL run in a new file, whose path is answered.
    std::string sqliteDatabase() const {
        const sql::ddlResult result = ddl(sql::eSqlite);
        EXPECT_FALSE(sql::hasErrors(result.problems)) << describeAll(result.problems);
        const std::string path = freshPath("facts");
        EXPECT_EQ(describeAll(sql::executeDdlOnSqliteFile(path, result.text)), "") << result.text;
        return path;
    }

    // Chinook's PlaylistTrack as a model file gives it back: both key
    // columns are relation from-fields (which took them out of the key but
    // left them unique), and the key itself is the class's property.
    void makePlaylistTrack() {
        const ky::refPtr<classInfo> playlist = keyed(L"playlist"), track = keyed(L"track");
        const ky::refPtr<classInfo> pt = cls(L"playlisttrack");
        for (const wchar_t* name : {L"playlistid", L"trackid"})
            field(pt, name)->setSemantic(eSemPrimkey, ky::genericSet(), L"");
        pt->createRelation(L"playlistid", false, playlist, eRef, L"", L"");
        pt->createRelation(L"trackid", false, track, eRef, L"", L"");
        set(pt, L"sql.primaryKey", L"playlistid\ntrackid");
    }

    // Runs `sql` on the file with foreign keys enforced; the first column of
    // the last row it answers, or "error: " and SQLite's message.
    static std::string sqliteAsk(const std::string& path, const std::string& sql) {
        const sqliteConnection connection(path);
        std::string last;
        char* message = nullptr;
        const auto keep = [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "NULL";
            return 0;
        };
        if (sqlite3_exec(connection.db, ("PRAGMA foreign_keys = ON; " + sql).c_str(), keep, &last, &message) != SQLITE_OK) {
            last = std::string("error: ") + message;
            sqlite3_free(message);
        }
        return last;
    }
};

class PgDdlFacts : public DdlFacts {
protected:
    std::string schema;

    void SetUp() override {
        KY_REQUIRE_PG();
        schema = pgServer::freshSchema();
    }

    // The PostgreSQL DDL run in the test's schema.
    void pgCreate() const {
        const sql::ddlResult result = ddl(sql::ePostgresql);
        ASSERT_FALSE(sql::hasErrors(result.problems)) << describeAll(result.problems);
        ASSERT_EQ(describeAll(sql::executeDdlOnPostgresql(pgServer::conninfo(schema), result.text)), "") << result.text;
    }

    // The first cell of the last result of `sql`, or "error: " and the server's message.
    std::string pgAsk(const std::string& sql) const {
        const std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(pgServer::conninfo(schema).c_str()), &PQfinish);
        const std::unique_ptr<PGresult, void (*)(PGresult*)> res(PQexec(conn.get(), sql.c_str()), &PQclear);
        const ExecStatusType status = PQresultStatus(res.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            return std::string("error: ") + PQresultErrorMessage(res.get());
        return PQntuples(res.get()) > 0 ? PQgetvalue(res.get(), 0, 0) : "";
    }
};

}  // namespace

// ---- keys ----

TEST_F(DdlFacts, KeyColumnsThatAreForeignKeysKeepTheCompositeKeyAndAreNotUniqueAlone) {
    makePlaylistTrack();
    const std::string statement = ddl(sql::eSqlite).statements.back();
    EXPECT_NE(statement.find("PRIMARY KEY (playlistid, trackid)"), std::string::npos) << statement;
    EXPECT_EQ(statement.find("UNIQUE"), std::string::npos) << statement;
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO playlist VALUES (1); INSERT INTO track VALUES (1), (2);"
                            "INSERT INTO playlisttrack VALUES (1, 1), (1, 2)"), "");
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO playlisttrack VALUES (1, 1)"),
              "error: UNIQUE constraint failed: playlisttrack.playlistid, playlisttrack.trackid");
}

TEST_F(PgDdlFacts, KeyFactGivesTheKeyInItsOrderBesideTheForeignKeys) {
    makePlaylistTrack();
    set(model->classInfo(L"playlisttrack", false), L"sql.primaryKey", L"trackid\nplaylistid");
    pgCreate();
    EXPECT_EQ(pgAsk("SELECT pg_get_constraintdef(oid) FROM pg_constraint WHERE conrelid = 'playlisttrack'::regclass "
                    "AND contype = 'p'"),
              "PRIMARY KEY (trackid, playlistid)");
    EXPECT_EQ(pgAsk("SELECT count(*) FROM pg_constraint WHERE conrelid = 'playlisttrack'::regclass AND contype = 'f'"), "2");
    EXPECT_EQ(pgAsk("SELECT count(*) FROM pg_constraint WHERE conrelid = 'playlisttrack'::regclass AND contype = 'u'"), "0");
}

// ---- foreign keys ----

TEST_F(DdlFacts, ForeignKeyClausesCascadeADelete) {
    const ky::refPtr<classInfo> child = keyed(L"child", {L"pid"});
    child->createRelation(L"pid", false, keyed(L"parent"), eRef, L"", L"");
    set(child, L"sql.foreignKey.pid", L"ON DELETE CASCADE");
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO parent VALUES (1); INSERT INTO child VALUES (1, 1); DELETE FROM parent;"
                            "SELECT count(*) FROM child"), "0");
}

TEST_F(DdlFacts, ForeignKeyMayLeadToTheColumnsOfAUniqueFact) {
    const ky::refPtr<classInfo> parent = keyed(L"parent", {L"a", L"b"});
    set(parent, L"sql.unique.parent_a_b", L"a\nb");
    const ky::refPtr<classInfo> child = keyed(L"child", {L"pa", L"pb"});
    child->createRelation(L"pa", false, model->fieldInfo(L"parent", L"a", false), eRef, L"", L"")
        ->addFieldRelation(model->fieldInfo(L"child", L"pb", false), model->fieldInfo(L"parent", L"b", false));
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO parent VALUES (1, 1, 2); INSERT INTO child VALUES (1, 1, 3)"),
              "error: FOREIGN KEY constraint failed");
}

TEST_F(DdlFacts, SqliteWritesANotValidForeignKeyValidWithAWarning) {
    const ky::refPtr<classInfo> child = keyed(L"child", {L"pid"});
    child->createRelation(L"pid", false, keyed(L"parent"), eRef, L"", L"");
    set(child, L"sql.foreignKey.pid", L"ON UPDATE CASCADE NOT VALID");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_NE(result.text.find("REFERENCES parent (id) ON UPDATE CASCADE\n"), std::string::npos) << result.text;
    EXPECT_EQ(countCode(result.problems, "sql.ddl.not-carried"), 1);
}

TEST_F(PgDdlFacts, ForeignKeysCascadeStayNotValidAndReachOtherSchemas) {
    const std::string other = pgServer::freshSchema();
    const ky::refPtr<classInfo> parent = keyed(L"parent");
    set(parent, L"sql.schema", ky::string::fromUtf8(other));
    const ky::refPtr<classInfo> child = keyed(L"child", {L"pid", L"qid"});
    child->createRelation(L"pid", false, parent, eRef, L"", L"");
    child->createRelation(L"qid", false, parent, eRef, L"", L"");
    set(child, L"sql.foreignKey.pid", L"ON DELETE CASCADE");
    set(child, L"sql.foreignKey.qid", L"NOT VALID");
    pgCreate();
    const std::string table = other + ".parent";
    EXPECT_EQ(pgAsk("INSERT INTO " + table + " VALUES (1); INSERT INTO child VALUES (1, 1, 1); DELETE FROM " + table +
                    "; SELECT count(*) FROM child"), "0");
    EXPECT_EQ(pgAsk("SELECT string_agg(convalidated::text, ' ' ORDER BY conname) FROM pg_constraint "
                    "WHERE conrelid = 'child'::regclass AND contype = 'f'"),
              "true false");
}

// ---- checks, uniques and indexes ----

TEST_F(DdlFacts, SqliteChecksUniquesAndIndexesHoldInTheDatabase) {
    const ky::refPtr<classInfo> t = keyed(L"t", {L"a", L"b", L"c"});
    set(t, L"sqlite.check.#1", L"CHECK (a > 0)");
    set(t, L"sqlite.check.small", L"CHECK (a < 1000 AND b <> ';')");
    set(t, L"sql.unique.#1", L"a\nb");
    set(t, L"sql.index.t_c", L"c");
    set(t, L"sql.uniqueIndex.t_b_c", L"b\nc");
    set(t, L"sqlite.index.t_partial", L"CREATE INDEX t_partial ON t (c) WHERE c > 0");
    set(t, L"sqlite.unique.t_lower", L"CREATE UNIQUE INDEX t_lower ON t (abs(c))");
    EXPECT_NE(ddl(sql::eSqlite).text.find(",\n    UNIQUE (a, b)\n)"), std::string::npos);
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (1, -1, 1, 1)"), "error: CHECK constraint failed: a > 0");
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (1, 2000, 1, 1)"), "error: CHECK constraint failed: small");
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (1, 1, 1, 1); INSERT INTO t VALUES (2, 1, 1, 2)"),
              "error: UNIQUE constraint failed: t.a, t.b");
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (3, 2, 2, -1)"), "error: UNIQUE constraint failed: index 't_lower'");
    EXPECT_EQ(sqliteAsk(db, "SELECT group_concat(name || ':' || \"unique\" || partial, ' ') FROM "
                            "(SELECT * FROM pragma_index_list('t') WHERE origin = 'c' ORDER BY name)"),
              "t_b_c:10 t_c:00 t_lower:10 t_partial:01");
}

TEST_F(PgDdlFacts, ChecksUniquesAndIndexesHoldInTheDatabase) {
    const ky::refPtr<classInfo> t = keyed(L"t", {L"a", L"b"});
    field(t, L"price", eDouble)->setSemantic(eSemMonetary, ky::genericSet(), L"");
    set(t, L"postgresql.check.price_positive", L"CHECK ((price > (0)::numeric))");
    set(t, L"postgresql.check.a_small", L"CHECK ((a < 1000)) NOT VALID");
    set(t, L"postgresql.unique.t_a_b", L"UNIQUE NULLS NOT DISTINCT (a, b)");
    set(t, L"postgresql.index.t_expr", L"CREATE INDEX t_expr ON t USING btree (abs(b)) WHERE (b > 0)");
    pgCreate();
    EXPECT_NE(pgAsk("INSERT INTO t VALUES (1, 1, 1, -1)").find("violates check constraint \"price_positive\""),
              std::string::npos);
    EXPECT_EQ(pgAsk("SELECT convalidated FROM pg_constraint WHERE conname = 'a_small'"), "f");
    EXPECT_NE(pgAsk("INSERT INTO t VALUES (1, 1, NULL, 1); INSERT INTO t VALUES (2, 1, NULL, 1)").find("t_a_b"),
              std::string::npos);
    EXPECT_EQ(pgAsk("SELECT indexdef FROM pg_indexes WHERE indexname = 't_expr'"),
              "CREATE INDEX t_expr ON " + schema + ".t USING btree (abs(b)) WHERE (b > 0)");
}

// ---- columns ----

TEST_F(DdlFacts, SqliteColumnFactsShapeTheColumns) {
    const ky::refPtr<classInfo> t = cls(L"t");
    const ky::refPtr<fieldInfo> id = field(t, L"id", eLong);
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    set(id, L"sqlite.autoincrement", L"true");
    set(field(t, L"anything", eCustom), L"sqlite.type", L"");
    set(field(t, L"name", eString), L"sqlite.collation", L"NOCASE");
    set(field(t, L"made", eTimestamp), L"sqlite.default", L"CURRENT_TIMESTAMP");
    set(field(t, L"twice"), L"sqlite.generated", L"GENERATED ALWAYS AS (id * 2) VIRTUAL");
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "SELECT group_concat(name || ':' || type, ' ') FROM pragma_table_xinfo('t')"),
              "id:INTEGER anything: name:TEXT made:TIMESTAMP twice:INTEGER");
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t (name) VALUES ('A'); SELECT count(*) FROM t WHERE name = 'a'"), "1");
    EXPECT_EQ(sqliteAsk(db, "SELECT twice FROM t"), "2");
    EXPECT_EQ(sqliteAsk(db, "SELECT made IS NOT NULL FROM t"), "1");
    EXPECT_EQ(sqliteAsk(db, "SELECT seq FROM sqlite_sequence WHERE name = 't'"), "1");
}

TEST_F(PgDdlFacts, ColumnFactsShapeTheColumns) {
    const ky::refPtr<classInfo> t = cls(L"t");
    const ky::refPtr<fieldInfo> id = field(t, L"id", eLong);
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    set(id, L"postgresql.identity", L"GENERATED BY DEFAULT AS IDENTITY");
    const ky::refPtr<fieldInfo> made = field(t, L"made", eTimestamp);
    set(made, L"postgresql.type", L"timestamp with time zone");
    set(made, L"postgresql.default", L"now()");
    set(field(t, L"name", eString), L"postgresql.collation", L"\"C\"");
    set(field(t, L"twice", eLong), L"postgresql.generated", L"GENERATED ALWAYS AS ((id * 2)) STORED");
    pgCreate();
    EXPECT_EQ(pgAsk("SELECT string_agg(attname || ':' || format_type(atttypid, atttypmod) || ':' || attidentity::text || "
                    "attgenerated::text || ':' || coalesce(pg_get_expr(adbin, adrelid), ''), ' ' ORDER BY attnum) "
                    "FROM pg_attribute LEFT JOIN pg_attrdef ON adrelid = attrelid AND adnum = attnum "
                    "WHERE attrelid = 't'::regclass AND attnum > 0"),
              "id:bigint:d: made:timestamp with time zone::now() name:text:: twice:bigint:s:(id * 2)");
    EXPECT_EQ(pgAsk("SELECT collname FROM pg_attribute JOIN pg_collation c ON c.oid = attcollation "
                    "WHERE attrelid = 't'::regclass AND attname = 'name'"), "C");
    EXPECT_EQ(pgAsk("INSERT INTO t (name) VALUES ('x'); SELECT twice FROM t"), "2");
}

// ---- schemas and names ----

TEST_F(PgDdlFacts, TablesOfOtherSchemasAreCreatedThereUnderTheirOwnNames) {
    const std::string other = pgServer::freshSchema() + "x";  // a schema that does not exist yet
    keyed(L"item");
    const ky::refPtr<classInfo> moved = keyed(L"other_item");
    set(moved, L"sql.schema", ky::string::fromUtf8(other));
    set(moved, L"sql.table", L"item");
    moved->setLabel(L"the other one");
    pgCreate();
    EXPECT_EQ(pgAsk("SELECT obj_description('" + other + ".item'::regclass)"), "the other one");
    EXPECT_EQ(pgAsk("SELECT to_regclass('item') IS NOT NULL"), "t");
}

TEST_F(DdlFacts, SqliteWritesAClassOfAnotherSchemaUnderItsClassName) {
    keyed(L"item");
    const ky::refPtr<classInfo> moved = keyed(L"other_item");
    set(moved, L"sql.schema", L"other");
    set(moved, L"sql.table", L"item");
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_schema ORDER BY name)"),
              "item other_item");
}

// ---- views ----

TEST_F(DdlFacts, SqliteViewsFollowTheViewsTheyRead) {
    const ky::refPtr<classInfo> outer = cls(L"outer_view");
    field(outer, L"id");
    set(outer, L"sql.kind", L"view");
    set(outer, L"sql.dependsOn", L"inner_view");
    set(outer, L"sqlite.view", L"CREATE VIEW outer_view AS SELECT id FROM inner_view");
    const ky::refPtr<classInfo> inner = cls(L"inner_view");
    field(inner, L"id");
    set(inner, L"sql.dependsOn", L"t");
    set(inner, L"sqlite.view", L"CREATE VIEW inner_view AS SELECT id FROM t WHERE a > 0 -- the positive ones\n");
    keyed(L"t", {L"a"});
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (1, 1), (2, 0); SELECT count(*) FROM outer_view"), "1");
}

TEST_F(PgDdlFacts, MaterializedViewIsWrittenBeforeItsIndex) {
    keyed(L"t", {L"a"});
    const ky::refPtr<classInfo> mv = cls(L"mv");
    field(mv, L"a");
    mv->setLabel(L"totals");
    set(mv, L"sql.kind", L"materialized view");
    set(mv, L"postgresql.view", L"CREATE MATERIALIZED VIEW mv AS SELECT a FROM t");
    set(mv, L"postgresql.index.mv_a", L"CREATE UNIQUE INDEX mv_a ON mv USING btree (a)");
    set(mv, L"sql.index.mv_b", L"b");  // no column of the view
    EXPECT_EQ(countCode(ddl(sql::ePostgresql).problems, "sql.ddl.unusable-fact"), 1);
    pgCreate();
    EXPECT_EQ(pgAsk("SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema() AND tablename = 'mv'"), "1");
    EXPECT_EQ(pgAsk("SELECT obj_description('mv'::regclass)"), "totals");
}

// ---- statements before and after the tables ----

TEST_F(PgDdlFacts, EnumTypesFunctionsPartitionsAndTriggersAreCreatedInTheirPlace) {
    const std::wstring enumType = L"CREATE TYPE rating AS ENUM ('G', 'PG-13');\n";
    for (const wchar_t* name : {L"film", L"show"}) {
        const ky::refPtr<classInfo> c = keyed(name);
        const ky::refPtr<fieldInfo> rating = field(c, L"rating", eString);
        ky::genericSet items;
        items.setValue(ky::scString::createFrom(L"enumItems"),
                       std::vector<enumItem>{{ky::genericValue::create(ky::string(L"G")), L"G"}}, true);
        rating->setSemantic(eSemEnum, items, L"");
        set(rating, L"postgresql.type", L"rating");
        set(rating, L"postgresql.before", enumType);
    }
    // The trigger's class comes first, the partition it names is made later.
    set(keyed(L"audit"), L"postgresql.after",
        L"CREATE TRIGGER measure_touch BEFORE INSERT ON measure_2024 FOR EACH ROW EXECUTE FUNCTION touch();\n");
    const ky::refPtr<classInfo> measure = cls(L"measure");
    field(measure, L"d", eDate);
    field(measure, L"v");
    set(measure, L"postgresql.options", L"PARTITION BY RANGE (d)");
    set(measure, L"postgresql.before",
        L"CREATE FUNCTION touch() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN NEW.v := 7; RETURN NEW; END;$$;\n");
    set(measure, L"postgresql.after",
        L"CREATE TABLE measure_2024 PARTITION OF measure FOR VALUES FROM ('2024-01-01') TO ('2025-01-01');\n");
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_EQ(result.text.find("CHECK (rating IN"), std::string::npos);
    EXPECT_EQ(result.text.find("CREATE TYPE"), result.text.rfind("CREATE TYPE"));
    pgCreate();
    EXPECT_NE(pgAsk("INSERT INTO film VALUES (1, 'X')").find("invalid input value for enum"), std::string::npos);
    EXPECT_EQ(pgAsk("INSERT INTO measure VALUES ('2024-05-01', 1); SELECT v FROM measure_2024"), "7");
}

TEST_F(DdlFacts, SqliteTriggerBodyIsOneStatement) {
    keyed(L"log");
    const ky::refPtr<classInfo> t = keyed(L"t");
    set(t, L"sqlite.after",
        L"CREATE TRIGGER t_log AFTER INSERT ON t BEGIN INSERT INTO log VALUES (new.id); UPDATE log SET id = id; END;\n");
    EXPECT_EQ(ddl(sql::eSqlite).statements.back().rfind("CREATE TRIGGER t_log", 0), 0u);
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "INSERT INTO t VALUES (5); SELECT id FROM log"), "5");
}

// ---- across dialects ----

// A table as PostgreSQL gives it: each fact in PostgreSQL's own text, beside
// the neutral ones.
void addPostgresqlFacts(const ky::refPtr<modelInfo>& model) {
    const ky::refPtr<classInfo> t = model->createClassInfo(L"t", false);
    const auto add = [&](const wchar_t* name, eFieldType type, const ky::string& custom = {}) {
        return t->createFieldInfo(name, type, ky::genericSet(), custom);
    };
    const ky::refPtr<fieldInfo> id = add(L"id", eInt);
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    id->setUserProperty(L"postgresql.default", ky::string(L"nextval('t_id_seq'::regclass)"), false);
    id->setUserProperty(L"postgresql.before", ky::string(L"CREATE SEQUENCE t_id_seq;\n"), false);
    id->setUserProperty(L"postgresql.after", ky::string(L"ALTER SEQUENCE t_id_seq OWNED BY t.id;\n"), false);
    const ky::refPtr<fieldInfo> rating = add(L"rating", eCustom, L"public.mpaa_rating");
    rating->setUserProperty(L"postgresql.type", ky::string(L"public.mpaa_rating"), false);
    const ky::refPtr<fieldInfo> made = add(L"made", eTimestamp);
    made->setUserProperty(L"postgresql.type", ky::string(L"timestamp with time zone"), false);
    made->setUserProperty(L"postgresql.collation", ky::string(L"\"C\""), false);
    add(L"twice", eInt)->setUserProperty(L"postgresql.generated", ky::string(L"GENERATED ALWAYS AS ((id * 2)) STORED"), false);
    add(L"n", eInt)->setUserProperty(L"postgresql.identity", ky::string(L"GENERATED ALWAYS AS IDENTITY"), false);
    add(L"tags", eCustom, L"character varying(20)[]");  // no native type: the custom one is it
    t->setUserProperty(L"sql.index.t_made", ky::string(L"made"), false);
    t->setUserProperty(L"postgresql.check.t_check", ky::string(L"CHECK ((id > 0))"), false);
    t->setUserProperty(L"postgresql.index.t_gist", ky::string(L"CREATE INDEX t_gist ON public.t USING gist (made)"), false);
    t->setUserProperty(L"postgresql.options", ky::string(L"WITH (fillfactor='70')"), false);
    const ky::refPtr<classInfo> v = model->createClassInfo(L"v", false);
    v->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    v->setUserProperty(L"sql.kind", ky::string(L"view"), false);
    v->setUserProperty(L"postgresql.view", ky::string(L"CREATE VIEW public.v AS SELECT t.id FROM public.t"), false);
}

TEST_F(DdlFacts, PostgresqlFactsGiveSqliteTheNeutralPartAndAWarningForEachOther) {
    addPostgresqlFacts(model);
    const sql::ddlResult result = ddl(sql::eSqlite);
    // default, before and after of id; collation of made; generated; identity; check, index, options; view
    EXPECT_EQ(countCode(result.problems, "sql.ddl.not-carried"), 10) << describeAll(result.problems);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.custom-type"), 2) << describeAll(result.problems);
    const std::string db = sqliteDatabase();
    EXPECT_EQ(sqliteAsk(db, "SELECT group_concat(name || ':' || type, ' ') FROM pragma_table_xinfo('t')"),
              "id:INTEGER rating: made:TIMESTAMP twice:INTEGER n:INTEGER tags:");
    EXPECT_EQ(sqliteAsk(db, "SELECT name FROM pragma_index_list('t') WHERE origin = 'c'"), "t_made");
    const auto sequence = std::find_if(result.problems.begin(), result.problems.end(), [](const sql::diagnostic& d) {
        return d.message.find(L"\"postgresql.default\"") != ky::string::npos;
    });
    ASSERT_NE(sequence, result.problems.end());
    EXPECT_EQ(sequence->table, L"t");
    EXPECT_EQ(sequence->field, L"id");
}

TEST_F(PgDdlFacts, SqliteFactsGivePostgresqlTheNeutralPartAndAWarningForEachOther) {
    const ky::refPtr<classInfo> t = keyed(L"t");
    set(model->fieldInfo(L"t", L"id", false), L"sqlite.autoincrement", L"true");
    const ky::refPtr<fieldInfo> name = t->createFieldInfo(L"name", eCustom, ky::genericSet(), L"NVARCHAR(120)");
    set(name, L"sqlite.type", L"NVARCHAR(120)");
    set(field(t, L"anything", eCustom), L"sqlite.type", L"");
    set(t, L"sqlite.options", L"WITHOUT ROWID, STRICT");
    set(t, L"sqlite.check.#1", L"CHECK (length(name) > 0)");
    set(t, L"sqlite.index.t_name", L"CREATE INDEX t_name ON t (name COLLATE NOCASE)");
    set(t, L"sqlite.after", L"CREATE TRIGGER t_x AFTER INSERT ON t BEGIN SELECT 1; END;\n");
    set(t, L"sql.uniqueIndex.t_name_id", L"name\nid");
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.not-carried"), 5) << describeAll(result.problems);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.custom-type"), 2) << describeAll(result.problems);
    pgCreate();
    EXPECT_EQ(pgAsk("SELECT string_agg(format_type(atttypid, atttypmod), ' ' ORDER BY attnum) FROM pg_attribute "
                    "WHERE attrelid = 't'::regclass AND attnum > 0"),
              "integer text text");
    EXPECT_EQ(pgAsk("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND tablename = 't' "
                    "AND indexname <> 't_pkey'"), "t_name_id");
}

// ---- texts that are not what their key says ----

TEST_F(DdlFacts, TextsThatAreNotWhatTheirKeySaysAreRefusedNamingTheProperty) {
    const struct { const wchar_t* key; std::wstring text; bool onField; } cases[] = {
        {L"sqlite.check.c", L"CHECK (a > 0)); DROP TABLE t; --", false},
        {L"sqlite.check.c", L"CHECK (a > 0), b INTEGER", false},
        {L"sqlite.check.c", L"DEFAULT 1", false},
        {L"sqlite.check.c", L"CHECK (a <> 'x) ", false},
        {L"sqlite.check.c", L"CHECK (a > 0) -- ", false},
        {L"sqlite.index.i", L"DROP TABLE t", false},
        {L"sqlite.index.i", L"CREATE INDEX i ON t (a); DROP TABLE t", false},
        {L"sqlite.unique.u", L"UNIQUE (a) /* open", false},
        {L"sqlite.view", L"CREATE TABLE x (a)", false},
        {L"sqlite.view", std::wstring(L"CREATE VIEW v AS SELECT 1 -- ") + L'\0' + L"x", false},
        {L"sqlite.options", L"STRICT; DROP TABLE t", false},
        {L"sqlite.before", L"DROP TABLE t;\n", false},
        {L"sql.foreignKey.a", L"ON DELETE CASCADE; DROP TABLE t", false},
        {L"sqlite.type", L"INTEGER, b TEXT", true},
        {L"sqlite.default", L"1); DROP TABLE t; --", true},
        {L"sqlite.generated", L"CHECK (a > 0)", true},
        {L"sqlite.after", L"CREATE TRIGGER x AFTER INSERT ON t BEGIN SELECT 1;", true},
        {L"sqlite.after", L"CREATE\x1fTRIGGER x AFTER INSERT ON t BEGIN SELECT 1; END;", false},
        {L"sqlite.check.c", L"CHECK (a >\v0)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ky::string(c.key).toUtf8() + " = " + ky::string(c.text).escapedForLine().toUtf8());
        model = modelInfo::createModelInfo(false);
        const ky::refPtr<classInfo> t = keyed(L"t", {L"a"});
        if (c.onField) set(model->fieldInfo(L"t", L"a", false), c.key, c.text);
        else set(t, c.key, c.text);
        const sql::ddlResult result = ddl(sql::eSqlite);
        ASSERT_EQ(countCode(result.problems, "sql.ddl.unsafe-text"), 1) << describeAll(result.problems);
        EXPECT_EQ(result.text, "");
        const sql::diagnostic& d = result.problems.front();
        EXPECT_EQ(d.table, L"t");
        EXPECT_EQ(d.field, c.onField ? L"a" : L"");
        EXPECT_NE(d.message.find(c.key), ky::string::npos);
    }
}

TEST_F(DdlFacts, NamesInFactsHoldNoControlCharacter) {
    const ky::refPtr<classInfo> t = keyed(L"t", {L"a"});
    set(t, L"sql.schema", std::wstring(L"s\0x", 3));
    set(t, L"sql.index.a\nb", L"a");
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.name-character"), 1) << describeAll(result.problems);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.unsafe-text"), 1) << describeAll(result.problems);
    EXPECT_EQ(result.text, "");
}

TEST_F(DdlFacts, SemicolonsInsideQuotesAndBodiesAreNoStatementEnd) {
    const ky::refPtr<classInfo> t = keyed(L"t", {L"a"});
    set(t, L"postgresql.before",
        L"CREATE FUNCTION f() RETURNS integer LANGUAGE sql AS $body$ SELECT 1; $body$;\n"
        L"CREATE FUNCTION g() RETURNS integer LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT 2; END;\n"
        L"COMMENT ON SCHEMA public IS E'it\\'s; fine';\n");
    set(t, L"postgresql.check.c", L"CHECK (((a)::text <> ';'::text)) /* ; */");
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_FALSE(sql::hasErrors(result.problems)) << describeAll(result.problems);
    ASSERT_GE(result.statements.size(), 3u);
    EXPECT_EQ(result.statements[1].rfind("CREATE FUNCTION g()", 0), 0u);
    EXPECT_EQ(result.statements[2].rfind("COMMENT ON SCHEMA", 0), 0u);
}
