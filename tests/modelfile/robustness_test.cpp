// Hostile and broken input: each case ends in a diagnostic, never in a
// crash, a hang, unbounded memory or a report to the assertion handler; and
// loads on several threads at once do not disturb each other.
#include "modelfile_support.h"

#include <kyassert.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kyfiletest {
namespace {

namespace fs = std::filesystem;

// The code of the first diagnostic ("" without any).
std::string firstCode(const file::loadResult& result) {
    return result.diagnostics.empty() ? std::string() : result.diagnostics.front().code.toUtf8();
}

file::loadResult load(const std::string& text, const wchar_t* name = L"in.yaml") {
    return file::loadModelText(text, name);
}

// `prefix` i `suffix` for each i in [0, count), in order.
std::string numbered(int count, const std::string& prefix, const std::string& suffix) {
    std::string text;
    for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + suffix;
    return text;
}

// A temporary directory removed with the fixture.
class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = "ky_modelfile_";
        name += std::to_string(::getpid());
        name += '_';
        name += ::testing::UnitTest::GetInstance()->current_test_info()->name();
        mDir = fs::temp_directory_path() / name;
        fs::create_directories(mDir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(mDir / "locked.yaml", fs::perms::owner_all, ignored);
        fs::remove_all(mDir, ignored);
    }
    std::string write(const char* name, const std::string& text) {
        std::ofstream(mDir / name, std::ios::binary) << text;
        return (mDir / name).string();
    }
    fs::path mDir;
};

TEST(BadInput, TextWithoutExactlyOneDocumentIsRefused) {
    EXPECT_EQ(firstCode(load("# only a comment\n\n")), "M004");
    EXPECT_EQ(firstCode(file::loadModelText(" \n", L"no-extension")), "M004");
    EXPECT_EQ(firstCode(load("classes: []\n---\nclasses: []\n")), "M005");
}

TEST(BadInput, EachMalformedTypedValueIsRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"[1]", "M018"}, {"{type: int, colour: 1}", "M010"}, {"{type: int}", "M018"},
        {"{type: money, value: 1}", "M016"}, {"{type: int, value: x}", "M016"}};
    for (const auto& [value, code] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(firstCode(load(std::string("classes:\n  - { name: A, userProperties: { p: ") + value + " } }\n")), code);
    }
}

TEST(BadInput, IntegersBeyondLongAreRefusedNotRounded) {
    for (const char* value : {"18446744073709551616", "9223372036854775808", "-9223372036854775809"}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(firstCode(load(std::string("classes:\n  - { name: A, userProperties: { p: ") + value + " } }\n")),
                  "M016");
    }
}

TEST(BadInput, TextThatIsNotUtf8IsRefusedAtItsPlace) {
    const file::loadResult result = load("classes:\n  - name: \"Caf\xe9\"\n");
    EXPECT_FALSE(result.model);
    // The place is the byte that breaks the sequence the octet 0xE9 opened.
    EXPECT_EQ(diagnosticsText(result).substr(0, 28), "in.yaml:2:16: error M003: th");
}

