// Assertion reports: the replaceable handler and the report routine.

#include "kyassert.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace ky {

namespace {

void writeToStderr(const wchar_t* text) {
    const std::string utf8 = string(text ? text : L"").toUtf8();
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Never null: installing null puts the default back.
constinit std::atomic<assertHandler> gHandler{&writeToStderr};

constexpr std::size_t reportCapacity = 1024;

}  // namespace

assertHandler setAssertHandler(assertHandler handler) {
    return gHandler.exchange(handler ? handler : &writeToStderr, std::memory_order_acq_rel);
}

void assertMsg(const wchar_t* text) { gHandler.load(std::memory_order_acquire)(text ? text : L""); }

void assertFailed(const wchar_t* condition, const wchar_t* file, int line) {
    wchar_t report[reportCapacity];
    string::sformatTo(report, reportCapacity, L"Assertion failed:\n%s\n\nFile: %s\nLine: %d",
                      condition ? condition : L"", file ? file : L"", line);
    assertMsg(report);
    throw false;
}

}  // namespace ky
