// DDL of models: the shop model's golden text in both dialects, what a
// column carries, dependency order and cycles, and what is left out with a
// warning or refused with an error. Every DDL written here is run in a real
// database.
#include <shop_model.h>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class SqlDdl : public ::testing::Test {
protected:
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);

    sql::ddlResult ddl(sql::eDialect dialect) {
        sql::ddlOptions options;
        options.dialect = dialect;
        return sql::createDdl(*model, options);
    }

    ky::refPtr<classInfo> cls(const wchar_t* name) { return model->createClassInfo(name, false); }

    static ky::refPtr<fieldInfo> field(const ky::refPtr<classInfo>& c, const wchar_t* name, eFieldType type,
                                       int length = 0) {
        ky::genericSet attribs;
        if (length) attribs.setValue(ky::scString::createFrom(L"length"), length, true);
        return c->createFieldInfo(name, type, attribs, L"");
    }

    // Runs the SQLite DDL in a database in memory; empty when it was accepted.
    static std::string sqliteRefusal(const std::string& text) {
        sqlite3* db = nullptr;
        sqlite3_open(":memory:", &db);
        const std::string problems = describeAll(sql::executeDdl(db, text));
        sqlite3_close(db);
        return problems;
    }

    // The one CREATE TABLE statement of `table` in `result`.
    static std::string statementOf(const sql::ddlResult& result, const std::string& table) {
        for (const std::string& s : result.statements)
            if (s.rfind("CREATE TABLE " + table + " (", 0) == 0) return s;
        return std::string();
    }
};

class PgDdl : public SqlDdl {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }

    static std::string pgRefusal(const std::string& text) {
        return describeAll(sql::executeDdlOnPostgresql(pgServer::conninfo(pgServer::freshSchema()), text));
    }
};

}  // namespace

TEST_F(SqlDdl, ShopModelMatchesTheGoldenSqliteText) {
    shop::buildShopModel(model);
    EXPECT_EQ(ddl(sql::eSqlite).text, readTestFile("golden/shop.sqlite.sql"));
}

TEST_F(SqlDdl, ShopModelMatchesTheGoldenPostgresqlText) {
    shop::buildShopModel(model);
    EXPECT_EQ(ddl(sql::ePostgresql).text, readTestFile("golden/shop.postgresql.sql"));
}

TEST_F(SqlDdl, ShopModelRunsInSqlite) {
    shop::buildShopModel(model);
    EXPECT_EQ(sqliteRefusal(ddl(sql::eSqlite).text), "");
}

TEST_F(SqlDdl, RelationTowardsAClassWithoutKeyIsLeftOutWithAWarning) {
    shop::buildShopModel(model);
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.foreign-key"), 3);  // party and its two derived tables
    EXPECT_FALSE(sql::hasErrors(result.problems));
}

TEST_F(SqlDdl, AbstractClassGetsNoTable) {
    ky::refPtr<classInfo> base = cls(L"base");
    field(base, L"id", eInt);
    base->setAbstract(true);
    ky::refPtr<classInfo> derived = cls(L"derived");
    derived->addBaseClass(base);
    field(derived, L"extra", eInt);
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(result.statements.size(), 1u);
    EXPECT_EQ(statementOf(result, "derived"), "CREATE TABLE derived (\n    id INTEGER,\n    extra INTEGER\n)");
}

TEST_F(SqlDdl, ColumnTypesFollowTheDialectTable) {
    ky::refPtr<classInfo> c = cls(L"t");
    field(c, L"b", eBool);
    field(c, L"s", eShort);
    field(c, L"l", eLong);
    field(c, L"f", eFloat);
    field(c, L"v", eString, 40);
    field(c, L"ts", eTimestamp);
    field(c, L"bin", eBinary);
    field(c, L"money", eDouble)->setSemantic(eSemMonetary, ky::genericSet(), L"");
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"),
              "CREATE TABLE t (\n    b BOOLEAN,\n    s SMALLINT,\n    l BIGINT,\n    f REAL,\n    v VARCHAR(40),\n"
              "    ts TIMESTAMP,\n    bin BLOB,\n    money NUMERIC\n)");
    EXPECT_NE(statementOf(ddl(sql::ePostgresql), "t").find("bin BYTEA"), std::string::npos);
}

