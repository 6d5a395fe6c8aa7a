// Round trips: load(save(m)) equals m and a second save repeats the first
// byte for byte, in YAML and in JSON (so both forms of a model load to equal
// models); on the shop model, on generated models and on a model that uses
// every part of the format, whose file is its own saved form.
#include "modelfile_support.h"

#include "generated_model.h"

#include <filesystem>

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

// everything.yaml is a case-sensitive model with every attribute the format
// holds, texts that need escaping included, written in the form a save gives.
// Its class "other" is in lower case because a relation semantic lower-cases
// the class it names; its relation towards a field of type ptr still leads to
// that field, not to its class.
const std::filesystem::path everythingFile = std::filesystem::path(KY_MODELFILE_TEST_DIR) / "everything.yaml";

refPtr<modelInfo> everythingModel() { return loadClean(readAll(everythingFile), L"everything.yaml"); }

// tool_data.yaml holds the texts other tools keep in namespaced user
// properties, in the form a save gives: lists of names and statements in
// literal blocks with each kind of final line break, and texts a block
// cannot hold (a leading blank line or blank, a blank at a line's end, a
// carriage return) in quotes; texts that read like numbers or booleans, the
// empty text, non-ASCII text, a `$$` function body, a field written as a
// block because it holds such texts, a custom type named "" on purpose, and
// enumeration items with blanks and commas, as database enums have them.
const std::filesystem::path toolDataFile = std::filesystem::path(KY_MODELFILE_TEST_DIR) / "tool_data.yaml";

refPtr<modelInfo> toolDataModel() { return loadClean(readAll(toolDataFile), L"tool_data.yaml"); }

// The text of user property `key` of class `cls` (or of its field `field`).
ky::string propertyOf(const refPtr<modelInfo>& model, const wchar_t* cls, const wchar_t* key,
                      const wchar_t* field = nullptr) {
    ky::string value;
    const refPtr<classInfo> c = model->classInfo(cls, false);
    if (field) c->fieldInfo(field, false, false)->getUserProperty(key, value, true);
    else c->getUserProperty(key, value, true);
    return value;
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

TEST_P(RoundTrip, ModelWithToolData) { expectRoundTrip(toolDataModel()); }

TEST_P(RoundTrip, EmptyModel) { expectRoundTrip(modelInfo::createModelInfo(true)); }

// Large enough that the tree lets go of its first blocks while the model is built.
TEST_P(RoundTrip, ModelLargerThanTheTreesBlocks) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    kygen::buildGeneratedModel(model, 400, 20);
    expectRoundTrip(model);
}

// Enum values of databases hold blanks and commas ('in progress'): such an
// item goes into a {value, name} mapping and comes back whole.
TEST_P(RoundTrip, ItemsThatNoItemTextHoldsComeBackWhole) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(L"enumItems"),
                     std::vector<enumItem>{enumItem(ky::genericValue::create(L"two words"), L"Two"),
                                           enumItem(ky::genericValue::create(L"a,b"), L"it's \"A, B\""),
                                           enumItem(ky::genericValue::create(L"plain"), L"Plain")},
                     true);
    model->createClassInfo(L"A", false)
        ->createFieldInfo(L"kind", eString, ky::genericSet(), L"")
        ->setSemantic(eSemEnum, attribs, L"");
    std::vector<file::diagnostic> diagnostics;
    file::saveModelText(model, format(), &diagnostics);
    EXPECT_EQ(diagnostics.size(), 0u);
    expectRoundTrip(model);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values(file::eYaml, file::eJson),
                         [](const auto& info) { return std::string(info.param == file::eJson ? "Json" : "Yaml"); });

// So every attribute the loader reads is written back by the saver.
TEST(Formats, SavingTheModelOfEveryAttributeGivesItsFileBack) {
    const refPtr<modelInfo> model = everythingModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(file::saveModelText(model, file::eYaml), readAll(everythingFile));
}

