// fieldInfo, the descriptor of one field of a class.
//
// A field is made only by its class (classInfo::createFieldInfo), by the
// field copy (classInfo::copyFieldInfoFrom) or by a relation that needs a
// pointer field; it is handed out through counted pointers and ends with its
// last reference. A field either stands by itself or stands for a field of a
// base class, its source field, and then answers most questions with the
// answers at the end of its source chain. A field and its class keep each
// other alive until the class's releaseInfo cuts the link. Nothing here locks:
// a field is changed by one thread at a time.
#pragma once

#include <string_view>

#include <cstdint>
#include <set>
#include <vector>

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include "kymdlenumitem.h"
#include "kymdlenums.h"
#include "kymdlexport.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

/// The descriptor of one field of a class, made only by its class (or a field
/// copy, or a relation that needs a pointer field) and handed out through
/// counted pointers. Nothing locks: a field is changed by one thread at a time.
class KY_METAMODEL_API fieldInfo : public ky::countedRefObj {
public:
    fieldInfo(const fieldInfo&) = delete;
    fieldInfo& operator=(const fieldInfo&) = delete;

    // ---- owner and names ----
    /// A new counted reference to the owning class; empty after releaseInfo.
    ky::refPtr<ky::metamodel::classInfo> classInfo() const;
    /// The field this field stands for; empty for an ordinary field.
    ky::const_refPtr<ky::metamodel::fieldInfo> sourceField() const;
    /// The name of the last field of the source chain.
    const ky::scString& scName() const;
    /// "class.field" with the owning class's name; the bare field name when the
    /// field has no owning class.
    ky::string qualifiedName() const;

    // ---- label, unit, marks ----
    /// The field's own display label (empty until set).
    const ky::string& label() const;
    /// Replaces the label.
    void setLabel(const ky::string& label);
    /// The field's own unit (empty until set).
    const ky::string& unit() const;
    /// Replaces the unit.
    void setUnit(const ky::string& unit);
    /// Sets (true) or clears (false) the mandatory mark.
    void setMandatory(bool mandatory);
    /// Sets (true) or clears (false) the unique mark.
    void setUnique(bool unique);
    /// Whether the field's own mandatory mark is set.
    bool isMandatory() const;
    /// Whether the field's own unique mark is set.
    bool isUnique() const;

    // ---- expressions (stored as text, never evaluated) ----
    /// The default expression; the source chain's when the own text is empty.
    ky::string defaultExpression() const;
    /// Stores the default expression (an empty text is stored too); false when
    /// the store fails.
    bool setDefaultExpression(const ky::string& expression);
    /// The constant expression; the source chain's when the field has none.
    ky::string constantExpression() const;
    /// Stores the constant expression, or removes it for an empty text.
    bool setConstantExpression(const ky::string& expression);
    /// The automatic expression; the source chain's when the own text is empty.
    ky::string autoExpression() const;
    /// Stores the automatic expression, or removes it for an empty text; true.
    bool setAutoExpression(const ky::string& expression);

    // ---- types ----
    /// Reads a type string such as "int" or "string(40)" (case, blanks and tabs
    /// do not matter). True on success, with `type` set and `length` the string
    /// length (0 when none); false leaves `type` alone and `length` 0.
    static bool parseType(const ky::string& text, eFieldType& type, unsigned long& length);
    /// The type word of `type` ("int", "string", ...); the empty key for
    /// eCustom and for numbers that are no type.
    static ky::scString typeStringFromType(eFieldType type);
    /// The key under which a relation semantic keeps the names of the classes
    /// it refers to: "referencedClasses".
    static const wchar_t* referencedClasses();
    /// The type at the end of the source chain.
    eFieldType type() const;
    /// The type word of type(); for eCustom the custom type string. Follows
    /// the source chain.
    ky::scString typeString() const;
    /// The field's own custom type string.
    ky::scString customTypeString() const;
    /// Replaces the field's own custom type string.
    void setCustomTypeString(const ky::string& text);
    /// The field's own type attributes (the host's keys; only stringLength
    /// reads one of them).
    const ky::genericSet& typeAttribs() const;
    /// The string length kept under keys::length in the type attributes of
    /// the field or, when they hold none, of the first field of its source
    /// chain that has one; 0 when none does or the length is not positive.
    unsigned long stringLength() const;

    /// A predicate over field types: holds the types it was built from.
    class KY_METAMODEL_API hasTypeFunc {
    public:
        /// Takes `first` and, when it is a type (not 0), `second`; the
        /// variable argument list is not read.
        hasTypeFunc(eFieldType first, eFieldType second, ...);
        /// Whether the field's type() is one of the held types; false for an
        /// empty pointer.
        bool operator()(const ky::const_refPtr<ky::metamodel::fieldInfo>& field) const;
        /// The held types.
        const std::set<eFieldType>& types() const { return mTypes; }

    private:
        std::set<eFieldType> mTypes;
    };

    // ---- semantics ----
    /// Reads a semantic string ("length", "primkey", "custom(text)",
    /// "relation(a, b)", ...). Always writes `semantic`; adds
    /// "custom_semantic" or "referencedClasses" to `attribs`. False only when
    /// the text matches no form (then `semantic` is eSemNone).
    static bool parseSemantics(const ky::string& text, eFieldSemantics& semantic, ky::genericSet& attribs);
    /// The semantic word of `semantic`; the empty key for eSemNone,
    /// eSemPrimkey, eSemCustom and numbers that are no semantic.
    static ky::scString semanticStringFromType(eFieldSemantics semantic);
    /// Installs a semantic with its attributes after checking it against the
    /// field's type. Never throws: a refused semantic is reported through the
    /// assertion handler and leaves the field exactly as it was.
    void setSemantic(eFieldSemantics semantic, const ky::genericSet& semProps, const ky::string& semStr);
    /// Whether a field of type `type` takes the items of `semantic`: eSemEnum
    /// takes them for bool, short, int, long, float, double and string,
    /// eSemBits for short, int and long; no other semantic takes items.
    static bool takesItems(eFieldSemantics semantic, eFieldType type);
    /// The semantic at the end of the source chain.
    eFieldSemantics semantic() const;
    /// The field's own semantic attributes.
    const ky::genericSet& semanticAttribs() const;
    /// Follows the source chain; for eSemCustom and eSemRelation the stored
    /// custom semantic string, for every other semantic its semantic word.
    ky::scString semanticString() const;

