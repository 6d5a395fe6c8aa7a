// Migrations made by createMigration and run on real databases: each case
// makes the old schema, fills it with rows, migrates it to a model
// reflected from the new schema, checks that every row and value is still
// there, and that a second migration from the new model to the migrated
// database is empty. Also the models and renames a migration refuses.
#include <functional>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

using renameList = std::vector<std::pair<ky::string, ky::string>>;

int collectRow(void* out, int columns, char** values, char**) {
    std::string& text = *static_cast<std::string*>(out);
    if (!text.empty()) text += ";";
    for (int i = 0; i < columns; ++i) text += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
    return 0;
}

void setClassFact(modelInfo& model, const wchar_t* cls, const wchar_t* key, const std::string& value) {
    model.classInfo(cls, false)->setUserProperty(key, ky::string::fromUtf8(value), false);
}

// A view class of one integer column per name.
void addView(modelInfo& model, const wchar_t* name, const std::vector<const wchar_t*>& columns, const std::string& statement,
             const wchar_t* reads) {
    ky::refPtr<classInfo> view = model.createClassInfo(name, L"");
    for (const wchar_t* column : columns) view->createFieldInfo(column, eInt, ky::genericSet(), L"");
    view->setUserProperty(L"sql.kind", L"view", false);
    view->setUserProperty(L"sql.dependsOn", reads, false);
    view->setUserProperty(L"sqlite.view", ky::string::fromUtf8(statement), false);
}

bool hasKind(const sql::migration& m, sql::eStepKind kind) {
    return std::any_of(m.steps.begin(), m.steps.end(), [&](const sql::migrationStep& s) { return s.kind == kind; });
}

class SqliteMigration : public ::testing::Test {
protected:
    std::string path;
    sql::migration plan;

    static ky::refPtr<modelInfo> reflect(const std::string& file) {
        sql::reflectResult r = sql::reflectSqliteFile(file, {});
        EXPECT_TRUE(r.model) << describeAll(r.problems);
        return r.model;
    }

    // Makes the old schema with its rows, migrates it to the new schema's
    // model. `facts` gives both models what SQLite's reflection does not
    // read (views, indexes, triggers); the migrated database is then not
    // compared with the new model.
    void migrate(const std::string& oldSql, const std::string& rows, const std::string& newSql, renameList renames = {},
                 const std::function<void(modelInfo&, modelInfo&)>& facts = {}) {
        path = sqliteFileWith(oldSql + rows);
        const ky::refPtr<modelInfo> before = reflect(path), after = reflect(sqliteFileWith(newSql));
        ASSERT_TRUE(before);
        ASSERT_TRUE(after);
        if (facts) facts(*before, *after);
        plan = sql::createMigration(*before, *after, {sql::eSqlite, std::move(renames)});
        ASSERT_FALSE(sql::hasErrors(plan.problems)) << describeAll(plan.problems);
        {
            sqliteConnection db(path);
            const sql::diagnostics run = sql::executeDdl(db.db, plan.sql());
            ASSERT_TRUE(run.empty()) << describeAll(run) << plan.sql();
        }
        if (facts) return;
        const ky::refPtr<modelInfo> migrated = reflect(path);
        ASSERT_TRUE(migrated);
        const sql::migration again = sql::createMigration(*after, *migrated, {sql::eSqlite, {}});
        EXPECT_TRUE(again.steps.empty()) << again.sql() << "\nafter:\n" << plan.sql();
    }

    std::string query(const std::string& sql) const {
        sqliteConnection db(path);
        std::string out;
        sqlite3_exec(db.db, sql.c_str(), collectRow, &out, nullptr);
        return out;
    }
};

TEST_F(SqliteMigration, ColumnsAreAddedDroppedAndRenamedInPlace) {
    migrate("CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b INTEGER, gone TEXT);",
            "INSERT INTO t VALUES (1, 'x', 10, 'g'), (2, NULL, 20, 'h');",
            "CREATE TABLE t (id INTEGER PRIMARY KEY, alpha TEXT, b INTEGER, c TEXT NOT NULL DEFAULT 'new');",
            {{L"t.a", L"alpha"}});
    EXPECT_EQ(query("SELECT id, alpha, b, c FROM t ORDER BY id"), "1|x|10|new;2|NULL|20|new");
    EXPECT_FALSE(hasKind(plan, sql::eStepRebuildTable));
    EXPECT_TRUE(hasKind(plan, sql::eStepRenameColumn));
    EXPECT_TRUE(plan.destructive());
}

