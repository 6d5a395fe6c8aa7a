// The checked description of a model file: what the checks found out about
// each class, field and relation, kept beside the tree (whose nodes hold the
// texts) until the model is built from it. Nothing here copies the file's
// texts; values that had to be converted to check them are kept converted.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <kygeneric.h>
#include <kymetamodel.h>
#include <kyscstring.h>

#include "kymdlfiletree.h"

namespace ky::metamodel::file::detail {

constexpr std::uint32_t none = tree::none;

// The keys of a field entry, in the order the saver writes them.
enum fieldKey : std::uint32_t {
    fName, fOverrides, fCopyFrom, fPrefix, fType, fCustomType, fTypeAttributes, fSemantic, fItems,
    fSemanticAttributes, fLabel, fUnit, fMandatory, fUnique, fDefault, fConstant, fAutomatic, fDefaultValue,
    fAliases, fUserProperties, fInheritableUserProperties, fieldKeyCount
};
enum classKey : std::uint32_t {
    cName, cLabel, cAbstract, cAliases, cBases, cUserProperties, cInheritableUserProperties, cFields, classKeyCount
};
enum relationKey : std::uint32_t {
    rClass, rField, rKind, rTarget, rTargetField, rPairs, rName, rReverseName, relationKeyCount
};
enum rootKey : std::uint32_t { mCaseSensitiveNames, mClasses, mRelations, mSchema, rootKeyCount };

extern const std::array<const char*, fieldKeyCount> fieldKeys;
extern const std::array<const char*, classKeyCount> classKeys;
extern const std::array<const char*, relationKeyCount> relationKeys;
extern const std::array<const char*, rootKeyCount> rootKeys;

struct fieldDesc {
    std::array<std::uint32_t, fieldKeyCount> slots;  // node index of each key's value; none when absent
    std::uint32_t at = none;                         // the entry's mapping node
    ky::scString key;                                // the name under the model's rule
    eFieldType type = eString;
    unsigned long length = 0;
    eFieldSemantics semantic = eSemNone;
    std::uint32_t baseClass = none;                  // the class named by "overrides"
    std::uint32_t copySource = none;                 // the class named by "copyFrom"
    bool hasDefaultValue = false;
};

struct classDesc {
    std::array<std::uint32_t, classKeyCount> slots;
    std::uint32_t at = none;
    ky::scString key;
    std::vector<std::uint32_t> bases;                // class indices, in file order
    std::vector<fieldDesc> fields;
    std::vector<ky::scString> ownNames;              // keys of the own fields, copies expanded
    std::vector<std::uint32_t> ownAt;                // the node that named each
    // Kept for the build once the checks are done (the two lists above are
    // then let go of): where the name and each own field stand.
    place namePlace;
    std::vector<place> ownPlaces;
    bool valid = true;                               // name read; may be referred to
};

struct relationDesc {
    std::array<std::uint32_t, relationKeyCount> slots;
    std::uint32_t at = none;
    std::uint32_t fromClass = none;
    std::uint32_t targetClass = none;
    eRelationType kind = eRef;
    place entryPlace;                                // where `at` stands, kept for the build
};

// Everything one load found out; built into a model only without errors.
struct description {
    bool caseSensitive = false;
    std::vector<classDesc> classes;
    std::vector<relationDesc> relations;
    std::vector<std::uint32_t> buildOrder;  // classes, bases and copy sources first
};

// A message part made only when a diagnostic needs it: the checks name the
// element they check in every call, and building those names eagerly would
// cost more than the checks themselves. Refers to a callable that outlives it.
class lazyText {
public:
    template <class F>
    lazyText(const F& make) : mObject(&make), mCall([](const void* o) { return ky::string((*static_cast<const F*>(o))()); }) {}
    ky::string operator()() const { return mCall(mObject); }

private:
    const void* mObject;
    ky::string (*mCall)(const void*);
};

// The text of a scalar node as wide text.
inline ky::string wideText(const tree& t, std::uint32_t index) { return wide(t.text(t.at(index))); }

// Reads the tree into `desc` and checks it; false when an error was reported.
bool checkDescription(const tree& t, reporter& report, const loadOptions& options, description& desc);

// Builds the model from a description without errors, letting go of each
// class's fields in `desc` and of the parts of `t` before the entries still
// to come once they are built. Throws false only if the core refuses
// something the checks let through.
ky::refPtr<ky::metamodel::modelInfo> buildModel(tree& t, description& desc);

// Reads a typed value (user property or attribute): plain true/false, an
// integer, a number, a quoted text, or {type, value}. False with an error
// reported when it does not read.
bool readTypedValue(const tree& t, std::uint32_t index, const lazyText& what, reporter& report,
                    ky::genericValue& out);

// Reads an enumeration or bit item of a field of `type`: an item text
// "value, name" as the core reads it, or {value: ..., name: ...}, whose
// value text converts to the type as it stands (blanks and commas kept) and
// whose name is taken whole. False when it does not read; nothing is
// reported.
bool readItem(const tree& t, std::uint32_t index, eFieldSemantics semantic, eFieldType type, enumItem& item);

// The model checks; `subjects`, when given, receives for each finding the
// class, field or relation it concerns (by address), so that a load can
// place it at that element's entry.
std::vector<diagnostic> runModelChecks(const modelInfo& model, std::vector<const void*>* subjects);

}  // namespace ky::metamodel::file::detail