TEST(BadInput, AliasBombStopsAtTheExpansionLimit) {
    // Level i lists level i-1 ten times.
    std::string text = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
    for (int i = 1; i < 12; ++i) {
        const std::string below = "*a" + std::to_string(i - 1);
        text += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [" + below;
        for (int k = 1; k < 10; ++k) text += ", " + below;
        text += "]\n";
    }
    const file::loadResult result = load(text);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(firstCode(result), "M007");
}

TEST(BadInput, AliasInsideItsOwnCollectionIsRefused) {
    const file::loadResult result = load("a: &outer {b: [x, *outer]}\n");
    EXPECT_FALSE(result.model);
    ASSERT_FALSE(result.diagnostics.empty());
    EXPECT_EQ(result.diagnostics.front().message, L"alias to a collection that contains it");
}

TEST(BadInput, AliasesOfALongTextStopAtTheByteLimit) {
    // Few nodes, many bytes: one long label used through aliases.
    std::string text = "classes:\n  - {name: C, label: &long \"" + std::string(1000, 'x') + "\"}\n";
    for (int i = 0; i < 20; ++i) text += "  - {name: C" + std::to_string(i) + ", label: *long}\n";
    file::loadOptions options;
    options.maxAliasBytes = 10000;
    const file::loadResult refused = file::loadModelText(text, L"in.yaml", options);
    EXPECT_FALSE(refused.model);
    EXPECT_EQ(firstCode(refused), "M007");
    options.maxAliasBytes = 20000;
    EXPECT_FALSE(file::loadModelText(text, L"in.yaml", options).hasErrors());
}

TEST(BadInput, JsonSurrogatePairsAreTheCharacterTheyEncode) {
    const std::string text = "{\"classes\": [{\"name\": \"A\", \"label\": \"x\\ud83d\\ude00y\"}]";
    const file::loadResult result = load(text + "}", L"in.json");
    ASSERT_TRUE(result.model) << diagnosticsText(result);
    EXPECT_EQ(result.model->classInfo(L"A", false)->label(), ky::string(L"x\U0001F600y"));
    // What follows the pair keeps its place.
    EXPECT_EQ(diagnosticsText(load(text + ", \"x\": 1}", L"in.json")),
              "in.json:1:57: error M010: unknown key 'x' in the model\n");
}

TEST(BadInput, JsonLoneSurrogateIsRefusedAtItsPlace) {
    const file::loadResult result = load("{\"classes\": [{\"name\": \"A\", \"label\": \"\\ud83d\"}]}", L"in.json");
    EXPECT_FALSE(result.model);
    EXPECT_EQ(diagnosticsText(result).substr(0, 42), "in.json:1:38: error M003: syntax error: th");
}

TEST(BadInput, DeepNestingStopsAtTheDepthLimit) {
    const std::string text = std::string(100000, '[') + std::string(100000, ']');
    const file::loadResult result = load(text);
    EXPECT_EQ(diagnosticsText(result), "in.yaml:1:65: error M006: collections nested deeper than 64 levels\n");
}

TEST(BadInput, HugeNamesAreRefused) {
    const std::string name(100000, 'n');
    const file::loadResult result = load("classes:\n  - name: " + name + "\n    fields: [{name: " + name + ", type: int}]\n");
    ASSERT_EQ(result.diagnostics.size(), 2u);
    EXPECT_EQ(result.diagnostics[0].code, L"M019");
    EXPECT_EQ(result.diagnostics[1].code, L"M019");
}

TEST(BadInput, NamesHoldingControlsAreRefusedAndShownEscaped) {
    const file::loadResult result =
        load("classes:\n  - name: \"t\\0\"\n    fields: [{name: \"a\\nall good: 0 errors\", type: int}]\n");
    EXPECT_EQ(diagnosticsText(result),
              "in.yaml:2:11: error M019: the name of class #1 't\\u0000' holds the character U+0000, which no name may hold\n"
              "in.yaml:3:21: error M019: the name of field #1 of class t\\u0000 'a\\nall good: 0 errors' holds the "
              "character U+000A, which no name may hold\n");
    EXPECT_FALSE(result.model);
}

// Every level doubles the paths to the root: a walk that does not mark the
// classes it visited would take 2^40 steps.
TEST(BadInput, ManyPathsToOneBaseAreWalkedOnce) {
    std::string text = "classes:\n  - { name: L0, fields: [{ name: id, type: int }] }\n";
    for (int i = 1; i <= 40; ++i) {
        // Appended piece by piece: g++ 12 at -O3 takes a prepended literal
        // for an overlapping copy (a false -Wrestrict).
        std::string below(1, 'L');
        below += std::to_string(i - 1);
        const std::string level = std::to_string(i);
        text += "  - { name: A" + level + ", bases: [" + below + "] }\n";
        text += "  - { name: B" + level + ", bases: [" + below + "] }\n";
        text += "  - { name: L" + level + ", bases: [A" + level + ", B" + level + "], fields: [{ name: f" + level +
                ", type: int }, { name: id, overrides: L0 }] }\n";
    }
    const file::loadResult result = load(text);
    EXPECT_EQ(diagnosticsText(result), "");
    EXPECT_TRUE(result.model);
}

// A long field list is looked up through a hash map, a short one by scanning.
TEST(BadInput, DuplicateFieldsAreFoundInLongFieldLists) {
    const file::loadResult result = load("classes:\n  - name: Wide\n    fields:\n" +
                                         numbered(100, "      - { name: f", ", type: int }\n") +
                                         "      - { name: F7, type: int }\n");
    EXPECT_EQ(diagnosticsText(result),
              "in.yaml:104:17: error M021: duplicate field name: field Wide.F7 (first at line 11)\n"
              "  note at 11:17: first named here\n");
}

TEST(BadInput, DuplicatesAreFoundInLongPropertyMapsAndBaseLists) {
    const file::loadResult result = load("classes:\n" + numbered(100, "  - { name: B", " }\n") +
                                         "  - name: Many\n    bases: [" + numbered(100, "B", ", ") +
                                         "B5]\n    userProperties: {" + numbered(100, "p", ": 1, ") + "p9: 2}\n");
    ASSERT_EQ(result.diagnostics.size(), 2u);
    EXPECT_EQ(result.diagnostics[0].code, L"M022");
    EXPECT_EQ(result.diagnostics[1].code, L"M011");
}

TEST(BadInput, ErrorsStopAtTheLimit) {
    const std::string text = "classes:\n" + numbered(50, "  - { name: C", ", colour: red }\n");
    file::loadOptions options;
    options.maxDiagnostics = 10;
    EXPECT_EQ(file::loadModelText(text, L"in.yaml", options).diagnostics.size(), 10u);
    EXPECT_EQ(load(text).diagnostics.size(), 50u);
}

TEST(BadInput, NoLoadReportsToTheAssertionHandler) {
    static std::atomic<int> reports{0};
    const ky::assertHandler previous = ky::setAssertHandler([](const ky::string&) { ++reports; });
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(KY_MODELFILE_TEST_DIR) / "bad"))
        file::loadModelFile(entry.path().string());
    ky::setAssertHandler(previous);
    EXPECT_EQ(reports.load(), 0);
}