    // ---- enumeration and bit items ----
    /// Reads one item text "value, name" for a field of type `type`; false
    /// (and `item` unchanged) without a comma or when the value does not
    /// convert to the type's value class. Every piece between commas keeps its
    /// place, empty ones too: ",x" has an empty value, "1,,x" the name x.
    static bool parseEnumItem(const ky::string& text, eFieldType type, enumItem& item);
    /// Reads one bit item text "value, name" as parseEnumItem does; false (and
    /// `item` unchanged) without a comma or when the value does not convert.
    static bool parseBitsItem(const ky::string& text, eFieldType type, enumItem& item);

    // ---- values ----
    /// The default of `type` into `value` (today / now for dates and times);
    /// false and `value` untouched for types without one.
    static bool getDefaultFromType(eFieldType type, ky::genericValue& value);
    /// The stored default, as it was stored (searching the source chain only
    /// with `searchSource`); otherwise the type default. True when a value was
    /// delivered.
    bool getDefaultValue(ky::genericValue& value, bool searchSource) const;
    /// Whether the field holds a default value of the host's: one stored with
    /// setDefaultValue (or copied from such a one by a field copy), in the
    /// field or, with `searchSource`, along its source chain as getDefaultValue
    /// searches. False when getDefaultValue answers the type's default, also
    /// the one a field copy stores in place of a missing default.
    bool hasStoredDefault(bool searchSource) const;
    /// Stores a copy of `value` as the field's default; true.
    bool setDefaultValue(const ky::genericValue& value);
    /// A new null value of the field's own type (empty for ePtr and eCustom).
    ky::genericValue createNullValue() const;
    /// Whether `value` is the null value of the field's own type. Throws false
    /// when a value that must be read is empty or does not convert.
    bool isNullValue(const ky::genericValue& value) const;
    /// The equality function of the field: its own, the source chain's (with
    /// `searchSource`) or the built-in one of its type; may be null.
    valueEqFunction valueEqFunc(bool searchSource) const;
    /// Stores the field's own equality function (null allowed); true.
    bool setValueEqFunc(valueEqFunction func);
    /// The field's value condition, or the source chain's, or null. Valid while
    /// the condition stays stored.
    const ky::conditions::condition* valueCondition() const;
    /// Stores a private copy of `condition`, or removes the stored one for null.
    bool setValueCondition(const ky::conditions::condition* condition);

    // ---- alias names ----
    /// Adds an alias name (moved to the end when already present). An empty
    /// alias reports "alias.length()" and throws false.
    void addAliasname(const ky::string& alias);
    /// Removes an alias name if present. An empty alias reports
    /// "alias.length()" and throws false.
    void removeAliasname(const ky::string& alias);
    /// Whether `name` is an alias of this field or of a field of its source chain.
    bool hasAliasname(const ky::scString& name) const;
    /// Appends the alias names to `out`, continuing along the source chain
    /// while the fields have alias lists.
    void getAliasnames(std::vector<ky::string>& out) const;

    // ---- user properties ----
    /// Stores a user property, inheritable by the fields that stand for this one or own.
    void setUserProperty(const ky::string& name, const ky::string& value, bool inheritable);
    /// Stores a counted host object as a user property, inheritable or own.
    void setUserProperty(const ky::string& name, const ky::refPtr<ky::refObj>& value, bool inheritable);
    /// Stores a copy of a generic value as a user property, inheritable or own.
    void setUserProperty(const ky::string& name, const ky::genericValue& value, bool inheritable);
    /// Fetches a user property: own, then inheritable, then (with
    /// `searchInherited`) the inheritable ones along the source chain. True
    /// when found; `value` is untouched otherwise.
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
    friend class ky::metamodel::classInfo;
    friend class ky::metamodel::relationInfo;

    /// An ordinary field.
    fieldInfo(ky::refPtr<ky::metamodel::classInfo> owner, const ky::string& name, eFieldType type,
              const ky::genericSet& typeAttribs, const ky::string& customTypeString);
    /// A field that stands for `source`.
    fieldInfo(ky::refPtr<ky::metamodel::classInfo> owner, ky::refPtr<ky::metamodel::fieldInfo> source);
    ~fieldInfo() override;
    // A field and its record share one block, the record right behind the
    // object: one allocation per field instead of two.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

    /// Cuts the reference to the owning class.
    void releaseInfo();
    // hasAliasname, and with `fold` also an alias whose lower-cased text is
    // the key's (the lookup of a class that folds names).
    bool matchesAlias(std::wstring_view key, bool fold) const;
    // A new ordinary field for `owner` repeating this field's description;
    // `name` null keeps this field's name.
    ky::refPtr<ky::metamodel::fieldInfo> cloneForClass(ky::refPtr<ky::metamodel::classInfo> owner,
                                                       const wchar_t* name) const;

    struct data;
    data* d;  ///< owned; allocated by the constructors, freed by the destructor
};

}  // namespace ky::metamodel
