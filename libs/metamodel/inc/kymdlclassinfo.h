// classInfo, the descriptor of one class of the host's data model.
//
// A class is made by a model (modelInfo::createClassInfo) or standing alone
// (classInfo::createClassInfo) and handed out through counted pointers. It
// holds its own fields in creation order, its direct base and derived classes,
// the relations leading out of it and into it, and its identity on demand.
// Inherited fields stay in their base classes and are found through them.
// A class and its fields, and a base and a derived class, keep each other
// alive until releaseInfo cuts those links; a model does that for its
// classes. Nothing here locks: a class is changed by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include "kymdlenums.h"
#include "kymdlexport.h"
#include "kymdlfwd.h"
#include "kymdliterators.h"

namespace ky::metamodel {

namespace detail {
struct classAccess;
class visitedClasses;
}

/// The descriptor of one class of the host's data model, made by a model or
/// standing alone and handed out through counted pointers; it holds its own
/// fields, its direct base and derived classes and its relations. Nothing
/// locks: a class is changed by one thread at a time.
class KY_METAMODEL_API classInfo : public ky::countedRefObj {
public:
    classInfo(const classInfo&) = delete;
    classInfo& operator=(const classInfo&) = delete;

    // ---- creation and life ----
    /// A class that belongs to no model; its names are folded to lower case.
    static ky::refPtr<ky::metamodel::classInfo> createClassInfo(const ky::string& name);
    /// Empties the class: drops its identity, cuts its fields' link to it and
    /// empties its field list and its base and derived maps (the owner of a
    /// class made by createClassInfo calls it before dropping the class).
    /// The class stays usable; relations, label, aliases and user properties stay.
    void releaseInfo();
    /// Records that the process is closing (nothing in the library reads it).
    static void setIsClosing(bool closing);
    /// The recorded closing flag.
    static bool isClosing();

    // ---- name, label, marks ----
    /// The interned name (folded to lower case unless names are case-sensitive).
    const ky::scString& scName() const;
    /// Whether this class compares names as written (true) or folded (false).
    bool caseSensitiveNames() const;
    /// The display label (empty until set).
    const ky::string& label() const;
    /// Replaces the label.
    void setLabel(const ky::string& label);
    /// Sets (true) or clears (false) the abstract mark.
    void setAbstract(bool isAbstract);
    /// Whether the abstract mark is set.
    bool isAbstract() const;