TEST_F(TempDir, WhatIsNoReadableFileIsReported) {
    for (const std::string& path : {mDir.string(), std::string("/dev/zero"), (mDir / "missing.yaml").string()}) {
        SCOPED_TRACE(path);
        const file::loadResult result = file::loadModelFile(path);
        EXPECT_EQ(firstCode(result), "M001");
        EXPECT_FALSE(result.model);
    }
}

TEST_F(TempDir, AnUnreadableFileIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string path = write("locked.yaml", "classes: []\n");
    fs::permissions(path, fs::perms::none);
    EXPECT_EQ(firstCode(file::loadModelFile(path)), "M001");
}

TEST_F(TempDir, AFileAboveTheSizeLimitIsNotRead) {
    const std::string path = write("big.yaml", "classes: []\n" + std::string(4096, '#'));
    file::loadOptions options;
    options.maxFileSize = 1024;
    EXPECT_EQ(firstCode(file::loadModelFile(path, options)), "M002");
    EXPECT_EQ(firstCode(file::loadModelText("classes: []\n" + std::string(4096, '#'), L"big.yaml", options)), "M002");
}

TEST_F(TempDir, SavingIntoADirectoryFails) {
    std::vector<file::diagnostic> diagnostics;
    EXPECT_FALSE(file::saveModelFile(shopModel(), mDir.string(), file::eYaml, &diagnostics));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].code, L"M100");
}

TEST(Threads, TwoLoadsAtOnceEachGiveTheirModel) {
    const std::string shop = file::saveModelText(shopModel(), file::eYaml);
    const std::string broken = "classes:\n  - { name: A, fields: [{ name: x, type: strng }] }\n";
    std::vector<file::loadResult> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = load(i % 2 ? broken : shop); });
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].model.get() != nullptr, i % 2 == 0);
        EXPECT_EQ(results[i].diagnostics.size(), i % 2);
    }
    EXPECT_TRUE(file::equalModels(results[0].model, results[2].model));
}

}  // namespace
}  // namespace kyfiletest
