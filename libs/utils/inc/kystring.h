// ky::string, the wide string of the utility layer.
//
// A std::wstring with the few text operations the metamodel relies on. A
// string is a plain value: copies are independent and one string is used by
// one thread at a time.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "kyutilsexport.h"

#ifndef _T
#define _T(x) L##x  ///< A wide string or character literal.
#endif

namespace ky {

/// The wide string of the utility layer: a std::wstring with the text
/// operations the metamodel relies on. A plain value: copies are independent
/// and one string is used by one thread at a time.
class KY_UTILS_API string : public std::wstring {
public:
    /// Every constructor of std::wstring.
    using std::wstring::wstring;
    /// An empty string.
    string() = default;
    /// A copy of a std::wstring.
    string(const std::wstring& other) : std::wstring(other) {}
    /// Takes over a std::wstring's text.
    string(std::wstring&& other) noexcept : std::wstring(std::move(other)) {}

    /// printf-style formatting where %s and %c take wide text. The result is
    /// cut at maxFormatLength characters; nothing is ever written past a buffer.
    static string sformat(const wchar_t* format, ...);
    /// sformat with the arguments given as a va_list.
    static string vsformat(const wchar_t* format, va_list args);
    /// Formats into `buffer` of `capacity` wide characters (terminator included),
    /// cutting what does not fit; returns the number of characters written.
    static std::size_t sformatTo(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...);
    /// sformatTo with the arguments given as a va_list.
    static std::size_t vsformatTo(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                                  va_list args);
    /// The longest result of formatting, in characters.
    static constexpr std::size_t maxFormatLength = 65535;

    /// A lower-cased copy: every code point through its simple lower-case
    /// mapping (locale-independent; ASCII takes a fast path).
    string lower() const;
    /// Lower-cases [text, text + length) into `out` (replacing its content).
    static void lowerInto(const wchar_t* text, std::size_t length, std::wstring& out);

    /// Appends the pieces between occurrences of `separator` to `out`; empty
    /// pieces are kept only when `keepEmpty` is true. An empty separator, or a
    /// text without it, gives the whole text as one piece.
    void splitAt(const string& separator, std::vector<string>& out, bool keepEmpty) const;

    /// Removes `c` everywhere; returns *this.
    string& deleteAll(wchar_t c);
    /// Removes every character of `set` everywhere; returns *this.
    string& deleteAll(const wchar_t* set);
    /// Removes `c` at the start; returns *this.
    string& deleteLeading(wchar_t c);
    /// Removes every character of `set` at the start; returns *this.
    string& deleteLeading(const wchar_t* set);
    /// Removes `c` at the end; returns *this.
    string& deleteTrailing(wchar_t c);
    /// Removes every character of `set` at the end; returns *this.
    string& deleteTrailing(const wchar_t* set);

    /// UTF-8 form of the text (for output to byte streams).
    std::string toUtf8() const;
    /// Appends the UTF-8 form of `text` to `out`; a unit that is no code
    /// point becomes U+FFFD.
    static void appendUtf8(std::wstring_view text, std::string& out);
    /// The text of UTF-8 `text` (for input from byte streams).
    static string fromUtf8(std::string_view text);
    /// Replaces the content of `out` with the text of UTF-8 `text`, keeping
    /// its storage; a malformed, overlong or surrogate sequence becomes U+FFFD.
    static void assignFromUtf8(std::string_view text, std::wstring& out);

    /// Where the first character lies that no name may hold (a control
    /// character U+0000-U+001F or U+007F-U+009F, a lone surrogate, a unit
    /// above U+10FFFF), or npos when every character may stand in a name.
    std::size_t findNonNameCharacter() const noexcept;
    /// "U+000A" for the character at `pos` (a surrogate pair as its code point).
    std::wstring codePointAt(std::size_t pos) const;
    /// A copy that reads as one line of a message: controls, line and
    /// paragraph separators, bidirectional overrides and units that are no
    /// code point are shown as escapes (`\n`, `\r`, `\t`, `\u0000`, `\ud800`, `\U00110000`).
    string escapedForLine() const;
};

}  // namespace ky

/// @namespace std
/// The standard library, extended here with hashes of the library's texts.

/// Hashes a ky::string as the std::wstring it is, for unordered containers.
template <>
struct std::hash<ky::string> {
    /// The hash of the text.
    std::size_t operator()(const ky::string& s) const noexcept {
        return std::hash<std::wstring>()(s);
    }
};
