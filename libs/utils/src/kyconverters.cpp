// The built-in converters.
//
// Every converter is exact: a value that has no faithful representation in
// the target type (out of range, a fraction for an integer, NaN or infinity
// for an integer, a text that is not entirely a number, an invalid date) does
// not convert, and the target is left untouched. Texts are read and written
// without locale: numbers through std::from_chars / std::to_chars on an ASCII
// copy, dates and times in their ISO forms.

#include "kyconverters.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

#include "kyvalues.h"

namespace ky {

namespace {

// ---- numbers ---------------------------------------------------------------

template <class T>
constexpr bool isInteger = std::is_integral_v<T> && !std::is_same_v<T, bool>;

// A floating value as an integer of type I: finite, whole and in range. The
// bounds of a signed integer type are powers of two, exact in any float type.
template <class I, class F>
bool floatToInteger(I& out, F in) {
    const F low = static_cast<F>(std::numeric_limits<I>::min());
    if (!std::isfinite(in) || std::trunc(in) != in || in < low || in >= -low) return false;
    out = static_cast<I>(in);
    return true;
}

template <class To, class From>
bool numberToNumber(To& out, const From& in) {
    if constexpr (std::is_same_v<From, bool>) {
        out = static_cast<To>(in ? 1 : 0);
    } else if constexpr (std::is_same_v<To, bool>) {
        if (in != From(0) && in != From(1)) return false;
        out = in == From(1);
    } else if constexpr (isInteger<To> && isInteger<From>) {
        if (!std::in_range<To>(in)) return false;
        out = static_cast<To>(in);
    } else if constexpr (isInteger<To>) {
        return floatToInteger(out, in);
    } else if constexpr (sizeof(To) < sizeof(From) && std::is_floating_point_v<From>) {
        // Narrowing a floating value: only within the target's finite range.
        if (std::isfinite(in) && std::fabs(in) > std::numeric_limits<To>::max()) return false;
        out = static_cast<To>(in);
    } else {
        out = static_cast<To>(in);
    }
    return true;
}

// ---- numbers and text ------------------------------------------------------

// The ASCII form of a text; false when it holds anything else.
bool asciiCopy(const string& text, std::string& out) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < 0 || text[i] > 0x7F) return false;
        out[i] = static_cast<char>(text[i]);
    }
    return true;
}

template <class T>
bool parseNumber(const std::string& ascii, T& out) {
    const char* const end = ascii.data() + ascii.size();
    T value{};
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<T>) {
        result = std::from_chars(ascii.data(), end, value, std::chars_format::general);
    } else {
        result = std::from_chars(ascii.data(), end, value);
    }
    if (result.ec != std::errc() || result.ptr != end) return false;
    out = value;
    return true;
}

bool equalsIgnoringCase(const std::string& ascii, std::string_view word) {
    if (ascii.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = ascii[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != word[i]) return false;
    }
    return true;
}

template <class T>
bool textToNumber(T& out, const string& in) {
    std::string ascii;
    if (in.empty() || !asciiCopy(in, ascii)) return false;
    if constexpr (std::is_same_v<T, bool>) {
        if (equalsIgnoringCase(ascii, "true") || ascii == "1") {
            out = true;
        } else if (equalsIgnoringCase(ascii, "false") || ascii == "0") {
            out = false;
        } else {
            return false;
        }
        return true;
    } else {
        return parseNumber(ascii, out);  // from_chars takes no blank and no '+'
    }
}

template <class T>
bool numberToText(string& out, const T& in) {
    if constexpr (std::is_same_v<T, bool>) {
        out = in ? L"true" : L"false";
    } else {
        char digits[64];  // room for the longest shortest form of a double
        const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, in);
        if (result.ec != std::errc()) return false;
        out.assign(digits, result.ptr);
    }
    return true;
}

// ---- dates and times -------------------------------------------------------

// Reads exactly `count` decimal digits at `p`, advancing it.
bool readDigits(const wchar_t*& p, const wchar_t* end, int count, long& value) {
    if (end - p < count) return false;
    long result = 0;
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < L'0' || *p > L'9') return false;
        result = result * 10 + (*p - L'0');
    }
    value = result;
    return true;
}

bool expect(const wchar_t*& p, const wchar_t* end, wchar_t c) {
    if (p == end || *p != c) return false;
    ++p;
    return true;
}

// YYYY-MM-DD, a valid date.
bool readDate(const wchar_t*& p, const wchar_t* end, date& out) {
    long year = 0, month = 0, day = 0;
    if (!readDigits(p, end, 4, year) || !expect(p, end, L'-') || !readDigits(p, end, 2, month) ||
        !expect(p, end, L'-') || !readDigits(p, end, 2, day)) {
        return false;
    }
    const date d(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    if (!d.isValid()) return false;
    out = d;
    return true;
}

// Up to nine digits of a second's fraction, as nanoseconds.
bool readFraction(const wchar_t*& p, const wchar_t* end, long& nanoseconds) {
    long value = 0;
    int digits = 0;
    for (; p != end && *p >= L'0' && *p <= L'9'; ++p, ++digits) {
        if (digits == 9) return false;
        value = value * 10 + (*p - L'0');
    }
    if (digits == 0) return false;
    for (int i = digits; i < 9; ++i) value *= 10;
    nanoseconds = value;
    return true;
}

// HH:MM:SS[.fraction], a valid time.
bool readTime(const wchar_t*& p, const wchar_t* end, ky::time& out) {
    long hour = 0, minute = 0, second = 0, fraction = 0;
    if (!readDigits(p, end, 2, hour) || !expect(p, end, L':') || !readDigits(p, end, 2, minute) ||
        !expect(p, end, L':') || !readDigits(p, end, 2, second)) {
        return false;
    }
    if (p != end && *p == L'.' && !readFraction(++p, end, fraction)) return false;
    const ky::time t(static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second), fraction);
    if (!t.isValid()) return false;
    out = t;
    return true;
}

