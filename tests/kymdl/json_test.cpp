// The JSON values of the tool's machine-readable outputs: what the text of
// each looks like, and that texts are escaped so that any name reads back.
#include <gtest/gtest.h>

#include "json.h"

namespace {

using kymdl::json;

TEST(JsonText, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(kymdl::jsonQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(kymdl::jsonQuoted(std::string("\n\t\x01\x7f", 4)), "\"\\n\\t\\u0001\\u007f\"");
}

TEST(JsonText, KeepsUtf8AsItIs) { EXPECT_EQ(kymdl::jsonQuoted("Größe"), "\"Größe\""); }

TEST(JsonValue, WritesEmptyCollectionsOnOneLine) {
    json value = json::object();
    value["list"] = json::array();
    value["map"] = json::object();
    EXPECT_EQ(value.dump(), "{\n  \"list\": [],\n  \"map\": {}\n}\n");
}

TEST(JsonValue, KeepsMembersInTheOrderFirstSet) {
    json value = json::object();
    value["b"] = 1;
    value["a"] = true;
    value["b"] = "two";
    EXPECT_EQ(value.dump(), "{\n  \"b\": \"two\",\n  \"a\": true\n}\n");
}

TEST(JsonValue, TurnsNullIntoWhatItIsUsedAs) {
    json value = json::object();
    value["outer"]["inner"] = json();
    value["items"].push(7);
    EXPECT_EQ(value.dump(), "{\n  \"outer\": {\n    \"inner\": null\n  },\n  \"items\": [\n    7\n  ]\n}\n");
}

}  // namespace
