// fieldInfo: the record and its lifecycle, names, label, unit and marks,
// expressions, alias names, user properties and types. Values, semantics and
// the field copy live in kymdlfieldvalues.cpp, kymdlfieldsemantics.cpp and
// kymdlfieldcopy.cpp.
#include <kymdlfieldinfo.h>

#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include <kyconvert.h>

#include "kymdlannotations.h"
#include "kymdlfielddata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// Where the field's alias operations report their assertions from.
const detail::aliasSites fieldAliasSites{detail::sites::fieldAliasAdded, detail::sites::fieldAliasRemoved,
                                        detail::sites::fieldAliasListMade};

// The type words of every type but eCustom, in table order.
struct typeWord {
    const wchar_t* word;
    eFieldType type;
};
constexpr std::array<typeWord, 15> typeWords{{
    {L"bool", eBool},
    {L"short", eShort},
    {L"int", eInt},
    {L"long", eLong},
    {L"float", eFloat},
    {L"double", eDouble},
    {L"string", eString},
    {L"date", eDate},
    {L"time", eTime},
    {L"timestamp", eTimestamp},
    {L"binary", eBinary},
    {L"directory", eDirectory},
    {L"file", eFile},
    {L"searchpath", eSearchPath},
    {L"ptr", ePtr},
}};

// The interned type words, made once; typeStringFromType sits on the paths
// that print or copy fields.
const std::array<ky::scString, typeWords.size()>& internedTypeWords() {
    static const auto words = [] {
        std::array<ky::scString, typeWords.size()> interned;
        for (std::size_t i = 0; i < typeWords.size(); ++i) interned[i] = ky::scString::createFrom(typeWords[i].word);
        return interned;
    }();
    return words;
}

// The length inside "string(...)" of a lower-cased, blank-free type text
// whose "(" stands right after "string"; 0 when it is missing, empty, not a
// number or 0. The number is read as 32 bits wide, the width the length has
// on every platform.
unsigned long lengthInParentheses(const ky::string& text) {
    const auto close = text.find(L')');
    if (close == ky::string::npos || close == 7) return 0;
    unsigned int length = 0;
    if (!ky::dtconvert(text.substr(7, close - 7), length)) return 0;
    return length;
}

// The fields' user property search: the own set, the own inheritable set
// when the table says so, then with `searchInherited` the inheritable sets
// along the source chain.
template <class Record, class T>
bool searchUserProperty(const Record& record, const ky::string& name, T& value, bool searchInherited) {
    ky::scString key;
    // A name never interned cannot be a key of any set; looking it up must
    // not grow the intern table.
    if (!ky::scString::find(name.data(), name.size(), key)) return false;
    if (detail::fetchOwnUserProperty(record.userProps, key, value, searchInherited,
                                     detail::inheritableWithoutSearch<T>::forField))
        return true;
    if (!searchInherited) return false;
    for (const Record* r = record.sourceRecord(); r; r = r->sourceRecord())
        if (detail::fetchUserProperty(r->userProps.inheritable, key, value)) return true;
    return false;
}

// The text stored under `key`; empty when missing or not readable as text.
ky::string storedText(const ky::genericSet& set, const ky::scString& key) {
    ky::string text;
    set.getValue(key, text);
    return text;
}

}  // namespace

// ---- life -------------------------------------------------------------------

namespace {

// Where a field's record starts in the block the field was made in.
constexpr std::size_t recordOffset() noexcept {
    constexpr std::size_t align = alignof(std::max_align_t);
    return (sizeof(fieldInfo) + align - 1) / align * align;
}

}  // namespace

void* fieldInfo::operator new(std::size_t size) {
    static_assert(alignof(data) <= alignof(std::max_align_t));
    return ::operator new(size - sizeof(fieldInfo) + recordOffset() + sizeof(data));
}

void fieldInfo::operator delete(void* block) noexcept { ::operator delete(block); }

fieldInfo::fieldInfo(ky::refPtr<ky::metamodel::classInfo> owner, const ky::string& name, eFieldType type,
                     const ky::genericSet& typeAttribs, const ky::string& customTypeString)
    : d(new (reinterpret_cast<char*>(this) + recordOffset()) data) {
    try {
        d->owner = std::move(owner);
        d->name = ky::scString::createFrom(name);
        d->type = type;
        d->customTypeString = ky::scString::createFrom(customTypeString);
        d->typeAttribs = typeAttribs;
    } catch (...) {
        d->~data();
        throw;
    }
    detail::writeLog(detail::sites::fieldCreated, d->label.c_str());
}

