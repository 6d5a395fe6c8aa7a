// A class's alias names and user properties, and the search of inheritable
// properties through the base classes.
#include "class_test_support.h"

namespace classtest {
namespace {

class ClassAnnotations : public classFixture {
protected:
    void SetUp() override { cls = makeClass(L"Box"); }

    static bool hasAlias(const refPtr<classInfo>& c, const wchar_t* alias) {
        return c->hasAliasname(ky::scString::createFrom(alias));
    }

    refPtr<classInfo> cls;
};

TEST_F(ClassAnnotations, ReaddedAliasMovesToTheEndAndListsAreAppended) {
    EXPECT_FALSE(hasAlias(cls, L"a"));
    cls->addAliasname(L"a");
    cls->addAliasname(L"b");
    cls->addAliasname(L"a");
    cls->addAliasname(L"c");
    cls->removeAliasname(L"c");
    cls->removeAliasname(L"never");

    std::vector<ky::string> out{L"x"};
    cls->getAliasnames(out);
    EXPECT_EQ(out, (std::vector<ky::string>{L"x", L"b", L"a"}));
    EXPECT_FALSE(hasAlias(cls, L"c"));
}

TEST_F(ClassAnnotations, EmptyAliasIsReportedWithItsLine) {
    expectReport([&] { cls->addAliasname(L""); }, report(L"alias.length()", classFile, 325));
    expectReport([&] { cls->removeAliasname(L""); }, report(L"alias.length()", classFile, 343));
}

TEST_F(ClassAnnotations, OwnPropertiesComeBeforeInheritableOnes) {
    cls->setUserProperty(L"colour", ky::string(L"red"), false);
    cls->setUserProperty(L"colour", ky::string(L"blue"), true);

    ky::string colour;
    EXPECT_TRUE(cls->getUserProperty(L"colour", colour, true));
    EXPECT_EQ(colour, L"red");
}

// Without the search, a class reads its own inheritable set for every value
// kind but the generic value.
TEST_F(ClassAnnotations, WhenInheritablePropertiesAreReadWithoutSearch) {
    cls->setUserProperty(L"p", ky::string(L"text"), true);
    cls->setUserProperty(L"o", ky::refPtr<ky::refObj>(new hostObject()), true);

    ky::string text;
    EXPECT_TRUE(cls->getUserProperty(L"p", text, false));
    ky::refPtr<ky::refObj> object;
    EXPECT_TRUE(cls->getUserProperty(L"o", object, false));
    ky::const_refPtr<ky::refObj> constObject;
    EXPECT_TRUE(static_cast<const classInfo&>(*cls).getUserProperty(L"o", constObject, false));
    EXPECT_EQ(constObject.get(), object.get());
    ky::genericValue value;
    EXPECT_FALSE(cls->getUserProperty(L"p", value, false));
    EXPECT_TRUE(cls->getUserProperty(L"p", value, true));
}

TEST_F(ClassAnnotations, AMissOrAnUnconvertibleValueLeavesTheOutputAlone) {
    cls->setUserProperty(L"o", ky::refPtr<ky::refObj>(new hostObject()), false);
    ky::string text = L"unchanged";

    EXPECT_FALSE(cls->getUserProperty(L"o", text, true));
    EXPECT_FALSE(cls->getUserProperty(L"neverInterned\u2603", text, true));
    EXPECT_EQ(text, L"unchanged");
}

TEST_F(ClassAnnotations, BasesLendOnlyTheirInheritablePropertiesAtAnyDepth) {
    refPtr<classInfo> parent = makeDerived(L"Parent", {cls});
    refPtr<classInfo> child = makeDerived(L"Child", {parent});
    cls->setUserProperty(L"deep", ky::string(L"grand"), true);
    parent->setUserProperty(L"hidden", ky::string(L"own"), false);

    ky::string value;
    EXPECT_TRUE(child->getUserProperty(L"deep", value, true));
    EXPECT_EQ(value, L"grand");
    EXPECT_FALSE(child->getUserProperty(L"deep", value, false));
    EXPECT_FALSE(child->getUserProperty(L"hidden", value, true));
}

TEST_F(ClassAnnotations, TheFirstBaseInMapOrderWinsWithItsWholeBranch) {
    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> child = makeDerived(L"Child", {bases.back(), bases.front()});
    bases.front()->addBaseClass(cls);
    cls->setUserProperty(L"p", ky::string(L"deep"), true);
    bases.back()->setUserProperty(L"p", ky::string(L"shallow"), true);

    ky::string value;
    EXPECT_TRUE(child->getUserProperty(L"p", value, true));
    EXPECT_EQ(value, L"deep");
}

}  // namespace
}  // namespace classtest
