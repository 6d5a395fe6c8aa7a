// ky::string: bounded wide formatting, lower-casing, splitting, removal, UTF-8.
#include <gtest/gtest.h>
#include <kystring.h>

#include <array>
#include <vector>

namespace {

using ky::string;
using pieces = std::vector<string>;

TEST(StringFormat, WideTextFlagsWidthsPrecisionsAndPositions) {
    EXPECT_EQ(string::sformat(L"<%s|%c>", L"Grüße Жук", L'Σ'), L"<Grüße Жук|Σ>");
    EXPECT_EQ(string::sformat(L"[%-4s|%5.2s|%*s]", L"ab", L"xyz", 3, L"q"), L"[ab  |   xy|  q]");
    EXPECT_EQ(string::sformat(L"%2$s-%1$s", L"a", L"b"), L"b-a");
    EXPECT_EQ(string::sformat(L"%ls %d%% %ld %hd %lc", L"a", 5, 7L, short{3}, L'z'), L"a 5% 7 3 z");
}

TEST(StringFormat, LongResultsGrowPastTheFirstBufferUpToMaxFormatLength) {
    const string text(3000, L'z');
    EXPECT_EQ(string::sformat(L"%s.", text.c_str()), text + L".");
    const string huge(string::maxFormatLength + 100, L'y');
    EXPECT_EQ(string::sformat(L"%s", huge.c_str()).size(), string::maxFormatLength);
}

TEST(StringFormat, FormattingIntoABufferCutsTheTextAndNeverWritesPastIt) {
    std::array<wchar_t, 12> buffer;
    buffer.fill(L'#');
    const string text(100, L'x');
    EXPECT_EQ(string::sformatTo(buffer.data(), 8, L"%s!", text.c_str()), 7u);
    EXPECT_EQ(string(buffer.data()), L"xxxxxxx");
    EXPECT_EQ(string(buffer.begin() + 8, buffer.end()), L"####");
    EXPECT_EQ(string::sformatTo(buffer.data(), 0, L"%s", L"abc"), 0u);
    EXPECT_EQ(buffer[0], L'x');
}

TEST(StringLower, MapsAsciiAndNonAsciiLettersAndPassesInvalidCodeUnits) {
    EXPECT_EQ(string(L"Hello World_42").lower(), L"hello world_42");
    EXPECT_EQ(string(L"ÄÖÜ ΣΑΣ ЖИЗНЬ Ǆ").lower(), L"äöü σασ жизнь ǆ");
    EXPECT_NE(string(L"Straße").lower(), string(L"STRASSE").lower());
    const string odd{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'A'};
    EXPECT_EQ(odd.lower(), (string{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'a'}));
    std::wstring text = L"ABC ÄÖ";
    string::lowerInto(text.data(), text.size(), text);
    EXPECT_EQ(text, L"abc äö");
}

pieces split(const string& text, const string& separator, bool keepEmpty) {
    pieces out{L"kept"};
    text.splitAt(separator, out, keepEmpty);
    return out;
}

TEST(StringSplit, AppendsThePiecesKeepingEmptyOnesOnlyWhenAsked) {
    EXPECT_EQ(split(L",a,,b,", L",", false), (pieces{L"kept", L"a", L"b"}));
    EXPECT_EQ(split(L",a,,b,", L",", true), (pieces{L"kept", L"", L"a", L"", L"b", L""}));
    EXPECT_EQ(split(L"a::b::c", L"::", false), (pieces{L"kept", L"a", L"b", L"c"}));
    EXPECT_EQ(split(L"a,b", L"", false), (pieces{L"kept", L"a,b"}));
    EXPECT_EQ(split(L"", L",", false), pieces{L"kept"});
    EXPECT_EQ(split(L"", L",", true), (pieces{L"kept", L""}));
}

TEST(StringDelete, OneCharacterOrASetEverywhereAtStartAndAtEnd) {
    EXPECT_EQ(string(L"--a-b--").deleteAll(L'-'), L"ab");
    EXPECT_EQ(string(L"--a-b--").deleteLeading(L'-'), L"a-b--");
    EXPECT_EQ(string(L"--a-b--").deleteTrailing(L'-'), L"--a-b");
    EXPECT_EQ(string(L"----").deleteTrailing(L'-'), L"");
    EXPECT_EQ(string(L" \ta b\t ").deleteAll(L" \t"), L"ab");
    EXPECT_EQ(string(L" \ta b\t ").deleteLeading(L" \t"), L"a b\t ");
    EXPECT_EQ(string(L" \ta b\t ").deleteTrailing(L" \t"), L" \ta b");
    EXPECT_EQ(string(L" \t \t").deleteLeading(L" \t"), L"");
}

TEST(StringUtf8, RoundTripsEveryPlaneAndReplacesMalformedInput) {
    const string text = L"aÄ€\U0001F600";
    const std::string utf8 = "a\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(text.toUtf8(), utf8);
    EXPECT_EQ(string::fromUtf8(utf8), text);
    EXPECT_EQ(string::fromUtf8("a\xC3"), L"a\xFFFD");
    EXPECT_EQ(string::fromUtf8("\xC0\xAF"), L"\xFFFD\xFFFD");          // overlong '/'
    EXPECT_EQ(string::fromUtf8("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD");  // a surrogate
    EXPECT_EQ(string{static_cast<wchar_t>(0xD800)}.toUtf8(), "\xEF\xBF\xBD");
}

}  // namespace