    // ---- fields ----
    /// The number of the class's own fields (overriding fields included).
    std::uint64_t countFields() const;
    /// The class's own fields in creation order.
    fieldInfoList::iterator fields_begin();
    /// End of the class's own fields.
    fieldInfoList::iterator fields_end();
    /// The class's own fields in creation order, read-only.
    fieldInfoList::const_iterator fields_begin() const;
    /// End of the class's own fields, read-only.
    fieldInfoList::const_iterator fields_end() const;
    /// Finds a field by name among the own fields, then (with `searchAliases`)
    /// by alias, then (with `searchBases`) in the base classes in map order,
    /// depth first. Empty when none matches.
    ky::refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& name, bool searchBases, bool searchAliases);
    /// Finds a field, read-only, as the writable overload does; empty when none matches.
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& name, bool searchBases,
                                                         bool searchAliases) const;
    /// Finds a field, read-only, as the overloads above do, and tells in
    /// `match` how it was found (eNoMatch when it was not).
    ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo(const ky::string& name, bool searchBases,
                                                         bool searchAliases, eNameMatch& match) const;
    /// A new field, or the existing field of that name here or in a base class
    /// (then nothing is created and the other arguments are ignored).
    ky::refPtr<ky::metamodel::fieldInfo> createFieldInfo(const ky::string& name, eFieldType type,
                                                         const ky::genericSet& typeAttribs,
                                                         const ky::string& customTypeString);
    /// A field of this class that stands for the field `name` inherited from
    /// `baseClass`. Throws false, changing nothing, when this class does not
    /// derive from `baseClass`, when it has no such field, or when this
    /// class's name rule could not find the override again.
    ky::refPtr<ky::metamodel::fieldInfo> createFieldInfo(ky::refPtr<ky::metamodel::classInfo>& baseClass,
                                                         const ky::string& name);
    /// Told by a field of this class after its semantic changed: a field that
    /// entered the primary key drops the cached identity (one that left it is
    /// noticed by idInfo()). An empty field reports "m_p != NULL" and throws false.
    void onSemanticChanged(ky::refPtr<ky::metamodel::fieldInfo> field);

    // ---- inheritance ----
    /// Makes `base` a direct base of this class (an entry already present is
    /// kept). Throws false when `base` is this class or derives from it.
    void addBaseClass(ky::refPtr<ky::metamodel::classInfo> base);
    /// The direct base classes in map order.
    classInfosIterator baseClasses_begin();
    /// End of the direct base classes.
    classInfosIterator baseClasses_end();
    /// The direct base classes in map order, read-only.
    const_classInfosIterator baseClasses_begin() const;
    /// End of the direct base classes, read-only.
    const_classInfosIterator baseClasses_end() const;
    /// The direct derived classes in map order.
    classInfosIterator derivedClasses_begin();
    /// End of the direct derived classes.
    classInfosIterator derivedClasses_end();
    /// The direct derived classes in map order, read-only.
    const_classInfosIterator derivedClasses_begin() const;
    /// End of the direct derived classes, read-only.
    const_classInfosIterator derivedClasses_end() const;
    /// Whether `other` is a direct derived class of this class.
    bool isBaseOf(const ky::const_refPtr<ky::metamodel::classInfo>& other) const;
    /// Whether `other` is a base of this class at any depth.
    bool isDerivedFrom(const ky::const_refPtr<ky::metamodel::classInfo>& other) const;
    /// Copies each own field of `source` into this class (names prefixed with
    /// `prefix` when not null); true.
    bool copyInfosFrom(const ky::const_refPtr<ky::metamodel::classInfo>& source, const wchar_t* prefix);
    /// Copies one field into this class under `prefix` + its name and answers
    /// the field found under that name.
    ky::refPtr<ky::metamodel::fieldInfo> copyFieldInfoFrom(const ky::const_refPtr<ky::metamodel::fieldInfo>& source,
                                                           const wchar_t* prefix);

    // ---- relations ----
    /// A relation from the field `fromField` (here or, with `searchBases`, in a
    /// base class) to the class `target`; an existing one for the same field
    /// and target is answered unchanged.
    ky::refPtr<ky::metamodel::relationInfo> createRelation(const ky::string& fromField, bool searchBases,
                                                           ky::refPtr<ky::metamodel::classInfo> target,
                                                           eRelationType kind, const ky::string& name,
                                                           const ky::string& reverseName);
    /// A relation from the field `fromField` to the field `target`; an
    /// existing one for the same two fields is answered unchanged.
    ky::refPtr<ky::metamodel::relationInfo> createRelation(const ky::string& fromField, bool searchBases,
                                                           ky::refPtr<ky::metamodel::fieldInfo> target,
                                                           eRelationType kind, const ky::string& name,
                                                           const ky::string& reverseName);
    /// The relation named `name` (case-sensitive) leading out of this class or,
    /// with `searchBases`, out of a base class.
    ky::const_refPtr<ky::metamodel::relationInfo> toRelation(const ky::string& name, bool searchBases) const;
    /// The relations whose target class is this class, in creation order.
    relationInfoList::iterator fromRelations_begin();
    /// End of the relations whose target class is this class.
    relationInfoList::iterator fromRelations_end();
    /// The relations whose target class is this class, read-only.
    relationInfoList::const_iterator fromRelations_begin() const;
    /// End of the relations whose target class is this class, read-only.
    relationInfoList::const_iterator fromRelations_end() const;
    /// The relations made on this class, in creation order.
    relationInfoList::iterator toRelations_begin();
    /// End of the relations made on this class.
    relationInfoList::iterator toRelations_end();
    /// The relations made on this class, read-only.
    relationInfoList::const_iterator toRelations_begin() const;
    /// End of the relations made on this class, read-only.
    relationInfoList::const_iterator toRelations_end() const;
    /// Not supported: answers an empty pointer and changes nothing.
    ky::refPtr<ky::metamodel::relationInfo> copyRelationFrom(const ky::const_refPtr<ky::metamodel::relationInfo>& relation);

    // ---- identity ----
    /// Appends the own fields whose semantic is eSemPrimkey, in field order.
    void getIdFieldInfos(std::vector<ky::refPtr<ky::metamodel::fieldInfo>>& out) const;
    /// The class's identity, built on first request and kept until a field
    /// enters or leaves eSemPrimkey. A class without a primary-key field
    /// reports "rfields.size()>=1" and throws false.
    ky::refPtr<ky::metamodel::idInfo> idInfo() const;

    // ---- alias names ----
    /// Adds an alias name (moved to the end when already present). An empty
    /// alias reports "alias.length()" and throws false.
    void addAliasname(const ky::string& alias);
    /// Removes an alias name if present. An empty alias reports
    /// "alias.length()" and throws false.
    void removeAliasname(const ky::string& alias);
    /// Whether `name` is one of the class's alias names.
    bool hasAliasname(const ky::scString& name) const;
    /// Appends the alias names to `out` in the order they were added.
    void getAliasnames(std::vector<ky::string>& out) const;

    // ---- user properties ----
    /// Stores a user property, inheritable by derived classes or own.
    void setUserProperty(const ky::string& name, const ky::string& value, bool inheritable);
    /// Stores a counted host object as a user property, inheritable or own.
    void setUserProperty(const ky::string& name, const ky::refPtr<ky::refObj>& value, bool inheritable);
    /// Stores a copy of a generic value as a user property, inheritable or own.
    void setUserProperty(const ky::string& name, const ky::genericValue& value, bool inheritable);
    /// Fetches a user property: own, then inheritable, then (with
    /// `searchInherited`) the base classes' inheritable ones, depth first in
    /// map order. True when found; `value` is untouched otherwise.
    bool getUserProperty(const ky::string& name, ky::refPtr<ky::refObj>& value, bool searchInherited);
    /// Fetches a user property as text, searched as above; true when found.
    bool getUserProperty(const ky::string& name, ky::string& value, bool searchInherited) const;
    /// Fetches a user property as a read-only host object, searched as above; true when found.
    bool getUserProperty(const ky::string& name, ky::const_refPtr<ky::refObj>& value, bool searchInherited) const;
    /// Fetches a user property as a generic value, searched as above; true when found.
    bool getUserProperty(const ky::string& name, ky::genericValue& value, bool searchInherited) const;
    /// The own (`inheritable` false) or the inheritable user properties, as
    /// stored: a read-only listing for hosts that save or compare them. The
    /// set's keys are in handle order, not in the order they were stored.
    const ky::genericSet& userProperties(bool inheritable) const;

