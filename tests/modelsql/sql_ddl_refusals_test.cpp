// What DDL may hold whatever the model: every character in every place the
// writer puts text, checked by the fuzz targets' checker and run in SQLite;
// names the dialect would refuse or cut; foreign keys PostgreSQL cannot
// compare; defaults that are not finite numbers; diagnostics on one line.
#include <cmath>

#include "../fuzz/ddl_check.h"
#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

sql::ddlResult ddlOf(const modelInfo& model, sql::eDialect dialect) {
    sql::ddlOptions options;
    options.dialect = dialect;
    options.labelsAsComments = true;
    return sql::createDdl(model, options);
}

// A model whose every name, label, default and enumeration item holds `c`
// beside both kinds of quote.
ky::refPtr<modelInfo> modelHolding(wchar_t c) {
    const ky::string text = ky::string(L"n") + c + L"\"'";
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::refPtr<classInfo> target = model->createClassInfo(text, false);
    target->setLabel(text);
    ky::refPtr<fieldInfo> key = target->createFieldInfo(text, eInt, ky::genericSet(), L"");
    key->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    ky::refPtr<classInfo> source = model->createClassInfo(L"s", false);
    ky::refPtr<fieldInfo> ref = source->createFieldInfo(L"r" + text, eInt, ky::genericSet(), L"");
    ref->setLabel(text);
    ky::refPtr<fieldInfo> item = source->createFieldInfo(L"e", eString, ky::genericSet(), L"");
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"enumItems"),
                     std::vector<enumItem>{{ky::genericValue::create(text), text}}, true);
    item->setSemantic(eSemEnum, attribs, L"");
    item->setDefaultValue(ky::genericValue::create(text));
    source->createRelation(L"r" + text, false, target, eRef, L"", L"");
    return model;
}

}  // namespace

TEST(SqlDdlText, EveryCharacterEverywhereGivesSoundDdlOrARefusal) {
    std::vector<std::uint32_t> samples;
    for (std::uint32_t c = 0; c < 0x80; ++c) samples.push_back(c);
    for (std::uint32_t c : {0x85u, 0x9Fu, 0xA0u, 0xFFu, 0x7FFu, 0x2028u, 0xD7FFu, 0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu,
                            0xFEFFu, 0xFFFEu, 0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu, 0x110000u})
        samples.push_back(c);
    for (std::uint32_t c : samples) {
        SCOPED_TRACE("U+" + std::to_string(c));
        const ky::refPtr<modelInfo> model = modelHolding(static_cast<wchar_t>(c));
        const bool refusable = c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF;
        for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
            const sql::ddlResult result = ddlOf(*model, dialect);
            EXPECT_EQ(kyfuzz::ddlFault(result.text), "");
            EXPECT_EQ(sql::hasErrors(result.problems), refusable) << describeAll(result.problems);
            if (refusable) {
                EXPECT_EQ(countCode(result.problems, "sql.ddl.name-character"), 3);
            }
        }
        if (!refusable) {
            EXPECT_EQ(describeAll(sql::executeDdl(sqliteConnection().db, ddlOf(*model, sql::eSqlite).text)), "");
        }
    }
}

TEST(SqlDdlText, NamesPostgresqlWouldRefuseOrCutAreErrors) {
    const struct { const wchar_t* name; bool column; const char* code; } cases[] = {
        {L"xmin", true, "sql.ddl.system-column"},
        {L"ctid", true, "sql.ddl.system-column"},
        {L"tableoid", true, "sql.ddl.system-column"},
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false, "sql.ddl.name-length"},  // 64
        {L"äääääääääääääääääääääääääääääääää", true, "sql.ddl.name-length"},  // 32 letters, 64 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ky::string(c.name).toUtf8());
        ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        ky::refPtr<classInfo> cls = model->createClassInfo(c.column ? L"t" : c.name, false);
        cls->createFieldInfo(c.column ? c.name : L"id", eInt, ky::genericSet(), L"");
        const sql::ddlResult pg = ddlOf(*model, sql::ePostgresql);
        EXPECT_EQ(countCode(pg.problems, c.code), 1) << describeAll(pg.problems);
        EXPECT_EQ(pg.text, "");
        EXPECT_FALSE(sql::hasErrors(ddlOf(*model, sql::eSqlite).problems));
    }
}

TEST(PgDdlText, NamesAtTheLimitAndSystemNamesInOtherCaseRun) {
    KY_REQUIRE_PG();
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    ky::refPtr<classInfo> cls = model->createClassInfo(std::wstring(63, L'a'), false);
    cls->createFieldInfo(L"XMIN", eInt, ky::genericSet(), L"");
    cls->createFieldInfo(L"äääääääääääääääääääääääääääääää", eInt, ky::genericSet(), L"");  // 62 bytes
    const sql::ddlResult result = ddlOf(*model, sql::ePostgresql);
    ASSERT_FALSE(sql::hasErrors(result.problems)) << describeAll(result.problems);
    EXPECT_EQ(describeAll(sql::executeDdlOnPostgresql(pgServer::conninfo(pgServer::freshSchema()), result.text)), "");
}

