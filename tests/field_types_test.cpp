// Field types: parsing and writing type strings, the per-field type
// accessors along the source chain, and the type predicate.
#include "test_support.h"

namespace kytest {
namespace {

// Case, blanks and tabs never matter; a refused text leaves the type alone
// and the length 0.
TEST(ParseType, ReadsTypeWordsAndStringLengths) {
    struct row { const wchar_t* text; eFieldType type; unsigned long length; };
    const row accepted[] = {{L"INT", eInt, 0}, {L"int\t", eInt, 0}, {L" i n t ", eInt, 0}, {L"ptr", ePtr, 0},
                            {L"Time Stamp", eTimestamp, 0}, {L"search path", eSearchPath, 0},
                            {L"String(40)", eString, 40}, {L"string( 4 0 )", eString, 40},
                            {L"string(4294967295)", eString, 4294967295ul}, {L"strings", eString, 0},
                            {L"stringx(5)", eString, 0}};
    for (const row& r : accepted) {
        eFieldType type = eCustom;
        unsigned long length = 99;
        EXPECT_TRUE(fieldInfo::parseType(r.text, type, length)) << ky::string(r.text).toUtf8();
        EXPECT_EQ(type, r.type) << ky::string(r.text).toUtf8();
        EXPECT_EQ(length, r.length) << ky::string(r.text).toUtf8();
    }
    for (const wchar_t* text : {L"string()", L"string(0)", L"string(abc)", L"string(40", L"string(-4)",
                                L"string(4294967296)", L"xstring", L"", L"enum", L"custom(a)", L"relation(a)",
                                L"datetime", L"in\nt"}) {
        eFieldType type = eDouble;
        unsigned long length = 99;
        EXPECT_FALSE(fieldInfo::parseType(text, type, length)) << ky::string(text).toUtf8();
        EXPECT_EQ(type, eDouble) << ky::string(text).toUtf8();
        EXPECT_EQ(length, 0) << ky::string(text).toUtf8();
    }
}

TEST(FieldTypeWords, EveryTypeWordReadsBackAsItsType) {
    for (eFieldType t : {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime, eTimestamp, eBinary,
                         eDirectory, eFile, eSearchPath, ePtr}) {
        eFieldType parsed = eCustom;
        unsigned long length = 1;
        EXPECT_TRUE(fieldInfo::parseType(fieldInfo::typeStringFromType(t).string(), parsed, length)) << t;
        EXPECT_EQ(parsed, t) << t;
    }
    EXPECT_EQ(fieldInfo::typeStringFromType(eLong).string(), L"long");
    EXPECT_TRUE(fieldInfo::typeStringFromType(eCustom).empty());
    EXPECT_TRUE(fieldInfo::typeStringFromType(eFieldType(4)).empty());
}

using FieldTypes = fieldTest;

TEST_F(FieldTypes, CustomTypeStringNamesOnlyCustomTypes) {
    refPtr<fieldInfo> custom = make(L"shape", eCustom, L"polygon");
    refPtr<fieldInfo> plain = make(L"count", eInt, L"polygon");
    custom->setCustomTypeString(L"circle");
    EXPECT_EQ(custom->typeString().string(), L"circle");
    EXPECT_EQ(plain->typeString().string() + L" " + plain->customTypeString().string(), L"int polygon");
    EXPECT_TRUE(make(L"nameless", eCustom)->typeString().empty());
}

// The null value and the built-in equality go by the type member, which a
// referring field took from its source when it was made.
TEST_F(FieldTypes, ReferringFieldFollowsTheChainForTypeButNotForItsOwnMembers) {
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"precision"), 3, true);
    refPtr<fieldInfo> source = box->createFieldInfo(L"when", eTimestamp, attribs, L"calendar");
    refPtr<fieldInfo> over = referring(L"when");
    source->setSemantic(eSemDate, ky::genericSet(), L"");

    EXPECT_EQ(over->type(), eDate);
    EXPECT_EQ(over->typeString().string(), L"date");
    EXPECT_TRUE(over->typeAttribs().empty());
    EXPECT_TRUE(over->customTypeString().empty());
    EXPECT_EQ(source->typeAttribs().size(), 1u);
    EXPECT_NE(over->createNullValue().as<ky::timestamp>(), nullptr);
    const ky::genericValue midnight = ky::genericValue::create(ky::timestamp());
    const ky::genericValue oneAm = ky::genericValue::create(ky::timestamp(ky::date(), ky::time(1, 0, 0)));
    EXPECT_TRUE(source->valueEqFunc(false)(midnight, oneAm));
    EXPECT_FALSE(over->valueEqFunc(false)(midnight, oneAm));
}

TEST_F(FieldTypes, PredicateTestsTheResolvedType) {
    const fieldInfo::hasTypeFunc numbers(eInt, eLong);
    EXPECT_EQ(numbers.types(), (std::set<eFieldType>{eInt, eLong}));
    EXPECT_EQ(fieldInfo::hasTypeFunc(eInt, static_cast<eFieldType>(0)).types(), std::set<eFieldType>{eInt});
    make(L"count", eInt);
    EXPECT_TRUE(numbers(referring(L"count")));
    EXPECT_FALSE(numbers(make(L"name", eString)));
    EXPECT_FALSE(numbers(const_refPtr<fieldInfo>()));
}

}  // namespace
}  // namespace kytest
