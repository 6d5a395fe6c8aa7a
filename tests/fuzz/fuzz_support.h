// What the fuzz targets share: the input as text, and a quiet assertion
// handler (a refused precondition is an expected answer, not a finding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <kyassert.h>
#include <kystring.h>

namespace kyfuzz {

// The input read as UTF-8; bytes that do not decode become whatever the
// decoder makes of them.
inline ky::string textOf(const std::uint8_t* data, std::size_t size) {
    return ky::string::fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
}

// Silences assertion reports for the life of the process.
inline void quietAssertions() {
    static const bool once = [] {
        ky::setAssertHandler([](const ky::string&) {});
        return true;
    }();
    (void)once;
}

}  // namespace kyfuzz
