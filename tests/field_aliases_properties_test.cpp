// Alias names and user properties of fields, with their two different walks
// along the source chain.
#include "field_test_support.h"

namespace fieldtest {
namespace {

class fieldAnnotations : public fieldFixture {
protected:
    static std::vector<ky::string> aliases(const refPtr<fieldInfo>& f, std::vector<ky::string> out = {}) {
        f->getAliasnames(out);
        return out;
    }
    static bool hasAlias(const refPtr<fieldInfo>& f, const wchar_t* name) {
        return f->hasAliasname(ky::scString::createFrom(name));
    }
};

// A host object kept as a user property.
class tag : public ky::refObj {};

TEST_F(fieldAnnotations, ReaddedAliasMovesToTheEndAndAppendsAfterWhatIsThere) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    f->addAliasname(L"a");
    f->addAliasname(L"b");
    f->addAliasname(L"a");
    EXPECT_EQ(aliases(f, {L"x", L"y"}), (std::vector<ky::string>{L"x", L"y", L"b", L"a"}));
    f->removeAliasname(L"b");
    f->removeAliasname(L"never");
    EXPECT_EQ(aliases(f), std::vector<ky::string>{L"a"});
}

TEST_F(fieldAnnotations, EmptyAliasIsReportedFromTheFieldsLines) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    expectAssertion([&] { f->addAliasname(L""); }, L"alias.length()", 668);
    expectAssertion([&] { f->removeAliasname(L""); }, L"alias.length()", 686);
}

TEST_F(fieldAnnotations, HasAliasPassesOverFieldsWithoutAListButGetAliasesStopsThere) {
    field(L"width", eInt)->addAliasname(L"x");
    refPtr<fieldInfo> over = referring(L"width");
    EXPECT_TRUE(hasAlias(over, L"x"));
    EXPECT_FALSE(hasAlias(over, L"y"));
    EXPECT_TRUE(aliases(over).empty());
    over->addAliasname(L"y");
    over->removeAliasname(L"y");
    EXPECT_EQ(aliases(over), std::vector<ky::string>{L"x"});
}

TEST_F(fieldAnnotations, InheritableStringIsFoundOnlyWhenSearchingOnAField) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    f->setUserProperty(L"colour", L"red", true);
    ky::string value = L"untouched";
    EXPECT_FALSE(f->getUserProperty(L"colour", value, false));
    EXPECT_EQ(value, L"untouched");
    EXPECT_TRUE(f->getUserProperty(L"colour", value, true));
    EXPECT_EQ(value, L"red");
}

TEST_F(fieldAnnotations, OwnAndInheritableSetsAreSearchedPerValueKind) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    refPtr<ky::refObj> host(new tag);
    f->setUserProperty(L"object", host, true);
    f->setUserProperty(L"value", ky::genericValue::create(5), true);
    refPtr<ky::refObj> found;
    EXPECT_TRUE(f->getUserProperty(L"object", found, false));
    EXPECT_EQ(found.get(), host.get());
    const_refPtr<ky::refObj> constFound;
    EXPECT_TRUE(std::as_const(*f).getUserProperty(L"object", constFound, false));
    EXPECT_EQ(constFound.get(), host.get());
    ky::genericValue generic;
    EXPECT_FALSE(f->getUserProperty(L"value", generic, false));
    EXPECT_TRUE(f->getUserProperty(L"value", generic, true));
    EXPECT_EQ(generic.strictRead<int>(), 5);
    ky::string text;
    EXPECT_FALSE(f->getUserProperty(L"object", text, true));
}

TEST_F(fieldAnnotations, OwnPropertyComesFirstAndSourcesOnlyLendInheritableOnes) {
    refPtr<fieldInfo> source = field(L"width", eInt);
    source->setUserProperty(L"shown", L"source-own", false);
    source->setUserProperty(L"colour", L"source", true);
    refPtr<fieldInfo> over = referring(L"width");
    ky::string value;
    EXPECT_FALSE(over->getUserProperty(L"shown", value, true));
    EXPECT_FALSE(over->getUserProperty(L"colour", value, false));
    EXPECT_TRUE(over->getUserProperty(L"colour", value, true));
    EXPECT_EQ(value, L"source");
    over->setUserProperty(L"colour", L"own", false);
    over->setUserProperty(L"colour", L"inheritable", true);
    EXPECT_TRUE(over->getUserProperty(L"colour", value, true));
    EXPECT_EQ(value, L"own");
}

TEST_F(fieldAnnotations, EmptyStoredValueCountsAsFoundForGenericValues) {
    refPtr<fieldInfo> f = field(L"width", eInt);
    f->setUserProperty(L"nothing", ky::genericValue(), false);
    ky::genericValue value = ky::genericValue::create(1);
    EXPECT_TRUE(f->getUserProperty(L"nothing", value, false));
    EXPECT_TRUE(value.empty());
    EXPECT_FALSE(f->getUserProperty(L"never-stored-name-4711", value, true));
}

}  // namespace
}  // namespace fieldtest
