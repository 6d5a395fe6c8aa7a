// Round trips: load(save(m)) equals m, a second save repeats the first byte
// for byte, and the YAML and JSON forms of a model load to equal models; on
// the shop model, on generated models and on a model that uses every part of
// the format.
#include "modelfile_support.h"

#include "generated_model.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kyfiletest {
namespace {

// Loads `text`, expecting no diagnostic at all.
refPtr<modelInfo> loadClean(const std::string& text, const wchar_t* name) {
    const file::loadResult result = file::loadModelText(text, name);
    EXPECT_EQ(diagnosticsText(result), "") << text;
    return result.model;
}

void expectEqual(const refPtr<modelInfo>& a, const refPtr<modelInfo>& b) {
    std::vector<ky::string> differences;
    EXPECT_TRUE(file::equalModels(a, b, &differences)) << joined(differences);
}

// A case-sensitive model with every attribute the format holds, texts that
// need escaping included.
refPtr<modelInfo> everythingModel() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    refPtr<classInfo> base = model->createClassInfo(L"Base", false);
    base->setAbstract(true);
    base->setLabel(L"Quote \" backslash \\ tab \t line\nbreak \u00e9\u4e2d\U0001F600 sep\u2028 ctl\x01 bom\ufeff");
    base->addAliasname(L"Root");
    base->addAliasname(L"root two");
    base->setUserProperty(L"flag", ky::genericValue::create(true), false);
    base->setUserProperty(L"count", ky::genericValue::create(-42), false);
    base->setUserProperty(L"ratio", ky::genericValue::create(0.1), false);
    base->setUserProperty(L"big", ky::genericValue::create(1e300), false);
    base->setUserProperty(L"text", ky::string(L"true"), false);
    base->setUserProperty(L"small", ky::genericValue::create(short(-7)), true);
    base->setUserProperty(L"long", ky::genericValue::create(12345678901234L), true);
    base->setUserProperty(L"float", ky::genericValue::create(0.25f), true);
    base->setUserProperty(L"day", ky::genericValue::create(ky::date(2024, 2, 29)), true);
    base->setUserProperty(L"at", ky::genericValue::create(ky::time(13, 5, 9, 500)), true);
    base->setUserProperty(L"stamp", ky::genericValue::create(ky::timestamp(ky::date(1999, 12, 31), ky::time(23, 59, 59))),
                          true);
    base->setUserProperty(L"odd key: with \"quotes\"", ky::string(L"v"), false);
    refPtr<fieldInfo> code = base->createFieldInfo(L"Code", eString, ky::genericSet(), L"");
    code->setLabel(L"Code");
    code->addAliasname(L"key");
    code->setSemantic(eSemPrimkey, ky::genericSet(), L"");