TEST(ToolData, SavingItsModelGivesTheFileBack) {
    const refPtr<modelInfo> model = toolDataModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(file::saveModelText(model, file::eYaml), readAll(toolDataFile));
}

TEST(ToolData, LiteralBlocksReadBackAsTheirTexts) {
    const refPtr<modelInfo> model = toolDataModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(propertyOf(model, L"actor", L"sql.index.idx_names"), L"last_name\nfirst_name");
    EXPECT_EQ(propertyOf(model, L"actor", L"tool.keptBreaks"), L"two breaks at the end\n\n");
    EXPECT_EQ(propertyOf(model, L"actor", L"tool.tab"), L"a\ttab\n\tleading tab");
    EXPECT_EQ(propertyOf(model, L"actor", L"postgresql.before"),
              L"CREATE FUNCTION public.last_updated() RETURNS trigger\n    LANGUAGE plpgsql\n    AS $$\nBEGIN\n"
              L"    NEW.last_update = CURRENT_TIMESTAMP;\n\n    RETURN NEW;\nEND $$;\n");
    EXPECT_EQ(propertyOf(model, L"actor", L"postgresql.before", L"actor_id"),
              L"CREATE SEQUENCE public.actor_actor_id_seq\n    START WITH 1\n    INCREMENT BY 1;\n");
}

TEST(ToolData, TextsThatReadAsOtherValuesStayTexts) {
    const refPtr<modelInfo> model = toolDataModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(propertyOf(model, L"actor", L"tool.looksTrue"), L"true");
    EXPECT_EQ(propertyOf(model, L"actor", L"tool.looksLikeANumber"), L"42");
    EXPECT_EQ(propertyOf(model, L"actor", L"postgresql.default", L"year"), L"0");
    EXPECT_EQ(propertyOf(model, L"actor", L"sqlite.type", L"name"), L"");
}

TEST(ToolData, ACustomTypeNamedEmptyIsKept) {
    const refPtr<modelInfo> model = toolDataModel();
    ASSERT_TRUE(model);
    const ky::const_refPtr<fieldInfo> note = model->classInfo(L"actor", false)->fieldInfo(L"note", false, false);
    EXPECT_EQ(note->type(), eCustom);
    EXPECT_EQ(note->customTypeString().string(), L"");
}

// A model the core accepts saves to a file its loader accepts: a custom
// field without a custom type is written with customType "".
TEST(Save, ACustomFieldWithoutACustomTypeLoadsBack) {
    const refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    model->createClassInfo(L"T", false)->createFieldInfo(L"loose", eCustom, ky::genericSet(), ky::string());
    const refPtr<modelInfo> loaded = loadClean(file::saveModelText(model, file::eYaml), L"model.yaml");
    ASSERT_TRUE(loaded);
    expectEqual(model, loaded);
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

TEST(Formats, ExtensionNamesTheFormatInAnyCase) {
    EXPECT_EQ(file::formatOfPath("m.json"), file::eJson);
    EXPECT_EQ(file::formatOfPath("dir/M.JSON"), file::eJson);
    EXPECT_EQ(file::formatOfPath("m.Yaml"), file::eYaml);
    EXPECT_EQ(file::formatOfPath("m.YML"), file::eYaml);
}

TEST(Formats, ANameWithoutAModelExtensionNamesNoFormat) {
    EXPECT_EQ(file::formatOfPath("m.txt"), file::eAutoFormat);
    EXPECT_EQ(file::formatOfPath("models.json/m"), file::eAutoFormat);
    EXPECT_EQ(file::formatOfPath("json"), file::eAutoFormat);
    EXPECT_EQ(file::formatOfPath(""), file::eAutoFormat);
}

TEST(Formats, AnUpperCaseJsonNameLoadsAsJson) {
    const file::loadResult result = file::loadModelText("classes:\n  - name: A\n", L"a.JSON");
    EXPECT_EQ(diagnosticsText(result).substr(0, 26), "a.JSON:1:1: error M008: no");
}

TEST(Formats, AnUpperCaseJsonNameSavesAsJson) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "ky_modelfile_upper_case_test.JSON";
    ASSERT_TRUE(file::saveModelFile(shopModel(), path.string()));
    const std::string text = readAll(path);
    std::filesystem::remove(path);
    EXPECT_EQ(text, file::saveModelText(shopModel(), file::eJson));
}

