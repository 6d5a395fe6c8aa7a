// Golden files: every broken model file under tests/modelfile/bad/ must give
// exactly the diagnostics of its .expected file (one "file:line:col: error
// Mxxx: message" a line) and no model. With KY_UPDATE_GOLDEN=1 in the
// environment the test writes the .expected files instead, for review.
#include "modelfile_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kyfiletest {
namespace {

namespace fs = std::filesystem;

fs::path badDir() { return fs::path(KY_MODELFILE_TEST_DIR) / "bad"; }

std::vector<std::string> badFiles() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(badDir())) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".yaml" || ext == ".json") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class GoldenFile : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenFile, GivesExactlyItsExpectedDiagnosticsAndNoModel) {
    const fs::path source = badDir() / GetParam();
    const fs::path expectedPath = fs::path(source).replace_extension(".expected");
    // Loaded from text under its bare name, so that the diagnostics do not
    // depend on where the tree is checked out.
    const file::loadResult result = file::loadModelText(readAll(source), ky::string::fromUtf8(GetParam()));
    const std::string actual = diagnosticsText(result);
    if (std::getenv("KY_UPDATE_GOLDEN")) {
        std::ofstream(expectedPath, std::ios::binary) << actual;
        GTEST_SKIP() << "wrote " << expectedPath.filename();
    }
    EXPECT_EQ(actual, readAll(expectedPath));
    EXPECT_FALSE(result.model);
    EXPECT_TRUE(result.hasErrors());
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Bad, GoldenFile, ::testing::ValuesIn(badFiles()), testName);

}  // namespace
}  // namespace kyfiletest