TEST_F(SqliteMigration, ARebuildKeepsEveryRow) {
    migrate("CREATE TABLE p (id INTEGER PRIMARY KEY, name TEXT);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER, qty INTEGER, note TEXT);",
            "INSERT INTO p VALUES (1, 'one'), (2, 'two');"
            "INSERT INTO c VALUES (1, 1, 5, 'a'), (2, 2, 1, 'b'), (3, 1, 7, NULL);",
            "CREATE TABLE p (id INTEGER PRIMARY KEY, name TEXT);"
            "CREATE TABLE c (id INTEGER PRIMARY KEY, p INTEGER REFERENCES p (id), qty REAL NOT NULL, note TEXT);");
    EXPECT_TRUE(hasKind(plan, sql::eStepRebuildTable));
    EXPECT_TRUE(plan.foreignKeysOff);
    EXPECT_EQ(query("SELECT id, p, qty, note FROM c ORDER BY id"), "1|1|5.0|a;2|2|1.0|b;3|1|7.0|NULL");
    EXPECT_EQ(query("PRAGMA foreign_key_check"), "");
}

TEST_F(SqliteMigration, ARebuildKeepsTheIndexesAndRecreatesTheViewsThatReadTheTable) {
    const std::string view = "CREATE VIEW big AS SELECT id, qty FROM c WHERE qty > 1";
    migrate("CREATE TABLE c (id INTEGER PRIMARY KEY, qty INTEGER, note TEXT); CREATE INDEX c_note ON c (note);" + view + ";",
            "INSERT INTO c VALUES (1, 5, 'a'), (2, 1, 'b'), (3, 7, NULL);",
            "CREATE TABLE c (id INTEGER PRIMARY KEY, qty INTEGER NOT NULL, note TEXT);", {},
            [&](modelInfo& before, modelInfo& after) {
                for (modelInfo* model : {&before, &after}) {
                    setClassFact(*model, L"c", L"sql.index.c_note", "note");
                    addView(*model, L"big", {L"id", L"qty"}, view, L"c");
                }
            });
    EXPECT_TRUE(hasKind(plan, sql::eStepRebuildTable));
    EXPECT_EQ(query("SELECT id, qty, note FROM c ORDER BY id"), "1|5|a;2|1|b;3|7|NULL");
    EXPECT_EQ(query("SELECT id FROM big ORDER BY id"), "1;3");
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'c'"), "c_note");
}

TEST_F(SqliteMigration, TablesAreRenamedOnlyWhenTheHostSaysSo) {
    migrate("CREATE TABLE old_name (id INTEGER PRIMARY KEY, v TEXT); CREATE TABLE dropped (id INTEGER PRIMARY KEY);",
            "INSERT INTO old_name VALUES (1, 'kept'); INSERT INTO dropped VALUES (1);",
            "CREATE TABLE new_name (id INTEGER PRIMARY KEY, v TEXT); CREATE TABLE fresh (id INTEGER PRIMARY KEY);",
            {{L"old_name", L"new_name"}});
    EXPECT_EQ(query("SELECT id, v FROM new_name"), "1|kept");
    EXPECT_TRUE(hasKind(plan, sql::eStepRenameTable));
    EXPECT_TRUE(hasKind(plan, sql::eStepDropTable));
    EXPECT_TRUE(plan.destructive());
}

