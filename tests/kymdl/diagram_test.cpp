#include <gtest/gtest.h>

#include <diagram.h>
#include <shop_model.h>

#include <algorithm>
#include <cstdlib>
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

TEST(Diagram, DotHasOneNodePerClass) {
    const refPtr<modelInfo> model = shopModel();
    const std::string dot = kymdl::toDot(*model);
    for (const std::string& name : classNames(*model))
        EXPECT_EQ(occurrences(dot, "\n  \"" + name + "\" [label=<"), 1u) << name;
}

// Field marks, inheritance and each relation kind.
TEST(Diagram, DotWritesEachMarkAndLink) {
    const refPtr<modelInfo> model = shopModel();
    model->fieldInfo(L"Order.customerId", false)->setMandatory(true);
    const std::string dot = kymdl::toDot(*model);
    for (const char* part : {"<U>number: int [PK, mandatory]</U>", "customerid: int [mandatory]", "name: string(80)",
                             "\"customer\" -> \"party\" [arrowhead=empty];",
                             "\"order\" -> \"customer\" [arrowhead=vee, style=dashed, label=\"PlacedBy\"]",
                             "\"party\" -> \"address\" [dir=both, arrowtail=odiamond, arrowhead=vee",
                             "\"delivery\" -> \"orderline\" [arrowhead=odiamond",
                             "\"product\" -> \"supplier\" [dir=both, arrowtail=odiamond, arrowhead=odiamond"})
        EXPECT_NE(dot.find(part), std::string::npos) << part;
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
    for (const char* part : {"  class party[\"party: Business partner\"] {\n", "    string~80~ name\n",
                             "  party <|-- customer\n", "  party o--> address : Home\n", "  product o--o supplier"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

// Keyword names, names that fold to one id and names Mermaid cannot spell
// each keep a box of their own, under their real names.
TEST(Diagram, MermaidIdsAreSafeAndUniqueForEveryName) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    for (const wchar_t* name : {L"click", L"note", L"a-b", L"a_b", L"a_b_2", L"9lives", L"\u00e9t\u00e9"})
        model->createClassInfo(name, false);
    model->classInfo(L"click", false)->addBaseClass(model->classInfo(L"note", false));
    const std::string text = kymdl::toMermaid(*model);
    for (const char* part : {"  class click_[\"click\"]", "  class note_[\"note\"]", "  class a_b[\"a-b\"]",
                             "  class a_b_2[\"a_b\"]", "  class a_b_2_2[\"a_b_2\"]", "  class _9lives[\"9lives\"]",
                             "  class __t__[\"\u00e9t\u00e9\"]", "  note_ <|-- click_\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

// The image is whole (the document closes) and names every class.
TEST(Diagram, ShopModelRendersToACompleteSvgNamingEveryClass) {
    if (std::system("command -v dot >/dev/null 2>&1") != 0) GTEST_SKIP() << "Graphviz's dot is not installed";
    const refPtr<modelInfo> model = shopModel();
    std::string svg;
    std::string error;
    ASSERT_TRUE(kymdl::render(kymdl::toDot(*model), "svg", svg, error)) << error;
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_EQ(svg.substr(svg.size() - std::min<std::size_t>(svg.size(), 7)), "</svg>\n");
    for (const std::string& name : classNames(*model))
        EXPECT_NE(svg.find("<title>" + name + "</title>"), std::string::npos) << name;
}

// dot stops reading at the syntax error; the rest of the text must not
// kill the caller with SIGPIPE.
TEST(Diagram, RenderReportsDotFailingOnBadText) {
    if (std::system("command -v dot >/dev/null 2>&1") != 0) GTEST_SKIP() << "Graphviz's dot is not installed";
    std::string image;
    std::string error;
    EXPECT_FALSE(kymdl::render("digraph { a -> ; }\n" + std::string(4 << 20, '#'), "svg", image, error));
    EXPECT_EQ(error, "dot failed with exit status 1");
}

TEST(Diagram, RenderRefusesAnUnknownFormat) {
    std::string image;
    std::string error;
    EXPECT_FALSE(kymdl::render("digraph {}", "gif", image, error));
    EXPECT_EQ(error, "unknown image format 'gif' (svg or png)");
}

}  // namespace
