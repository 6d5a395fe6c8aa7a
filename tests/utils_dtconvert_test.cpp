// dtconvert: unsigned numbers from plain decimal text.

#include <gtest/gtest.h>
#include <kyconvert.h>

namespace {

TEST(DtConvert, ReadsPlainDecimalDigits) {
    unsigned long value = 0;
    EXPECT_TRUE(ky::dtconvert(L"007", value));
    EXPECT_EQ(value, 7ul);
    unsigned long long big = 0;
    EXPECT_TRUE(ky::dtconvert(L"18446744073709551615", big));
    EXPECT_EQ(big, 18446744073709551615ull);
}

TEST(DtConvert, RefusesSignsBlanksAndOtherCharacters) {
    for (const wchar_t* bad : {L"", L"-1", L"+1", L" 1", L"1 ", L"1a", L"1.0", L"１"}) {
        unsigned int value = 42;
        EXPECT_FALSE(ky::dtconvert(bad, value)) << ky::string(bad).toUtf8();
        EXPECT_EQ(value, 42u);
    }
}

TEST(DtConvert, RefusesValuesAboveTheTypesRange) {
    unsigned short small = 1;
    EXPECT_TRUE(ky::dtconvert(L"65535", small));
    EXPECT_EQ(small, 65535);
    EXPECT_FALSE(ky::dtconvert(L"65536", small));
    unsigned int medium = 1;
    EXPECT_FALSE(ky::dtconvert(L"4294967296", medium));
    unsigned long long big = 1;
    EXPECT_FALSE(ky::dtconvert(L"18446744073709551616", big));
    EXPECT_EQ(big, 1ull);
}

}  // namespace