TEST_F(SqliteMigration, IndexesAndTriggersChangeWithoutARebuild) {
    const std::string trigger = "CREATE TRIGGER t_count AFTER INSERT ON t BEGIN UPDATE t SET n = 1 WHERE id = new.id; END";
    std::string changed = trigger;
    changed.replace(changed.find("n = 1"), 5, "n = 2");
    migrate("CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, n INTEGER DEFAULT 0); CREATE INDEX t_a ON t (a);" + trigger + ";",
            "INSERT INTO t (id, a) VALUES (1, 'x');", "CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, n INTEGER DEFAULT 0);", {},
            [&](modelInfo& before, modelInfo& after) {
                setClassFact(before, L"t", L"sql.index.t_a", "a");
                setClassFact(before, L"t", L"sqlite.after", trigger + ";\n");
                setClassFact(after, L"t", L"sql.uniqueIndex.t_a_unique", "a\nid");
                setClassFact(after, L"t", L"sqlite.after", changed + ";\n");
            });
    EXPECT_FALSE(hasKind(plan, sql::eStepRebuildTable));
    EXPECT_FALSE(plan.destructive());
    EXPECT_EQ(query("SELECT id, a, n FROM t"), "1|x|1");
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 't'"), "t_a_unique");
    sqliteConnection(path).run("INSERT INTO t (id, a) VALUES (2, 'y')");
    EXPECT_EQ(query("SELECT n FROM t WHERE id = 2"), "2");
}

// ---- PostgreSQL ----

class PgMigration : public ::testing::Test {
protected:
    std::string schema;
    sql::migration plan;
    PGconn* conn = nullptr;

    void SetUp() override {
        KY_REQUIRE_PG();
        schema = pgServer::freshSchema();
        conn = PQconnectdb(pgServer::conninfo().c_str());
    }
    void TearDown() override {
        if (conn) PQfinish(conn);
    }

    ky::refPtr<modelInfo> reflect() const {
        sql::reflectOptions options;
        options.schemas = {ky::string::fromUtf8(schema)};
        sql::reflectResult r = sql::reflectPostgresql(conn, options);
        EXPECT_TRUE(r.model) << describeAll(r.problems);
        return r.model;
    }

    // The new schema is made and read first, then replaced by the old one
    // with its rows, so that both models name the same schema.
    void migrate(const std::string& oldSql, const std::string& rows, const std::string& newSql, renameList renames = {}) {
        pgServer::run("SET search_path = " + schema + "; " + newSql);
        const ky::refPtr<modelInfo> after = reflect();
        pgServer::run("DROP SCHEMA " + schema + " CASCADE; CREATE SCHEMA " + schema + "; SET search_path = " + schema +
                      "; " + oldSql + rows);
        const ky::refPtr<modelInfo> before = reflect();
        ASSERT_TRUE(before);
        ASSERT_TRUE(after);
        plan = sql::createMigration(*before, *after, {sql::ePostgresql, std::move(renames)});
        ASSERT_FALSE(sql::hasErrors(plan.problems)) << describeAll(plan.problems);
        const sql::diagnostics run = sql::executeDdl(conn, plan.sql());
        ASSERT_TRUE(run.empty()) << describeAll(run) << plan.sql();
        const ky::refPtr<modelInfo> migrated = reflect();
        ASSERT_TRUE(migrated);
        const sql::migration again = sql::createMigration(*after, *migrated, {sql::ePostgresql, {}});
        EXPECT_TRUE(again.steps.empty()) << again.sql() << "\nafter:\n" << plan.sql();
    }

    std::string query(const std::string& sql) const { return pgRows(conn, schema, sql); }
};

TEST_F(PgMigration, ColumnsChangeInPlaceAndKeepTheirValues) {
    migrate("CREATE TABLE t (id integer PRIMARY KEY, n integer, code text, v varchar(10), gone text, name text);",
            "INSERT INTO t VALUES (1, 5, '12', 'abc', 'g', 'x'), (2, NULL, '7', 'd', NULL, 'y');",
            "CREATE TABLE t (id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, n bigint DEFAULT 3, code integer,"
            " v varchar(40) NOT NULL DEFAULT '', title text);",
            {{L"t.name", L"title"}});
    EXPECT_EQ(query("SELECT id, n, code, v, title FROM t ORDER BY id"), "1|5|12|abc|x;2|NULL|7|d|y");
    EXPECT_TRUE(plan.destructive());
}