TEST_F(SqlDdl, MandatoryAndUniqueBecomeColumnConstraints) {
    ky::refPtr<classInfo> c = cls(L"t");
    field(c, L"a", eInt)->setMandatory(true);
    field(c, L"b", eInt)->setUnique(true);
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), "CREATE TABLE t (\n    a INTEGER NOT NULL,\n    b INTEGER UNIQUE\n)");
}

TEST_F(SqlDdl, StringDefaultIsQuotedWithInnerQuotesDoubled) {
    field(cls(L"t"), L"a", eString)->setDefaultValue(ky::genericValue::create(L"it's"));
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), "CREATE TABLE t (\n    a TEXT DEFAULT 'it''s'\n)");
}

TEST_F(SqlDdl, DateAndBinaryDefaultsAreWrittenAsLiterals) {
    ky::refPtr<classInfo> c = cls(L"t");
    field(c, L"d", eDate)->setDefaultValue(ky::genericValue::create(ky::date(2024, 2, 29)));
    ky::binaryBuffer bytes(2);
    bytes.bytes() = {0x0a, 0xff};
    field(c, L"x", eBinary)->setDefaultValue(ky::genericValue::create(bytes));
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"),
              "CREATE TABLE t (\n    d DATE DEFAULT '2024-02-29',\n    x BLOB DEFAULT X'0aff'\n)");
    EXPECT_NE(statementOf(ddl(sql::ePostgresql), "t").find("DEFAULT '\\x0aff'::bytea"), std::string::npos);
}

TEST_F(SqlDdl, TypeDefaultIsNoDefault) {
    field(cls(L"t"), L"a", eInt)->setDefaultValue(ky::genericValue::create(0));
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), "CREATE TABLE t (\n    a INTEGER\n)");
}

TEST_F(SqlDdl, ClassNamedOrderIsQuoted) {
    field(cls(L"order"), L"select", eInt);
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "\"order\""), "CREATE TABLE \"order\" (\n    \"select\" INTEGER\n)");
}

TEST_F(SqlDdl, TablesFollowTheTablesTheyReference) {
    ky::refPtr<classInfo> child = cls(L"child");
    field(child, L"parentid", eInt);
    ky::refPtr<classInfo> parent = cls(L"parent");
    shop::makeKey(field(parent, L"id", eInt));
    child->createRelation(L"parentid", false, parent, eRef, L"", L"");
    const sql::ddlResult result = ddl(sql::eSqlite);
    ASSERT_EQ(result.statements.size(), 2u);
    EXPECT_EQ(result.statements[0].rfind("CREATE TABLE parent", 0), 0u);
}

TEST_F(SqlDdl, SqliteClosesACycleWithADeferredForeignKey) {
    ky::refPtr<classInfo> a = cls(L"a");
    shop::makeKey(field(a, L"id", eInt));
    field(a, L"bid", eInt);
    ky::refPtr<classInfo> b = cls(L"b");
    shop::makeKey(field(b, L"id", eInt));
    field(b, L"aid", eInt);
    a->createRelation(L"bid", false, b, eRef, L"", L"");
    b->createRelation(L"aid", false, a, eRef, L"", L"");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_NE(result.text.find("REFERENCES a (id) DEFERRABLE INITIALLY DEFERRED"), std::string::npos);
    EXPECT_EQ(sqliteRefusal(result.text), "");
}