    // parseSemantics lower-cases its text, so in a case-sensitive model only a
    // class named in lower case is found by a relation semantic.
    refPtr<classInfo> other = model->createClassInfo(L"other", false);
    refPtr<classInfo> item = model->createClassInfo(L"Item", false);
    item->addBaseClass(base);
    item->addBaseClass(other);
    refPtr<fieldInfo> over = item->createFieldInfo(base, L"Code");
    over->setLabel(L"Item code");
    over->setUnit(L"chars");
    over->addAliasname(L"itemKey");
    over->setDefaultExpression(L"next()");
    over->setUserProperty(L"shown", ky::genericValue::create(false), false);
    ky::genericSet typeAttribs;
    typeAttribs.setValue(ky::scString::createFrom(L"precision"), 4, true);
    refPtr<fieldInfo> amount = item->createFieldInfo(L"amount", eCustom, typeAttribs, L"decimal");
    amount->setConstantExpression(L"0");
    refPtr<fieldInfo> width = item->createFieldInfo(L"width", eFloat, ky::genericSet(), L"");
    ky::genericSet semanticAttribs;
    semanticAttribs.setValue(ky::scString::createFrom(L"scale"), ky::string(L"mm"), true);
    width->setSemantic(eSemLength, semanticAttribs, L"");
    width->setDefaultValue(ky::genericValue::create(2.5f));
    width->setMandatory(true);
    width->setUnique(true);
    refPtr<fieldInfo> note = item->createFieldInfo(L"note", eString, ky::genericSet(), L"");
    note->setDefaultValue(ky::genericValue::create(ky::string(L"line\none")));
    note->setAutoExpression(L"concat(a, \"b\")");
    refPtr<fieldInfo> due = item->createFieldInfo(L"due", eDate, ky::genericSet(), L"");
    due->setDefaultValue(ky::genericValue::create(ky::date(2030, 1, 1)));
    ky::genericSet zero;
    zero.setValue(ky::scString::createFrom(L"length"), 0, true);
    item->createFieldInfo(L"free", eString, zero, L"");
    refPtr<fieldInfo> ref = item->createFieldInfo(L"otherRef", eLong, ky::genericSet(), L"");
    eFieldSemantics semantic = eSemNone;
    ky::genericSet relationAttribs;
    fieldInfo::parseSemantics(L"relation(other)", semantic, relationAttribs);
    ref->setSemantic(semantic, relationAttribs, L"");
    refPtr<fieldInfo> size = item->createFieldInfo(L"size", eBool, ky::genericSet(), L"");
    std::vector<enumItem> items(2);
    fieldInfo::parseEnumItem(L"true, Big", eBool, items[0]);
    // Blanks around a name survive the item text the file holds.
    fieldInfo::parseEnumItem(L"false,, Small ,", eBool, items[1]);
    ky::genericSet itemAttribs;
    itemAttribs.setValue(ky::scString::createFrom(L"enumItems"), items, true);
    size->setSemantic(eSemEnum, itemAttribs, L"");
    ky::genericSet noItems;
    noItems.setValue(ky::scString::createFrom(L"enumItems"), std::vector<enumItem>(), true);
    item->createFieldInfo(L"empty", eInt, ky::genericSet(), L"")->setSemantic(eSemBits, noItems, L"");
    other->createFieldInfo(L"id", eInt, ky::genericSet(), L"")->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    other->createFieldInfo(L"itemCode", eString, ky::genericSet(), L"");
    other->createRelation(L"itemCode", false, item->fieldInfo(L"Code", false, false), eBiAgg, L"Items", L"Owner");
    item->createRelation(L"Code", true, other, eAgg, L"", L"");
    // A relation to a field of type ptr still leads to a field, not a class.
    other->createFieldInfo(L"handle", ePtr, ky::genericSet(), L"");
    item->createFieldInfo(L"handleRef", ePtr, ky::genericSet(), L"");
    item->createRelation(L"handleRef", false, other->fieldInfo(L"handle", false, false), eRef, L"", L"");
    return model;
}

class RoundTrip : public ::testing::TestWithParam<file::eFormat> {
protected:
    file::eFormat format() const { return GetParam(); }
    const wchar_t* name() const { return format() == file::eJson ? L"model.json" : L"model.yaml"; }

    void expectRoundTrip(const refPtr<modelInfo>& model) {
        const std::string first = file::saveModelText(model, format());
        const refPtr<modelInfo> loaded = loadClean(first, name());
        ASSERT_TRUE(loaded);
        expectEqual(model, loaded);
        EXPECT_EQ(file::saveModelText(loaded, format()), first);
    }
};

TEST_P(RoundTrip, ShopModel) { expectRoundTrip(shopModel()); }

TEST_P(RoundTrip, GeneratedModel) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    kygen::buildGeneratedModel(model, 40, 16);
    expectRoundTrip(model);
}

TEST_P(RoundTrip, ModelWithEveryAttribute) { expectRoundTrip(everythingModel()); }

TEST_P(RoundTrip, EmptyModel) { expectRoundTrip(modelInfo::createModelInfo(true)); }

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values(file::eYaml, file::eJson),
                         [](const auto& info) { return std::string(info.param == file::eJson ? "Json" : "Yaml"); });

TEST(Formats, YamlAndJsonOfOneModelLoadToEqualModels) {
    const refPtr<modelInfo> model = everythingModel();
    const refPtr<modelInfo> fromYaml = loadClean(file::saveModelText(model, file::eYaml), L"m.yaml");
    const refPtr<modelInfo> fromJson = loadClean(file::saveModelText(model, file::eJson), L"m.json");
    ASSERT_TRUE(fromYaml);
    ASSERT_TRUE(fromJson);
    expectEqual(fromYaml, fromJson);
}

TEST(Formats, ContentDecidesWithoutAKnownExtension) {
    const refPtr<modelInfo> model = shopModel();
    expectEqual(model, loadClean(file::saveModelText(model, file::eJson), L"model.txt"));
    expectEqual(model, loadClean(file::saveModelText(model, file::eYaml), L"model.txt"));
}

TEST(Formats, JsonOptionRefusesYamlSyntax) {
    file::loadOptions options;
    options.format = file::eJson;
    const file::loadResult result = file::loadModelText("classes:\n  - name: A\n", L"a.yaml", options);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(diagnosticsText(result).substr(0, 26), "a.yaml:1:1: error M008: no");
}

