// Alias names and user properties of classes and fields: the rules both
// share, and the two walks (base classes, source chain) that tell them apart.
#include "test_support.h"

#include <type_traits>

namespace kytest {
namespace {

ky::scString key(const wchar_t* text) { return ky::scString::createFrom(text); }

template <class Info>
class Annotations : public fieldTest {
protected:
    static constexpr bool isClass = std::is_same_v<Info, classInfo>;
    refPtr<Info> subject() {
        if constexpr (isClass) return box;
        else return make(L"width", eInt);
    }
};
using infoKinds = ::testing::Types<classInfo, fieldInfo>;
TYPED_TEST_SUITE(Annotations, infoKinds);

TYPED_TEST(Annotations, ReaddedAliasMovesToTheEnd) {
    const auto info = this->subject();
    for (const wchar_t* alias : {L"a", L"b", L"a", L"c"}) info->addAliasname(alias);
    info->removeAliasname(L"c");
    info->removeAliasname(L"never");

    std::vector<ky::string> out{L"x"};
    info->getAliasnames(out);
    EXPECT_EQ(out, (std::vector<ky::string>{L"x", L"b", L"a"}));
    EXPECT_TRUE(info->hasAliasname(key(L"a")));
    EXPECT_FALSE(info->hasAliasname(key(L"c")));
}

TYPED_TEST(Annotations, OwnPropertyWinsOverInheritedOnes) {
    const auto info = this->subject();
    info->setUserProperty(L"colour", ky::string(L"red"), false);
    info->setUserProperty(L"colour", ky::string(L"blue"), true);
    info->setUserProperty(L"object", hostObject::make(), false);
    info->setUserProperty(L"nothing", ky::genericValue(), false);

    ky::string text = L"unchanged";
    EXPECT_FALSE(info->getUserProperty(L"object", text, true));
    EXPECT_FALSE(info->getUserProperty(L"neverInterned\u2603", text, true));
    EXPECT_EQ(text, L"unchanged");
    EXPECT_TRUE(info->getUserProperty(L"colour", text, true));
    EXPECT_EQ(text, L"red");
    ky::genericValue value = ky::genericValue::create(1);
    EXPECT_TRUE(info->getUserProperty(L"nothing", value, false));
    EXPECT_TRUE(value.empty());
}

// Without the search the own inheritable set is read for some value kinds
// only, and the string kind differs between class and field.
TYPED_TEST(Annotations, InheritableSetIsReadWithoutTheSearchPerValueKind) {
    const auto info = this->subject();
    const refPtr<ky::refObj> host = hostObject::make();
    info->setUserProperty(L"text", ky::string(L"t"), true);
    info->setUserProperty(L"object", host, true);

    ky::string text;
    refPtr<ky::refObj> object;
    const_refPtr<ky::refObj> constObject;
    ky::genericValue value;
    EXPECT_EQ(info->getUserProperty(L"text", text, false), TestFixture::isClass);
    EXPECT_TRUE(info->getUserProperty(L"object", object, false));
    EXPECT_EQ(object.get(), host.get());
    EXPECT_TRUE(std::as_const(*info).getUserProperty(L"object", constObject, false));
    EXPECT_EQ(constObject.get(), host.get());
    EXPECT_FALSE(info->getUserProperty(L"text", value, false));
    EXPECT_TRUE(info->getUserProperty(L"text", text, true));
    EXPECT_TRUE(info->getUserProperty(L"text", value, true));
    EXPECT_EQ(value.strictRead<ky::string>(), L"t");
}

using ClassAnnotations = fieldTest;

TEST_F(ClassAnnotations, BasesLendOnlyInheritablePropertiesDepthFirstInMapOrder) {
    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> child = makeClass(L"Child", {bases.back(), bases.front()});
    bases.front()->addBaseClass(box);
    box->setUserProperty(L"p", ky::string(L"deep"), true);
    bases.back()->setUserProperty(L"p", ky::string(L"shallow"), true);
    bases.front()->setUserProperty(L"hidden", ky::string(L"own"), false);

    ky::string value;
    EXPECT_FALSE(child->getUserProperty(L"p", value, false));
    EXPECT_FALSE(child->getUserProperty(L"hidden", value, true));
    EXPECT_TRUE(child->getUserProperty(L"p", value, true));
    EXPECT_EQ(value, L"deep");
}

using FieldAnnotations = fieldTest;

// Along the source chain hasAliasname passes over fields without a list while
// getAliasnames stops there; sources lend only inheritable properties, and
// only to a search.
TEST_F(FieldAnnotations, ReferringFieldSearchesItsSourceChain) {
    refPtr<fieldInfo> source = make(L"width", eInt);
    refPtr<fieldInfo> over = referring(L"width");
    source->addAliasname(L"x");
    std::vector<ky::string> aliases;
    over->getAliasnames(aliases);
    EXPECT_TRUE(aliases.empty());
    EXPECT_TRUE(over->hasAliasname(key(L"x")));

    over->addAliasname(L"y");
    over->removeAliasname(L"y");
    over->getAliasnames(aliases);
    EXPECT_EQ(aliases, std::vector<ky::string>{L"x"});
    EXPECT_FALSE(over->hasAliasname(key(L"y")));

    source->setUserProperty(L"shown", ky::string(L"source-own"), false);
    source->setUserProperty(L"colour", ky::string(L"source"), true);
    ky::string value;
    EXPECT_FALSE(over->getUserProperty(L"shown", value, true));
    EXPECT_FALSE(over->getUserProperty(L"colour", value, false));
    EXPECT_TRUE(over->getUserProperty(L"colour", value, true));
    EXPECT_EQ(value, L"source");
}

// Every kind of inheritable property is lent by a base to a search.
TEST_F(ClassAnnotations, BasesLendEveryKindOfProperty) {
    const refPtr<ky::refObj> host = hostObject::make();
    box->setUserProperty(L"object", host, true);
    box->setUserProperty(L"value", ky::genericValue::create(7), true);
    refPtr<ky::refObj> object;
    const_refPtr<ky::refObj> constObject;
    ky::genericValue value;
    EXPECT_TRUE(crate->getUserProperty(L"object", object, true));
    EXPECT_EQ(object, host);
    EXPECT_TRUE(std::as_const(*crate).getUserProperty(L"object", constObject, true));
    EXPECT_EQ(constObject, host);
    EXPECT_TRUE(crate->getUserProperty(L"value", value, true));
    EXPECT_EQ(value.strictRead<int>(), 7);
}

// The listing shows each set exactly as stored, so that a host can save
// every property with its kind.
TYPED_TEST(Annotations, ListingSeparatesOwnAndInheritableProperties) {
    const auto info = this->subject();
    info->setUserProperty(L"colour", ky::string(L"red"), false);
    info->setUserProperty(L"colour", ky::string(L"blue"), true);
    info->setUserProperty(L"weight", ky::genericValue::create(3), true);

    EXPECT_EQ(info->userProperties(false).size(), 1u);
    EXPECT_EQ(info->userProperties(true).size(), 2u);
    ky::string colour;
    EXPECT_TRUE(info->userProperties(true).getValue(key(L"colour"), colour));
    EXPECT_EQ(colour, L"blue");
    int weight = 0;
    EXPECT_TRUE(info->userProperties(true).getValue(key(L"weight"), weight));
    EXPECT_EQ(weight, 3);
}

}  // namespace
}  // namespace kytest