TEST_F(SqlDdl, SelfReferenceStaysInline) {
    ky::refPtr<classInfo> node = cls(L"node");
    shop::makeKey(field(node, L"id", eInt));
    field(node, L"parent", eInt);
    node->createRelation(L"parent", false, node, eRef, L"", L"");
    EXPECT_NE(ddl(sql::ePostgresql).text.find("FOREIGN KEY (parent) REFERENCES node (id)\n)"), std::string::npos);
}

TEST_F(SqlDdl, EnumerationBecomesACheck) {
    shop::setItems(field(cls(L"t"), L"size", eString), eSemEnum, {L"S, small", L"M, medium"});
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), "CREATE TABLE t (\n    size TEXT CHECK (size IN ('S', 'M'))\n)");
}

TEST_F(SqlDdl, SafeCustomTypeIsWrittenAsIs) {
    cls(L"t")->createFieldInfo(L"n", eCustom, ky::genericSet(), L"NUMERIC(10, 2)");
    EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), "CREATE TABLE t (\n    n NUMERIC(10, 2)\n)");
}

TEST_F(SqlDdl, UnsafeCustomTypeLeavesTheColumnOutWithAWarning) {
    ky::refPtr<classInfo> c = cls(L"t");
    field(c, L"a", eInt);
    c->createFieldInfo(L"evil", eCustom, ky::genericSet(), L"INT); DROP TABLE x; --");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(statementOf(result, "t"), "CREATE TABLE t (\n    a INTEGER\n)");
    EXPECT_EQ(countCode(result.problems, "sql.ddl.custom-type"), 1);
}

TEST_F(SqlDdl, NamesThatSqliteFoldsTogetherAreAnError) {
    model = modelInfo::createModelInfo(true);
    field(cls(L"Item"), L"a", eInt);
    field(cls(L"item"), L"a", eInt);
    const sql::ddlResult sqlite = ddl(sql::eSqlite);
    EXPECT_TRUE(sql::hasErrors(sqlite.problems));
    EXPECT_EQ(sqlite.text, "");
    EXPECT_FALSE(sql::hasErrors(ddl(sql::ePostgresql).problems));
}

TEST_F(SqlDdl, ClassWithoutFieldsIsLeftOutOfSqlite) {
    cls(L"empty");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(result.text, "");
    EXPECT_EQ(countCode(result.problems, "sql.ddl.no-columns"), 1);
}

TEST_F(SqlDdl, ExecuteRollsBackWhenAStatementFails) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    const sql::diagnostics problems = sql::executeDdl(db, "CREATE TABLE a (x INTEGER); CREATE TABLE a (y INTEGER);");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].databaseMessage, L"table a already exists");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema", -1, &stmt, nullptr);
    sqlite3_step(stmt);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(PgDdl, ShopModelRunsInPostgresql) {
    shop::buildShopModel(model);
    EXPECT_EQ(pgRefusal(ddl(sql::ePostgresql).text), "");
}

TEST_F(PgDdl, CycleIsClosedByAlterTable) {
    ky::refPtr<classInfo> a = cls(L"a");
    shop::makeKey(field(a, L"id", eInt));
    field(a, L"bid", eInt);
    ky::refPtr<classInfo> b = cls(L"b");
    shop::makeKey(field(b, L"id", eInt));
    field(b, L"aid", eInt);
    a->createRelation(L"bid", false, b, eRef, L"", L"");
    b->createRelation(L"aid", false, a, eRef, L"", L"");
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_NE(result.text.find("ALTER TABLE b ADD FOREIGN KEY (aid) REFERENCES a (id);"), std::string::npos);
    EXPECT_EQ(pgRefusal(result.text), "");
}

TEST_F(PgDdl, QuotedAndNonAsciiNamesRun) {
    model = modelInfo::createModelInfo(true);
    ky::refPtr<classInfo> c = cls(L"Straße \"Nord\".v2");
    field(c, L"Größe", eInt)->setLabel(L"it's big");
    field(c, L"user", eInt);
    EXPECT_EQ(pgRefusal(ddl(sql::ePostgresql).text), "");
}
