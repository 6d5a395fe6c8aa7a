// The private data record of classInfo, shared by the files that implement
// the class (core, inheritance, relations, identity).
#pragma once

#include <atomic>
#include <bit>
#include <cstring>
#include <cwchar>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <string_view>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>
#include <kymdlidinfo.h>
#include <kymdlrelationinfo.h>

#include "kymdlannotations.h"
#include "kymdlnamekey.h"

namespace ky::metamodel {

struct classInfo::data {
    // What every field lookup reads comes first, so that it shares the
    // record's first cache lines.
    bool caseSensitive = false;          // "caseSensitiveNames", cached
    int flags = 0;                       // bit 0: abstract
    // The name of fields[i] and the hash of its text, kept beside the list
    // so that a lookup compares hashes in one contiguous array, four at a
    // time, and checks the text of a matching one only, never consulting
    // the table of interned names.
    std::vector<ky::scString> fieldNames;
    std::vector<std::uint32_t> fieldHashes;
    // A class of more than indexedFrom fields also keeps an open-addressing
    // table of 1 + the index of each distinct name's first field (0: free),
    // a power of two at most half full, so that finding or creating one of
    // n fields costs a probe instead of a scan of n hashes and a load of a
    // huge class stays linear. Empty for smaller classes, which scan.
    std::vector<std::uint32_t> fieldSlots;
    fieldInfoList fields;                // own fields in creation order
    ky::scString name;                   // interned by the class's name rule; never changes
    classInfoMap bases;                  // direct base classes by name
    classInfoMap derived;                // direct derived classes by name
    ky::string label;                    // empty until setLabel
    ky::refPtr<ky::metamodel::idInfo> identity;  // cached identity; empty until asked for
    relationInfoList fromRelations;      // relations whose target class is this class
    relationInfoList toRelations;        // relations made on this class
    ky::genericSet internal;             // "caseSensitiveNames", "Alias"
    detail::userProperties userProps;    // own and inheritable user properties
    // Set by the model before a replaced class lets go of its fields; model
    // lookups then pass it by (see kymdlclassindex.h).
    std::atomic<bool> retiring{false};

    static constexpr std::size_t noField = static_cast<std::size_t>(-1);
    static constexpr std::size_t indexedFrom = 64;
    static constexpr std::size_t prefetchedFields = 32;

    // The index of the first own field whose name's hash is `hash` and of
    // which `isNamed(its name's text)` is true, or noField.
    template <class IsNamed>
    std::size_t findOwnField(std::uint32_t hash, IsNamed&& isNamed) const noexcept {
        const auto named = [&](std::size_t at) { return isNamed(fieldNames[at].string()); };
        if (!fieldSlots.empty()) {
            const std::size_t mask = fieldSlots.size() - 1;
            for (std::size_t at = hash & mask; fieldSlots[at] != 0; at = (at + 1) & mask) {
                const std::size_t i = fieldSlots[at] - 1;
                if (fieldHashes[i] == hash && named(i)) return i;
            }
            return noField;
        }
        const std::size_t count = fieldNames.size();  // the list appended to last
        const std::uint32_t* hashes = fieldHashes.data();
        // The names of a small class are fetched while its hashes are
        // compared, so that a cold class costs one wait for both lists
        // instead of one after the other (the field itself is read beside
        // its name).
        if (count <= prefetchedFields) {
            for (std::size_t at = 0; at < count; at += 64 / sizeof(ky::scString))
                __builtin_prefetch(fieldNames.data() + at);
        }
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i wanted = _mm_set1_epi32(static_cast<int>(hash));
        for (; i + 4 <= count; i += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hashes + i));
            for (auto hits = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, wanted))));
                 hits != 0; hits &= hits - 1) {
                const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits));
                if (named(at)) return at;
            }
        }
#endif
        for (; i < count; ++i) {
            if (hashes[i] == hash && named(i)) return i;
        }
        return noField;
    }

    // Enters the field appended last into fieldSlots, which is made, or
    // made anew with room for four times the fields, when it would be more
    // than half full.
    void indexLastField() {
        const std::size_t count = fieldNames.size();
        if (count <= indexedFrom) return;
        if (2 * count <= fieldSlots.size()) {
            indexField(count - 1);
            return;
        }
        // Emptied first: should the larger table not be had, lookups scan.
        fieldSlots.clear();
        fieldSlots.resize(std::bit_ceil(4 * count));
        for (std::size_t i = 0; i < count; ++i) indexField(i);
    }

    // Enters fields[i] unless an earlier field has its name: a lookup
    // answers the first field of a name, as the scan does.
    void indexField(std::size_t i) noexcept {
        const std::size_t mask = fieldSlots.size() - 1;
        std::size_t at = fieldHashes[i] & mask;
        for (; fieldSlots[at] != 0; at = (at + 1) & mask) {
            const std::size_t other = fieldSlots[at] - 1;
            if (fieldHashes[other] == fieldHashes[i] && fieldNames[other] == fieldNames[i]) return;
        }
        fieldSlots[at] = static_cast<std::uint32_t>(i + 1);
    }

    // Whether the name is `text`.
    bool hasName(std::wstring_view text) const noexcept {
        const ky::string& own = name.string();
        return own.size() == text.size() && ky::detail::sameChars(own.data(), text.data(), text.size());
    }
};

