// dtconvert: unsigned numbers from plain decimal text.
#include <gtest/gtest.h>
#include <kyconvert.h>

namespace {

TEST(DtConvert, ReadsPlainDecimalDigitsUpToTheTypesRange) {
    unsigned short small = 1;
    EXPECT_TRUE(ky::dtconvert(L"065535", small));
    EXPECT_EQ(small, 65535);
    unsigned long long big = 0;
    EXPECT_TRUE(ky::dtconvert(L"18446744073709551615", big));
    EXPECT_EQ(big, 18446744073709551615ull);
}

TEST(DtConvert, RefusesSignsBlanksOtherCharactersAndValuesAboveTheRange) {
    for (const wchar_t* bad : {L"", L"-1", L"+1", L" 1", L"1 ", L"1a", L"1.0", L"１", L"4294967296"}) {
        unsigned int value = 42;
        EXPECT_FALSE(ky::dtconvert(bad, value)) << ky::string(bad).toUtf8();
        EXPECT_EQ(value, 42u);
    }
    unsigned short small = 1;
    unsigned long long big = 1;
    EXPECT_FALSE(ky::dtconvert(L"65536", small));
    EXPECT_FALSE(ky::dtconvert(L"18446744073709551616", big));
    EXPECT_EQ(small + big, 2u);
}

}  // namespace
