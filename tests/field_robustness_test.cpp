// The text readers of fields never crash: several thousand generated texts
// (long ones, only parentheses, only commas, embedded NUL characters,
// non-ASCII letters) go through parseSemantics, parseEnumItem, parseBitsItem
// and parseType. Run under the sanitizers this proves no out-of-bounds read.
#include "test_support.h"

#include <random>

namespace kytest {
namespace {

// `count` texts built from pieces that steer the parsers into every branch,
// then long texts of one character.
std::vector<ky::string> generatedTexts(std::size_t count) {
    const std::size_t lengths[] = {0, 1, 2, 3, 5, 8, 40, 400};
    const ky::string pieces[] = {
        L"(", L")", L",", L",,", L" ", L"\t", ky::string(1, L'\0'), L"custom(", L"relation(", L"primkey",
        L"string", L"string(", L"1", L"4294967296", L"-", L"enum", L"Ä", L"Σ", L"Ж", L"ß", L"İ", L"\U0001F600",
        L"\xFFFF", L"date", L"2024-02-29", L"true", L"x"};
    std::mt19937_64 rng(20240229);
    const auto pick = [&rng](const auto& from) -> decltype(from[0]) {
        return from[std::uniform_int_distribution<std::size_t>(0, std::size(from) - 1)(rng)];
    };
    std::vector<ky::string> texts(count);
    for (ky::string& text : texts)
        for (std::size_t n = pick(lengths); n > 0; --n) text += pick(pieces);
    for (wchar_t c : {L'(', L')', L',', L'\0'}) texts.emplace_back(100000, c);
    return texts;
}

constexpr eFieldType itemTypes[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime,
                                   eTimestamp, eBinary, eDirectory, eFile, eSearchPath, ePtr, eCustom};

TEST(FieldTextReaders, SurviveGeneratedAndLongTexts) {
    const std::vector<ky::string> texts = generatedTexts(4000);
    std::size_t accepted = 0;
    for (std::size_t round = 0; round < texts.size(); ++round) {
        const ky::string& text = texts[round];
        eFieldSemantics semantic = eSemNone;
        ky::genericSet attribs;
        enumItem item;
        const eFieldType type = itemTypes[round % std::size(itemTypes)];
        eFieldType parsedType = eCustom;
        unsigned long length = 0;
        accepted += fieldInfo::parseSemantics(text, semantic, attribs) + fieldInfo::parseEnumItem(text, type, item) +
                    fieldInfo::parseBitsItem(text, type, item) + fieldInfo::parseType(text, parsedType, length);
    }
    EXPECT_GT(accepted, 0u);
}

}  // namespace
}  // namespace kytest