// Parses the whole of `in` with `read`; false (and `out` untouched) when the
// text is not exactly one such value.
template <class T, bool (*read)(const wchar_t*&, const wchar_t*, T&)>
bool parseWhole(T& out, const string& in) {
    const wchar_t* p = in.data();
    const wchar_t* const end = p + in.size();
    T value;
    if (!read(p, end, value) || p != end) return false;
    out = value;
    return true;
}

bool readTimestamp(const wchar_t*& p, const wchar_t* end, timestamp& out) {
    date d;
    ky::time t;
    if (!readDate(p, end, d) || p == end || (*p != L' ' && *p != L'T')) return false;
    if (!readTime(++p, end, t)) return false;
    out = timestamp(d, t);
    return true;
}

string dateText(const date& d) { return string::sformat(L"%04d-%02d-%02d", d.year(), d.month(), d.day()); }

string timeText(const ky::time& t) {
    string text = string::sformat(L"%02d:%02d:%02d", t.hour(), t.minute(), t.second());
    if (t.fraction() != 0) {
        string fraction = string::sformat(L".%09ld", t.fraction());
        text += fraction.deleteTrailing(L'0');
    }
    return text;
}

bool dateToText(string& out, const date& in) {
    if (!in.isValid()) return false;
    out = dateText(in);
    return true;
}

bool timeToText(string& out, const ky::time& in) {
    if (!in.isValid()) return false;
    out = timeText(in);
    return true;
}

bool timestampToText(string& out, const timestamp& in) {
    if (!in.datePart().isValid() || !in.timePart().isValid()) return false;
    out = dateText(in.datePart()) + L' ' + timeText(in.timePart());
    return true;
}

bool dateToTimestamp(timestamp& out, const date& in) {
    if (!in.isValid()) return false;
    out = timestamp(in, ky::time());
    return true;
}

bool timestampToDate(date& out, const timestamp& in) {
    if (!in.datePart().isValid()) return false;
    out = in.datePart();
    return true;
}

bool timestampToTime(ky::time& out, const timestamp& in) {
    if (!in.timePart().isValid()) return false;
    out = in.timePart();
    return true;
}

// ---- files and directories -------------------------------------------------

template <class Entry>
bool entryToText(string& out, const Entry& in) {
    out = in.name();
    return true;
}

template <class Entry>
bool textToEntry(Entry& out, const string& in) {
    out = Entry(in);
    return true;
}

// ---- registration ----------------------------------------------------------

template <class To, class From, bool (*convert)(To&, const From&)>
bool erased(void* target, const void* source) {
    return convert(*static_cast<To*>(target), *static_cast<const From*>(source));
}

template <class To, class From, bool (*convert)(To&, const From&)>
void add(typeConversionManager& manager) {
    manager.registerConverter(typeid(To), typeid(From), &erased<To, From, convert>);
}

template <class To, class... From>
void addNumbersInto(typeConversionManager& manager) {
    auto one = [&manager]<class F>() {
        if constexpr (!std::is_same_v<To, F>) add<To, F, &numberToNumber<To, F>>(manager);
    };
    (one.template operator()<From>(), ...);
}

template <class... Number>
void addNumbers(typeConversionManager& manager) {
    (addNumbersInto<Number, Number...>(manager), ...);
    (add<Number, string, &textToNumber<Number>>(manager), ...);
    (add<string, Number, &numberToText<Number>>(manager), ...);
}

}  // namespace

void registerBuiltinConverters(typeConversionManager& manager) {
    addNumbers<bool, short, int, long, float, double>(manager);

    add<date, string, &parseWhole<date, &readDate>>(manager);
    add<ky::time, string, &parseWhole<ky::time, &readTime>>(manager);
    add<timestamp, string, &parseWhole<timestamp, &readTimestamp>>(manager);
    add<string, date, &dateToText>(manager);
    add<string, ky::time, &timeToText>(manager);
    add<string, timestamp, &timestampToText>(manager);
    add<timestamp, date, &dateToTimestamp>(manager);
    add<date, timestamp, &timestampToDate>(manager);
    add<ky::time, timestamp, &timestampToTime>(manager);

    add<string, file, &entryToText<file>>(manager);
    add<file, string, &textToEntry<file>>(manager);
    add<string, directory, &entryToText<directory>>(manager);
    add<directory, string, &textToEntry<directory>>(manager);
}

}  // namespace ky
