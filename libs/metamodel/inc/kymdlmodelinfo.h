/// \file
/// modelInfo, the registry of a host's classes.
///
/// A model owns every class created through it, under the class's interned
/// name, and decides once whether names are compared as written or folded to
/// lower case. Lookups of classes and fields take no lock and may run on any
/// number of threads, also while one thread creates or replaces classes; the
/// model's re-entrant lock serialises creation, replacement and destruction.
/// Destroying the model empties every class it registered, so that all of
/// them can be freed. Hot loops look up through a modelInfo::readScope, whose
/// answers are plain pointers that touch no reference count.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include <kygeneric.h>
#include <kymutex.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include "kymdlclassinfo.h"
#include "kymdlenums.h"
#include "kymdlexport.h"
#include "kymdlfieldinfo.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

/// The classes of a model in the order they were registered.
using classInfoList = std::vector<ky::refPtr<classInfo>>;

namespace detail {
struct classIndex;
struct hazardSlot;
}

/// The registry of a host's classes: owns them, folds their names by one rule
/// fixed at creation, and finds classes and fields by name. Made only by
/// createModelInfo and shared through refPtr. Lookups are safe from any
/// number of threads at once, also while one thread registers or replaces
/// classes; everything that changes the model is serialised by its lock. A
/// name already registered makes createClassInfo throw false.
class KY_METAMODEL_API modelInfo : public ky::countedRefObj {
public:
    /// A span of one thread's lookups in one model that answer with plain
    /// `const` pointers instead of counted references: no lock, no reference
    /// count and no memory that another thread reads is written by them.
    ///
    /// Each lookup answers exactly as the counted lookup of the same name and
    /// arguments (names folded by the model's rule, the same aliases and base
    /// classes searched, nothing interned); empty answers are null. A pointer
    /// handed out stays valid until the scope that handed it out ends, also
    /// when another thread replaces its class or drops the last reference to
    /// the model meanwhile: a replaced class that an open scope may have seen
    /// keeps its name, fields and bases until every such scope has ended, and
    /// is emptied at the model's next class creation after that (or when the
    /// model ends); the destruction of the model waits until the scopes of
    /// other threads that may read it have ended.
    ///
    /// Scopes nest, also over several models. While it holds a scope, a
    /// thread may make every call of the library, the counted lookups
    /// included, and may create and replace classes of the same model: a
    /// class it replaces then waits for the thread's scope to end before it
    /// is emptied, so nothing blocks. A thread that holds a scope must not
    /// wait for another thread that drops the last reference to a model it
    /// may read (that destruction waits for the scope), and must not drop
    /// the last reference to the model of its own scope itself. Opening a
    /// scope on a model that another thread is destroying is a host error:
    /// it is reported as the assertion "!mDying" and throws false while the
    /// destruction is under way; after it, the model is gone.
    ///
    /// A scope is bound to the thread that opened it and cannot be copied
    /// or moved. It holds no reference to the model: the host keeps the model
    /// alive while it opens the scope; from then on the scope keeps the
    /// model's classes, and the model itself, from being freed under it.
    class KY_METAMODEL_API readScope {
    public:
        /// Opens a scope on `model` for the calling thread.
        explicit readScope(const modelInfo& model);
        /// Ends the scope; its pointers are no longer valid.
        ~readScope();
        readScope(const readScope&) = delete;
        readScope& operator=(const readScope&) = delete;
        readScope(readScope&&) = delete;
        readScope& operator=(readScope&&) = delete;

        /// The class registered under `name` or, with `searchAliases`, the
        /// first class in map order that has `name` as an alias; null when
        /// none.
        const ky::metamodel::classInfo* classInfo(const ky::string& name, bool searchAliases) const;
        /// The field named by "class.field" (split at the first dot); null
        /// without a dot or when none.
        const ky::metamodel::fieldInfo* fieldInfo(const ky::string& qualifiedName, bool searchFurther) const;
        /// The field `fieldName` of the class `className`; with
        /// `searchFurther` the class may be found by alias and the field in
        /// base classes. Null when none.
        const ky::metamodel::fieldInfo* fieldInfo(const ky::string& className, const ky::string& fieldName,
                                                  bool searchFurther) const;

    private:
        const modelInfo& mModel;     // read by this scope's lookups
        detail::hazardSlot& mSlot;   // the opening thread's slot
    };

    modelInfo(const modelInfo&) = delete;
    modelInfo& operator=(const modelInfo&) = delete;

    /// An empty model that compares names as written (true) or folded to
    /// lower case (false).
    static ky::refPtr<modelInfo> createModelInfo(bool caseSensitiveNames);

    /// Whether the model compares names as written.
    bool caseSensitiveNames() const;

