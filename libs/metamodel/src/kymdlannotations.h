// Alias lists and user property sets, shared by classes and fields.
//
// Both keep their alias names as a list of interned names under "Alias" in
// their internal property set, and their user properties in two sets, own
// and inheritable. What differs between them (how a search continues through
// base classes or source fields) stays with the class and the field.
#pragma once

#include <string_view>
#include <vector>

#include <kyassert.h>
#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

namespace ky::metamodel::detail {

using aliasList = std::vector<ky::scString>;

// The assertions the alias operations of one descriptor kind report.
struct aliasSites {
    const ky::assertSite& added;     // an empty alias added
    const ky::assertSite& removed;   // an empty alias removed
    const ky::assertSite& listMade;  // the list made on first use
};

// The alias list stored in `internal`, or null when there is none.
const aliasList* aliasesOf(const ky::genericSet& internal) noexcept;
// Adds `alias` at the end of the list (removing an earlier equal entry),
// creating the list on first use.
void addAlias(ky::genericSet& internal, const ky::string& alias, const aliasSites& sites);
// Removes the first entry equal to `alias`, if any.
void removeAlias(ky::genericSet& internal, const ky::string& alias, const aliasSites& sites);
// Whether `list` holds `name`.
bool listHasAlias(const aliasList& list, ky::scString name) noexcept;
// Whether `list` holds an alias whose text is `key` or, with `fold`, whose
// lower-cased text is: aliases are kept as written, and a class that folds
// names looks them up with a folded key. Compares texts, so the key need not
// be interned.
bool listMatchesAlias(const aliasList& list, std::wstring_view key, bool fold);
// Appends the texts of `list` to `out`, in list order.
void appendAliases(const aliasList& list, std::vector<ky::string>& out);

// The two user property sets of a class or field.
struct userProperties {
    ky::genericSet own;          // not inherited
    ky::genericSet inheritable;  // also seen by derived classes and overriding fields
};

// Stores `value` under `name` in the set chosen by `inheritable`.
void storeUserProperty(userProperties& props, const ky::string& name, ky::genericValue value, bool inheritable);

// One set's answer for one value kind; true when the entry was found and
// delivered (a string or counted reference only when the stored value
// converts to it; a generic value as stored, also when it holds nothing).
bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::string& value);
bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::refPtr<ky::refObj>& value);
bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::const_refPtr<ky::refObj>& value);
bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::genericValue& value);

// Whether the inheritable set is searched when `searchInherited` is false,
// per value kind; classes and fields differ only for strings.
template <class T>
struct inheritableWithoutSearch;
template <>
struct inheritableWithoutSearch<ky::refPtr<ky::refObj>> {
    static constexpr bool forClass = true, forField = true;
};
template <>
struct inheritableWithoutSearch<ky::string> {
    static constexpr bool forClass = true, forField = false;
};
template <>
struct inheritableWithoutSearch<ky::const_refPtr<ky::refObj>> {
    static constexpr bool forClass = true, forField = true;
};
template <>
struct inheritableWithoutSearch<ky::genericValue> {
    static constexpr bool forClass = false, forField = false;
};

// Steps 1 and 2 of every user property search: the own set, then the
// inheritable set when `searchInherited` is true or `inheritableAnyway`.
template <class T>
bool fetchOwnUserProperty(const userProperties& props, ky::scString key, T& value, bool searchInherited,
                          bool inheritableAnyway) {
    if (fetchUserProperty(props.own, key, value)) return true;
    return (searchInherited || inheritableAnyway) && fetchUserProperty(props.inheritable, key, value);
}

}  // namespace ky::metamodel::detail
