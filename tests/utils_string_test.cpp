// ky::string: bounded wide formatting, lower-casing, splitting, removal, UTF-8.

#include <gtest/gtest.h>
#include <kystring.h>

#include <array>
#include <vector>

namespace {

using ky::string;

TEST(StringFormat, PercentSAndPercentCTakeWideText) {
    EXPECT_EQ(string::sformat(L"<%s|%c>", L"Grüße Жук", L'Σ'), L"<Grüße Жук|Σ>");
}

TEST(StringFormat, FlagsWidthPrecisionAndPositionsApplyToWideText) {
    EXPECT_EQ(string::sformat(L"[%-4s|%5.2s|%*s]", L"ab", L"xyz", 3, L"q"), L"[ab  |   xy|  q]");
    EXPECT_EQ(string::sformat(L"%2$s-%1$s", L"a", L"b"), L"b-a");
}

TEST(StringFormat, ExplicitLengthModifiersAndPercentSignsPassThrough) {
    EXPECT_EQ(string::sformat(L"%ls %d%% %ld %hd %lc", L"a", 5, 7L, short{3}, L'z'), L"a 5% 7 3 z");
}

TEST(StringFormat, LongResultsGrowPastTheFirstBuffer) {
    const string text(3000, L'z');
    EXPECT_EQ(string::sformat(L"%s.", text.c_str()), text + L".");
}

TEST(StringFormat, ResultIsCutAtMaxFormatLength) {
    const string huge(string::maxFormatLength + 100, L'y');
    EXPECT_EQ(string::sformat(L"%s", huge.c_str()).size(), string::maxFormatLength);
}

TEST(StringFormatTo, CutsTextAtTheBufferAndNeverWritesPastIt) {
    std::array<wchar_t, 12> buffer;
    buffer.fill(L'#');
    const string text(100, L'x');
    EXPECT_EQ(string::sformatTo(buffer.data(), 8, L"%s!", text.c_str()), 7u);
    EXPECT_EQ(string(buffer.data()), L"xxxxxxx");
    EXPECT_EQ(string(buffer.begin() + 8, buffer.end()), L"####");
    EXPECT_EQ(string::sformatTo(buffer.data(), 0, L"%s", L"abc"), 0u);
    EXPECT_EQ(buffer[0], L'x');
}

TEST(StringLower, MapsAsciiAndNonAsciiLetters) {
    EXPECT_EQ(string(L"Hello World_42").lower(), L"hello world_42");
    EXPECT_EQ(string(L"ÄÖÜ ΣΑΣ ЖИЗНЬ Ǆ").lower(), L"äöü σασ жизнь ǆ");
}

TEST(StringLower, SharpSStaysSoStrasseDiffers) {
    EXPECT_EQ(string(L"Straße").lower(), L"straße");
    EXPECT_NE(string(L"Straße").lower(), string(L"STRASSE").lower());
}

TEST(StringLower, InvalidCodeUnitsPassThrough) {
    const string odd{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'A'};
    const string expected{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'a'};
    EXPECT_EQ(odd.lower(), expected);
}

TEST(StringLowerInto, ReusesTheCapacityOfTheTarget) {
    std::wstring out;
    out.reserve(64);
    const wchar_t* storage = out.data();
    string::lowerInto(L"ÄBC", 3, out);
    EXPECT_EQ(out, L"äbc");
    string::lowerInto(L"XY", 2, out);
    EXPECT_EQ(out, L"xy");
    EXPECT_EQ(out.data(), storage);
}

TEST(StringLowerInto, LowersAStringIntoItself) {
    std::wstring text = L"ABC ÄÖ";
    string::lowerInto(text.data(), text.size(), text);
    EXPECT_EQ(text, L"abc äö");
}

class StringSplit : public ::testing::Test {
protected:
    std::vector<string> split(const string& text, const string& separator, bool keepEmpty) {
        std::vector<string> out{L"before"};
        text.splitAt(separator, out, keepEmpty);
        out.erase(out.begin());
        return out;
    }
};

TEST_F(StringSplit, AppendsPiecesAndDropsEmptyOnes) {
    std::vector<string> out{L"kept"};
    string(L",a,,b,").splitAt(L",", out, false);
    EXPECT_EQ(out, (std::vector<string>{L"kept", L"a", L"b"}));
}

TEST_F(StringSplit, KeepsEmptyPiecesWhenAsked) {
    EXPECT_EQ(split(L",a,,b,", L",", true), (std::vector<string>{L"", L"a", L"", L"b", L""}));
}

TEST_F(StringSplit, MultiCharacterSeparatorAndTextsWithoutOne) {
    EXPECT_EQ(split(L"a::b::c", L"::", false), (std::vector<string>{L"a", L"b", L"c"}));
    EXPECT_EQ(split(L"abc", L",", false), std::vector<string>{L"abc"});
    EXPECT_EQ(split(L"a,b", L"", false), std::vector<string>{L"a,b"});
}

TEST_F(StringSplit, EmptyTextGivesOneEmptyPieceOnlyWhenKeepingEmpties) {
    EXPECT_TRUE(split(L"", L",", false).empty());
    EXPECT_EQ(split(L"", L",", true), std::vector<string>{L""});
}

TEST(StringDelete, OneCharacterEverywhereAtStartAndAtEnd) {
    EXPECT_EQ(string(L"--a-b--").deleteAll(L'-'), L"ab");
    EXPECT_EQ(string(L"--a-b--").deleteLeading(L'-'), L"a-b--");
    EXPECT_EQ(string(L"--a-b--").deleteTrailing(L'-'), L"--a-b");
    EXPECT_EQ(string(L"----").deleteTrailing(L'-'), L"");
}

TEST(StringDelete, SetOfCharactersEverywhereAtStartAndAtEnd) {
    EXPECT_EQ(string(L" \ta b\t ").deleteAll(L" \t"), L"ab");
    EXPECT_EQ(string(L" \ta b\t ").deleteLeading(L" \t"), L"a b\t ");
    EXPECT_EQ(string(L" \ta b\t ").deleteTrailing(L" \t"), L" \ta b");
    EXPECT_EQ(string(L" \t \t").deleteLeading(L" \t"), L"");
}

TEST(StringUtf8, RoundTripsEveryPlane) {
    const string text = L"aÄ€\U0001F600";
    const std::string utf8 = "a\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(text.toUtf8(), utf8);
    EXPECT_EQ(string::fromUtf8(utf8), text);
}

TEST(StringUtf8, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(string::fromUtf8("a\xC3"), L"a\xFFFD");
    EXPECT_EQ(string::fromUtf8("\xC0\xAF"), L"\xFFFD\xFFFD");          // overlong '/'
    EXPECT_EQ(string::fromUtf8("\xED\xA0\x80"), L"\xFFFD\xFFFD\xFFFD");  // a surrogate
    EXPECT_EQ(string{static_cast<wchar_t>(0xD800)}.toUtf8(), "\xEF\xBF\xBD");
}

}  // namespace
