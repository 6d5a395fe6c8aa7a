// The private data record of classInfo, shared by the files that implement
// the class (core, inheritance, relations, identity).
#pragma once

#include <atomic>

#include <cstddef>
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

// The interned key of `name` under a name rule (folded to lower case unless
// `caseSensitive`), found without interning: false when the key was never
// interned, so that no class, field or alias can carry it. Allocates nothing
// once the calling thread has folded a name of that length before.
bool findKey(const wchar_t* name, std::size_t length, bool caseSensitive, ky::scString& key);
// The text of `name` under a name rule (folded to lower case unless
// `caseSensitive`), in a buffer kept per thread: valid until the calling
// thread forms its next key. Alias walks compare it with the aliases' texts,
// so a lookup never interns what it is asked for.
std::wstring_view foldedKey(const wchar_t* name, std::size_t length, bool caseSensitive);

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