// A file of `classes` classes "cN" of one field "idN" each, the text `extra`
// given to the first class and `last` to the last.
std::string manyClasses(int classes, const std::string& extra, const std::string& last) {
    std::string text = "classes:\n";
    for (int i = 0; i < classes; ++i) {
        text += "  - name: c" + std::to_string(i) + "\n";
        if (i == 0) text += extra;
        if (i + 1 == classes) text += last;
        text += "    fields:\n      - {name: id" + std::to_string(i) + ", type: int}\n";
    }
    return text;
}

TEST(LargeFile, RelationsBeforeTheClassesStillLeadToTheirFields) {
    const std::string text = "relations:\n  - {class: c0, field: id0, kind: ref, target: c11999, targetField: id11999}\n" +
                             manyClasses(12000, "", "");
    const file::loadResult result = file::loadModelText(text, L"many.yaml");
    ASSERT_TRUE(result.model) << diagnosticsText(result);
    const refPtr<classInfo> first = result.model->classInfo(L"c0", false);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->toRelations_end() - first->toRelations_begin(), 1);
    EXPECT_EQ((*first->toRelations_begin())->toClassInfo()->scName().string(), L"c11999");
}

TEST(LargeFile, AnAliasFarFromItsAnchorKeepsItsText) {
    const std::string text = manyClasses(12000, "    label: &shared \"Shared label\"\n", "    label: *shared\n");
    const file::loadResult result = file::loadModelText(text, L"many.yaml");
    ASSERT_TRUE(result.model) << diagnosticsText(result);
    EXPECT_EQ(result.model->classInfo(L"c11999", false)->label(), L"Shared label");
}

TEST(LargeFile, ALabelLongerThanATextBlockIsKeptWhole) {
    const std::string label(200000, 'x');
    const file::loadResult result = file::loadModelText(manyClasses(3, "    label: " + label + "\n", ""), L"long.yaml");
    ASSERT_TRUE(result.model) << diagnosticsText(result);
    EXPECT_EQ(result.model->classInfo(L"c0", false)->label(), ky::string(label.begin(), label.end()));
    EXPECT_TRUE(result.model->classInfo(L"c2", false)->fieldInfo(L"id2", false, false));
}

TEST(LargeFile, ABaseLaterInTheFileThanItsDerivedClassGivesItItsFields) {
    const std::string text = manyClasses(12000, "    bases: [c11999]\n", "");
    const file::loadResult result = file::loadModelText(text, L"many.yaml");
    ASSERT_TRUE(result.model) << diagnosticsText(result);
    EXPECT_TRUE(result.model->classInfo(L"c0", false)->fieldInfo(L"id11999", true, false));
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

TEST(Load, SchemaKeyIsReadPast) {
    EXPECT_TRUE(loadClean("{\"$schema\": \"model-file.schema.json\", \"classes\": []}", L"s.json"));
}

TEST(Save, QuotesKeysThatYamlReadsAsOtherThanText) {
    const refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    const refPtr<classInfo> a = model->createClassInfo(L"A", false);
    for (const wchar_t* key : {L"null", L"Yes", L"on", L"n", L"OFF", L"yesno"})
        a->setUserProperty(key, ky::string(key), false);
    const std::string text = file::saveModelText(model, file::eYaml);
    EXPECT_NE(text.find("\"null\":"), std::string::npos);
    EXPECT_NE(text.find("\"Yes\":"), std::string::npos);
    EXPECT_NE(text.find("\"on\":"), std::string::npos);
    EXPECT_NE(text.find("\"n\":"), std::string::npos);
    EXPECT_NE(text.find("\"OFF\":"), std::string::npos);
    EXPECT_NE(text.find(" yesno:"), std::string::npos);
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
