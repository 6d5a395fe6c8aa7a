// Identifiers and keywords: what is quoted and how.
#include <gtest/gtest.h>

#include <kymdlsql.h>

using namespace ky::metamodel::sql;

TEST(SqlNames, PlainLowerCaseWordStaysUnquoted) { EXPECT_EQ(quoteIdentifier(L"order_line", eSqlite), "order_line"); }

TEST(SqlNames, ReservedWordIsQuoted) { EXPECT_EQ(quoteIdentifier(L"order", ePostgresql), "\"order\""); }

TEST(SqlNames, UpperCaseLetterIsQuoted) { EXPECT_EQ(quoteIdentifier(L"Order", ePostgresql), "\"Order\""); }

TEST(SqlNames, InnerQuoteIsDoubled) { EXPECT_EQ(quoteIdentifier(L"a\"b", eSqlite), "\"a\"\"b\""); }

TEST(SqlNames, SpacesDotsAndNonAsciiAreQuotedInUtf8) {
    EXPECT_EQ(quoteIdentifier(L"a b", eSqlite), "\"a b\"");
    EXPECT_EQ(quoteIdentifier(L"a.b", eSqlite), "\"a.b\"");
    EXPECT_EQ(quoteIdentifier(L"straße", ePostgresql), "\"stra\xc3\x9f" "e\"");
}

TEST(SqlNames, LeadingDigitIsQuoted) { EXPECT_EQ(quoteIdentifier(L"1st", eSqlite), "\"1st\""); }

TEST(SqlNames, KeywordsAreFoundInAnyCase) {
    EXPECT_TRUE(isReservedWord(L"SELECT"));
    EXPECT_TRUE(isReservedWord(L"references"));
    EXPECT_FALSE(isReservedWord(L"customer"));
}
