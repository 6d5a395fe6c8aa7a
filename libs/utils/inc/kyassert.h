// Assertion reports of the utility layer.
//
// A broken precondition is reported as the text
// "Assertion failed:\n<condition>\n\nFile: <file>\nLine: <line>" through
// assertMsg, which hands it to the host's handler, and then a bool of value
// false is thrown. The handler may be replaced at any time from any thread.
#pragma once

#include <functional>

#include "kystring.h"
#include "kyutilsexport.h"

namespace ky {

/// Receives each assertion report text: a function or lambda taking the text
/// as const wchar_t* (or as const ky::string&).
using assertHandler = std::function<void(const wchar_t* text)>;

/// Installs `handler` (an empty one, or nullptr, restores the default, which
/// writes the text to standard error in UTF-8) and returns the handler that
/// was installed before.
KY_UTILS_API assertHandler setAssertHandler(assertHandler handler);

/// Reports `text` through the current handler and returns.
KY_UTILS_API void assertMsg(const wchar_t* text);

/// Formats the report of `condition` at `file`:`line` into a buffer of 1024
/// wide characters, passes it to assertMsg and throws false.
[[noreturn]] KY_UTILS_API void assertFailed(const wchar_t* condition, const wchar_t* file, int line);

/// One place that reports a broken precondition: the condition text and the
/// file and line the report names. Sites are constants, declared once each.
struct assertSite {
    const wchar_t* condition;  ///< the condition text of the report
    const wchar_t* file;       ///< the reported file
    int line;                  ///< the reported line
};

/// Reports the failed condition of `site` as assertFailed does and throws false.
[[noreturn]] inline void assertFailed(const assertSite& site) { assertFailed(site.condition, site.file, site.line); }

}  // namespace ky

/// Checks `cond`; when it is false, reports `site` (an assertSite) and throws false.
#define KY_ASSERT_AT(cond, site)                 \
    do {                                         \
        if (!(cond)) ::ky::assertFailed(site);   \
    } while (0)

/// Checks `cond`; when it is false, reports `text` (a wide literal) as the
/// failed condition at `file`:`line` and throws false.
#define KY_ASSERT_MSG(cond, text, file, line)                 \
    do {                                                      \
        if (!(cond)) ::ky::assertFailed((text), (file), (line)); \
    } while (0)

/// As KY_ASSERT_MSG with the condition's own source text as the report.
#define KY_ASSERT(cond, file, line) KY_ASSERT_MSG(cond, L"" #cond, file, line)
