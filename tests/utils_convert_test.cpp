// typeConversionManager: the built-in conversions, exact or not at all; and
// dtconvert, unsigned numbers from plain decimal text.
#include <gtest/gtest.h>
#include <kyconvert.h>
#include <kyvalues.h>

#include <limits>
#include <optional>

namespace {

using ky::string;

// The converted value, or nothing. A failed conversion must leave the target
// as it was, which is checked here for every case.
template <class To, class From>
std::optional<To> convert(const From& from, const To& sentinel = To{}) {
    To target = sentinel;
    if (ky::typeConversionManager::instance().convert(target, from)) return target;
    EXPECT_TRUE(target == sentinel) << "a failed conversion changed its target";
    return std::nullopt;
}
template <class To>
std::optional<To> fromText(const wchar_t* text) { return convert<To>(string(text)); }
template <class From>
std::optional<string> toText(const From& from) { return convert<string>(from); }

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

TEST(Conversions, NumbersConvertOnlyWhenExactAndWithinTheTargetRange) {
    EXPECT_EQ(convert<short>(-32768), short{-32768});
    EXPECT_EQ(convert<long>(short{-5}), -5L);
    EXPECT_EQ(convert<int>(-0.0), 0);
    EXPECT_EQ(convert<int>(2147483647.0), 2147483647);
    EXPECT_EQ(convert<int>(-2147483648.0), std::numeric_limits<int>::min());
    EXPECT_EQ(convert<long>(-9223372036854775808.0), std::numeric_limits<long>::min());
    EXPECT_EQ(convert<float>(0.1), 0.1f);
    EXPECT_FALSE(convert<short>(70000, short{9}));
    EXPECT_FALSE(convert<int>(1L << 40, 9));
    EXPECT_FALSE(convert<int>(2.5, 9));
    EXPECT_FALSE(convert<short>(-0.5f, short{9}));
    EXPECT_FALSE(convert<int>(2147483648.0, 9));
    EXPECT_FALSE(convert<long>(9223372036854775808.0, 9L));
    EXPECT_FALSE(convert<int>(notANumber, 9));
    EXPECT_FALSE(convert<long>(std::numeric_limits<float>::infinity(), 9L));
    EXPECT_FALSE(convert<float>(-1e39, 9.0f));
    EXPECT_TRUE(convert<int>(true) == 1 && convert<bool>(1L) == true && convert<bool>(0.0f) == false);
    EXPECT_FALSE(convert<bool>(2) || convert<bool>(-1, true) || convert<bool>(0.5) || convert<bool>(notANumber, true));
}

TEST(Conversions, NumbersPrintWithoutLocaleInTheirShortestForm) {
    EXPECT_EQ(*toText(short{-7}) + L" " + *toText(0.1) + L" " + *toText(1.5f) + L" " + *toText(1e20),
              L"-7 0.1 1.5 1e+20");
    EXPECT_EQ(toText(true), L"true");
    const double value = 0.1 + 0.2;
    EXPECT_EQ(convert<double>(*toText(value)), value);
}

TEST(Conversions, TextBecomesANumberOrBoolOnlyWhenWhollyOne) {
    EXPECT_EQ(fromText<long>(L"-42"), -42L);
    EXPECT_EQ(fromText<double>(L"1e3"), 1000.0);
    EXPECT_EQ(fromText<float>(L"-2.25"), -2.25f);
    for (const wchar_t* bad : {L"", L" 42", L"42 ", L"+42", L"4 2", L"42abc", L"0x10", L"１２", L"1.5"})
        EXPECT_FALSE(fromText<int>(bad)) << "accepted as int: " << string(bad).toUtf8();
    EXPECT_FALSE(fromText<short>(L"70000"));
    EXPECT_FALSE(fromText<double>(L"1e999"));
    EXPECT_TRUE(fromText<bool>(L"TRUE") == true && fromText<bool>(L"False") == false);
    EXPECT_TRUE(fromText<bool>(L"1") == true && fromText<bool>(L"0") == false);
    for (const wchar_t* bad : {L"yes", L"2", L" true", L"truex", L""}) EXPECT_FALSE(fromText<bool>(bad));
}

TEST(Conversions, DatesTimesAndTimestampsAreStrictIsoTexts) {
    EXPECT_EQ(fromText<ky::date>(L"2024-02-29"), ky::date(2024, 2, 29));
    EXPECT_EQ(fromText<ky::date>(L"2000-02-29"), ky::date(2000, 2, 29));
    for (const wchar_t* bad : {L"2023-02-29", L"1900-02-29", L"2023-04-31", L"2024-00-01", L"2024-13-01",
                               L"2024-01-00", L"0000-01-01", L"2024-2-29", L"2024-02-29 ", L"2024/02/29"})
        EXPECT_FALSE(fromText<ky::date>(bad)) << string(bad).toUtf8();
    EXPECT_EQ(toText(ky::date(987, 3, 5)), L"0987-03-05");
    EXPECT_FALSE(toText(ky::date(2023, 2, 29)));

    EXPECT_EQ(fromText<ky::time>(L"12:34:56.5"), ky::time(12, 34, 56, 500000000));
    EXPECT_EQ(fromText<ky::time>(L"23:59:59.999999999"), ky::time(23, 59, 59, 999999999));
    EXPECT_EQ(fromText<ky::time>(L"00:00:00.123456789"), ky::time(0, 0, 0, 123456789));
    for (const wchar_t* bad : {L"24:00:00", L"12:60:00", L"12:00:60", L"12:34:56.", L"12:34:56.1234567891",
                               L"1:02:03", L"12:34"})
        EXPECT_FALSE(fromText<ky::time>(bad)) << string(bad).toUtf8();
    EXPECT_EQ(toText(ky::time(1, 2, 3, 120000000)), L"01:02:03.12");

    const ky::timestamp moment(ky::date(2024, 1, 2), ky::time(3, 4, 5, 250000000));
    EXPECT_EQ(fromText<ky::timestamp>(L"2024-01-02T03:04:05.25"), moment);
    EXPECT_EQ(fromText<ky::timestamp>(L"2024-01-02 03:04:05.25"), moment);
    EXPECT_FALSE(fromText<ky::timestamp>(L"2024-01-02x03:04:05"));
    EXPECT_FALSE(fromText<ky::timestamp>(L"2024-01-02"));
    EXPECT_EQ(toText(moment), L"2024-01-02 03:04:05.25");
}

TEST(Conversions, DatesTimesTimestampsFilesAndDirectoriesConvertAmongThemselves) {
    const ky::date day(2024, 6, 1);
    const ky::timestamp moment(day, ky::time(13, 0, 1));
    EXPECT_EQ(convert<ky::timestamp>(day), ky::timestamp(day, ky::time()));
    EXPECT_EQ(convert<ky::date>(moment), day);
    EXPECT_EQ(convert<ky::time>(moment), ky::time(13, 0, 1));
    EXPECT_EQ(fromText<ky::file>(L"data/model.xml"), ky::file(L"data/model.xml"));
    EXPECT_EQ(toText(ky::directory(L"data")), L"data");
}

TEST(Conversions, MissingConverterOrNullPointersFail) {
    auto& manager = ky::typeConversionManager::instance();
    EXPECT_FALSE(manager.canConvert(typeid(ky::binaryBuffer), typeid(string)));
    ky::binaryBuffer buffer(2);
    EXPECT_FALSE(manager.convert(buffer, string(L"ab")));
    const int source = 1;
    long target = 9;
    EXPECT_FALSE(manager.convert(typeid(long), nullptr, typeid(int), &source, 0, nullptr));
    EXPECT_FALSE(manager.convert(typeid(long), &target, typeid(int), nullptr, 0, nullptr));
    EXPECT_EQ(target, 9L);
}

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
