// classInfo: the inheritance graph (base and derived maps, the derivation
// tests) and copying fields from other classes.
#include <kymdlclassinfo.h>

#include "kymdlclassdata.h"

namespace ky::metamodel {

namespace {

// Whether `other` is a base of `cls` at any depth, depth first in map order.
// The graph is kept acyclic by addBaseClass, so the walk ends; a base that
// several paths reach is searched once.
bool derivesFrom(const classInfo& cls, const classInfo* other, detail::visitedClasses& visited) {
    for (const auto& entry : detail::classAccess::of(cls).bases) {
        const classInfo& base = *entry.second;
        if (&base == other) return true;
        if (visited.firstVisit(&base) && derivesFrom(base, other, visited)) return true;
    }
    return false;
}

bool derivesFrom(const classInfo& cls, const classInfo* other) {
    detail::visitedClasses visited;
    return derivesFrom(cls, other, visited);
}

}  // namespace

void classInfo::addBaseClass(ky::refPtr<classInfo> base) {
    classInfo& added = *base;
    // A base that is this class or one of its derived classes would close a
    // cycle, and every search through the bases would then run forever.
    if (&added == this || derivesFrom(added, this)) throw false;
    d->bases.emplace(added.d->name, base);
    added.d->derived.emplace(d->name, ky::refPtr<classInfo>(this));
}

classInfosIterator classInfo::baseClasses_begin() { return classInfosIterator(d->bases.begin()); }
classInfosIterator classInfo::baseClasses_end() { return classInfosIterator(d->bases.end()); }
const_classInfosIterator classInfo::baseClasses_begin() const {
    return const_classInfosIterator(classInfoMap::const_iterator(d->bases.begin()));
}
const_classInfosIterator classInfo::baseClasses_end() const {
    return const_classInfosIterator(classInfoMap::const_iterator(d->bases.end()));
}

classInfosIterator classInfo::derivedClasses_begin() { return classInfosIterator(d->derived.begin()); }
classInfosIterator classInfo::derivedClasses_end() { return classInfosIterator(d->derived.end()); }
const_classInfosIterator classInfo::derivedClasses_begin() const {
    return const_classInfosIterator(classInfoMap::const_iterator(d->derived.begin()));
}
const_classInfosIterator classInfo::derivedClasses_end() const {
    return const_classInfosIterator(classInfoMap::const_iterator(d->derived.end()));
}

bool classInfo::isBaseOf(const ky::const_refPtr<classInfo>& other) const {
    for (const auto& entry : d->derived) {
        if (entry.second.get() == other.get()) return true;
    }
    return false;
}

bool classInfo::isDerivedFrom(const ky::const_refPtr<classInfo>& other) const {
    return other && derivesFrom(*this, other.get());
}

ky::refPtr<ky::metamodel::fieldInfo> classInfo::copyFieldInfoFrom(
    const ky::const_refPtr<ky::metamodel::fieldInfo>& source, const wchar_t* prefix) {
    const ky::metamodel::fieldInfo& copied = *source;
    const ky::string& sourceName = copied.scName().string();
    const ky::string composed = prefix ? ky::string(prefix + sourceName) : sourceName;
    // The copy is named by this class's rule, so that the lookup below (which
    // folds its key) finds it whatever the case of the prefix or of a name
    // taken from a class that compares names as written.
    const ky::string name = d->caseSensitive ? composed : composed.lower();
    const bool renamed = prefix || name != sourceName;
    appendField(copied.cloneForClass(ky::refPtr<classInfo>(this), renamed ? name.c_str() : nullptr));
    return fieldFoundAgain(name);
}

bool classInfo::copyInfosFrom(const ky::const_refPtr<classInfo>& source, const wchar_t* prefix) {
    // The source's list as the call found it: copying a class into itself
    // appends to that very list, and each field is to be copied once.
    const fieldInfoList fields = source->d->fields;
    for (const auto& field : fields) copyFieldInfoFrom(ky::const_refPtr<ky::metamodel::fieldInfo>(field), prefix);
    return true;
}

}  // namespace ky::metamodel