fieldInfo::fieldInfo(ky::refPtr<ky::metamodel::classInfo> owner, ky::refPtr<ky::metamodel::fieldInfo> source)
    : d(nullptr) {
    // Read before the record is made: an empty source fails here, and the
    // block goes back with the failed construction.
    const eFieldType resolved = source->type();
    d = new (reinterpret_cast<char*>(this) + recordOffset()) data;
    d->owner = std::move(owner);
    d->source = std::move(source);
    d->type = resolved;
    detail::writeLog(detail::sites::referringFieldCreated, d->label.c_str());
}

fieldInfo::~fieldInfo() {
    detail::writeLog(detail::sites::fieldReleased, d->label.c_str());
    // The record's members go in reverse order: the source field before the
    // owning class.
    d->~data();
}

void fieldInfo::releaseInfo() {
    detail::writeLog(detail::sites::fieldEmptied, d->label.c_str());
    // The member is emptied before the class is released, so a class whose
    // end comes with this release finds this field already cut from it.
    ky::refPtr<ky::metamodel::classInfo> owner = std::move(d->owner);
}

// ---- owner and names ----------------------------------------------------------

ky::refPtr<ky::metamodel::classInfo> fieldInfo::classInfo() const { return d->owner; }

ky::const_refPtr<ky::metamodel::fieldInfo> fieldInfo::sourceField() const { return d->source; }

const ky::scString& fieldInfo::scName() const { return d->chainEnd().name; }

ky::string fieldInfo::qualifiedName() const {
    if (!d->owner) return scName().string();
    ky::string qualified = d->owner->scName().string();
    qualified += L'.';
    qualified += scName().string();
    return qualified;
}

// ---- label, unit, marks ----------------------------------------------------------

const ky::string& fieldInfo::label() const { return d->label; }

void fieldInfo::setLabel(const ky::string& label) {
    if (&label != &d->label) d->label = label;
}

const ky::string& fieldInfo::unit() const { return d->unit; }

void fieldInfo::setUnit(const ky::string& unit) {
    if (&unit != &d->unit) d->unit = unit;
}

void fieldInfo::setMandatory(bool mandatory) { d->flags = mandatory ? d->flags | 1 : d->flags & ~1; }

void fieldInfo::setUnique(bool unique) { d->flags = unique ? d->flags | 2 : d->flags & ~2; }

bool fieldInfo::isMandatory() const { return (d->flags & 1) != 0; }

bool fieldInfo::isUnique() const { return (d->flags & 2) != 0; }

// ---- expressions ----------------------------------------------------------------

ky::string fieldInfo::defaultExpression() const {
    ky::string text = storedText(d->internal, detail::key().defaultExpression);
    if (text.empty() && d->source) return d->source->defaultExpression();
    return text;
}

bool fieldInfo::setDefaultExpression(const ky::string& expression) {
    return d->internal.setValue(detail::key().defaultExpression, expression, false);
}

ky::string fieldInfo::constantExpression() const {
    if (d->flags & 8) {
        ky::string text = storedText(d->internal, detail::key().constantExpression);
        if (!text.empty()) return text;
    }
    if (d->source) return d->source->constantExpression();
    return ky::string();
}

bool fieldInfo::setConstantExpression(const ky::string& expression) {
    if (expression.empty()) {
        d->internal.erase(detail::key().constantExpression);
        d->flags &= ~8;
        return true;
    }
    d->flags |= 8;
    return d->internal.setValue(detail::key().constantExpression, expression, false);
}

ky::string fieldInfo::autoExpression() const {
    ky::string text = storedText(d->internal, detail::key().autoExpression);
    if (text.empty() && d->source) return d->source->autoExpression();
    return text;
}

bool fieldInfo::setAutoExpression(const ky::string& expression) {
    if (expression.empty()) {
        d->flags &= ~4;
        d->internal.erase(detail::key().autoExpression);
        return true;
    }
    d->flags |= 4;
    d->internal.setValue(detail::key().autoExpression, expression, false);
    return true;
}

// ---- alias names ------------------------------------------------------------------

void fieldInfo::addAliasname(const ky::string& alias) { detail::addAlias(d->internal, alias, fieldAliasSites); }

void fieldInfo::removeAliasname(const ky::string& alias) {
    detail::removeAlias(d->internal, alias, fieldAliasSites);
}

bool fieldInfo::hasAliasname(const ky::scString& name) const {
    return matchesAlias(std::wstring_view(name.c_str(), name.length()), false);
}

