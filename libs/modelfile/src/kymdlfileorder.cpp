// The references between classes: bases, overridden and copied fields are
// resolved to class indices, the classes are ordered so that each comes
// after its bases and copy sources (the build needs their fields first),
// and the walks through the bases answer whether a class derives from
// another and which class owns a field. Walks keep their own stack and a
// stamp per class, so deep or wide hierarchies cost linear time and no
// thread stack.
#include <algorithm>
#include <unordered_set>

#include "kymdlfilechecker.h"

namespace ky::metamodel::file::detail {

void checker::resolveClasses() {
    for (classDesc& cls : mDesc->classes) {
        if (!cls.valid || cls.slots[cBases] == none || at(cls.slots[cBases]).kind != nodeKind::sequence) continue;
        const node& list = at(cls.slots[cBases]);
        const auto name = [&] { return wideText(mTree, cls.slots[cName]); };
        std::unordered_set<std::uint32_t> named;
        for (std::uint32_t i = 0; i < list.size; ++i) {
            const std::uint32_t item = mTree.childIndex(list, i);
            if (at(item).kind != nodeKind::scalar) continue;
            const std::uint32_t base = findClass(item, L"M022", [&] { return L"a base of class " + name(); });
            if (base == none) continue;
            if (&mDesc->classes[base] == &cls) error(item, L"M023", L"class " + name() + L" names itself as its base");
            else if (list.size > shortList ? !named.insert(base).second
                                           : std::find(cls.bases.begin(), cls.bases.end(), base) != cls.bases.end())
                error(item, L"M022", L"class " + name() + L" names its base " + className(base) + L" twice");
            else cls.bases.push_back(base);
        }
    }
    for (classDesc& cls : mDesc->classes) {
        for (fieldDesc& field : cls.fields) {
            const bool copy = field.slots[fCopyFrom] != none;
            const std::uint32_t named = copy ? field.slots[fCopyFrom] : field.slots[fOverrides];
            if (named == none || at(named).kind != nodeKind::scalar) continue;
            const std::uint32_t target =
                findClass(named, copy ? L"M031" : L"M025", [copy] {
                    return ky::string(copy ? L"the source of a copy" : L"the base of an overriding field");
                });
            if (copy) field.copySource = target;
            else field.baseClass = target;
        }
    }
}

// Orders the classes so that each comes after its bases and copy sources
// (the build needs their fields first); reports each cycle once.
void checker::orderClasses() {
    const std::size_t n = mDesc->classes.size();
    std::vector<std::uint8_t> state(n, 0);  // 0 new, 1 on the path, 2 done
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // class, next dependency
    for (std::uint32_t start = 0; start < n; ++start) {
        if (state[start]) continue;
        stack.emplace_back(start, 0);
        state[start] = 1;
        while (!stack.empty()) {
            auto& [cls, next] = stack.back();
            std::uint32_t dep = none;
            const classDesc& c = mDesc->classes[cls];
            // Dependencies are numbered: bases first, then the fields' copy sources.
            bool more = false;
            while (next < c.bases.size() + c.fields.size()) {
                const std::uint32_t i = next++;
                if (i < c.bases.size()) dep = c.bases[i];
                else dep = c.fields[i - c.bases.size()].copySource;
                if (dep != none) {
                    more = true;
                    break;
                }
            }
            if (!more) {
                state[cls] = 2;
                mDesc->buildOrder.push_back(cls);
                stack.pop_back();
                continue;
            }
            if (state[dep] == 1) {
                const bool isBase = next - 1 < c.bases.size();
                const std::uint32_t where =
                    isBase ? c.slots[cBases] : c.fields[next - 1 - c.bases.size()].slots[fCopyFrom];
                error(where, isBase ? L"M023" : L"M031",
                      (isBase ? L"base classes form a cycle: class " : L"copies form a cycle: class ") +
                          className(cls) + L" leads back to itself through class " + className(dep));
            } else if (state[dep] == 0) {
                state[dep] = 1;
                stack.emplace_back(dep, 0);
            }
        }
    }
}

// Visits the bases of `cls` at every depth, depth first in file order, each
// class once, until `stop` answers true for one; answers that class or none.
// The walk keeps its own stack, so a long chain of bases cannot exhaust the
// thread's, and a class that many paths reach is visited once.
template <class Stop>
std::uint32_t checker::walkBases(std::uint32_t cls, const Stop& stop) const {
    if (mVisited.size() < mDesc->classes.size()) mVisited.resize(mDesc->classes.size(), 0);
    ++mVisitStamp;
    mWalk.clear();
    const auto pushBases = [&](std::uint32_t c) {
        const std::vector<std::uint32_t>& bases = mDesc->classes[c].bases;
        for (auto it = bases.rbegin(); it != bases.rend(); ++it) mWalk.push_back(*it);
    };
    pushBases(cls);
    while (!mWalk.empty()) {
        const std::uint32_t next = mWalk.back();
        mWalk.pop_back();
        if (mVisited[next] == mVisitStamp) continue;
        mVisited[next] = mVisitStamp;
        if (stop(next)) return next;
        pushBases(next);
    }
    return none;
}

ky::string checker::fieldSuggestion(std::uint32_t cls, const ky::string& name) {
    if (mSuggestionBudget == 0) return {};
    std::vector<ky::string> known;
    // A field is named as its entry spells it; a copied one by its key.
    const auto add = [&](std::uint32_t c) {
        const classDesc& d = mDesc->classes[c];
        for (std::size_t i = 0; i < d.ownNames.size(); ++i)
            known.push_back(at(d.ownAt[i]).kind == nodeKind::scalar ? wideText(mTree, d.ownAt[i])
                                                                    : d.ownNames[i].string());
        return false;
    };
    add(cls);
    walkBases(cls, add);
    return suggestion(std::wstring_view(name), known, mSuggestionBudget);
}

bool checker::derivesFrom(std::uint32_t cls, std::uint32_t base) const {
    return walkBases(cls, [base](std::uint32_t c) { return c == base; }) != none;
}

// Whether `name` is an own field of `cls` or of one of its bases (depth first,
// in file order); `owner` is the class that has it.
bool checker::findField(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const {
    if (ownField(cls, name) != none) {
        if (owner) *owner = cls;
        return true;
    }
    return inherited(cls, name, owner);
}

bool checker::inherited(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const {
    const std::uint32_t found = walkBases(cls, [&](std::uint32_t c) { return ownField(c, name) != none; });
    if (found != none && owner) *owner = found;
    return found != none;
}


std::uint32_t checker::ownField(std::uint32_t cls, ky::scString key) const {
    const classDesc& c = mDesc->classes[cls];
    if (c.ownNames.size() <= shortList) {
        for (std::size_t i = 0; i < c.ownNames.size(); ++i)
            if (c.ownNames[i] == key) return c.ownAt[i];
        return none;
    }
    const auto found = mOwnFields.find({cls, key});
    return found == mOwnFields.end() ? none : found->second;
}

bool checker::addOwnField(std::uint32_t cls, ky::scString key, std::uint32_t at) {
    classDesc& c = mDesc->classes[cls];
    c.ownNames.push_back(key);
    c.ownAt.push_back(at);
    if (c.ownNames.size() == shortList + 1) {
        for (std::size_t i = 0; i < c.ownNames.size(); ++i) mOwnFields.emplace(classFieldKey{cls, c.ownNames[i]}, c.ownAt[i]);
    } else if (c.ownNames.size() > shortList + 1) {
        mOwnFields.emplace(classFieldKey{cls, key}, at);
    }
    return true;
}

}  // namespace ky::metamodel::file::detail