TEST(SqlDdlText, SqliteRefusesTablesNamedLikeItsOwn) {
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    model->createClassInfo(L"SQLite_stat", false)->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    EXPECT_EQ(countCode(ddlOf(*model, sql::eSqlite).problems, "sql.ddl.reserved-name"), 1);
    EXPECT_FALSE(sql::hasErrors(ddlOf(*model, sql::ePostgresql).problems));
}

// For each pair of column types, the DDL refuses a foreign key exactly when
// PostgreSQL refuses it. A key field has no other semantic, so no key is
// NUMERIC.
TEST(PgDdlText, ForeignKeyTypesAreRefusedExactlyWhenPostgresqlRefusesThem) {
    KY_REQUIRE_PG();
    const struct { eFieldType type; eFieldSemantics semantic; } types[] = {
        {eBool, eSemNone}, {eShort, eSemNone}, {eInt, eSemNone},   {eLong, eSemNone},  {eFloat, eSemNone},
        {eDouble, eSemNone}, {eDouble, eSemMonetary}, {eString, eSemNone}, {eDate, eSemNone}, {eTime, eSemNone},
        {eTimestamp, eSemNone}, {eBinary, eSemNone}};
    PGconn* conn = PQconnectdb(pgServer::conninfo(pgServer::freshSchema()).c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK);
    for (const auto& from : types) {
        for (const auto& to : types) {
            if (to.semantic == eSemMonetary) continue;
            ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
            ky::refPtr<classInfo> target = model->createClassInfo(L"k", false);
            ky::refPtr<fieldInfo> key = target->createFieldInfo(L"id", to.type, ky::genericSet(), L"");
            key->setSemantic(eSemPrimkey, ky::genericSet(), L"");
            ky::refPtr<classInfo> source = model->createClassInfo(L"f", false);
            ky::refPtr<fieldInfo> ref = source->createFieldInfo(L"r", from.type, ky::genericSet(), L"");
            if (from.semantic == eSemMonetary) ref->setSemantic(eSemMonetary, ky::genericSet(), L"");
            source->createRelation(L"r", false, target, eRef, L"", L"");
            const std::string keyType = sql::sqlTypeOf(to.type, 0, to.semantic, sql::ePostgresql);
            const std::string refType = sql::sqlTypeOf(from.type, 0, from.semantic, sql::ePostgresql);
            SCOPED_TRACE(refType + " -> " + keyType);
            const std::string sql = "BEGIN; CREATE TABLE k (id " + keyType + " PRIMARY KEY); CREATE TABLE f (r " +
                                    refType + " REFERENCES k (id));";
            PGresult* res = PQexec(conn, sql.c_str());
            const bool accepted = PQresultStatus(res) == PGRES_COMMAND_OK;
            PQclear(res);
            PQclear(PQexec(conn, "ROLLBACK"));
            const sql::ddlResult result = ddlOf(*model, sql::ePostgresql);
            EXPECT_EQ(countCode(result.problems, "sql.ddl.foreign-key-type"), accepted ? 0 : 1);
        }
    }
    PQfinish(conn);
}

TEST(SqlDdlText, DefaultsWithoutAFiniteValueAreWrittenByPostgresqlAndWarnedInSqlite) {
    for (double value : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        SCOPED_TRACE(value);
        ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        ky::refPtr<fieldInfo> field =
            model->createClassInfo(L"t", false)->createFieldInfo(L"x", eDouble, ky::genericSet(), L"");
        field->setDefaultValue(ky::genericValue::create(value));
        EXPECT_EQ(countCode(ddlOf(*model, sql::eSqlite).problems, "sql.ddl.default"), 1);
        const std::string pg = ddlOf(*model, sql::ePostgresql).text;
        EXPECT_NE(pg.find(std::isnan(value) ? "DEFAULT 'NaN'" : value > 0 ? "DEFAULT 'Infinity'" : "DEFAULT '-Infinity'"),
                  std::string::npos) << pg;
    }
}

TEST(SqlDdlText, TextDefaultHoldingANulIsWarnedNotDropped) {
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::refPtr<fieldInfo> field = model->createClassInfo(L"t", false)->createFieldInfo(L"x", eString, ky::genericSet(), L"");
    field->setDefaultValue(ky::genericValue::create(ky::string(L"a\0b", 3)));
    EXPECT_EQ(countCode(ddlOf(*model, sql::eSqlite).problems, "sql.ddl.default"), 1);
}

TEST(SqlReflectNames, TableNamedWithANewlineIsRefusedOnOneLine) {
    const std::string path = sqliteFileWith("CREATE TABLE \"x\nall good: 0 errors\" (id INTEGER);");
    const sql::reflectResult result = sql::reflectSqliteFile(path, {});
    ASSERT_EQ(countCode(result.problems, "sql.reflect.name-character"), 1) << describeAll(result.problems);
    EXPECT_EQ(sql::describe(result.problems[0]).find(L'\n'), ky::string::npos);
    EXPECT_FALSE(result.model);
}
