// Assertion reports: the replaceable handler and the report routine.

#include "kyassert.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace ky {

namespace {

void writeToStderr(const wchar_t* text) {
    const std::string utf8 = string(text ? text : L"").toUtf8();
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The installed handler, never empty: installing an empty one puts the
// default back. Made on first use and never destroyed, so reports keep
// working while other statics go away.
struct handlerSlot {
    std::mutex lock;
    assertHandler handler{&writeToStderr};
};
handlerSlot& slot() {
    static handlerSlot* const installed = new handlerSlot;
    return *installed;
}

constexpr std::size_t reportCapacity = 1024;

}  // namespace

assertHandler setAssertHandler(assertHandler handler) {
    if (!handler) handler = &writeToStderr;
    std::lock_guard<std::mutex> guard(slot().lock);
    std::swap(handler, slot().handler);
    return handler;
}

void assertMsg(const wchar_t* text) {
    assertHandler handler;
    {
        // Called outside the lock, so that a handler may install another one.
        std::lock_guard<std::mutex> guard(slot().lock);
        handler = slot().handler;
    }
    handler(text ? text : L"");
}

void assertFailed(const wchar_t* condition, const wchar_t* file, int line) {
    wchar_t report[reportCapacity];
    string::sformatTo(report, reportCapacity, L"Assertion failed:\n%s\n\nFile: %s\nLine: %d",
                      condition ? condition : L"", file ? file : L"", line);
    assertMsg(report);
    throw false;
}

}  // namespace ky
