// The documentation site as files: page names made safe, names escaped on
// the pages, every link leading to a written file, and the folder rules.
#include <gtest/gtest.h>

#include <doc.h>
#include <shop_model.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace ky::metamodel;
namespace fs = std::filesystem;

// Class names no file system or page takes as they are.
const std::vector<std::string> hostileNames{
    "<script>alert(1)</script>", "a&b", "say \"hi\" 'there'", "../../escape", "a/b", "a_2Fb", "a_b", "a__b",
    ".", "..", "Stra\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC", std::string(300, 'x'), std::string(299, 'x') + "y"};

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

refPtr<modelInfo> shopModel() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    shop::buildShopModel(model);
    return model;
}

// A case-sensitive model of the hostile names; each class after the first
// derives from the first and refers to the one before it.
refPtr<modelInfo> hostileModel() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    refPtr<classInfo> first;
    refPtr<classInfo> previous;
    for (const std::string& name : hostileNames) {
        refPtr<classInfo> cls = model->createClassInfo(ky::string::fromUtf8(name), false);
        cls->setLabel(ky::string::fromUtf8("label " + name));
        cls->createFieldInfo(ky::string::fromUtf8("f<" + name), eInt, ky::genericSet(), L"");
        if (first) cls->addBaseClass(first);
        else first = cls;
        if (previous) cls->createRelation(ky::string::fromUtf8("f<" + name), false, previous, eRef, L"r&", L"");
        previous = cls;
    }
    return model;
}

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        mRoot = fs::temp_directory_path() / ("kymdl-doc-test-" + std::to_string(getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mRoot);
        fs::create_directories(mRoot);
    }
    void TearDown() override { fs::remove_all(mRoot); }

    kymdl::docResult write(const modelInfo& model, const fs::path& dir, bool diagrams = true, bool force = false) {
        kymdl::docOptions options;
        options.diagrams = diagrams;
        options.force = force;
        return kymdl::writeSite(model, dir.string(), options);
    }

    fs::path mRoot;
};

// The links of a page that lead to files of the site: href, src and
// xlink:href values without their query and fragment.
std::vector<std::string> linksOf(const std::string& html) {
    static const std::regex link(R"re((?:href|src)="([^"#?]*)[^"]*")re");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator(); ++it) {
        if (!(*it)[1].str().empty()) out.push_back((*it)[1].str());
    }
    return out;
}

// Every link of every page of the site in `dir` that leads to no file.
std::vector<std::string> brokenLinks(const fs::path& dir) {
    std::vector<std::string> broken;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().extension() != ".html") continue;
        for (const std::string& target : linksOf(readAll(entry.path()))) {
            if (!fs::is_regular_file(entry.path().parent_path() / target))
                broken.push_back(entry.path().filename().string() + " -> " + target);
        }
    }
    return broken;
}

TEST(PageFileName, HoldsOnlyLettersDigitsDashAndUnderscore) {
    const std::regex safe("[A-Za-z0-9_-]+\\.html");
    for (const std::string& name : hostileNames)
        EXPECT_TRUE(std::regex_match(kymdl::pageFileName(name), safe)) << kymdl::pageFileName(name);
}

TEST(PageFileName, DistinctNamesGiveDistinctFiles) {
    std::set<std::string> files;
    for (const std::string& name : hostileNames) files.insert(kymdl::pageFileName(name));
    EXPECT_EQ(files.size(), hostileNames.size());
}

TEST(PageFileName, LongNamesFitAFileSystem) {
    EXPECT_LE(kymdl::pageFileName(std::string(1000, '\xE6')).size(), 255u);
}

TEST(PageFileName, PlainNamesStayReadable) { EXPECT_EQ(kymdl::pageFileName("OrderLine"), "OrderLine.html"); }

TEST_F(SiteTest, WritesEveryFileInsideTheFolder) {
    const fs::path site = mRoot / "site";
    ASSERT_TRUE(write(*hostileModel(), site).ok);
    std::vector<std::string> outside;
    for (const auto& entry : fs::recursive_directory_iterator(mRoot)) {
        const std::string path = entry.path().string();
        if (path.rfind(site.string(), 0) != 0) outside.push_back(path);
    }
    EXPECT_EQ(outside, std::vector<std::string>{});
    for (const std::string& name : hostileNames)
        EXPECT_TRUE(fs::is_regular_file(site / "classes" / kymdl::pageFileName(name))) << name;
}