TEST(Load, NamesMayReferToClassesLaterInTheFile) {
    const refPtr<modelInfo> model = loadClean(
        "classes:\n"
        "  - { name: Customer, bases: [Party], fields: [{ name: name, overrides: Party }, { copyFrom: Address }] }\n"
        "  - { name: Party, fields: [{ name: name, type: string }, { name: home, type: int }] }\n"
        "  - { name: Address, fields: [{ name: street, type: string }] }\n"
        "relations:\n"
        "  - { class: Customer, field: home, kind: agg, target: Address }\n",
        L"forward.yaml");
    ASSERT_TRUE(model);
    const refPtr<classInfo> customer = model->classInfo(L"customer", false);
    EXPECT_TRUE(customer->isDerivedFrom(model->classInfo(L"party", false)));
    EXPECT_TRUE(customer->fieldInfo(L"name", false, false)->sourceField());
    EXPECT_TRUE(customer->fieldInfo(L"street", false, false));
    EXPECT_EQ(customer->toRelations_end() - customer->toRelations_begin(), 1);
}

TEST(Load, PlainWordIsAText) {
    const refPtr<modelInfo> model = loadClean("classes:\n  - { name: A, userProperties: { p: hello } }\n", L"plain.yaml");
    ASSERT_TRUE(model);
    ky::string value;
    EXPECT_TRUE(model->classInfo(L"a", false)->getUserProperty(L"p", value, true));
    EXPECT_EQ(value, L"hello");
}

TEST(Load, WarningsAloneStillGiveTheModel) {
    const file::loadResult result =
        file::loadModelText("classes:\n  - { name: A, fields: [{ name: b, type: int, semantic: relation(C) }] }\n",
                            L"warn.yaml");
    EXPECT_EQ(diagnosticsText(result),
              "warn.yaml:2:57: warning M040: the relation semantic of field A.b names 'c', which is no class of this file\n");
    EXPECT_FALSE(result.hasErrors());
    EXPECT_TRUE(result.model);
}

TEST(ShopFile, LoadsToTheModelTheExampleBuilds) {
    const file::loadResult result = file::loadModelFile(std::string(KY_EXAMPLE_MODELS_DIR) + "/shop.yaml");
    EXPECT_EQ(diagnosticsText(result), "");
    ASSERT_TRUE(result.model);
    expectEqual(shopModel(), result.model);
}

TEST(ShopFile, SavedToAFileAndLoadedBackIsEqual) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "ky_modelfile_shop_test.json";
    std::vector<file::diagnostic> diagnostics;
    ASSERT_TRUE(file::saveModelFile(shopModel(), path.string(), file::eAutoFormat, &diagnostics));
    const file::loadResult result = file::loadModelFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(result.model);
    expectEqual(shopModel(), result.model);
}

TEST(Save, LeavesOutHostObjectsWithAWarning) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    model->createClassInfo(L"A", false)->setUserProperty(L"object", ky::refPtr<ky::refObj>(), false);
    std::vector<file::diagnostic> diagnostics;
    const std::string text = file::saveModelText(model, file::eYaml, &diagnostics);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].code, L"M101");
    EXPECT_EQ(diagnostics[0].severity, file::eWarning);
    EXPECT_EQ(text.find("object"), std::string::npos);
}

TEST(Save, LeavesOutAnItemWithoutAnItemText) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"enumItems"),
                     std::vector<enumItem>{enumItem(ky::genericValue::create(L"two words"), L"Two")}, true);
    model->createClassInfo(L"A", false)
        ->createFieldInfo(L"kind", eString, ky::genericSet(), L"")
        ->setSemantic(eSemEnum, attribs, L"");
    std::vector<file::diagnostic> diagnostics;
    const std::string text = file::saveModelText(model, file::eYaml, &diagnostics);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].code, L"M101");
    EXPECT_EQ(text.find("words"), std::string::npos);
}

TEST(Compare, NamesEachDifference) {
    const refPtr<modelInfo> a = shopModel();
    const refPtr<modelInfo> b = shopModel();
    b->fieldInfo(L"Product.price", false)->setLabel(L"Cost");
    b->classInfo(L"Order", false)->setAbstract(true);
    std::vector<ky::string> differences;
    EXPECT_FALSE(file::equalModels(a, b, &differences));
    EXPECT_EQ(joined(differences),
              "field product.price: label differs: 'Price' / 'Cost'\n"
              "class order: abstract differs: 0 / 1\n");
}

}  // namespace
}  // namespace kyfiletest
