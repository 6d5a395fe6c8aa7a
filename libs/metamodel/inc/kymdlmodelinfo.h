// modelInfo, the registry of a host's classes.
//
// A model owns every class created through it, under the class's interned
// name, and decides once whether names are compared as written or folded to
// lower case. Class lookup, class creation and the model's destruction hold
// the model's re-entrant lock; field lookups then rely on the classes, which
// are changed by one thread at a time. Destroying the model empties every
// class it registered, so that all of them can be freed.
#pragma once

#include <cstddef>
#include <map>
#include <unordered_map>

#include <kygeneric.h>
#include <kymutex.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include "kymdlexport.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

class KY_METAMODEL_API modelInfo : public ky::iRefObj, public ky::refObj {
public:
    modelInfo(const modelInfo&) = delete;
    modelInfo& operator=(const modelInfo&) = delete;

    // ---- counting ----
    ky::refCount_t refCount() const override { return ky::refObj::refCount(); }
    ky::refCount_t addRef() const override { return ky::refObj::addRef(); }
    ky::refCount_t release() const override { return ky::refObj::release(); }

    // An empty model that compares names as written (true) or folded to
    // lower case (false).
    static ky::refPtr<modelInfo> createModelInfo(bool caseSensitiveNames);

    // Whether the model compares names as written.
    bool caseSensitiveNames() const;

    // The class registered under `name` or, with `searchAliases`, the first
    // class in map order that has `name` as an alias; empty when none.
    ky::refPtr<ky::metamodel::classInfo> classInfo(const ky::string& name, bool searchAliases);
    ky::const_refPtr<ky::metamodel::classInfo> classInfo(const ky::string& name, bool searchAliases) const;
    // Registers a new class. A name already registered throws false unless
    // `replace` is true; then the old class is emptied and dropped from the
    // model (a host that keeps the old class and gives it fields again calls
    // its releaseInfo before letting it go, as for a class made standing alone).
    ky::refPtr<ky::metamodel::classInfo> createClassInfo(const ky::string& name, bool replace);
    // The field `fieldName` of the class `className`; with `searchFurther` the
    // class may be found by alias and the field in base classes.
    ky::refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& className, const ky::string& fieldName,
                                                   bool searchFurther);
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& className,
                                                         const ky::string& fieldName, bool searchFurther) const;
    // The field named by "class.field" (split at the first dot); empty
    // without a dot.
    ky::refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& qualifiedName, bool searchFurther);
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& qualifiedName,
                                                         bool searchFurther) const;

private:
    explicit modelInfo(bool caseSensitiveNames);
    ~modelInfo() override;

    // The class under the folded, interned form of `name` (lock held).
    ky::metamodel::classInfo* findClass(const wchar_t* name, std::size_t length, bool searchAliases) const;
    // Both qualified lookups: splits at the first dot without copying.
    ky::refPtr<ky::metamodel::fieldInfo> findQualified(const ky::string& qualifiedName, bool searchFurther) const;

    // Registers `cls` under its name unless the name is taken (lock held).
    void registerClass(const ky::refPtr<ky::metamodel::classInfo>& cls);
    // Removes the entry of `name` from the map and the index (lock held).
    void unregisterClass(const ky::scString& name);

    mutable ky::mutex mLock;        // guards mClasses, mIndex and mProperties
    classInfoMap mClasses;          // one counted reference per registered class
    // The same classes by hash of their name: a name lookup touches one
    // bucket instead of walking the tree. The map alone owns the classes and
    // gives the order of the alias walk and of the destruction.
    std::unordered_map<ky::scString, ky::metamodel::classInfo*> mIndex;
    ky::genericSet mProperties;     // "caseSensitiveNames"
    bool mCaseSensitive;            // cached "caseSensitiveNames"
};

}  // namespace ky::metamodel
