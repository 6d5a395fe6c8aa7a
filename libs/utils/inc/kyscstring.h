// scString, an interned name.
//
// Texts are interned in one process-wide, append-only table: equal texts give
// the same handle, so handles compare and order by their entry address. A
// handle is a plain pointer-sized value that stays valid for the life of the
// process. Interning and looking up are safe from any number of threads;
// finding a name that is already interned takes no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

#include "kystring.h"
#include "kyutilsexport.h"

namespace ky {

/// A handle to an interned name: a pointer-sized plain value, valid for the
/// life of the process, that compares and orders by its entry. Interning and
/// looking up are safe from any number of threads.
class KY_UTILS_API scString {
public:
    /// One interned text. Entries never move and are never freed.
    struct entry {
        /// The hash of the text, computed once.
        std::size_t hash;
        /// The text itself.
        ky::string text;
    };

    /// The empty key (the handle of the empty text).
    scString() noexcept = default;

    /// The handle of `text`, interning it on first use.
    static scString createFrom(const wchar_t* text);
    /// The handle of `text`, interning it on first use.
    static scString createFrom(const ky::string& text);
    /// The handle of the first `length` characters of `text`, interning them on first use.
    static scString createFrom(const wchar_t* text, std::size_t length);
    /// The handle of a text already interned, without interning it: false when
    /// no such name was ever interned (then `out` is unchanged).
    static bool find(const wchar_t* text, std::size_t length, scString& out);
    /// How many texts the process has interned so far (the empty text not
    /// counted). The table only grows, so the count never falls.
    static std::size_t count();

    /// The interned text.
    const ky::string& string() const noexcept { return mEntry ? mEntry->text : emptyText(); }
    /// The interned text as a null-terminated wide text.
    const wchar_t* c_str() const noexcept { return string().c_str(); }
    /// The number of characters of the text.
    std::size_t length() const noexcept { return mEntry ? mEntry->text.length() : 0; }
    /// Whether this is the empty text.
    bool empty() const noexcept { return mEntry == nullptr; }
    /// Hash of the text, cached in the entry.
    std::size_t hash() const noexcept { return mEntry ? mEntry->hash : 0; }
    /// The handle as a number: the key order of maps.
    std::uintptr_t id() const noexcept { return reinterpret_cast<std::uintptr_t>(mEntry); }

    /// Equal when both are the handle of the same text.
    friend bool operator==(scString a, scString b) noexcept { return a.mEntry == b.mEntry; }
    /// Unequal when the texts differ.
    friend bool operator!=(scString a, scString b) noexcept { return a.mEntry != b.mEntry; }
    /// Orders by handle (entry address), not by text.
    friend bool operator<(scString a, scString b) noexcept { return a.id() < b.id(); }
    /// Orders by handle (entry address), not by text.
    friend bool operator>(scString a, scString b) noexcept { return a.id() > b.id(); }
    /// Orders by handle (entry address), not by text.
    friend bool operator<=(scString a, scString b) noexcept { return a.id() <= b.id(); }
    /// Orders by handle (entry address), not by text.
    friend bool operator>=(scString a, scString b) noexcept { return a.id() >= b.id(); }

    /// Hash of a text, the same that the table caches for it. In line, since
    /// every lookup by name starts with it.
    static std::size_t hashOf(const wchar_t* text, std::size_t length) noexcept;

private:
    explicit scString(const entry* e) noexcept : mEntry(e) {}
    static const ky::string& emptyText() noexcept;

    const entry* mEntry = nullptr;  ///< null is the empty text
};

/// What the hash of names is made of.
namespace detail {

/// The 64 bits at `p`, read without alignment.
inline std::uint64_t load64(const unsigned char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// The 32 bits at `p`, read without alignment.
inline std::uint64_t load32(const unsigned char* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// Whether the `length` characters at `a` and at `b` are the same. Names are
/// short: comparing in line, eight bytes at a time, beats a call into the C
/// library.
inline bool sameChars(const wchar_t* a, const wchar_t* b, std::size_t length) noexcept {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    const std::size_t bytes = length * sizeof(wchar_t);
    std::size_t done = 0;
    for (; done + 8 <= bytes; done += 8) {
        if (load64(x + done) != load64(y + done)) return false;
    }
    for (std::size_t i = done / sizeof(wchar_t); i < length; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

/// The 128-bit product of a and b, folded to 64 bits.
inline std::uint64_t mix(std::uint64_t a, std::uint64_t b) noexcept {
#if defined(_MSC_VER)
    std::uint64_t high = 0;
    const std::uint64_t low = _umul128(a, b, &high);
    return low ^ high;
#else
    __extension__ typedef unsigned __int128 uint128;
    const uint128 product = static_cast<uint128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
#endif
}

}  // namespace detail

inline std::size_t scString::hashOf(const wchar_t* text, std::size_t length) noexcept {
    // Sixteen bytes per step, each step one 64x64->128 multiply folded back
    // to 64 bits (the mixing of wyhash): names of 40 characters hash in about
    // ten dependent multiplies instead of forty.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t left = length * sizeof(wchar_t);
    std::uint64_t h = 0x243f6a8885a308d3ull ^ detail::mix(left, 0xe7037ed1a0b428dbull);
    for (; left > 16; left -= 16, bytes += 16) {
        h = detail::mix(detail::load64(bytes) ^ 0xa0761d6478bd642full, detail::load64(bytes + 8) ^ h);
    }
    // The last one to sixteen bytes, read as two possibly overlapping words
    // (or as the word pieces of a shorter tail).
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (left >= 8) {
        a = detail::load64(bytes);
        b = detail::load64(bytes + left - 8);
    } else if (left >= 4) {
        a = detail::load32(bytes);
        b = detail::load32(bytes + left - 4);
    } else if (left > 0) {
        a = bytes[0];
        b = bytes[left - 1];
    }
    return static_cast<std::size_t>(detail::mix(a ^ 0xa0761d6478bd642full, b ^ h));
}

}  // namespace ky

/// Hashes an interned name by its handle, for unordered containers.
template <>
struct std::hash<ky::scString> {
    /// The hash of the handle.
    std::size_t operator()(ky::scString s) const noexcept {
        return std::hash<std::uintptr_t>()(s.id());
    }
};
