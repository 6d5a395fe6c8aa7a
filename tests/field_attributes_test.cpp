// The field's record and lifecycle: log lines, names, label, unit, marks and
// the three expressions with their source-chain rules.
#include "field_test_support.h"

namespace fieldtest {
namespace {

using fieldAttributes = fieldFixture;

TEST_F(fieldAttributes, LifecycleWritesItsLinesWithTheirLoggersLevelsAndLines) {
    logRecorder log;
    refPtr<fieldInfo> source = field(L"width", eInt);
    referring(L"width")->setLabel(L"Crate width");
    source->setLabel(L"Width");
    crate->releaseInfo();
    box->releaseInfo();
    source = nullptr;

    const auto created = log.of(L"ky::metamodel::fieldInfo::fieldInfo");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].line, 119);
    EXPECT_EQ(created[1].line, 129);
    EXPECT_EQ(created[1].lvl, kylog::level::trace);
    EXPECT_EQ(created[1].message, L"fieldInfo created: \"\"");
    EXPECT_EQ(created[1].file, fieldFile);

    const auto released = log.of(L"ky::metamodel::fieldInfo::releaseInfo");
    ASSERT_EQ(released.size(), 2u);
    EXPECT_EQ(released[0].lvl, kylog::level::info);
    EXPECT_EQ(released[0].line, 177);
    EXPECT_EQ(released[0].message, L"fieldInfo releaseInfo called: \"Crate width\"");

    const auto destroyed = log.of(L"ky::metamodel::fieldInfo::~fieldInfo");
    ASSERT_EQ(destroyed.size(), 2u);
    EXPECT_EQ(destroyed[0].lvl, kylog::level::debug);
    EXPECT_EQ(destroyed[0].line, 169);
    EXPECT_EQ(destroyed[0].message, L"fieldInfo released: \"Crate width\"");
    EXPECT_EQ(destroyed[1].message, L"fieldInfo released: \"Width\"");
    EXPECT_EQ(destroyed[1].function, L"ky::metamodel::fieldInfo::~fieldInfo");
}

TEST_F(fieldAttributes, ReferringFieldIsKnownByItsSourcesName) {
    field(L"width", eInt);
    refPtr<fieldInfo> over = referring(L"width");
    EXPECT_EQ(over->scName().string(), L"width");
    EXPECT_EQ(over->qualifiedName(), L"crate.width");
    EXPECT_EQ(over->sourceField().get(), box->fieldInfo(L"width", false, false).get());
}

TEST_F(fieldAttributes, ReleasedFieldHasNoClassAndAnswersItsBareName) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    EXPECT_EQ(f->qualifiedName(), L"box.width");
    box->releaseInfo();
    EXPECT_FALSE(f->classInfo());
    EXPECT_EQ(f->qualifiedName(), L"width");
}

TEST_F(fieldAttributes, NewFieldStartsBlankAndItsMarksChangeIndependently) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    EXPECT_TRUE(f->label().empty());
    EXPECT_TRUE(f->unit().empty());
    EXPECT_FALSE(f->isMandatory() || f->isUnique());
    EXPECT_TRUE(f->defaultExpression().empty());
    EXPECT_TRUE(f->constantExpression().empty());
    EXPECT_TRUE(f->autoExpression().empty());
    f->setMandatory(true);
    f->setUnique(true);
    f->setMandatory(false);
    EXPECT_FALSE(f->isMandatory());
    EXPECT_TRUE(f->isUnique());
}

TEST_F(fieldAttributes, ExpressionsAreIndependentOfEachOther) {
    refPtr<fieldInfo> f = field(L"width", eInt);
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

TEST_F(fieldAttributes, ReferringFieldFallsBackToItsSourcesExpressions) {
    refPtr<fieldInfo> source = field(L"width", eInt);
    source->setDefaultExpression(L"10");
    source->setConstantExpression(L"20");
    source->setAutoExpression(L"30");
    refPtr<fieldInfo> over = referring(L"width");
    over->setDefaultExpression(L"");
    EXPECT_EQ(over->defaultExpression(), L"10");
    EXPECT_EQ(over->constantExpression(), L"20");
    EXPECT_EQ(over->autoExpression(), L"30");

    over->setConstantExpression(L"21");
    over->setAutoExpression(L"31");
    EXPECT_EQ(over->constantExpression(), L"21");
    EXPECT_EQ(over->autoExpression(), L"31");
    over->setConstantExpression(L"");
    EXPECT_EQ(over->constantExpression(), L"20");
}

}  // namespace
}  // namespace fieldtest
