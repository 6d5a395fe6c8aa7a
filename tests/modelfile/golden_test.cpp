// Golden files: every broken model file under tests/modelfile/bad/ must give
// exactly the diagnostics of its .expected file (one "file:line:col: error
// Mxxx: message" a line) and no model. With KY_UPDATE_GOLDEN=1 in the
// environment the test writes the .expected files instead, for review.
#include "modelfile_support.h"

namespace kyfiletest {
namespace {

namespace fs = std::filesystem;

fs::path badDir() { return fs::path(KY_MODELFILE_TEST_DIR) / "bad"; }

class GoldenFile : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenFile, GivesExactlyItsExpectedDiagnosticsAndNoModel) {
    const fs::path source = badDir() / GetParam();
    const fs::path expectedPath = fs::path(source).replace_extension(".expected");
    // Loaded from text under its bare name, so that the diagnostics do not
    // depend on where the tree is checked out.
    const file::loadResult result = file::loadModelText(readAll(source), ky::string::fromUtf8(GetParam()));
    const std::string actual = diagnosticsText(result);
    if (rewroteGolden(expectedPath, actual)) GTEST_SKIP() << "wrote " << expectedPath.filename();
    EXPECT_EQ(actual, readAll(expectedPath));
    EXPECT_FALSE(result.model);
    EXPECT_TRUE(result.hasErrors());
}

INSTANTIATE_TEST_SUITE_P(Bad, GoldenFile, ::testing::ValuesIn(filesIn(badDir(), {".yaml", ".json"})),
                         [](const auto& info) { return testNameOf(info.param); });

}  // namespace
}  // namespace kyfiletest