TEST_F(PgMigration, ConstraintsForeignKeysIndexesViewsAndComments) {
    migrate("CREATE TABLE p (id integer PRIMARY KEY, code text);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p (id), qty integer);"
            "CREATE INDEX c_qty ON c (qty);"
            "CREATE VIEW v AS SELECT id, qty FROM c;",
            "INSERT INTO p VALUES (1, 'a'), (2, 'b'); INSERT INTO c VALUES (10, 1, 3), (11, 2, 4);",
            "CREATE TABLE p (id integer PRIMARY KEY, code text UNIQUE);"
            "CREATE TABLE c (id integer PRIMARY KEY, p integer REFERENCES p (id) ON DELETE CASCADE,"
            " qty integer CONSTRAINT qty_positive CHECK (qty > 0));"
            "CREATE INDEX c_qty_desc ON c (qty DESC);"
            "CREATE VIEW v AS SELECT id, qty, p FROM c;"
            "COMMENT ON TABLE c IS 'children';");
    EXPECT_EQ(query("SELECT id, p, qty FROM c ORDER BY id"), "10|1|3;11|2|4");
    EXPECT_EQ(query("SELECT count(*) FROM v"), "2");
    EXPECT_FALSE(plan.destructive());
    EXPECT_TRUE(hasKind(plan, sql::eStepDropForeignKey));
}

TEST_F(PgMigration, EnumValuesAreAddedInOrderAndADroppedOneRebuildsTheType) {
    migrate("CREATE TYPE mood AS ENUM ('sad', 'ok'); CREATE TYPE size AS ENUM ('s', 'm', 'l');"
            "CREATE TABLE t (id integer PRIMARY KEY, m mood, z size DEFAULT 'm');",
            "INSERT INTO t VALUES (1, 'sad', 's'), (2, 'ok', 'l');",
            "CREATE TYPE mood AS ENUM ('angry', 'sad', 'meh', 'ok', 'happy'); CREATE TYPE size AS ENUM ('s', 'l');"
            "CREATE TABLE t (id integer PRIMARY KEY, m mood, z size DEFAULT 'l');");
    EXPECT_EQ(query("SELECT id, m, z FROM t ORDER BY id"), "1|sad|s;2|ok|l");
    EXPECT_EQ(query("SELECT string_agg(enumlabel, ',' ORDER BY enumsortorder) FROM pg_enum e JOIN pg_type t"
                    " ON t.oid = e.enumtypid WHERE t.typname = 'mood' AND t.typnamespace = '" + schema +
                    "'::regnamespace"),
              "angry,sad,meh,ok,happy");
    EXPECT_TRUE(plan.destructive());
}

TEST_F(PgMigration, RenamedTablesKeepRowsAndWhatPointsAtThem) {
    migrate("CREATE TABLE owner (id integer PRIMARY KEY, name text); COMMENT ON COLUMN owner.name IS 'who';"
            "CREATE TABLE pet (id integer PRIMARY KEY, owner integer REFERENCES owner (id));"
            "CREATE TABLE gone (id integer PRIMARY KEY, pet integer REFERENCES pet (id));",
            "INSERT INTO owner VALUES (1, 'ann'); INSERT INTO pet VALUES (7, 1); INSERT INTO gone VALUES (1, 7);",
            "CREATE TABLE person (id integer PRIMARY KEY, full_name text);"
            "CREATE TABLE pet (id integer PRIMARY KEY, owner integer REFERENCES person (id));"
            "CREATE TABLE vet (id integer PRIMARY KEY, pet integer REFERENCES pet (id));",
            {{L"owner", L"person"}, {L"owner.name", L"full_name"}});
    EXPECT_EQ(query("SELECT p.id, o.full_name FROM pet p JOIN person o ON o.id = p.owner"), "7|ann");
    EXPECT_EQ(query("SELECT count(*) FROM vet"), "0");
    EXPECT_TRUE(hasKind(plan, sql::eStepDropTable));
}

// ---- the plan as text, and refusals ----

TEST(MigrationText, ALineBreakInADescriptionStaysInsideItsComment) {
    sql::migration m;
    m.steps.push_back({sql::eStepAddStatement, L"t", {"SELECT 1"}, L"add statement: x\nDROP TABLE t", false});
    EXPECT_EQ(m.sql(), "-- add statement: add statement: x DROP TABLE t\nSELECT 1;\n");
}

