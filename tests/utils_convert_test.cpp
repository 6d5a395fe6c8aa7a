// typeConversionManager: the built-in conversions, exact or not at all; and
// dtconvert, unsigned numbers from plain decimal text.
#include <gtest/gtest.h>
#include <kyconvert.h>
#include <kyvalues.h>

#include <limits>
#include <optional>
#include <type_traits>

namespace {

using ky::string;

// The converted value, or nothing. A failed conversion must leave the target
// as it was, which is checked here for every case.
template <class To, class From>
std::optional<To> convert(const From& from, const To& sentinel = To{}) {
    To target = sentinel;
    if (ky::typeConversionManager::instance().convert(target, from)) return target;
    EXPECT_EQ(target, sentinel) << "a failed conversion changed its target";
    return std::nullopt;
}
template <class To>
std::optional<To> fromText(const wchar_t* text) { return convert<To>(string(text)); }
template <class From>
std::optional<string> toText(const From& from) { return convert<string>(from); }
template <class T>
std::optional<string> roundTrip(const wchar_t* text) {
    const std::optional<T> value = fromText<T>(text);
    return value ? toText(*value) : std::nullopt;
}

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

TEST(Conversions, NumbersConvertOnlyWhenExact) {
    EXPECT_EQ(convert<short>(-32768), short{-32768});
    EXPECT_EQ(convert<int>(-0.0), 0);
    EXPECT_EQ(convert<int>(-2147483648.0), std::numeric_limits<int>::min());
    EXPECT_EQ(convert<long>(-9223372036854775808.0), std::numeric_limits<long>::min());
    EXPECT_EQ(convert<float>(0.1), 0.1f);
    EXPECT_FALSE(convert<short>(70000, short{9}));
    EXPECT_FALSE(convert<int>(1L << 40, 9));
    EXPECT_FALSE(convert<int>(2.5, 9));
    EXPECT_FALSE(convert<int>(2147483648.0, 9));
    EXPECT_FALSE(convert<long>(9223372036854775808.0, 9L));
    EXPECT_FALSE(convert<int>(notANumber, 9));
    EXPECT_FALSE(convert<long>(std::numeric_limits<float>::infinity(), 9L));
    EXPECT_FALSE(convert<float>(-1e39, 9.0f));
    EXPECT_EQ(convert<int>(true), 1);
    EXPECT_EQ(convert<bool>(1L), true);
    EXPECT_EQ(convert<bool>(0.0f), false);
    EXPECT_FALSE(convert<bool>(2));
    EXPECT_FALSE(convert<bool>(-1, true));
    EXPECT_FALSE(convert<bool>(0.5));
    EXPECT_FALSE(convert<bool>(notANumber, true));
}

TEST(Conversions, TextConvertsOnlyWhenWhollyANumber) {
    EXPECT_EQ(fromText<long>(L"-42"), -42L);
    EXPECT_EQ(fromText<double>(L"1e3"), 1000.0);
    for (const wchar_t* bad : {L"", L" 42", L"42 ", L"+42", L"42abc", L"0x10", L"１２", L"1.5", L"70000"})
        EXPECT_FALSE(fromText<short>(bad)) << string(bad).toUtf8();
    EXPECT_FALSE(fromText<double>(L"1e999"));
    EXPECT_EQ(fromText<bool>(L"TRUE"), true);
    EXPECT_EQ(fromText<bool>(L"False"), false);
    EXPECT_EQ(fromText<bool>(L"0"), false);
    for (const wchar_t* bad : {L"yes", L"2", L" true", L""}) EXPECT_FALSE(fromText<bool>(bad));

    EXPECT_EQ(*toText(short{-7}) + L" " + *toText(1.5f) + L" " + *toText(1e20) + L" " + *toText(true),
              L"-7 1.5 1e+20 true");
    const double value = 0.1 + 0.2;
    EXPECT_EQ(convert<double>(*toText(value)), value);
}

// A whole value that every numeric type holds converts from each numeric
// type to each other one, and each prints as its digits.
template <class From, class To>
void expectOneConverts() {
    // A value of its own type is copied by its holder, not converted.
    if constexpr (!std::is_same_v<From, To>) {
        EXPECT_EQ(convert<To>(From(1)), To(1)) << typeid(From).name() << " to " << typeid(To).name();
    }
}
template <class From, class... To>
void expectOneConvertsToAll() {
    (expectOneConverts<From, To>(), ...);
}
TEST(Conversions, EveryNumericTypeConvertsToEveryOther) {
    expectOneConvertsToAll<bool, bool, short, int, long, float, double>();
    expectOneConvertsToAll<short, bool, short, int, long, float, double>();
    expectOneConvertsToAll<int, bool, short, int, long, float, double>();
    expectOneConvertsToAll<long, bool, short, int, long, float, double>();
    expectOneConvertsToAll<float, bool, short, int, long, float, double>();
    expectOneConvertsToAll<double, bool, short, int, long, float, double>();
    EXPECT_EQ(toText(-12), L"-12");
    EXPECT_EQ(toText(1L << 40), L"1099511627776");
}

// Canonical texts read back to themselves; a timestamp also takes a T.
TEST(Conversions, CalendarValuesRoundTripTheirIsoTexts) {
    for (const wchar_t* text : {L"2024-02-29", L"2000-02-29", L"0987-03-05"})
        EXPECT_EQ(roundTrip<ky::date>(text), text);
    for (const wchar_t* text : {L"12:34:56.5", L"23:59:59.999999999", L"00:00:00"})
        EXPECT_EQ(roundTrip<ky::time>(text), text);
    EXPECT_EQ(fromText<ky::time>(L"00:00:00.123456789"), ky::time(0, 0, 0, 123456789));
    EXPECT_EQ(roundTrip<ky::timestamp>(L"2024-01-02T03:04:05.25"), L"2024-01-02 03:04:05.25");
    for (const wchar_t* bad : {L"2023-02-29", L"1900-02-29", L"2023-04-31", L"2024-13-01", L"0000-01-01",
                               L"2024-2-29", L"2024-02-29 ", L"2024/02/29"})
        EXPECT_FALSE(fromText<ky::date>(bad)) << string(bad).toUtf8();
    for (const wchar_t* bad : {L"24:00:00", L"12:60:00", L"12:34:56.", L"12:34:56.1234567891", L"1:02:03"})
        EXPECT_FALSE(fromText<ky::time>(bad)) << string(bad).toUtf8();
    EXPECT_FALSE(fromText<ky::timestamp>(L"2024-01-02x03:04:05"));
    EXPECT_FALSE(fromText<ky::timestamp>(L"2024-01-02"));
    EXPECT_FALSE(toText(ky::date(2023, 2, 29)));
}

TEST(Conversions, CalendarValuesConvertAmongThemselves) {
    const ky::date day(2024, 6, 1);
    const ky::timestamp moment(day, ky::time(13, 0, 1));
    EXPECT_EQ(convert<ky::timestamp>(day), ky::timestamp(day, ky::time()));
    EXPECT_EQ(convert<ky::date>(moment), day);
    EXPECT_EQ(convert<ky::time>(moment), ky::time(13, 0, 1));
    EXPECT_EQ(fromText<ky::file>(L"data/model.xml"), ky::file(L"data/model.xml"));
    EXPECT_EQ(toText(ky::directory(L"data")), L"data");
    EXPECT_EQ(toText(ky::file(L"data/model.xml")), L"data/model.xml");

    auto& manager = ky::typeConversionManager::instance();
    EXPECT_FALSE(manager.canConvert(typeid(ky::binaryBuffer), typeid(string)));
    const int source = 1;
    long target = 9;
    EXPECT_FALSE(manager.convert(typeid(long), nullptr, typeid(int), &source, 0, nullptr));
    EXPECT_FALSE(manager.convert(typeid(long), &target, typeid(int), nullptr, 0, nullptr));
    EXPECT_EQ(target, 9L);
}

TEST(DtConvert, ReadsOnlyPlainDecimalDigitsInRange) {
    unsigned short small = 1;
    unsigned long long big = 0;
    unsigned long word = 0;
    EXPECT_TRUE(ky::dtconvert(L"4294967296", word));
    EXPECT_EQ(word, 4294967296ul);
    EXPECT_TRUE(ky::dtconvert(L"065535", small));
    EXPECT_TRUE(ky::dtconvert(L"18446744073709551615", big));
    EXPECT_FALSE(ky::dtconvert(L"65536", small));
    EXPECT_FALSE(ky::dtconvert(L"18446744073709551616", big));
    EXPECT_EQ(small, 65535);
    EXPECT_EQ(big, 18446744073709551615ull);
    for (const wchar_t* bad : {L"", L"-1", L"+1", L" 1", L"1 ", L"1a", L"1.0", L"１", L"4294967296"}) {
        unsigned int value = 42;
        EXPECT_FALSE(ky::dtconvert(bad, value)) << ky::string(bad).toUtf8();
        EXPECT_EQ(value, 42u);
    }
}

}  // namespace