    /// The class registered under `name` or, with `searchAliases`, the first
    /// class in map order that has `name` as an alias; empty when none.
    ky::refPtr<ky::metamodel::classInfo> classInfo(const ky::string& name, bool searchAliases);
    /// The class registered under `name` (or by alias), read-only.
    ky::const_refPtr<ky::metamodel::classInfo> classInfo(const ky::string& name, bool searchAliases) const;
    /// Registers a new class. A name already registered throws false unless
    /// `replace` is true; then the old class is emptied and leaves the model's
    /// lookups and listing, and the model drops its reference to it. A host that
    /// keeps the old class and gives it fields again calls its releaseInfo
    /// before letting it go, as for a class made standing alone.
    ky::refPtr<ky::metamodel::classInfo> createClassInfo(const ky::string& name, bool replace);
    /// The field `fieldName` of the class `className`; with `searchFurther` the
    /// class may be found by alias and the field in base classes.
    ky::refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& className, const ky::string& fieldName,
                                                   bool searchFurther);
    /// The same lookup, read-only.
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& className,
                                                         const ky::string& fieldName, bool searchFurther) const;
    /// The field named by "class.field" (split at the first dot); empty
    /// without a dot.
    ky::refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& qualifiedName, bool searchFurther);
    /// The same lookup, read-only.
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& qualifiedName,
                                                         bool searchFurther) const;

    /// What lookup found for a class name or a "class.field" name, and how.
    struct lookupResult {
        ky::const_refPtr<ky::metamodel::classInfo> cls;    ///< the class named; empty when none
        eNameMatch classMatch = eNoMatch;                  ///< eOwnName or eOwnAlias when the class was found
        bool qualified = false;                            ///< whether the name had a dot (a field was asked for)
        ky::const_refPtr<ky::metamodel::fieldInfo> field;  ///< the field named after the dot; empty when none
        eNameMatch fieldMatch = eNoMatch;                  ///< how the field was found
    };
    /// Looks up a class, or with a dot a field (split at the first dot), in
    /// one pass: the class by name and, with `searchAliases`, by alias; the
    /// field as classInfo::fieldInfo(name, searchBases, searchAliases) finds it.
    lookupResult lookup(const ky::string& name, bool searchAliases, bool searchBases) const;

    /// How many classes the model holds (a replaced class counts once).
    std::size_t countClasses() const;
    /// The classes in the order they were registered; a class that replaced
    /// another stands in the replaced class's place. The range may be walked
    /// while other threads look up, not while a class is being created.
    classInfoList::const_iterator classes_begin() const;
    /// The end of the range of classes_begin.
    classInfoList::const_iterator classes_end() const;

private:
    explicit modelInfo(bool caseSensitiveNames);
    ~modelInfo() override;

    // The class under the folded form of `name`, found without a lock and
    // published in `hazards` (of a running lookup) instead of counted; with
    // null `hazards` (a read scope's lookup) published nowhere. `match`, when
    // given, learns whether the name or an alias matched.
    ky::metamodel::classInfo* pinClass(const wchar_t* name, std::size_t length, bool searchAliases,
                                       detail::hazardSlot* hazards, eNameMatch* match = nullptr) const;
    // pinClass once the quick probe of a short ASCII name has not answered;
    // `probed`: it found that no class has the name itself.
    ky::metamodel::classInfo* pinClassFurther(const wchar_t* name, std::size_t length, bool probed,
                                              bool searchAliases, detail::hazardSlot* hazards,
                                              eNameMatch* match) const;
    // The first class in map order that has the folded `text` as an alias,
    // published as pinClass publishes.
    ky::metamodel::classInfo* pinAlias(std::wstring_view text, detail::hazardSlot* hazards) const;
    // The class under the folded form of `name`, found without a lock.
    ky::refPtr<ky::metamodel::classInfo> findClass(const wchar_t* name, std::size_t length, bool searchAliases) const;
    // A field of the class `className` names, searched while the class is
    // pinned in `hazards` (of a running lookup, or null in a read scope).
    ky::metamodel::fieldInfo* pinField(const wchar_t* className, std::size_t classLength, const wchar_t* fieldName,
                                       std::size_t fieldLength, bool searchFurther,
                                       detail::hazardSlot* hazards) const;
    // The same field, counted before the lookup ends.
    ky::refPtr<ky::metamodel::fieldInfo> findField(const wchar_t* className, std::size_t classLength,
                                                   const wchar_t* fieldName, std::size_t fieldLength,
                                                   bool searchFurther) const;
    // Both qualified lookups: splits at the first dot without copying.
    ky::refPtr<ky::metamodel::fieldInfo> findQualified(const ky::string& qualifiedName, bool searchFurther) const;
    // Takes `cls` out of the lookups before it is replaced: empties it now,
    // or keeps it for the read scopes that may see it. True when kept.
    bool retire(ky::refPtr<ky::metamodel::classInfo> cls);
    // Empties and lets go of the kept classes whose scopes have all ended.
    void emptyDeferred();

    struct deferredClass;                      // a replaced class kept for open read scopes

    mutable ky::mutex mLock;                   // serialises every change of the model
    std::map<ky::scString, ky::metamodel::classInfo*> mClasses;  // the registered classes in map order
    classInfoList mOrder;                      // the one counted reference per registered class, in registration order
    classInfoList mRetired;                    // replaced classes that a lookup was about to take
    std::vector<deferredClass> mDeferred;      // replaced classes, not yet emptied, that read scopes may see
    std::unique_ptr<detail::classIndex> mIndex;  // what lookups read; see kymdlclassindex.h
    ky::genericSet mProperties;                // "caseSensitiveNames"
    std::atomic<bool> mDying{false};           // set when destruction begins; refuses new read scopes
    bool mCaseSensitive;                       // cached "caseSensitiveNames"
};

}  // namespace ky::metamodel
