// The field copy: what a class takes over with copyFieldInfoFrom, and what
// it leaves behind.
#include "field_test_support.h"

namespace fieldtest {
namespace {

class fieldCopy : public fieldFixture {
protected:
    void SetUp() override {
        fieldFixture::SetUp();
        shelf = model->createClassInfo(L"shelf", false);
    }
    void TearDown() override {
        shelf = nullptr;
        fieldFixture::TearDown();
    }
    refPtr<fieldInfo> copyOf(const refPtr<fieldInfo>& f, const wchar_t* prefix = nullptr) {
        return shelf->copyFieldInfoFrom(f, prefix);
    }
    static ky::genericValue storedDefault(const refPtr<fieldInfo>& f) {
        ky::genericValue v;
        EXPECT_TRUE(f->getDefaultValue(v, false));
        return v;
    }
    refPtr<classInfo> shelf;
};

bool alwaysEqual(const ky::genericValue&, const ky::genericValue&) { return true; }

TEST_F(fieldCopy, CopyRepeatsTheDescriptionButNotUnitAliasesOrSource) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    f->setLabel(L"Width");
    f->setUnit(L"mm");
    f->addAliasname(L"w");
    f->setMandatory(true);
    f->setSemantic(eSemLength, {}, L"");
    f->setDefaultExpression(L"1");
    f->setConstantExpression(L"2");
    f->setAutoExpression(L"3");
    f->setValueEqFunc(&alwaysEqual);
    f->setUserProperty(L"shown", L"yes", false);
    f->setUserProperty(L"colour", L"red", true);

    refPtr<fieldInfo> copy = copyOf(f);
    EXPECT_EQ(copy->qualifiedName(), L"shelf.width");
    EXPECT_EQ(copy->label(), L"Width");
    EXPECT_TRUE(copy->unit().empty());
    std::vector<ky::string> aliases;
    copy->getAliasnames(aliases);
    EXPECT_TRUE(aliases.empty());
    EXPECT_TRUE(copy->isMandatory());
    EXPECT_FALSE(copy->isUnique());
    EXPECT_EQ(copy->semantic(), eSemLength);
    EXPECT_EQ(copy->defaultExpression(), L"1");
    EXPECT_EQ(copy->constantExpression(), L"2");
    EXPECT_EQ(copy->autoExpression(), L"3");
    EXPECT_EQ(copy->valueEqFunc(false), &alwaysEqual);
    EXPECT_EQ(copy->customTypeString().string(), L"int");
    ky::string value;
    EXPECT_TRUE(copy->getUserProperty(L"shown", value, false));
    EXPECT_FALSE(copy->getUserProperty(L"colour", value, false));
    EXPECT_TRUE(copy->getUserProperty(L"colour", value, true));
    EXPECT_EQ(value, L"red");
}

TEST_F(fieldCopy, MarksAreTheCopiedFieldsOwnWhateverTheSemanticDid) {
    refPtr<fieldInfo> id = field(L"id", eInt);
    id->setSemantic(eSemPrimkey, {}, L"");
    id->setUnique(false);
    refPtr<fieldInfo> copy = copyOf(id);
    EXPECT_EQ(copy->semantic(), eSemPrimkey);
    EXPECT_TRUE(copy->isMandatory());
    EXPECT_FALSE(copy->isUnique());
}

TEST_F(fieldCopy, CopyOfAReferringFieldIsOrdinaryAndLosesAnEnumSemantic) {
    refPtr<fieldInfo> colour = field(L"colour", eInt);
    colour->setSemantic(eSemEnum, withEnumItems(), L"");
    refPtr<fieldInfo> copy;
    {
        assertionRecorder quiet;
        copy = copyOf(referring(L"colour"));
        EXPECT_EQ(assertionRecorder::texts().size(), 1u);
    }
    EXPECT_EQ(copy->semantic(), eSemNone);
    EXPECT_FALSE(copy->sourceField());
    EXPECT_EQ(copy->type(), eInt);
}

TEST_F(fieldCopy, CopyStoresAConcreteDefault) {
    refPtr<fieldInfo> count = field(L"count", eInt);
    EXPECT_EQ(*storedDefault(copyOf(count)).constValuePtr<int>(), 0);
    count->setDefaultValue(ky::genericValue::create(ky::string(L"many")));
    EXPECT_EQ(*storedDefault(copyOf(count, L"x")).constValuePtr<ky::string>(), L"many");
    field(L"made", eDate);
    EXPECT_EQ(*storedDefault(copyOf(referring(L"made"))).constValuePtr<ky::date>(), ky::date::today());
    EXPECT_EQ(shelf->countFields(), 3u);
}

class boxCondition : public ky::conditions::condition {
public:
    condition* clone() const override { return new boxCondition(*this); }
};

TEST_F(fieldCopy, CopyTakesItsOwnConditionAndStaysUnlinked) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    const boxCondition hostOwned;
    f->setValueCondition(&hostOwned);
    refPtr<fieldInfo> copy = copyOf(f);
    ASSERT_NE(copy->valueCondition(), nullptr);
    EXPECT_NE(copy->valueCondition(), f->valueCondition());
    f->setLabel(L"changed");
    f->setValueCondition(nullptr);
    EXPECT_TRUE(copy->label().empty());
    EXPECT_NE(copy->valueCondition(), nullptr);
}

}  // namespace
}  // namespace fieldtest
