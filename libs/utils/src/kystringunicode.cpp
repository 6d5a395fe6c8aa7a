// ky::string: lower-casing through ICU, the UTF-8 form, and the characters
// a name may hold and a message line shows as they are.
//
// wchar_t holds UTF-32 on Linux and UTF-16 on Windows; both are read code
// point by code point, and a unit that is no valid code point passes through
// lower() unchanged and becomes U+FFFD in UTF-8.

#include <unicode/uchar.h>

#include <cstdint>

#include "kystring.h"

namespace ky {

namespace {

constexpr bool wideIsUtf16 = sizeof(wchar_t) == 2;
constexpr char32_t replacementChar = 0xFFFD;

std::uint32_t unit(wchar_t c) noexcept {
    return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

bool isSurrogate(char32_t c) noexcept { return c >= 0xD800 && c <= 0xDFFF; }
bool isLeadSurrogate(std::uint32_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
bool isTrailSurrogate(std::uint32_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads one code point at text[i], advancing i. A lone surrogate or a unit
// above U+10FFFF is answered as is, with `valid` false.
char32_t nextCodePoint(const wchar_t* text, std::size_t length, std::size_t& i, bool& valid) noexcept {
    const std::uint32_t u = unit(text[i++]);
    if (wideIsUtf16 && isLeadSurrogate(u) && i < length && isTrailSurrogate(unit(text[i]))) {
        valid = true;
        return 0x10000 + ((u - 0xD800) << 10) + (unit(text[i++]) - 0xDC00);
    }
    valid = u <= 0x10FFFF && !isSurrogate(u);
    return u;
}

void appendWide(char32_t c, std::wstring& out) {
    if (wideIsUtf16 && c >= 0x10000) {
        out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

wchar_t asciiLower(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// Lower-cases the non-ASCII rest of a text, from `i` on, appending to `out`.
void lowerRest(const wchar_t* text, std::size_t length, std::size_t i, std::wstring& out) {
    while (i < length) {
        bool valid = false;
        const std::size_t start = i;
        const char32_t c = nextCodePoint(text, length, i, valid);
        if (!valid) {
            out.append(text + start, i - start);
        } else {
            appendWide(static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))), out);
        }
    }
}

void appendCodePoint(char32_t c, std::string& out) {
    auto byte = [&out](char32_t b) { out += static_cast<char>(b); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i], advancing i. A malformed, overlong
// or surrogate sequence answers U+FFFD and skips one byte.
char32_t nextUtf8(std::string_view text, std::size_t& i) noexcept {
    const auto byteAt = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byteAt(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const std::size_t count = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (count == 0 || lead > 0xF4 || text.size() - i <= count) {
        ++i;
        return replacementChar;
    }
    char32_t c = lead & (0x3F >> count);
    for (std::size_t k = 1; k <= count; ++k) {
        const unsigned b = byteAt(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return replacementChar;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum[count] || c > 0x10FFFF || isSurrogate(c)) {
        ++i;
        return replacementChar;
    }
    i += count + 1;
    return c;
}

bool isControl(char32_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Characters that would break a message's line or reorder how it reads.
bool breaksLine(char32_t c) noexcept {
    return isControl(c) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(char32_t c, std::wstring& out) {
    static const wchar_t digits[] = L"0123456789abcdef";
    switch (c) {
        case L'\n': out += L"\\n"; return;
        case L'\r': out += L"\\r"; return;
        case L'\t': out += L"\\t"; return;
        default: break;
    }
    const int width = c > 0xFFFF ? 8 : 4;
    out += width == 8 ? L"\\U" : L"\\u";
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
}

bool overlaps(const wchar_t* text, const std::wstring& out) noexcept {
    const auto at = reinterpret_cast<std::uintptr_t>(text);
    const auto begin = reinterpret_cast<std::uintptr_t>(out.data());
    return at >= begin && at <= begin + out.size() * sizeof(wchar_t);
}

}  // namespace

void string::lowerInto(const wchar_t* text, std::size_t length, std::wstring& out) {
    std::wstring copy;
    if (overlaps(text, out)) {  // lowering a string into itself
        copy.assign(text, length);
        text = copy.data();
    }
    // ASCII names are the common case: lower them into `out` (reusing its
    // capacity) without consulting ICU. Both loops run without an early
    // exit, so the compiler does them several characters at a time.
    std::uint32_t any = 0;
    for (std::size_t k = 0; k < length; ++k) any |= unit(text[k]);
    if (any < 0x80) {
        out.resize(length);
        wchar_t* to = out.data();
        for (std::size_t k = 0; k < length; ++k) to[k] = asciiLower(text[k]);
        return;
    }
    std::size_t i = 0;
    while (unit(text[i]) < 0x80) ++i;
    out.resize(i);
    for (std::size_t k = 0; k < i; ++k) out[k] = asciiLower(text[k]);
    lowerRest(text, length, i, out);
}

string string::lower() const {
    string result;
    lowerInto(data(), size(), result);
    return result;
}

std::string string::toUtf8() const {
    std::string out;
    out.reserve(size());
    appendUtf8(*this, out);
    return out;
}

void string::appendUtf8(std::wstring_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size();) {
        bool valid = false;
        const char32_t c = nextCodePoint(text.data(), text.size(), i, valid);
        appendCodePoint(valid ? c : replacementChar, out);
    }
}

std::size_t string::findNonNameCharacter() const noexcept {
    for (std::size_t i = 0; i < size();) {
        const std::size_t at = i;
        bool valid = false;
        const char32_t c = nextCodePoint(data(), size(), i, valid);
        if (!valid || isControl(c)) return at;
    }
    return npos;
}

std::wstring string::codePointAt(std::size_t pos) const {
    bool valid = false;
    const char32_t c = nextCodePoint(data(), size(), pos, valid);
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out = L"U+";
    const int width = c > 0xFFFFFF ? 8 : c > 0xFFFFF ? 6 : c > 0xFFFF ? 5 : 4;
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
    return out;
}

string string::escapedForLine() const {
    std::size_t i = 0;
    for (bool valid = false; i < size();) {
        const std::size_t at = i;
        const char32_t c = nextCodePoint(data(), size(), i, valid);
        if (!valid || breaksLine(c)) {
            i = at;
            break;
        }
    }
    if (i == size()) return *this;
    string out(data(), i);
    while (i < size()) {
        const std::size_t at = i;
        bool valid = false;
        const char32_t c = nextCodePoint(data(), size(), i, valid);
        if (!valid || breaksLine(c)) appendEscape(c, out);
        else out.append(data() + at, i - at);
    }
    return out;
}

string string::fromUtf8(std::string_view text) {
    string out;
    assignFromUtf8(text, out);
    return out;
}

void string::assignFromUtf8(std::string_view text, std::wstring& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) appendWide(nextUtf8(text, i), out);
}

}  // namespace ky