private:
    friend class ky::metamodel::modelInfo;
    friend class ky::metamodel::fieldInfo;
    friend class ky::metamodel::relationInfo;
    friend struct ky::metamodel::detail::classAccess;

    classInfo(const ky::string& name, bool caseSensitiveNames);
    ~classInfo() override;
    // A class and its record share one block aligned to a cache line, the
    // record right behind the object, so that a lookup reaches the record
    // at a fixed distance from the class instead of through `d`.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

    // hasAliasname, and in a class that folds names also an alias whose
    // lower-cased text is the key's (the model's lookup by alias).
    bool matchesAlias(std::wstring_view key) const;
    // The field lookup on a name given as text and length, so that callers
    // holding part of a longer text need not copy it. `visited` holds the
    // classes the walk has searched already; null starts a walk. `match`,
    // when given, learns how the field was found.
    ky::metamodel::fieldInfo* findField(const wchar_t* name, std::size_t length, bool searchBases,
                                        bool searchAliases, detail::visitedClasses* visited = nullptr,
                                        eNameMatch* match = nullptr) const;
    // Appends a new own field, keeping its name beside it for the lookup.
    void appendField(ky::refPtr<ky::metamodel::fieldInfo> field);
    // The field just created, found again by `name` among the own fields;
    // throws false when the lookup misses it.
    ky::refPtr<ky::metamodel::fieldInfo> fieldFoundAgain(const ky::string& name);
    // Cuts the owner link of the pointer fields that relations towards this
    // class made in it (they are in no field list).
    void releaseIncomingPointerFields();

    struct data;
    data* d;  // owned; allocated by the constructor, freed by the destructor
};

}  // namespace ky::metamodel
