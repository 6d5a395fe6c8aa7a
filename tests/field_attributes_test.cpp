// A field's names, marks and the three expressions with their source-chain
// rules.
#include "test_support.h"

namespace kytest {
namespace {

using FieldAttributes = fieldTest;

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

TEST_F(FieldAttributes, MarksChangeIndependentlyEvenOnAPrimaryKey) {
    refPtr<fieldInfo> f = make(L"width", eInt);
    EXPECT_FALSE(f->isMandatory() || f->isUnique());
    makeKey(f);
    f->setMandatory(false);
    EXPECT_TRUE(!f->isMandatory() && f->isUnique() && f->semantic() == eSemPrimkey);
}

TEST_F(FieldAttributes, ExpressionsAreIndependentAndEmptyTextRemovesOne) {
    refPtr<fieldInfo> f = make(L"width", eInt);
    EXPECT_TRUE(f->defaultExpression().empty() && f->constantExpression().empty() && f->autoExpression().empty());
    EXPECT_TRUE(f->setDefaultExpression(L"1"));
    EXPECT_TRUE(f->setConstantExpression(L"a+1"));
    EXPECT_TRUE(f->setAutoExpression(L"now()"));
    EXPECT_TRUE(f->setAutoExpression(L""));
    EXPECT_EQ(f->defaultExpression(), L"1");
    EXPECT_EQ(f->constantExpression(), L"a+1");
    EXPECT_TRUE(f->autoExpression().empty());
    EXPECT_TRUE(f->setConstantExpression(L""));
    EXPECT_TRUE(f->constantExpression().empty());
    EXPECT_EQ(f->defaultExpression(), L"1");
}

TEST_F(FieldAttributes, ReferringFieldFallsBackToItsSourcesExpressions) {
    refPtr<fieldInfo> source = make(L"width", eInt);
    source->setDefaultExpression(L"10");
    source->setConstantExpression(L"20");
    source->setAutoExpression(L"30");
    refPtr<fieldInfo> over = referring(L"width");
    over->setDefaultExpression(L"");
    EXPECT_EQ(over->defaultExpression() + over->constantExpression() + over->autoExpression(), L"102030");

    over->setConstantExpression(L"21");
    over->setAutoExpression(L"31");
    EXPECT_EQ(over->constantExpression() + over->autoExpression(), L"2131");
    over->setConstantExpression(L"");
    EXPECT_EQ(over->constantExpression(), L"20");
}

}  // namespace
}  // namespace kytest
