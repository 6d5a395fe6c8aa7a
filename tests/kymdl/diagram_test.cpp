#include <gtest/gtest.h>

#include <diagram.h>
#include <shop_model.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace ky::metamodel;

refPtr<modelInfo> shopModel() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    shop::buildShopModel(model);
    return model;
}

std::vector<std::string> classNames(const modelInfo& model) {
    std::vector<std::string> names;
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it)
        names.push_back((*it)->scName().string().toUtf8());
    return names;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Whether every element of an XML text is closed in order: enough to tell a
// complete SVG from a cut or garbled one.
bool wellFormed(const std::string& xml) {
    std::vector<std::string> open;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        if (xml.compare(at, 4, "<!--") == 0) {
            at = xml.find("-->", at);
            if (at == std::string::npos) return false;
            continue;
        }
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) return false;
        if (xml[at + 1] == '?' || xml[at + 1] == '!') {
            at = end;
            continue;
        }
        const bool closing = xml[at + 1] == '/';
        const std::size_t nameStart = at + (closing ? 2 : 1);
        const std::string name = xml.substr(nameStart, xml.find_first_of(" \t\n/>", nameStart) - nameStart);
        if (closing) {
            if (open.empty() || open.back() != name) return false;
            open.pop_back();
        } else if (xml[end - 1] != '/') {
            open.push_back(name);
        }
        at = end;
    }
    return open.empty();
}

TEST(Diagram, DotHasOneNodePerClass) {
    const refPtr<modelInfo> model = shopModel();
    const std::string dot = kymdl::toDot(*model);
    for (const std::string& name : classNames(*model)) {
        EXPECT_EQ(occurrences(dot, "\n  \"" + name + "\" [label=<"), 1u) << name;
    }
}

TEST(Diagram, DotMarksKeysMandatoryFieldsAndStringLengths) {
    const refPtr<modelInfo> model = shopModel();
    model->fieldInfo(L"Order.customerId", false)->setMandatory(true);
    const std::string dot = kymdl::toDot(*model);
    EXPECT_NE(dot.find("<U>number: int [PK, mandatory]</U>"), std::string::npos);
    EXPECT_NE(dot.find("customerid: int [mandatory]"), std::string::npos);
    EXPECT_NE(dot.find("name: string(80)"), std::string::npos);
}

TEST(Diagram, DotDrawsInheritanceAndEachRelationKind) {
    const std::string dot = kymdl::toDot(*shopModel());
    EXPECT_NE(dot.find("\"customer\" -> \"party\" [arrowhead=empty];"), std::string::npos);
    EXPECT_NE(dot.find("\"order\" -> \"customer\" [arrowhead=vee, style=dashed, label=\"PlacedBy\"]"),
              std::string::npos);
    EXPECT_NE(dot.find("\"party\" -> \"address\" [dir=both, arrowtail=odiamond, arrowhead=vee"), std::string::npos);
    EXPECT_NE(dot.find("\"delivery\" -> \"orderline\" [arrowhead=odiamond"), std::string::npos);
    EXPECT_NE(dot.find("\"product\" -> \"supplier\" [dir=both, arrowtail=odiamond, arrowhead=odiamond"),
              std::string::npos);
}

TEST(Diagram, ChosenClassesDrawOnlyTheLinksAmongThem) {
    kymdl::diagramOptions options;
    options.classes = {"Order", "Customer"};
    const std::string dot = kymdl::toDot(*shopModel(), options);
    EXPECT_EQ(occurrences(dot, " [label=<"), 2u);
    EXPECT_EQ(occurrences(dot, " -> "), 1u);
}

TEST(Diagram, DotEscapesNamesAndLabels) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    model->createClassInfo(L"Odd\"Name", false)->setLabel(L"<b>&");
    const std::string dot = kymdl::toDot(*model);
    EXPECT_NE(dot.find("\"Odd\\\"Name\" [label=<"), std::string::npos);
    EXPECT_NE(dot.find("&lt;b&gt;&amp;"), std::string::npos);
}

TEST(Diagram, MermaidWritesClassesMembersAndLinks) {
    const std::string text = kymdl::toMermaid(*shopModel());
    EXPECT_EQ(text.rfind("classDiagram\n", 0), 0u);
    EXPECT_NE(text.find("  class party[\"party: Business partner\"] {\n"), std::string::npos);
    EXPECT_NE(text.find("    string~80~ name\n"), std::string::npos);
    EXPECT_NE(text.find("  party <|-- customer\n"), std::string::npos);
    EXPECT_NE(text.find("  party o--> address : Home\n"), std::string::npos);
    EXPECT_NE(text.find("  product o--o supplier"), std::string::npos);
}

TEST(Diagram, ShopModelRendersToWellFormedSvgNamingEveryClass) {
    if (std::system("command -v dot >/dev/null 2>&1") != 0) GTEST_SKIP() << "Graphviz's dot is not installed";
    const refPtr<modelInfo> model = shopModel();
    const auto dir = std::filesystem::temp_directory_path() / ("kymdl_svg_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "shop.svg").string();
    std::string error;
    ASSERT_TRUE(kymdl::render(kymdl::toDot(*model), "svg", path, error)) << error;
    std::ifstream file(path);
    std::stringstream svg;
    svg << file.rdbuf();
    EXPECT_TRUE(wellFormed(svg.str()));
    for (const std::string& name : classNames(*model)) {
        EXPECT_NE(svg.str().find("<title>" + name + "</title>"), std::string::npos) << name;
    }
    std::filesystem::remove_all(dir);
}

TEST(Diagram, RenderRefusesAnUnknownFormat) {
    std::string error;
    EXPECT_FALSE(kymdl::render("digraph {}", "gif", "unused.gif", error));
    EXPECT_EQ(error, "unknown image format 'gif' (svg or png)");
}

}  // namespace