bool fieldInfo::matchesAlias(std::wstring_view key, bool fold) const {
    // A field without a list of its own is passed over: the search goes on to
    // its source field.
    for (const data* r = d; r; r = r->sourceRecord()) {
        const detail::aliasList* list = detail::aliasesOf(r->internal);
        if (list && detail::listMatchesAlias(*list, key, fold)) return true;
    }
    return false;
}

void fieldInfo::getAliasnames(std::vector<ky::string>& out) const {
    // Unlike hasAliasname, the walk ends at the first field without a list.
    for (const data* r = d; r; r = r->sourceRecord()) {
        const detail::aliasList* list = detail::aliasesOf(r->internal);
        if (!list) return;
        detail::appendAliases(*list, out);
    }
}

// ---- user properties ------------------------------------------------------------------

void fieldInfo::setUserProperty(const ky::string& name, const ky::string& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, ky::genericValue::create(value), inheritable);
}

void fieldInfo::setUserProperty(const ky::string& name, const ky::refPtr<ky::refObj>& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, ky::genericValue::create(value), inheritable);
}

void fieldInfo::setUserProperty(const ky::string& name, const ky::genericValue& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, value, inheritable);
}

bool fieldInfo::getUserProperty(const ky::string& name, ky::refPtr<ky::refObj>& value, bool searchInherited) {
    return searchUserProperty(*d, name, value, searchInherited);
}

bool fieldInfo::getUserProperty(const ky::string& name, ky::string& value, bool searchInherited) const {
    return searchUserProperty(*d, name, value, searchInherited);
}

bool fieldInfo::getUserProperty(const ky::string& name, ky::const_refPtr<ky::refObj>& value,
                                bool searchInherited) const {
    return searchUserProperty(*d, name, value, searchInherited);
}

bool fieldInfo::getUserProperty(const ky::string& name, ky::genericValue& value, bool searchInherited) const {
    return searchUserProperty(*d, name, value, searchInherited);
}

const ky::genericSet& fieldInfo::userProperties(bool inheritable) const {
    return inheritable ? d->userProps.inheritable : d->userProps.own;
}

// ---- types ------------------------------------------------------------------------

bool fieldInfo::parseType(const ky::string& text, eFieldType& type, unsigned long& length) {
    length = 0;
    ky::string word = text.lower();
    word.deleteAll(L" \t");
    if (word.starts_with(L"string")) {
        // Only a "(" right after "string" opens a length; anything else
        // after the word is ignored.
        if (word.find(L'(') != 6) {
            type = eString;
            return true;
        }
        const unsigned long parsed = lengthInParentheses(word);
        if (parsed == 0) return false;
        type = eString;
        length = parsed;
        return true;
    }
    for (const typeWord& candidate : typeWords) {
        if (candidate.type != eString && word == candidate.word) {
            type = candidate.type;
            return true;
        }
    }
    return false;
}

ky::scString fieldInfo::typeStringFromType(eFieldType type) {
    for (std::size_t i = 0; i < typeWords.size(); ++i)
        if (typeWords[i].type == type) return internedTypeWords()[i];
    return ky::scString();
}

const wchar_t* fieldInfo::referencedClasses() { return keys::referencedClasses; }

eFieldType fieldInfo::type() const { return d->chainEnd().type; }

ky::scString fieldInfo::typeString() const {
    if (d->source) return d->source->typeString();
    if (d->type == eCustom) return d->customTypeString;
    return typeStringFromType(d->type);
}

ky::scString fieldInfo::customTypeString() const { return d->customTypeString; }

void fieldInfo::setCustomTypeString(const ky::string& text) { d->customTypeString = ky::scString::createFrom(text); }

const ky::genericSet& fieldInfo::typeAttribs() const { return d->typeAttribs; }

unsigned long fieldInfo::stringLength() const {
    for (const data* record = d; record; record = record->sourceRecord()) {
        int length = 0;
        if (record->typeAttribs.getValue(detail::key().length, length))
            return length > 0 ? static_cast<unsigned long>(length) : 0;
    }
    return 0;
}

fieldInfo::hasTypeFunc::hasTypeFunc(eFieldType first, eFieldType second, ...) {
    mTypes.insert(first);
    if (second != 0) mTypes.insert(second);
}

bool fieldInfo::hasTypeFunc::operator()(const ky::const_refPtr<ky::metamodel::fieldInfo>& field) const {
    return field && mTypes.count(field.get()->type()) != 0;
}

}  // namespace ky::metamodel
