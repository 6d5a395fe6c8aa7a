// What the loader and the saver share: the collector of diagnostics and the
// conversions between UTF-8 bytes and the library's wide text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <kystring.h>

#include "kymdlfile.h"

namespace ky::metamodel::file::detail {

// Collects the diagnostics of one load or save. Once `limit` errors are in,
// further ones are dropped and full() tells the load to stop.
class reporter {
public:
    reporter(const ky::string& file, std::uint32_t limit) : mFile(file), mLimit(limit) {}

    void report(eSeverity severity, std::uint32_t line, std::uint32_t column, const wchar_t* code,
                const ky::string& message, const ky::string& hint = ky::string());
    void error(std::uint32_t line, std::uint32_t column, const wchar_t* code, const ky::string& message,
               const ky::string& hint = ky::string()) {
        report(eError, line, column, code, message, hint);
    }
    void warning(std::uint32_t line, std::uint32_t column, const wchar_t* code, const ky::string& message) {
        report(eWarning, line, column, code, message);
    }
    // Adds a place related to the diagnostic reported last (when it was kept).
    void relate(std::uint32_t line, std::uint32_t column, const ky::string& message) {
        if (mLastKept) mDiagnostics.back().related.push_back({ky::string(), line, column, message.escapedForLine()});
    }
    std::uint32_t errors() const { return mErrors; }
    bool full() const { return mErrors >= mLimit; }
    std::vector<diagnostic>& diagnostics() { return mDiagnostics; }

private:
    ky::string mFile;
    std::uint32_t mLimit;
    std::uint32_t mErrors = 0;
    bool mLastKept = false;  // whether the last report was kept, for relate()
    std::vector<diagnostic> mDiagnostics;
};

// Decodes UTF-8 (already checked by the parser) into `out`, replacing its
// content; a broken sequence becomes U+FFFD.
inline void appendWide(std::string_view utf8, std::wstring& out) { ky::string::assignFromUtf8(utf8, out); }
inline ky::string wide(std::string_view utf8) { return ky::string::fromUtf8(utf8); }
// Appends the UTF-8 form of `text` to `out`.
inline void appendUtf8(std::wstring_view text, std::string& out) { ky::string::appendUtf8(text, out); }

// "did you mean 'name'?" for the name of `known` nearest to `wrong`, when it
// is near enough to be a slip of the keyboard (at most a third of the
// letters differ, ASCII letters compared without case); empty otherwise.
// Each name of `known` takes one from `budget`, and each comparison the
// product of the two lengths; once it is spent no name is compared, so that
// a hostile file of many unknown names among many known ones loads in
// bounded time.
ky::string suggestion(std::wstring_view wrong, const std::vector<ky::string>& known, std::size_t& budget);

// The budget of suggestion() for one load: enough for every slip in a file
// a person wrote.
constexpr std::size_t suggestionBudget = std::size_t(1) << 24;

// "'text'" for messages, cut to a readable length.
ky::string quoted(std::string_view utf8);
ky::string quoted(std::wstring_view text);

}  // namespace ky::metamodel::file::detail
