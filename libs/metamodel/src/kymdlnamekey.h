// The key by which the class index and each class's field list place and
// check a name: a short ASCII name goes by its bytes, held in three words
// that hash in one multiplication and compare in three word loads; any other
// name goes by its characters and scString::hashOf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <kyscstring.h>

namespace ky::metamodel::detail {

// A name as it is placed and checked: a short ASCII name by its bytes, in
// three words with zeros after the name; any other by its characters.
struct indexKey {
    static constexpr unsigned char wide = 0xff;  // `length` of a name that goes by its characters
    static constexpr std::size_t inlineCapacity = 24;
    std::size_t hash = 0;
    unsigned char length = wide;       // bytes of a short ASCII name
    std::uint64_t words[3] = {0, 0, 0};  // its bytes, little-endian, zeros after them
};

// The hash of a short ASCII name's `words`, `length` bytes long: two
// products side by side, so that a lookup waits for one multiplication only.
// No operand can be zero: each constant has a byte above 0x7f, which no
// ASCII word has.
inline std::size_t hashOfWords(const std::uint64_t (&words)[3], std::size_t length) noexcept {
    const std::uint64_t low =
        ky::detail::mix(words[0] ^ 0xa0761d6478bd642full, words[1] ^ (0x243f6a8885a308d3ull + length));
    const std::uint64_t high = ky::detail::mix(words[2] ^ 0x8ebc6af09c88c6e3ull, length ^ 0x589965cc75374cc3ull);
    return static_cast<std::size_t>(low ^ high);
}

// `c`, an ASCII capital folded to lower case when `fold`.
inline wchar_t asciiFolded(wchar_t c, bool fold = true) noexcept {
    return fold && c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
}

#if defined(__SSE2__) && WCHAR_MAX > 0xffff
// Four characters, their ASCII capitals folded by `toLower` (32 in each
// lane to fold, 0 not to).
inline __m128i foldedBlock(__m128i c, __m128i toLower) noexcept {
    const __m128i upper =
        _mm_and_si128(_mm_cmpgt_epi32(c, _mm_set1_epi32(L'A' - 1)), _mm_cmplt_epi32(c, _mm_set1_epi32(L'Z' + 1)));
    return _mm_add_epi32(c, _mm_and_si128(upper, toLower));
}

// The characters [4 * block, 4 * block + 4) of the `length` at `name`, with
// zeros past the name's end, which is never read beyond; `length` >= 4. The
// block the name ends in comes from the name's last four characters, moved
// down to their place.
[[gnu::always_inline]] inline __m128i charBlock(const wchar_t* name, std::size_t length, std::size_t block) noexcept {
    const std::size_t first = 4 * block;
    if (first + 4 <= length) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + first));
    if (first >= length) return _mm_setzero_si128();
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + length - 4));
    switch (length - first) {
        case 1: return _mm_srli_si128(last, 12);
        case 2: return _mm_srli_si128(last, 8);
        default: return _mm_srli_si128(last, 4);
    }
}

// Four blocks of characters narrowed to sixteen bytes (an ASCII character
// survives both saturating packs unchanged), ASCII capitals folded by `toLower`.
[[gnu::always_inline]] inline __m128i narrowed(__m128i a, __m128i b, __m128i c, __m128i d, __m128i toLower) noexcept {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    const __m128i upper =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('Z' + 1)));
    return _mm_add_epi8(bytes, _mm_and_si128(upper, toLower));
}
#endif

// Fills `key` with the words and hash of the `length` characters at `name`,
// ASCII capitals folded when `fold`, and answers true when the name is short
// and ASCII; otherwise answers false and leaves `key` going by characters.
// The empty name is no such name. The words stay in registers throughout:
// a key assembled in memory piece by piece would be read back before its
// stores could be forwarded.
[[gnu::always_inline]] inline bool shortAsciiKey(const wchar_t* name, std::size_t length, bool fold,
                                                 indexKey& key) noexcept {
    key.length = indexKey::wide;
    if (length - 1 >= indexKey::inlineCapacity) return false;
#if defined(__SSE2__) && WCHAR_MAX > 0xffff
    __m128i b0, b1, b2, b3;
    if (length >= 4) {
        b0 = charBlock(name, length, 0);
        b1 = charBlock(name, length, 1);
        b2 = charBlock(name, length, 2);
        b3 = charBlock(name, length, 3);
    } else {
        b0 = _mm_set_epi32(0, length > 2 ? name[2] : 0, length > 1 ? name[1] : 0, name[0]);
        b1 = b2 = b3 = _mm_setzero_si128();
    }
    const __m128i toLower = _mm_set1_epi8(fold ? 32 : 0);
    __m128i seen = _mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(b2, b3));
    const __m128i low = narrowed(b0, b1, b2, b3, toLower);
    std::uint64_t words[3] = {static_cast<std::uint64_t>(_mm_cvtsi128_si64(low)),
                              static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(low, low))), 0};
    if (length > 16) {
        const __m128i b4 = charBlock(name, length, 4);
        const __m128i b5 = charBlock(name, length, 5);
        seen = _mm_or_si128(seen, _mm_or_si128(b4, b5));
        const __m128i zero = _mm_setzero_si128();
        words[2] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(narrowed(b4, b5, zero, zero, toLower)));
    }
    // Any character from 0x80 up, or negative, is no ASCII.
    const __m128i ascii = _mm_cmpeq_epi32(_mm_and_si128(seen, _mm_set1_epi32(~0x7f)), _mm_setzero_si128());
    if (_mm_movemask_epi8(ascii) != 0xffff) return false;
#else
    std::uint64_t words[3] = {0, 0, 0};
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<std::uint32_t>(name[i]);
        any |= c;
        const auto folded = static_cast<std::uint32_t>(asciiFolded(name[i], fold));
        words[i / 8] |= static_cast<std::uint64_t>(folded & 0xff) << (8 * (i % 8));
    }
    if (any >= 0x80) return false;
#endif
    key.length = static_cast<unsigned char>(length);
    key.words[0] = words[0];
    key.words[1] = words[1];
    key.words[2] = words[2];
    key.hash = hashOfWords(words, length);
    return true;
}

// The key of a name as stored (already in the model's case).
inline indexKey keyOf(std::wstring_view text) noexcept {
    indexKey key;
    if (!shortAsciiKey(text.data(), text.size(), false, key))
        key.hash = text.empty() ? 0 : ky::scString::hashOf(text.data(), text.size());
    return key;
}

// Whether the `length` characters at `text`, ASCII capitals folded when
// `fold`, are the `length` at `stored`. Four characters at a time, the last
// four compared again rather than one by one.
[[gnu::always_inline]] inline bool sameFolded(const wchar_t* text, const wchar_t* stored, std::size_t length,
                                              bool fold) noexcept {
#if defined(__SSE2__) && WCHAR_MAX > 0xffff
    if (length >= 4) {
        const __m128i toLower = _mm_set1_epi32(fold ? 32 : 0);
        const auto differs = [&](std::size_t at) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
            const __m128i want = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stored + at));
            return _mm_movemask_epi8(_mm_cmpeq_epi32(foldedBlock(c, toLower), want)) != 0xffff;
        };
        for (std::size_t at = 0; at + 4 < length; at += 4) {
            if (differs(at)) return false;
        }
        return !differs(length - 4);
    }
#endif
    for (std::size_t i = 0; i < length; ++i) {
        if (asciiFolded(text[i], fold) != stored[i]) return false;
    }
    return true;
}

}  // namespace ky::metamodel::detail
