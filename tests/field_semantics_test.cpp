// Field semantics: semantic strings, installing a semantic with its checks,
// side effects and complete rollback, and the answers along the source chain.
#include "test_support.h"

#include <tuple>

namespace kytest {
namespace {

const ky::scString customKey = ky::scString::createFrom(L"custom_semantic");
const ky::scString classesKey = ky::scString::createFrom(L"referencedClasses");
const ky::scString enumItemsKey = ky::scString::createFrom(L"enumItems");

// A refused text leaves eSemNone behind; no form touches the attributes.
TEST(ParseSemantics, WordsGiveTheirSemanticInAnyCase) {
    const std::tuple<const wchar_t*, eFieldSemantics, bool> forms[] = {
        {L"Length", eSemLength, true}, {L"length ", eSemNone, false}, {L"MONETARY", eSemMonetary, true},
        {L"bits", eSemBits, true}, {L"timestamp", eSemTimestamp, true}, {L"PRIMKEY", eSemPrimkey, true},
        {L"primkey(anything", eSemPrimkey, true}, {L"aprimkey", eSemNone, false}, {L"", eSemNone, true},
        {L" ", eSemNone, false}, {L"enum(a,b)", eSemNone, false}, {L"relation", eSemNone, false},
        {L"relation()", eSemNone, true}, {L"relation( ,\t, )", eSemNone, true}};
    for (const auto& [text, expected, accepted] : forms) {
        eFieldSemantics semantic = eSemBits;
        ky::genericSet attribs;
        EXPECT_EQ(fieldInfo::parseSemantics(text, semantic, attribs), accepted) << ky::string(text).toUtf8();
        EXPECT_EQ(semantic, expected) << ky::string(text).toUtf8();
        EXPECT_TRUE(attribs.empty()) << ky::string(text).toUtf8();
    }
}

// The attributes `text` parses into, which must be accepted as `expected`.
ky::genericSet parsedAttribs(const wchar_t* text, eFieldSemantics expected) {
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    EXPECT_TRUE(fieldInfo::parseSemantics(text, semantic, attribs)) << ky::string(text).toUtf8();
    EXPECT_EQ(semantic, expected);
    return attribs;
}

TEST(ParseSemantics, CustomTextIsNormalised) {
    const std::pair<const wchar_t*, const wchar_t*> customs[] = {
        {L"custom(Colour Map)", L"colour map"}, {L"custom(abc) ", L"abc) "}, {L"xcustom(a))", L"a"},
        {L"custom()", L""}, {L"relation(a) custom(b)", L"b"}};
    for (const auto& [text, custom] : customs) {
        ky::string found;
        EXPECT_TRUE(parsedAttribs(text, eSemCustom).getValue(customKey, found));
        EXPECT_EQ(found, custom);
    }
    using names = std::vector<ky::string>;
    const std::pair<const wchar_t*, names> relations[] = {
        {L"relation( Person , Address )", {L"person", L"address"}}, {L"relation(a b)", {L"ab"}},
        {L"relation(person", {L"person"}}, {L"relation(a,,\tb,)", {L"a", L"b"}}};
    for (const auto& [text, expected] : relations) {
        const ky::genericSet attribs = parsedAttribs(text, eSemRelation);
        const names* found = nullptr;
        ASSERT_TRUE(attribs.getValuePtr(classesKey, found));
        EXPECT_EQ(*found, expected);
    }
}

class FieldSemantics : public fieldTest {
protected:
    // Installs `semantic` on `f`, which must refuse it with exactly
    // `expected` and stay exactly as it was.
    static void expectRolledBack(const refPtr<fieldInfo>& f, eFieldSemantics semantic, const ky::genericSet& props,
                                 const wchar_t* semStr, const std::vector<std::wstring>& expected) {
        const auto state = [&] {
            return std::make_tuple(f->semantic(), f->type(), f->isMandatory(), f->isUnique(), f->semanticString(),
                                   f->semanticAttribs().keys());
        };
        const auto before = state();
        assertCatcher catcher;
        EXPECT_NO_THROW(f->setSemantic(semantic, props, semStr));
        EXPECT_EQ(assertCatcher::reports(), expected);
        EXPECT_EQ(state(), before) << "the field changed";
    }
};

TEST_F(FieldSemantics, EachRefusalRollsBackWithItsReport) {
    ky::genericSet strings;
    strings.setValue(enumItemsKey, std::vector<ky::string>{L"a"}, true);
    struct refusal { eFieldType type; eFieldSemantics semantic; ky::genericSet props; const ky::assertSite& site; };
    const refusal refusals[] = {
        {eInt, eSemDate, {}, sites::dateSemanticType},
        {eDate, eSemTime, {}, sites::timeSemanticType},
        {eDate, eSemTimestamp, {}, sites::timestampSemanticType},
        {eInt, eSemCustom, {}, sites::customSemanticText},
        {eDate, eSemEnum, enumItems(), sites::enumSemanticType},
        {eString, eSemEnum, {}, sites::enumSemanticItems},
        {eString, eSemEnum, strings, sites::enumSemanticItems},
        {eBool, eSemBits, enumItems(), sites::bitsSemanticType},
        {eInt, eSemBits, {}, sites::bitsSemanticItems},
    };
    int n = 0;
    for (const refusal& r : refusals) {
        SCOPED_TRACE(r.site.line);
        refPtr<fieldInfo> f = make(L"f" + std::to_wstring(n++), r.type);
        f->setSemantic(eSemLength, {}, L"");
        expectRolledBack(f, r.semantic, r.props, L"", {report(r.site)});
    }
}

// Without a class, telling it of the change fails after every check passed.
TEST_F(FieldSemantics, FailureAfterTheChecksRestoresTheWholeField) {
    refPtr<fieldInfo> f = make(L"shade", eString);
    ky::genericSet custom;
    custom.setValue(customKey, ky::string(L"colour"), true);
    f->setSemantic(eSemCustom, custom, L"");
    box->releaseInfo();

    const std::vector<std::wstring> noClass{report(ky::refPtrEmpty)};
    expectRolledBack(f, eSemCustom, enumItems(), L"tint", noClass);
    expectRolledBack(f, eSemPrimkey, {}, L"", noClass);
    EXPECT_EQ(f->semanticString().string(), L"colour");
}

TEST_F(FieldSemantics, AcceptedSemanticsNarrowOrKeepTheirTypes) {
    refPtr<fieldInfo> day = make(L"day", eTimestamp);
    refPtr<fieldInfo> hour = make(L"hour", eTimestamp);
    refPtr<fieldInfo> moment = make(L"moment", eTimestamp);
    refPtr<fieldInfo> bits = make(L"bits", eInt);
    day->setSemantic(eSemDate, {}, L"");
    hour->setSemantic(eSemTime, {}, L"");
    moment->setSemantic(eSemTimestamp, {}, L"");
    bits->setSemantic(eSemBits, enumItems(), L"");
    EXPECT_EQ(day->type(), eDate);
    EXPECT_EQ(hour->type(), eTime);
    EXPECT_EQ(moment->semantic(), eSemTimestamp);
    EXPECT_EQ(moment->type(), eTimestamp);
    EXPECT_EQ(bits->semantic(), eSemBits);
    EXPECT_EQ(bits->type(), eInt);
    makeKey(day);
    EXPECT_TRUE(day->isMandatory());
    EXPECT_TRUE(day->isUnique());
    day->setMandatory(false);
    day->setSemantic(eSemLength, {}, L"");
    EXPECT_FALSE(day->isMandatory());
    EXPECT_TRUE(day->isUnique());
}

// Only the semantic words have a string of their own. A referring field
// answers its source's semantic and string but keeps its own attributes.
TEST_F(FieldSemantics, SemanticStringAnswersCustomTextOrTheWordAlongTheSourceChain) {
    EXPECT_EQ(fieldInfo::semanticStringFromType(eSemLength).string(), L"length");
    for (eFieldSemantics s : {eSemNone, eSemPrimkey, eSemCustom, static_cast<eFieldSemantics>(3)})
        EXPECT_TRUE(fieldInfo::semanticStringFromType(s).empty()) << s;
    refPtr<fieldInfo> f = make(L"shade", eString);
    EXPECT_TRUE(f->semanticString().empty());
    f->setSemantic(eSemCustom, {}, L"Colour");
    EXPECT_EQ(f->semanticString().string(), L"Colour");
    f->setSemantic(eSemRelation, {}, L"");
    EXPECT_EQ(f->semanticString().string(), L"Colour");
    f->setSemantic(eSemEnum, enumItems(), L"");
    EXPECT_EQ(f->semanticString().string(), L"enum");
    EXPECT_TRUE(f->semanticAttribs().contains(enumItemsKey));

    refPtr<fieldInfo> source = make(L"size", eDouble);
    source->setSemantic(eSemCustom, {}, L"girth");
    refPtr<fieldInfo> over = referring(L"size");
    over->setSemantic(eSemLength, enumItems(), L"");
    EXPECT_EQ(over->semantic(), eSemCustom);
    EXPECT_EQ(over->semanticString().string(), L"girth");
    EXPECT_EQ(over->semanticAttribs().size(), 1u);
    EXPECT_TRUE(source->semanticAttribs().empty());
}

}  // namespace
}  // namespace kytest
