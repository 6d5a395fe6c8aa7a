// Reflection of PostgreSQL schemas through the server the tests start: what
// PostgreSQL adds to SQLite (enum types, comments, schemas) and the failures
// of reaching a server.
#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class PgReflect : public reflectTest {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }

    // Reflects a new schema made by `ddl`; fails the test when no model comes back.
    ky::refPtr<modelInfo> reflect(const std::string& ddl) {
        const std::string schema = pgServer::freshSchema();
        pgServer::run("SET search_path = " + schema + "; " + ddl);
        options.schemas = {ky::string::fromUtf8(schema)};
        result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }
};

}  // namespace

TEST_F(PgReflect, ColumnTypesAndLengthsAreRead) {
    reflect("CREATE TABLE t (a character varying(12), b bigint, c bytea, d numeric(8,2), e time(3), f text);");
    EXPECT_EQ(sql::fieldLength(*fieldOf(L"t", L"a")), 12u);
    EXPECT_EQ(fieldOf(L"t", L"b")->type(), eLong);
    EXPECT_EQ(fieldOf(L"t", L"c")->type(), eBinary);
    EXPECT_EQ(fieldOf(L"t", L"d")->semantic(), eSemMonetary);
    EXPECT_EQ(fieldOf(L"t", L"e")->type(), eTime);
    EXPECT_EQ(sql::fieldLength(*fieldOf(L"t", L"f")), 0u);
}

TEST_F(PgReflect, EnumTypeBecomesAnEnumerationWithItsLabels) {
    reflect("CREATE TYPE mood AS ENUM ('sad', 'ok', 'happy'); CREATE TABLE t (m mood);");
    ky::refPtr<fieldInfo> m = fieldOf(L"t", L"m");
    ASSERT_EQ(m->semantic(), eSemEnum);
    const std::vector<enumItem>* items = nullptr;
    ASSERT_TRUE(m->semanticAttribs().getValuePtr(L"enumItems", items));
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[2].itemName, L"happy");
}

TEST_F(PgReflect, KeysUniquesAndForeignKeysAreRead) {
    reflect("CREATE TABLE p (a int, b int, u int UNIQUE, PRIMARY KEY (b, a));"
            "CREATE TABLE c (x int, y int, FOREIGN KEY (y, x) REFERENCES p (b, a));");
    EXPECT_EQ(fieldOf(L"p", L"a")->semantic(), eSemPrimkey);
    EXPECT_TRUE(fieldOf(L"p", L"u")->isUnique());
    const auto& pairs = (*result.model->classInfo(L"c", false)->toRelations_begin())->fieldRelations();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first->scName().string(), L"y");
    EXPECT_EQ(pairs[0].second->scName().string(), L"b");
}

TEST_F(PgReflect, DefaultsKeepTheServersTextAndTheirLiteralValue) {
    reflect("CREATE TABLE t (a int DEFAULT -3, b varchar(9) DEFAULT 'x''y', c timestamp DEFAULT now());");
    ky::genericValue value;
    fieldOf(L"t", L"a")->getDefaultValue(value, false);
    EXPECT_EQ(value.strictRead<int>(), -3);
    fieldOf(L"t", L"b")->getDefaultValue(value, false);
    EXPECT_EQ(value.strictRead<ky::string>(), L"x'y");
    EXPECT_EQ(fieldOf(L"t", L"c")->defaultExpression(), L"now()");
}

TEST_F(PgReflect, UnknownTypeBecomesCustomAndKeepsItsNativeText) {
    reflect("CREATE TABLE t (i inet);");
    EXPECT_EQ(fieldOf(L"t", L"i")->typeString().string(), L"inet");
    ky::string native;
    EXPECT_TRUE(fieldOf(L"t", L"i")->getUserProperty(L"postgresql.type", native, false));
    EXPECT_EQ(native, L"inet");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.unknown-type"), 0);
}

TEST_F(PgReflect, OnlyTheGivenSchemaIsRead) {
    const std::string other = pgServer::freshSchema();
    pgServer::run("CREATE TABLE " + other + ".elsewhere (a int)");
    ky::refPtr<modelInfo> model = reflect("CREATE TABLE here (a int);");
    EXPECT_EQ(model->countClasses(), 1u);
}

TEST_F(PgReflect, ForeignKeyIntoAnotherSchemaIsLeftOutWithAWarning) {
    const std::string other = pgServer::freshSchema();
    pgServer::run("CREATE TABLE " + other + ".p (id int PRIMARY KEY)");
    reflect("CREATE TABLE c (pid int REFERENCES " + other + ".p (id));");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.foreign-key"), 1);
}

TEST_F(PgReflect, NamesThatClashAfterFoldingAreAnError) {
    const std::string schema = pgServer::freshSchema();
    pgServer::run("CREATE TABLE " + schema + ".\"Item\" (a int); CREATE TABLE " + schema + ".item (a int);");
    options.schemas = {ky::string::fromUtf8(schema)};
    result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(countCode(result.problems, "sql.reflect.name-clash"), 1);
}

TEST_F(PgReflect, SchemaNameWithAQuoteIsAValueNotSqlText) {
    options.schemas = {L"x'; DROP SCHEMA public; --"};
    result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    ASSERT_TRUE(result.model) << describeAll(result.problems);
    EXPECT_EQ(result.model->countClasses(), 0u);
}

TEST_F(PgReflect, ServerThatCannotBeReachedIsOneError) {
    const std::pair<std::string, const wchar_t*> cases[] = {
        {"host=" + freshPath("nosocket") + " user=postgres", L"No such file or directory"},
        {pgServer::conninfo() + " user=nobody_here", L"nobody_here"},
    };
    for (const auto& [conninfo, message] : cases) {
        SCOPED_TRACE(conninfo);
        result = sql::reflectPostgresqlDatabase(conninfo, options);
        EXPECT_FALSE(result.model);
        ASSERT_EQ(countCode(result.problems, "sql.connect"), 1);
        EXPECT_NE(result.problems[0].databaseMessage.find(message), ky::string::npos);
    }
}

TEST_F(PgReflect, ConnectionInsideATransactionIsRefused) {
    PGconn* conn = PQconnectdb(pgServer::conninfo().c_str());
    PQclear(PQexec(conn, "BEGIN"));
    result = sql::reflectPostgresql(conn, options);
    PQfinish(conn);
    EXPECT_EQ(countCode(result.problems, "sql.transaction"), 1);
}