ky::refPtr<modelInfo> oneTable(bool caseSensitive, const wchar_t* name) {
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(caseSensitive);
    ky::refPtr<classInfo> cls = model->createClassInfo(name, L"");
    cls->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    return model;
}

TEST(MigrationRefusals, ModelsThatDisagreeOnCaseFolding) {
    const sql::migration m = sql::createMigration(*oneTable(true, L"t"), *oneTable(false, L"t"), {});
    EXPECT_EQ(countCode(m.problems, "sql.migrate.case-folding"), 1);
    EXPECT_TRUE(m.steps.empty());
}

TEST(MigrationRefusals, AClassSqlCannotHold) {
    const sql::migration m = sql::createMigration(*oneTable(false, L"t"), *oneTable(false, L"sqlite_t"), {});
    EXPECT_EQ(countCode(m.problems, "sql.migrate.model"), 1);
    EXPECT_EQ(countCode(m.problems, "sql.ddl.reserved-name"), 1);
    EXPECT_TRUE(m.steps.empty());
}

TEST(MigrationRefusals, RenamesNamingNothingOrTheWrongKind) {
    const ky::refPtr<modelInfo> from = oneTable(false, L"t"), to = oneTable(false, L"u");
    const sql::migration nothing = sql::createMigration(*from, *to, {sql::eSqlite, {{L"missing", L"u"}}});
    EXPECT_EQ(countCode(nothing.problems, "sql.migrate.rename"), 1);
    EXPECT_TRUE(nothing.steps.empty());
    const sql::migration column = sql::createMigration(*from, *to, {sql::eSqlite, {{L"t.nothing", L"id"}}});
    EXPECT_EQ(countCode(column.problems, "sql.migrate.rename"), 1);
    const sql::migration kind = sql::createMigration(*from, *to, {sql::eSqlite, {{L"t.id", L"u.id"}}});
    EXPECT_EQ(countCode(kind.problems, "sql.migrate.rename-kind"), 1);
    const sql::migration target =
        sql::createMigration(*from, *to, {sql::eSqlite, {{L"t", L"u"}, {L"t.id", L"nothing"}}});
    EXPECT_EQ(countCode(target.problems, "sql.migrate.rename"), 1);
    const sql::migration valid = sql::createMigration(*from, *to, {sql::eSqlite, {{L"t", L"u"}}});
    EXPECT_EQ(valid.steps.size(), 1u);
}

// A table t whose column v has type `type`, NOT NULL when `mandatory`.
ky::refPtr<modelInfo> columnOf(eFieldType type, bool mandatory) {
    ky::refPtr<modelInfo> model = oneTable(false, L"t");
    model->classInfo(L"t", false)->createFieldInfo(L"v", type, ky::genericSet(), L"")->setMandatory(mandatory);
    return model;
}

TEST(MigrationDestructive, WideningKeepsValuesNarrowingAndNotNullMayLoseThem) {
    const sql::migrationOptions pg{sql::ePostgresql, {}};
    const auto step = [&](eFieldType a, bool mandatoryA, eFieldType b, bool mandatoryB) {
        const sql::migration m = sql::createMigration(*columnOf(a, mandatoryA), *columnOf(b, mandatoryB), pg);
        EXPECT_EQ(m.steps.size(), 1u) << m.sql();
        return m.steps.empty() ? sql::migrationStep{} : m.steps[0];
    };
    const sql::migrationStep widened = step(eInt, false, eLong, false);
    EXPECT_EQ(widened.kind, sql::eStepAlterColumn);
    EXPECT_FALSE(widened.destructive);
    EXPECT_TRUE(step(eLong, false, eInt, false).destructive);
    EXPECT_TRUE(step(eString, false, eInt, false).destructive);
    EXPECT_TRUE(step(eInt, false, eInt, true).destructive);
    EXPECT_FALSE(step(eInt, true, eInt, false).destructive);
}

TEST(MigrationRefusals, SameModelGivesNoSteps) {
    const ky::refPtr<modelInfo> model = oneTable(false, L"t");
    EXPECT_TRUE(sql::createMigration(*model, *model, {sql::ePostgresql, {}}).steps.empty());
}

}  // namespace
