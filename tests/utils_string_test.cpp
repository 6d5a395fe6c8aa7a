// ky::string: bounded wide formatting, lower-casing, splitting, removal, UTF-8.
#include <gtest/gtest.h>
#include <kystring.h>

#include <array>
#include <vector>

namespace {

using ky::string;

TEST(StringFormat, NeverOverflowsABuffer) {
    EXPECT_EQ(string::sformat(L"<%s|%c>", L"Grüße Жук", L'Σ'), L"<Grüße Жук|Σ>");
    EXPECT_EQ(string::sformat(L"[%-4s|%5.2s|%*s]", L"ab", L"xyz", 3, L"q"), L"[ab  |   xy|  q]");
    EXPECT_EQ(string::sformat(L"%2$s-%1$s", L"a", L"b"), L"b-a");
    EXPECT_EQ(string::sformat(L"%ls %d%% %ld %hd %lc", L"a", 5, 7L, short{3}, L'z'), L"a 5% 7 3 z");
    const string text(3000, L'x');
    EXPECT_EQ(string::sformat(L"%s.", text.c_str()), text + L".");
    const string huge(string::maxFormatLength + 100, L'y');
    EXPECT_EQ(string::sformat(L"%s", huge.c_str()).size(), string::maxFormatLength);

    std::array<wchar_t, 12> buffer;
    buffer.fill(L'#');
    EXPECT_EQ(string::sformatTo(buffer.data(), 8, L"%s!", text.c_str()), 7u);
    EXPECT_EQ(string(buffer.data()) + string(buffer.begin() + 8, buffer.end()), L"xxxxxxx####");
    EXPECT_EQ(string::sformatTo(buffer.data(), 0, L"%s", L"abc"), 0u);
    EXPECT_EQ(buffer[0], L'x');
}

TEST(StringLower, LowersEveryLetterPassingInvalidUnits) {
    EXPECT_EQ(string(L"Hello World_42").lower(), L"hello world_42");
    EXPECT_EQ(string(L"ÄÖÜ ΣΑΣ ЖИЗНЬ Ǆ").lower(), L"äöü σασ жизнь ǆ");
    EXPECT_NE(string(L"Straße").lower(), string(L"STRASSE").lower());
    const string odd{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'A'};
    EXPECT_EQ(odd.lower(), (string{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'a'}));
}

// Splits `text` after a piece already in the output, joined with '|'.
string split(const string& text, const string& separator, bool keepEmpty) {
    std::vector<string> out{L"kept"};
    text.splitAt(separator, out, keepEmpty);
    string joined;
    for (const string& piece : out) joined += piece + L"|";
    return joined;
}

TEST(StringEdits, EditsGiveTheirTableResults) {
    const std::pair<string, string> edits[] = {
        {split(L",a,,b,", L",", false), L"kept|a|b|"},
        {split(L",a,,b,", L",", true), L"kept||a||b||"},
        {split(L"a::b", L"::", false), L"kept|a|b|"},
        {split(L"a,b", L"", false), L"kept|a,b|"},
        {split(L"", L",", true), L"kept||"},
        {string(L"--a-b--").deleteAll(L'-'), L"ab"},
        {string(L"--a-b--").deleteLeading(L'-'), L"a-b--"},
        {string(L"----").deleteTrailing(L'-'), L""},
        {string(L" \ta b\t ").deleteAll(L" \t"), L"ab"},
        {string(L" \ta b\t ").deleteTrailing(L" \t"), L" \ta b"},
        {string(L" \t \t").deleteLeading(L" \t"), L""},
        {string::fromUtf8("a\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80"), L"aÄ€\U0001F600"},
        {string::fromUtf8("a\xC3"), L"a\xFFFD"},
        {string::fromUtf8("\xC0\xAF"), L"\xFFFD\xFFFD"},
        {string::fromUtf8("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD"},
    };
    for (const auto& [result, expected] : edits) EXPECT_EQ(result, expected);
    EXPECT_EQ(string(L"aÄ€\U0001F600").toUtf8(), "a\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(string{static_cast<wchar_t>(0xD800)}.toUtf8(), "\xEF\xBF\xBD");
}

// The forms the libraries read and write through, on parts of longer texts.
TEST(StringUtf8, AppendKeepsWhatTheOutputHeld) {
    std::string out = "x";
    string::appendUtf8(std::wstring_view(L"\u00e4bc").substr(0, 2), out);
    EXPECT_EQ(out, "x\xC3\xA4" "b");
}

TEST(StringUtf8, AssignReplacesWhatTheTextHeld) {
    std::wstring text = L"old";
    string::assignFromUtf8(std::string_view("\xC3\xA4zz").substr(0, 3), text);
    EXPECT_EQ(text, L"\u00e4z");
}

TEST(StringNames, ControlsAndUnitsThatAreNoCodePointCannotStandInANameWhereverTheyAre) {
    const std::pair<string, std::size_t> names[] = {
        {L"Größe \U0001F600\u2028", string::npos},
        {string(L"t\0", 2), 1},
        {L"a\x7F", 1},
        {L"ab\x85", 2},
        {string{L'a', static_cast<wchar_t>(0xDC00)}, 1},
        {string{static_cast<wchar_t>(0x110000)}, 0},
    };
    for (const auto& [name, at] : names) EXPECT_EQ(name.findNonNameCharacter(), at);
    EXPECT_EQ(string(L"a\U0001F600").codePointAt(1), L"U+1F600");
}

TEST(StringNames, LineBreakingCharactersAreEscapedForALineAndTheRestKept) {
    const std::pair<string, string> texts[] = {
        {L"x\nall good: 0 errors", L"x\\nall good: 0 errors"},
        {string(L"t\0\r\t", 4), L"t\\u0000\\r\\t"},
        {L"a\u2028b\u202Ec", L"a\\u2028b\\u202ec"},
        {string{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)}, L"\\ud800\\U00110000"},
        {L"Größe \U0001F600 a\\b", L"Größe \U0001F600 a\\b"},
    };
    for (const auto& [text, escaped] : texts) EXPECT_EQ(text.escapedForLine(), escaped);
}

TEST(StringConstruction, TakesTheTextOfAStandardWideString) {
    const std::wstring text = L"Größe";
    EXPECT_EQ(ky::string(text).toUtf8(), "Gr\xC3\xB6\xC3\x9F" "e");
}

}  // namespace
