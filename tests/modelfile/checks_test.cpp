// The model checks. Each model file under tests/modelfile/checks/, loaded
// with the checks on, must give exactly the findings of its .expected file,
// each as kymdl check prints it (the diagnostic line, then its hint). With
// KY_UPDATE_GOLDEN=1 in the environment the test writes the .expected files
// instead, for review.
#include "modelfile_support.h"

namespace kyfiletest {
namespace {

namespace fs = std::filesystem;

fs::path checksDir() { return fs::path(KY_MODELFILE_TEST_DIR) / "checks"; }

std::string findingsText(const std::vector<file::diagnostic>& diagnostics) {
    std::string out;
    for (const file::diagnostic& d : diagnostics) {
        out += d.text().toUtf8() + "\n";
        if (!d.hint.empty()) out += "  hint: " + d.hint.toUtf8() + "\n";
    }
    return out;
}

file::loadResult loadChecked(const std::string& text, const std::string& name) {
    file::loadOptions options;
    options.runChecks = true;
    return file::loadModelText(text, ky::string::fromUtf8(name), options);
}

class CheckedFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CheckedFile, GivesExactlyItsExpectedFindings) {
    const fs::path source = checksDir() / GetParam();
    const fs::path expectedPath = fs::path(source).replace_extension(".expected");
    const std::string actual = findingsText(loadChecked(readAll(source), GetParam()).diagnostics);
    if (rewroteGolden(expectedPath, actual)) GTEST_SKIP() << "wrote " << expectedPath.filename();
    EXPECT_EQ(actual, readAll(expectedPath));
}

INSTANTIATE_TEST_SUITE_P(Checks, CheckedFile, ::testing::ValuesIn(filesIn(checksDir(), {".yaml"})),
                         [](const auto& info) { return testNameOf(info.param.substr(0, info.param.rfind('.'))); });

// The example's one finding is kept on purpose: the SQL examples show what
// becomes of a relation towards a class without a key.
TEST(ModelChecks, ShopModelFileFindsOnlyTheRelationToTheKeylessAddress) {
    const std::string name = "shop.yaml";
    const file::loadResult result = loadChecked(readAll(fs::path(KY_EXAMPLE_MODELS_DIR) / name), name);
    EXPECT_EQ(findingsText(result.diagnostics),
              "shop.yaml:87:5: warning M202: the relation party.Home leads to class address, which has no primary key, "
              "not even an inherited one\n"
              "  hint: give class address a primary-key field, or let the relation lead to a unique field of it\n");
}

TEST(ModelChecks, LoadWithoutChecksReportsNoFinding) {
    const std::string text = readAll(checksDir() / "abstract_leaf.yaml");
    EXPECT_EQ(findingsText(file::loadModelText(text, ky::string(L"abstract_leaf.yaml")).diagnostics), "");
}

// A model built in code can hold what no model file can: a stored default
// of another type that does not convert. The finding has no place.
TEST(ModelChecks, StoredDefaultOfAnotherTypeIsAnError) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    refPtr<classInfo> order = model->createClassInfo(L"Order", false);
    order->createFieldInfo(L"quantity", eInt, ky::genericSet(), ky::string())
        ->setDefaultValue(ky::genericValue::create(ky::string(L"many")));
    EXPECT_EQ(findingsText(file::checkModel(model)),
              "error M205: the stored default of field order.quantity does not convert to its type 'int'\n"
              "  hint: store a value of the field's type, or none\n");
}

}  // namespace
}  // namespace kyfiletest
