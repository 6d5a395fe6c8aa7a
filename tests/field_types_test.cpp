// Field types: parsing and writing type strings, the per-field type
// accessors along the source chain, and the type predicate.
#include "field_test_support.h"

namespace fieldtest {
namespace {

struct typeText {
    const wchar_t* text;
    eFieldType type;
    unsigned long length;
};

class parseTypeAccepts : public ::testing::TestWithParam<typeText> {};

TEST_P(parseTypeAccepts, TextAsTypeAndLength) {
    eFieldType type = eCustom;
    unsigned long length = 99;
    EXPECT_TRUE(fieldInfo::parseType(GetParam().text, type, length));
    EXPECT_EQ(type, GetParam().type);
    EXPECT_EQ(length, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(CaseBlanksAndTabsNeverMatter, parseTypeAccepts,
                         ::testing::Values(typeText{L"int", eInt, 0}, typeText{L"INT", eInt, 0},
                                           typeText{L"int\t", eInt, 0}, typeText{L" i n t ", eInt, 0},
                                           typeText{L"Time Stamp", eTimestamp, 0},
                                           typeText{L"search path", eSearchPath, 0}, typeText{L"ptr", ePtr, 0},
                                           typeText{L"string", eString, 0}, typeText{L"String(40)", eString, 40},
                                           typeText{L"string( 4 0 )", eString, 40},
                                           typeText{L"string(4294967295)", eString, 4294967295ul}));
INSTANTIATE_TEST_SUITE_P(StringPrefixWithoutParenthesisIsAPlainString, parseTypeAccepts,
                         ::testing::Values(typeText{L"strings", eString, 0}, typeText{L"stringx(5)", eString, 0}));

class parseTypeRejects : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(parseTypeRejects, TextLeavingTypeAloneAndLengthZero) {
    eFieldType type = eDouble;
    unsigned long length = 99;
    EXPECT_FALSE(fieldInfo::parseType(GetParam(), type, length));
    EXPECT_EQ(type, eDouble);
    EXPECT_EQ(length, 0u);
}

INSTANTIATE_TEST_SUITE_P(BadLengths, parseTypeRejects,
                         ::testing::Values(L"string()", L"string(0)", L"string(abc)", L"string(40",
                                           L"string(-4)", L"string(4294967296)"));
INSTANTIATE_TEST_SUITE_P(NoTypeWord, parseTypeRejects,
                         ::testing::Values(L"xstring", L"", L"enum", L"custom(a)", L"relation(a)", L"datetime",
                                           L"in\nt"));

TEST(fieldTypeWords, EveryTypeWordReadsBackAsItsType) {
    for (eFieldType t : {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime, eTimestamp, eBinary,
                         eDirectory, eFile, eSearchPath, ePtr}) {
        eFieldType parsed = eCustom;
        unsigned long length = 1;
        EXPECT_TRUE(fieldInfo::parseType(fieldInfo::typeStringFromType(t).string(), parsed, length)) << t;
        EXPECT_EQ(parsed, t);
        EXPECT_EQ(length, 0u);
    }
    EXPECT_EQ(fieldInfo::typeStringFromType(eLong).string(), L"long");
    EXPECT_TRUE(fieldInfo::typeStringFromType(eCustom).empty());
    EXPECT_TRUE(fieldInfo::typeStringFromType(static_cast<eFieldType>(4)).empty());
    EXPECT_EQ(std::wstring(fieldInfo::referencedClasses()), L"referencedClasses");
}

using fieldTypes = fieldFixture;

TEST_F(fieldTypes, CustomTypeStringNamesOnlyCustomTypes) {
    refPtr<fieldInfo> custom = field(L"shape", eCustom, L"polygon");
    EXPECT_EQ(custom->typeString().string(), L"polygon");
    custom->setCustomTypeString(L"circle");
    EXPECT_EQ(custom->typeString().string(), L"circle");
    refPtr<fieldInfo> plain = field(L"count", eInt, L"polygon");
    EXPECT_EQ(plain->typeString().string(), L"int");
    EXPECT_EQ(plain->customTypeString().string(), L"polygon");
    EXPECT_TRUE(field(L"nameless", eCustom)->typeString().empty());
}

TEST_F(fieldTypes, ReferringFieldFollowsTheChainForTypeButNotForItsOwnMembers) {
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"precision"), 3, true);
    box->createFieldInfo(L"when", eDate, attribs, L"calendar");
    refPtr<fieldInfo> over = referring(L"when");
    EXPECT_EQ(over->type(), eDate);
    EXPECT_EQ(over->typeString().string(), L"date");
    EXPECT_TRUE(over->typeAttribs().empty());
    EXPECT_TRUE(over->customTypeString().empty());
    EXPECT_EQ(box->fieldInfo(L"when", false, false)->typeAttribs().size(), 1u);
}

TEST_F(fieldTypes, TypeFollowsANarrowedSource) {
    refPtr<fieldInfo> source = field(L"stamp", eTimestamp);
    refPtr<fieldInfo> over = referring(L"stamp");
    source->setSemantic(eSemDate, ky::genericSet(), L"");
    EXPECT_EQ(over->type(), eDate);
    EXPECT_EQ(over->typeString().string(), L"date");
}

TEST_F(fieldTypes, PredicateHoldsItsTypesAndTestsTheResolvedType) {
    const fieldInfo::hasTypeFunc numbers(eInt, eLong);
    EXPECT_EQ(numbers.types(), (std::set<eFieldType>{eInt, eLong}));
    EXPECT_EQ(fieldInfo::hasTypeFunc(eInt, static_cast<eFieldType>(0)).types(), std::set<eFieldType>{eInt});
    field(L"count", eInt);
    EXPECT_TRUE(numbers(referring(L"count")));
    EXPECT_FALSE(numbers(field(L"name", eString)));
    EXPECT_FALSE(numbers(const_refPtr<fieldInfo>()));
}

}  // namespace
}  // namespace fieldtest
