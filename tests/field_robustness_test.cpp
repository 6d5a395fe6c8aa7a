// The text readers of fields never crash: several thousand generated texts
// (long ones, only parentheses, only commas, embedded NUL characters,
// non-ASCII letters) go through parseSemantics, parseEnumItem, parseBitsItem
// and parseType. Run under the sanitizers this proves no out-of-bounds read.
#include "test_support.h"

#include <random>

namespace kytest {
namespace {

// Texts built from pieces that steer the parsers into every branch.
class textGenerator {
public:
    explicit textGenerator(std::uint64_t seed) : mRng(seed) {}

    ky::string next() {
        ky::string text;
        const std::size_t pieces = pick(mLengths);
        for (std::size_t i = 0; i < pieces; ++i) text += pick(mPieces);
        return text;
    }

private:
    template <class Container>
    auto pick(const Container& from) -> decltype(from[0]) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(mRng)];
    }

    std::mt19937_64 mRng;
    std::vector<std::size_t> mLengths{0, 1, 2, 3, 5, 8, 40, 400};
    std::vector<ky::string> mPieces{
        L"(", L")", L",", L",,", L" ", L"\t", ky::string(1, L'\0'), L"custom(", L"relation(", L"primkey",
        L"string", L"string(", L"1", L"4294967296", L"-", L"enum", L"Ä", L"Σ", L"Ж", L"ß", L"İ", L"\U0001F600",
        L"\xFFFF", L"date", L"2024-02-29", L"true", L"x"};
};

constexpr eFieldType itemTypes[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime,
                                   eTimestamp, eBinary, eDirectory, eFile, eSearchPath, ePtr, eCustom};

TEST(FieldTextReaders, SurviveThousandsOfGeneratedTextsAndLongTextsOfOneCharacter) {
    textGenerator generate(20240229);
    std::vector<ky::string> texts;
    for (int round = 0; round < 4000; ++round) texts.push_back(generate.next());
    for (wchar_t c : {L'(', L')', L',', L'\0'}) texts.emplace_back(100000, c);
    std::size_t accepted = 0;
    for (std::size_t round = 0; round < texts.size(); ++round) {
        const ky::string& text = texts[round];
        eFieldSemantics semantic = eSemNone;
        ky::genericSet attribs;
        accepted += fieldInfo::parseSemantics(text, semantic, attribs);
        enumItem item;
        const eFieldType type = itemTypes[round % std::size(itemTypes)];
        accepted += fieldInfo::parseEnumItem(text, type, item);
        accepted += fieldInfo::parseBitsItem(text, type, item);
        eFieldType parsedType = eCustom;
        unsigned long length = 0;
        accepted += fieldInfo::parseType(text, parsedType, length);
    }
    EXPECT_GT(accepted, 0u);
}

}  // namespace
}  // namespace kytest
