#include "kymdlannotations.h"

#include <algorithm>

#include <kyassert.h>

#include "kymdlinfobase.h"

namespace ky::metamodel::detail {

const aliasList* aliasesOf(const ky::genericSet& internal) noexcept {
    const aliasList* list = nullptr;
    internal.getValuePtr(key().alias, list);
    return list;
}

void addAlias(ky::genericSet& internal, const ky::string& alias, const aliasSites& sites) {
    KY_ASSERT_AT(alias.length(), sites.added);
    removeAlias(internal, alias, sites);
    aliasList* pAliasNames = nullptr;
    if (!internal.getValuePtr(key().alias, pAliasNames)) {
        internal.setValue(key().alias, aliasList(), false);
        internal.getValuePtr(key().alias, pAliasNames);
    }
    KY_ASSERT_AT(pAliasNames, sites.listMade);
    pAliasNames->push_back(ky::scString::createFrom(alias));
}

void removeAlias(ky::genericSet& internal, const ky::string& alias, const aliasSites& sites) {
    KY_ASSERT_AT(alias.length(), sites.removed);
    aliasList* list = nullptr;
    if (!internal.getValuePtr(key().alias, list)) return;
    const ky::scString name = ky::scString::createFrom(alias);
    const auto found = std::find(list->begin(), list->end(), name);
    if (found != list->end()) list->erase(found);
}

bool listHasAlias(const aliasList& list, ky::scString name) noexcept {
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool listMatchesAlias(const aliasList& list, std::wstring_view key, bool fold) {
    for (const ky::scString& alias : list) {
        if (std::wstring_view(alias.c_str(), alias.length()) == key) return true;
    }
    if (!fold) return false;
    // Kept per thread: folding allocates only when the buffer has to grow.
    thread_local std::wstring folded;
    for (const ky::scString& alias : list) {
        ky::string::lowerInto(alias.c_str(), alias.length(), folded);
        if (folded == key) return true;
    }
    return false;
}

void appendAliases(const aliasList& list, std::vector<ky::string>& out) {
    out.reserve(out.size() + list.size());
    for (const ky::scString& name : list) out.push_back(name.string());
}

void storeUserProperty(userProperties& props, const ky::string& name, ky::genericValue value, bool inheritable) {
    ky::genericSet& target = inheritable ? props.inheritable : props.own;
    target._setGenericValue(ky::scString::createFrom(name), value, true);
}

bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::string& value) {
    return set.getValue(key, value);
}

bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::refPtr<ky::refObj>& value) {
    return set.getValue(key, value);
}

bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::const_refPtr<ky::refObj>& value) {
    ky::refPtr<ky::refObj> found;
    if (!set.getValue(key, found)) return false;
    value = found;
    return true;
}

bool fetchUserProperty(const ky::genericSet& set, ky::scString key, ky::genericValue& value) {
    const ky::genericValue* stored = set.genericValue(key);
    if (!stored) return false;
    value = *stored;
    return true;
}

}  // namespace ky::metamodel::detail
