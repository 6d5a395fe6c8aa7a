// Column types read from their SQL text, and default literals both ways.
#include <cmath>
#include <limits>

#include "sql_test_support.h"

using namespace ky::metamodel;

TEST(SqlTypes, PostgresqlSpellingsAreRead) {
    EXPECT_EQ(sql::parseColumnType(L"character varying(40)", sql::ePostgresql).length, 40u);
    EXPECT_EQ(sql::parseColumnType(L"timestamp(6) without time zone", sql::ePostgresql).type, eTimestamp);
    EXPECT_EQ(sql::parseColumnType(L"double precision", sql::ePostgresql).type, eDouble);
}

TEST(SqlTypes, CaseAndBlanksDoNotMatter) {
    const sql::columnType type = sql::parseColumnType(L"  varchar ( 12 ) ", sql::eSqlite);
    EXPECT_EQ(type.type, eString);
    EXPECT_EQ(type.length, 12u);
}

TEST(SqlTypes, UnknownTypeKeepsItsText) {
    const sql::columnType type = sql::parseColumnType(L" Geometry(Point) ", sql::eSqlite);
    EXPECT_FALSE(type.known);
    EXPECT_EQ(type.type, eCustom);
    EXPECT_EQ(type.custom, L"Geometry(Point)");
}

TEST(SqlTypes, VarcharWithAWrongLengthIsUnknown) {
    EXPECT_FALSE(sql::parseColumnType(L"VARCHAR(x)", sql::eSqlite).known);
    EXPECT_FALSE(sql::parseColumnType(L"VARCHAR(0)", sql::eSqlite).known);
    EXPECT_FALSE(sql::parseColumnType(L"VARCHAR(4) x", sql::eSqlite).known);
}

TEST(SqlTypes, NonFiniteNumberHasNoLiteral) {
    std::string literal;
    EXPECT_FALSE(sql::literalOf(ky::genericValue::create(std::numeric_limits<double>::quiet_NaN()), eDouble,
                                sql::eSqlite, literal));
}

TEST(SqlTypes, DoubleLiteralReadsBackExactly) {
    std::string literal;
    ASSERT_TRUE(sql::literalOf(ky::genericValue::create(0.1), eDouble, sql::eSqlite, literal));
    ky::genericValue back;
    ASSERT_TRUE(sql::parseDefaultLiteral(ky::string::fromUtf8(literal), eDouble, back));
    EXPECT_EQ(back.strictRead<double>(), 0.1);
}

TEST(SqlTypes, TimeFractionIsWrittenWithoutTrailingZeros) {
    std::string literal;
    ASSERT_TRUE(sql::literalOf(ky::genericValue::create(ky::time(8, 5, 0, 500000000)), eTime, sql::eSqlite, literal));
    EXPECT_EQ(literal, "'08:05:00.5'");
}

TEST(SqlTypes, CastAndParenthesesAroundALiteralAreRead) {
    ky::genericValue value;
    ASSERT_TRUE(sql::parseDefaultLiteral(L"('2024-02-29'::date)", eDate, value));
    EXPECT_EQ(value.strictRead<ky::date>(), ky::date(2024, 2, 29));
    ASSERT_TRUE(sql::parseDefaultLiteral(L"((-12))", eShort, value));
    EXPECT_EQ(value.strictRead<short>(), -12);
}

TEST(SqlTypes, ExpressionIsNoLiteral) {
    ky::genericValue value;
    EXPECT_FALSE(sql::parseDefaultLiteral(L"CURRENT_TIMESTAMP", eTimestamp, value));
    EXPECT_FALSE(sql::parseDefaultLiteral(L"nextval('t_id_seq'::regclass)", eInt, value));
    EXPECT_FALSE(sql::parseDefaultLiteral(L"'abc' || 'd'", eString, value));
}

TEST(SqlTypes, NumberOutOfTheTypesRangeIsNoLiteral) {
    ky::genericValue value;
    EXPECT_FALSE(sql::parseDefaultLiteral(L"70000", eShort, value));
}

TEST(SqlTypes, PostgresqlByteaLiteralIsRead) {
    ky::genericValue value;
    ASSERT_TRUE(sql::parseDefaultLiteral(L"'\\x0aff'::bytea", eBinary, value));
    EXPECT_EQ(value.strictRead<ky::binaryBuffer>().size(), 2u);
}

TEST(SqlTypes, CustomTypeTextWithPunctuationIsUnsafe) {
    EXPECT_TRUE(sql::isSafeCustomType(L"NUMERIC(10, 2)"));
    EXPECT_TRUE(sql::isSafeCustomType(L"integer[]"));
    EXPECT_FALSE(sql::isSafeCustomType(L"INT; DROP"));
    EXPECT_FALSE(sql::isSafeCustomType(L"TEXT)"));
    EXPECT_FALSE(sql::isSafeCustomType(L"a, b"));
}

TEST(SqlTypes, StringLengthFollowsTheSourceChain) {
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::refPtr<classInfo> base = model->createClassInfo(L"base", false);
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"length"), 30, true);
    base->createFieldInfo(L"name", eString, attribs, L"");
    ky::refPtr<classInfo> derived = model->createClassInfo(L"derived", false);
    derived->addBaseClass(base);
    ky::refPtr<fieldInfo> override = derived->createFieldInfo(base, L"name");
    EXPECT_EQ(sql::fieldLength(*override), 30u);
}