namespace detail {

// The text of `name` under a name rule: folded to lower case unless
// `caseSensitive`. Short ASCII names (the common case) are folded into the
// object itself; others into a buffer kept per thread, valid until the
// calling thread folds its next long or non-ASCII name. Nothing is interned,
// so a lookup never adds what it is asked for to the table of names.
class foldedName {
public:
    foldedName(const wchar_t* name, std::size_t length, bool caseSensitive) {
        if (caseSensitive) {
            mText = std::wstring_view(name, length);
            return;
        }
        if (length <= std::size(mSmall)) {
            // Both steps for every character, without an early exit.
            std::uint32_t any = 0;
            std::size_t i = 0;
#if defined(__SSE2__) && WCHAR_MAX > 0xffff
            // Four characters at a time.
            const __m128i toLower = _mm_set1_epi32(32);
            __m128i seen = _mm_setzero_si128();
            for (; i + 4 <= length; i += 4) {
                const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + i));
                seen = _mm_or_si128(seen, c);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(mSmall + i), foldedBlock(c, toLower));
            }
            seen = _mm_or_si128(seen, _mm_shuffle_epi32(seen, _MM_SHUFFLE(1, 0, 3, 2)));
            seen = _mm_or_si128(seen, _mm_shuffle_epi32(seen, _MM_SHUFFLE(2, 3, 0, 1)));
            any = static_cast<std::uint32_t>(_mm_cvtsi128_si32(seen));
#endif
            for (; i < length; ++i) {
                const auto c = static_cast<std::uint32_t>(name[i]);
                any |= c;
                mSmall[i] = asciiFolded(name[i]);
            }
            if (any < 0x80) {
                mText = std::wstring_view(mSmall, length);
                return;
            }
        }
        mText = foldLong(name, length);
    }
    foldedName(const foldedName&) = delete;
    foldedName& operator=(const foldedName&) = delete;

    std::wstring_view view() const noexcept { return mText; }
    const wchar_t* data() const noexcept { return mText.data(); }
    std::size_t size() const noexcept { return mText.size(); }

private:
    static std::wstring_view foldLong(const wchar_t* name, std::size_t length);

    std::wstring_view mText;
    wchar_t mSmall[32];
};

// The hash a class keeps of the text of a field's name (as stored, in the
// class's case): the low bits of its name key's.
inline std::uint32_t fieldNameHash(std::wstring_view text) noexcept {
    return static_cast<std::uint32_t>(keyOf(text).hash);
}

// The interned key of `name` under a name rule, found without interning:
// false when the key was never interned, so that no class, field or alias
// can carry it.
inline bool findKey(const wchar_t* name, std::size_t length, bool caseSensitive, ky::scString& key) {
    const foldedName text(name, length, caseSensitive);
    return ky::scString::find(text.data(), text.size(), key);
}

// The classes one walk through base classes has reached, so that a class
// that several paths lead to is visited once. Up to `inlineSize` classes
// need no allocation.
class visitedClasses {
public:
    // True the first time `cls` is offered, false every later time.
    bool firstVisit(const void* cls) {
        if (mCount < inlineSize) {
            for (std::size_t i = 0; i < mCount; ++i)
                if (mInline[i] == cls) return false;
            mInline[mCount++] = cls;
            return true;
        }
        for (std::size_t i = 0; i < inlineSize; ++i)
            if (mInline[i] == cls) return false;
        return mMore.insert(cls).second;
    }

private:
    static constexpr std::size_t inlineSize = 16;
    const void* mInline[inlineSize];
    std::size_t mCount = 0;
    std::unordered_set<const void*> mMore;
};

// Reaches a class's record from the helpers of the class's own files, which
// walk other classes (bases, derived classes) than the one they serve.
//
// The record lies at a fixed distance behind its class (see
// classInfo::operator new), so `of` finds it without reading the class.
struct classAccess {
    static constexpr std::size_t blockAlignment = 64;
    static constexpr std::size_t recordOffset =
        (sizeof(classInfo) + alignof(classInfo::data) - 1) / alignof(classInfo::data) * alignof(classInfo::data);

    static classInfo::data& of(const classInfo& cls) noexcept {
        return *std::launder(reinterpret_cast<classInfo::data*>(
            const_cast<char*>(reinterpret_cast<const char*>(&cls)) + recordOffset));
    }
};

}  // namespace detail

}  // namespace ky::metamodel