TEST_F(SiteTest, EscapesNamesOnThePages) {
    const fs::path site = mRoot / "site";
    ASSERT_TRUE(write(*hostileModel(), site, false).ok);
    const std::string index = readAll(site / "index.html");
    EXPECT_EQ(index.find("<script>alert"), std::string::npos);
    EXPECT_NE(index.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(index.find("say &quot;hi&quot; &#39;there&#39;"), std::string::npos);
    EXPECT_NE(index.find(">Stra\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC</a>"), std::string::npos);
    const std::string page = readAll(site / "classes" / kymdl::pageFileName("a&b"));
    EXPECT_NE(page.find("<title>a&amp;b "), std::string::npos);
    EXPECT_NE(page.find("<code>f&lt;a&amp;b</code>"), std::string::npos);
    EXPECT_EQ(page.find("<code>f<"), std::string::npos);
}

TEST_F(SiteTest, EveryLinkLeadsToAFile) {
    ASSERT_TRUE(write(*shopModel(), mRoot / "shop").ok);
    EXPECT_EQ(brokenLinks(mRoot / "shop"), std::vector<std::string>{});
    ASSERT_TRUE(write(*hostileModel(), mRoot / "hostile").ok);
    EXPECT_EQ(brokenLinks(mRoot / "hostile"), std::vector<std::string>{});
}

TEST_F(SiteTest, ClassPageShowsInheritedFieldsAndRelationsIn) {
    ASSERT_TRUE(write(*shopModel(), mRoot / "shop", false).ok);
    const std::string page = readAll(mRoot / "shop/classes/customer.html");
    EXPECT_NE(page.find("<tr class=\"inherited\"><th scope=\"row\"><code>id</code></th><td>int</td>"
                        "<td>inherited from <a href=\"party.html\">party</a></td>"),
              std::string::npos);
    EXPECT_NE(page.find("<dt>Key</dt><dd><code>id</code></dd>"), std::string::npos);
    EXPECT_NE(page.find("<tr><td>PlacedBy</td><td>reference</td><td>customerid</td>"
                        "<td><a href=\"order.html\">order</a></td>"),
              std::string::npos);
    EXPECT_NE(page.find("<caption>Into this class</caption>"), std::string::npos);
}

TEST_F(SiteTest, DrawsOneDiagramPerPage) {
    if (std::system("command -v dot >/dev/null 2>&1") != 0) GTEST_SKIP() << "Graphviz's dot is not installed";
    ASSERT_TRUE(write(*shopModel(), mRoot / "shop").ok);
    const std::string page = readAll(mRoot / "shop/classes/customer.html");
    EXPECT_NE(page.find("<svg role=\"img\" aria-label=\"The classes next to customer\""), std::string::npos);
    EXPECT_NE(page.find("xlink:href=\"party.html\""), std::string::npos);
    EXPECT_EQ(page.find("<?xml"), std::string::npos);
    EXPECT_NE(readAll(mRoot / "shop/index.html").find("xlink:href=\"classes/party.html\""), std::string::npos);
}

TEST_F(SiteTest, WithoutDotTheSiteHasANoteInstead) {
    const char* path = std::getenv("PATH");
    const std::string saved = path ? path : "";
    setenv("PATH", (mRoot / "empty").c_str(), 1);
    const kymdl::docResult result = write(*shopModel(), mRoot / "shop");
    setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_NE(result.note.find("dot"), std::string::npos);
    EXPECT_NE(readAll(mRoot / "shop/classes/customer.html").find("<p class=\"note\">No diagram: "), std::string::npos);
    EXPECT_NE(readAll(mRoot / "shop/index.html").find("<p class=\"note\">No diagram: "), std::string::npos);
}

TEST_F(SiteTest, RefusesAFolderOfOthersWithoutForce) {
    std::ofstream(mRoot / "notes.txt") << "mine";
    const kymdl::docResult result = write(*shopModel(), mRoot, false);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("--force"), std::string::npos);
    EXPECT_FALSE(fs::exists(mRoot / "index.html"));
    EXPECT_TRUE(write(*shopModel(), mRoot, false, true).ok);
    EXPECT_EQ(readAll(mRoot / "notes.txt"), "mine");
}

TEST_F(SiteTest, RewritingRemovesPagesOfClassesThatAreGone) {
    ASSERT_TRUE(write(*hostileModel(), mRoot / "site", false).ok);
    std::ofstream(mRoot / "site/classes/notes.txt") << "mine";
    ASSERT_TRUE(write(*shopModel(), mRoot / "site", false).ok);
    EXPECT_FALSE(fs::exists(mRoot / "site/classes" / kymdl::pageFileName("a&b")));
    EXPECT_TRUE(fs::exists(mRoot / "site/classes/customer.html"));
    EXPECT_TRUE(fs::exists(mRoot / "site/classes/notes.txt"));
}

TEST_F(SiteTest, RefusesAClassesLinkLeadingOutside) {
    fs::create_directories(mRoot / "elsewhere");
    fs::create_directories(mRoot / "site");
    fs::create_directory_symlink(mRoot / "elsewhere", mRoot / "site/classes");
    EXPECT_FALSE(write(*shopModel(), mRoot / "site", false, true).ok);
    EXPECT_TRUE(fs::is_empty(mRoot / "elsewhere"));
}

}  // namespace
