// A field's names and the three expressions with their source-chain rules.
#include "test_support.h"

namespace kytest {
namespace {

class FieldAttributes : public fieldTest {
protected:
    static ky::string expressions(const refPtr<fieldInfo>& f) {
        return f->defaultExpression() + L"|" + f->constantExpression() + L"|" + f->autoExpression();
    }
};

TEST_F(FieldAttributes, ReferringFieldIsKnownByItsSourcesNameAReleasedFieldByItsBareName) {
    refPtr<fieldInfo> source = make(L"width", eInt);
    refPtr<fieldInfo> over = referring(L"width");
    EXPECT_EQ(over->sourceField(), source);
    EXPECT_EQ(over->scName().string(), L"width");
    EXPECT_EQ(over->qualifiedName() + L" " + source->qualifiedName(), L"crate.width box.width");
    box->releaseInfo();
    EXPECT_FALSE(source->classInfo());
    EXPECT_EQ(source->qualifiedName(), L"width");
}

// Each expression is its own: an empty text removes only that one, and a
// referring field without it answers its source's.
TEST_F(FieldAttributes, ReferringFieldFallsBackToItsSourcesExpressions) {
    refPtr<fieldInfo> source = make(L"width", eInt);
    EXPECT_EQ(expressions(source), L"||");
    EXPECT_TRUE(source->setDefaultExpression(L"1"));
    EXPECT_TRUE(source->setConstantExpression(L"2"));
    EXPECT_TRUE(source->setAutoExpression(L"3"));
    refPtr<fieldInfo> over = referring(L"width");
    over->setDefaultExpression(L"");
    EXPECT_EQ(expressions(over), L"1|2|3");
    over->setConstantExpression(L"21");
    over->setAutoExpression(L"31");
    EXPECT_EQ(expressions(over), L"1|21|31");
    EXPECT_TRUE(over->setConstantExpression(L""));
    EXPECT_TRUE(source->setAutoExpression(L""));
    EXPECT_EQ(expressions(over), L"1|2|31");
    EXPECT_EQ(expressions(source), L"1|2|");
}

}  // namespace
}  // namespace kytest
