// Copying fields from class to class: the names the copies get, whole
// classes and the class itself, and what a copy takes over or leaves behind.
#include "test_support.h"

namespace kytest {
namespace {

class FieldCopy : public fieldTest {
protected:
    static std::vector<ky::string> namesOf(const refPtr<classInfo>& cls) {
        std::vector<ky::string> out;
        for (const auto& f : fieldsOf(cls)) out.push_back(f->scName().string());
        return out;
    }
    static ky::genericValue storedDefault(const refPtr<fieldInfo>& f) {
        ky::genericValue v;
        EXPECT_TRUE(f->getDefaultValue(v, false));
        return v;
    }
    refPtr<fieldInfo> copyOf(const refPtr<fieldInfo>& f, const wchar_t* prefix = nullptr) {
        return shelf->copyFieldInfoFrom(f, prefix);
    }

    refPtr<classInfo> shelf = makeClass(L"shelf");
};

bool alwaysEqual(const ky::genericValue&, const ky::genericValue&) { return true; }

TEST_F(FieldCopy, CopiedNamesFollowTheReceivingClassRule) {
    refPtr<fieldInfo> street = make(L"street", eString);
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<fieldInfo> zip = addField(exact->createClassInfo(L"Source", false), L"ZipCode");
    refPtr<classInfo> receiver = exact->createClassInfo(L"Receiver", false);

    refPtr<fieldInfo> first = copyOf(street, L"Home_");
    EXPECT_EQ(first->scName().string(), L"home_street");
    EXPECT_EQ(copyOf(street, L"HOME_"), first);
    EXPECT_EQ(namesOf(shelf), (std::vector<ky::string>{L"home_street", L"home_street"}));
    EXPECT_EQ(copyOf(zip)->scName().string(), L"zipcode");
    EXPECT_EQ(copyOf(zip, L"X")->scName().string(), L"xzipcode");
    EXPECT_EQ(receiver->copyFieldInfoFrom(street, L"Home_")->scName().string(), L"Home_street");
}

// Copied into itself, a class copies each field once: the walk goes over the
// field list as it was when the call began.
TEST_F(FieldCopy, WholeClassCopyTakesOwnFieldsInOrderOnce) {
    make(L"street", eString);
    make(L"city", eString);
    addField(crate, L"floor");
    const auto before = fieldsOf(box);

    EXPECT_TRUE(shelf->copyInfosFrom(box, nullptr));
    EXPECT_TRUE(shelf->copyInfosFrom(crate, L"c_"));
    EXPECT_EQ(namesOf(shelf), (std::vector<ky::string>{L"street", L"city", L"c_floor"}));
    EXPECT_EQ(fieldsOf(box), before);
    EXPECT_TRUE(box->copyInfosFrom(box, L"old_"));
    EXPECT_EQ(namesOf(box), (std::vector<ky::string>{L"street", L"city", L"old_street", L"old_city"}));
}

// The semantic is installed first, so a primary key's marks would be set by
// it; the copied field's own marks are what counts.
TEST_F(FieldCopy, CopyRepeatsOnlyTheDescriptionAndOwnMarks) {
    refPtr<fieldInfo> f = make(L"width", eInt);
    const rangeCondition hostOwned(1);
    f->setLabel(L"Width");
    f->setUnit(L"mm");
    f->addAliasname(L"w");
    makeKey(f);
    f->setUnique(false);
    EXPECT_TRUE(f->setDefaultExpression(L"1"));
    EXPECT_TRUE(f->setConstantExpression(L"2"));
    EXPECT_TRUE(f->setAutoExpression(L"3"));
    EXPECT_TRUE(f->setValueEqFunc(&alwaysEqual));
    EXPECT_TRUE(f->setValueCondition(&hostOwned));
    f->setUserProperty(L"shown", ky::string(L"yes"), false);
    f->setUserProperty(L"colour", ky::string(L"red"), true);

    refPtr<fieldInfo> copy = copyOf(f);
    f->setLabel(L"changed");
    std::vector<ky::string> aliases;
    copy->getAliasnames(aliases);
    ky::string value;
    EXPECT_EQ(copy->label(), L"Width");
    EXPECT_TRUE(copy->unit().empty());
    EXPECT_TRUE(aliases.empty());
    EXPECT_FALSE(copy->sourceField());
    EXPECT_EQ(copy->semantic(), eSemPrimkey);
    EXPECT_TRUE(copy->isMandatory());
    EXPECT_FALSE(copy->isUnique());
    EXPECT_EQ(copy->defaultExpression() + copy->constantExpression() + copy->autoExpression(), L"123");
    EXPECT_EQ(copy->valueEqFunc(false), &alwaysEqual);
    EXPECT_TRUE(copy->valueCondition());
    EXPECT_NE(copy->valueCondition(), f->valueCondition());
    EXPECT_TRUE(copy->getUserProperty(L"shown", value, false));
    EXPECT_FALSE(copy->getUserProperty(L"colour", value, false));
    EXPECT_TRUE(copy->getUserProperty(L"colour", value, true));
}

TEST_F(FieldCopy, CopyOfAReferringFieldIsAnOrdinaryField) {
    make(L"colour", eInt)->setSemantic(eSemEnum, enumItems(), L"");
    assertCatcher quiet;
    refPtr<fieldInfo> copy = copyOf(referring(L"colour"));
    EXPECT_EQ(assertCatcher::reports().size(), 1u);
    EXPECT_EQ(copy->semantic(), eSemNone);
    EXPECT_FALSE(copy->sourceField());
    EXPECT_EQ(copy->type(), eInt);
}

TEST_F(FieldCopy, CopyStoresAConcreteDefault) {
    refPtr<fieldInfo> count = make(L"count", eInt);
    EXPECT_EQ(*storedDefault(copyOf(count)).constValuePtr<int>(), 0);
    count->setDefaultValue(ky::genericValue::create(ky::string(L"many")));
    EXPECT_EQ(*storedDefault(copyOf(count, L"x")).constValuePtr<ky::string>(), L"many");
    make(L"made", eDate);
    EXPECT_EQ(*storedDefault(copyOf(referring(L"made"))).constValuePtr<ky::date>(), ky::date::today());
}

}  // namespace
}  // namespace kytest
