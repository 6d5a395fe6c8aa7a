// Field semantics: semantic strings, installing a semantic with its checks,
// side effects and complete rollback, and the answers along the source chain.
#include "field_test_support.h"

namespace fieldtest {
namespace {

const ky::scString customKey = ky::scString::createFrom(L"custom_semantic");
const ky::scString classesKey = ky::scString::createFrom(L"referencedClasses");

struct semanticText {
    const wchar_t* text;
    eFieldSemantics semantic;
    bool accepted;
};

class parseSemanticsForms : public ::testing::TestWithParam<semanticText> {};

TEST_P(parseSemanticsForms, GiveTheirSemanticWithoutTouchingAttributes) {
    eFieldSemantics semantic = eSemBits;
    ky::genericSet attribs;
    EXPECT_EQ(fieldInfo::parseSemantics(GetParam().text, semantic, attribs), GetParam().accepted);
    EXPECT_EQ(semantic, GetParam().semantic);
    EXPECT_TRUE(attribs.empty());
}

INSTANTIATE_TEST_SUITE_P(
    WordsPrimkeyAndEmpty, parseSemanticsForms,
    ::testing::Values(semanticText{L"Length", eSemLength, true}, semanticText{L"length ", eSemNone, false},
                      semanticText{L"MONETARY", eSemMonetary, true}, semanticText{L"timestamp", eSemTimestamp, true},
                      semanticText{L"bits", eSemBits, true}, semanticText{L"PRIMKEY", eSemPrimkey, true},
                      semanticText{L"primkey(anything", eSemPrimkey, true},
                      semanticText{L"aprimkey", eSemNone, false}, semanticText{L"", eSemNone, true},
                      semanticText{L" ", eSemNone, false}, semanticText{L"enum(a,b)", eSemNone, false},
                      semanticText{L"relation", eSemNone, false}, semanticText{L"relation()", eSemNone, true},
                      semanticText{L"relation( ,\t, )", eSemNone, true}));

ky::string customTextOf(const wchar_t* text) {
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    EXPECT_TRUE(fieldInfo::parseSemantics(text, semantic, attribs));
    EXPECT_EQ(semantic, eSemCustom);
    ky::string custom;
    EXPECT_TRUE(attribs.getValue(customKey, custom));
    return custom;
}

TEST(parseSemantics, CustomTextIsLowerCasedWithOnlyItsFinalParenthesesRemoved) {
    EXPECT_EQ(customTextOf(L"custom(Colour Map)"), L"colour map");
    EXPECT_EQ(customTextOf(L"custom(abc) "), L"abc) ");
    EXPECT_EQ(customTextOf(L"xcustom(a))"), L"a");
    EXPECT_EQ(customTextOf(L"custom()"), L"");
    EXPECT_EQ(customTextOf(L"relation(a) custom(b)"), L"b");
}

std::vector<ky::string> classesOf(const wchar_t* text) {
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    EXPECT_TRUE(fieldInfo::parseSemantics(text, semantic, attribs));
    EXPECT_EQ(semantic, eSemRelation);
    const std::vector<ky::string>* names = nullptr;
    EXPECT_TRUE(std::as_const(attribs).getValuePtr(classesKey, names));
    return names ? *names : std::vector<ky::string>{};
}

TEST(parseSemantics, RelationClassListLosesBlanksTabsAndEmptyNames) {
    EXPECT_EQ(classesOf(L"relation( Person , Address )"), (std::vector<ky::string>{L"person", L"address"}));
    EXPECT_EQ(classesOf(L"relation(a b)"), std::vector<ky::string>{L"ab"});
    EXPECT_EQ(classesOf(L"relation(person"), std::vector<ky::string>{L"person"});
    EXPECT_EQ(classesOf(L"relation(a,,\tb,)"), (std::vector<ky::string>{L"a", L"b"}));
}

TEST(parseSemantics, WordsOfSemantics) {
    EXPECT_EQ(fieldInfo::semanticStringFromType(eSemLength).string(), L"length");
    EXPECT_EQ(fieldInfo::semanticStringFromType(eSemRelation).string(), L"relation");
    for (eFieldSemantics s : {eSemNone, eSemPrimkey, eSemCustom, static_cast<eFieldSemantics>(3)})
        EXPECT_TRUE(fieldInfo::semanticStringFromType(s).empty()) << s;
}

class fieldSemantics : public fieldFixture {
protected:
    // Installs `semantic` on `f`, which must refuse it with `condition` at
    // `line` and stay exactly as it was.
    void expectRefused(const refPtr<fieldInfo>& f, eFieldSemantics semantic, const ky::genericSet& props,
                       const wchar_t* semStr, const std::wstring& condition, int line) {
        const eFieldSemantics semanticBefore = f->semantic();
        const eFieldType typeBefore = f->type();
        const bool mandatoryBefore = f->isMandatory();
        const ky::scString customBefore = f->semanticString();
        const std::vector<ky::scString> attribKeysBefore = f->semanticAttribs().keys();
        assertionRecorder recorder;
        EXPECT_NO_THROW(f->setSemantic(semantic, props, semStr));
        EXPECT_EQ(assertionRecorder::texts(), std::vector<std::wstring>{report(condition, fieldFile, line)});
        EXPECT_EQ(f->semantic(), semanticBefore);
        EXPECT_EQ(f->type(), typeBefore);
        EXPECT_EQ(f->isMandatory(), mandatoryBefore);
        EXPECT_EQ(f->semanticString(), customBefore);
        EXPECT_EQ(f->semanticAttribs().keys(), attribKeysBefore);
    }
};

TEST_F(fieldSemantics, EachRefusalReportsItsConditionAndLine) {
    const std::wstring enumItemsText = L"semProps.getValuePtr(_T(\"enumItems\"), eis)";
    expectRefused(field(L"a", eInt), eSemDate, {}, L"", L"mType==eTimestamp || mType==eDate", 613);
    expectRefused(field(L"b", eDate), eSemTime, {}, L"", L"mType==eTimestamp || mType==eTime", 618);
    expectRefused(field(L"c", eDate), eSemTimestamp, {}, L"", L"mType==eTimestamp", 623);
    expectRefused(field(L"d", eInt), eSemCustom, {}, L"", L"semStr.length()", 634);
    expectRefused(field(L"e", eDate), eSemEnum, withEnumItems(), L"",
                  L"mType==eBool ||mType==eShort || mType==eInt || mType==eLong || mType==eFloat || "
                  L"mType==eDouble || mType==eString",
                  640);
    expectRefused(field(L"f", eString), eSemEnum, {}, L"", enumItemsText, 642);
    expectRefused(field(L"g", eBool), eSemBits, withEnumItems(), L"",
                  L"mType == eShort || mType == eInt || mType == eLong", 646);
    expectRefused(field(L"h", eInt), eSemBits, {}, L"", enumItemsText, 648);
}

TEST_F(fieldSemantics, EnumItemsMustBeAListOfItems) {
    ky::genericSet strings;
    strings.setValue(ky::scString::createFrom(L"enumItems"), std::vector<ky::string>{L"a"}, true);
    expectRefused(field(L"colour", eString), eSemEnum, strings, L"",
                  L"semProps.getValuePtr(_T(\"enumItems\"), eis)", 642);
}

TEST_F(fieldSemantics, FailureAfterTheChecksRestoresCustomTextAttributesAndMarks) {
    refPtr<fieldInfo> f = field(L"shade", eString);
    ky::genericSet custom;
    custom.setValue(customKey, ky::string(L"colour"), true);
    f->setSemantic(eSemCustom, custom, L"");
    ASSERT_EQ(f->semanticString().string(), L"colour");
    box->releaseInfo();

    assertionRecorder recorder;
    f->setSemantic(eSemCustom, withEnumItems(), L"tint");
    f->setSemantic(eSemPrimkey, {}, L"");
    const std::wstring noClass = report(L"m_p != NULL", L"libs/utils/inc/kyrefptr", 144);
    EXPECT_EQ(assertionRecorder::texts(), (std::vector<std::wstring>{noClass, noClass}));
    EXPECT_EQ(f->semantic(), eSemCustom);
    EXPECT_EQ(f->semanticString().string(), L"colour");
    EXPECT_EQ(f->semanticAttribs().keys(), std::vector<ky::scString>{customKey});
    EXPECT_FALSE(f->isMandatory() || f->isUnique());
}

TEST_F(fieldSemantics, AcceptedSemanticsNarrowTypesAndMarkKeys) {
    refPtr<fieldInfo> day = field(L"day", eTimestamp);
    day->setSemantic(eSemDate, {}, L"");
    EXPECT_EQ(day->type(), eDate);
    refPtr<fieldInfo> hour = field(L"hour", eTimestamp);
    hour->setSemantic(eSemTime, {}, L"");
    EXPECT_EQ(hour->type(), eTime);

    refPtr<fieldInfo> id = field(L"id", eInt);
    id->setSemantic(eSemPrimkey, {}, L"");
    EXPECT_TRUE(id->isMandatory());
    EXPECT_TRUE(id->isUnique());
    id->setSemantic(eSemLength, {}, L"");
    EXPECT_TRUE(id->isMandatory());
    id->setMandatory(false);
    EXPECT_FALSE(id->isMandatory());
}

TEST_F(fieldSemantics, SemanticStringAnswersCustomTextOrTheSemanticWord) {
    refPtr<fieldInfo> f = field(L"shade", eString);
    EXPECT_TRUE(f->semanticString().empty());
    f->setSemantic(eSemCustom, {}, L"Colour");
    EXPECT_EQ(f->semanticString().string(), L"Colour");
    f->setSemantic(eSemRelation, {}, L"");
    EXPECT_EQ(f->semanticString().string(), L"Colour");
    f->setSemantic(eSemEnum, withEnumItems(), L"");
    EXPECT_EQ(f->semanticString().string(), L"enum");
    EXPECT_TRUE(f->semanticAttribs().contains(ky::scString::createFrom(L"enumItems")));
}

TEST_F(fieldSemantics, ReferringFieldReportsItsSourcesSemanticButKeepsItsOwnSlot) {
    refPtr<fieldInfo> source = field(L"size", eDouble);
    source->setSemantic(eSemCustom, {}, L"girth");
    refPtr<fieldInfo> over = referring(L"size");
    over->setSemantic(eSemLength, withEnumItems(), L"");
    EXPECT_EQ(over->semantic(), eSemCustom);
    EXPECT_EQ(over->semanticString().string(), L"girth");
    EXPECT_EQ(over->semanticAttribs().size(), 1u);
    EXPECT_TRUE(source->semanticAttribs().empty());
}

TEST_F(fieldSemantics, NewKeyFieldIsToldToItsClass) {
    refPtr<fieldInfo> id = field(L"id", eInt);
    id->setSemantic(eSemPrimkey, {}, L"");
    EXPECT_EQ(box->idInfo()->fieldInfos().size(), 1u);
    field(L"part", eInt)->setSemantic(eSemPrimkey, {}, L"");
    EXPECT_EQ(box->idInfo()->fieldInfos().size(), 2u);
}

}  // namespace
}  // namespace fieldtest
