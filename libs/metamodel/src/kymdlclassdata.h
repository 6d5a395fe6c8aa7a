// The private data record of classInfo, shared by the files that implement
// the class (core, inheritance, relations, identity).
#pragma once

#include <atomic>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>
#include <kymdlidinfo.h>
#include <kymdlrelationinfo.h>

#include "kymdlannotations.h"

namespace ky::metamodel {

struct classInfo::data {
    // What every field lookup reads comes first, so that it shares the
    // record's first cache lines.
    ky::scString name;                   // interned by the class's name rule; never changes
    bool caseSensitive = false;          // "caseSensitiveNames", cached
    int flags = 0;                       // bit 0: abstract
    // scName() of fields[i], kept beside the list so that a lookup compares
    // handles in one contiguous array instead of visiting every field.
    std::vector<ky::scString> fieldNames;
    fieldInfoList fields;                // own fields in creation order
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
            // Both steps for every character, without an early exit, so
            // that the loop runs several characters at a time.
            std::uint32_t any = 0;
            for (std::size_t i = 0; i < length; ++i) {
                const auto c = static_cast<std::uint32_t>(name[i]);
                any |= c;
                mSmall[i] = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : name[i];
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
struct classAccess {
    static classInfo::data& of(const classInfo& cls) noexcept { return *cls.d; }
};

}  // namespace detail

}  // namespace ky::metamodel
