// classInfo: the record, its life, names and label, the field list with its
// two creators and the field lookup, alias names, user properties and the
// cached identity. Inheritance lives in kymdlclassinheritance.cpp, relations
// in kymdlclassrelations.cpp.
#include <kymdlclassinfo.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "kymdlclassdata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// Process-wide; recorded for the host, read by nothing in the library. Atomic,
// since one thread may record it while another reads it.
std::atomic<bool> gIsClosing{false};

const detail::aliasSites classAliasSites{detail::sites::classAliasAdded, detail::sites::classAliasRemoved,
                                        detail::sites::classAliasListMade};

// The folded form of [name, name + length), in a buffer kept per thread so
// that folding allocates only when the buffer has to grow.
const std::wstring& folded(const wchar_t* name, std::size_t length) {
    thread_local std::wstring buffer;
    ky::string::lowerInto(name, length, buffer);
    return buffer;
}


// Step 3 of the class's user property search: the inheritable properties of
// each base, then of its own bases, depth first in map order.
// A base that several paths reach is searched once.
template <class T>
bool inheritedUserProperty(const classInfoMap& bases, ky::scString key, T& value,
                           detail::visitedClasses& visited) {
    for (const auto& entry : bases) {
        if (!visited.firstVisit(entry.second.get())) continue;
        const auto& base = detail::classAccess::of(*entry.second);
        if (detail::fetchUserProperty(base.userProps.inheritable, key, value)) return true;
        if (inheritedUserProperty(base.bases, key, value, visited)) return true;
    }
    return false;
}

// The whole user property search of a class for one value kind.
template <class Record, class T>
bool classUserProperty(const Record& rec, const ky::string& name, T& value, bool searchInherited) {
    ky::scString key;
    // A name never interned cannot be a key of any set.
    if (!ky::scString::find(name.data(), name.size(), key)) return false;
    constexpr bool inheritableAnyway = detail::inheritableWithoutSearch<T>::forClass;
    if (detail::fetchOwnUserProperty(rec.userProps, key, value, searchInherited, inheritableAnyway)) return true;
    if (!searchInherited) return false;
    detail::visitedClasses visited;
    return inheritedUserProperty(rec.bases, key, value, visited);
}

// Whether every field of `identity` still has the primary-key semantic.
bool allInPrimaryKey(const ky::metamodel::idInfo& identity) {
    const auto& ids = identity.fieldInfos();
    return std::all_of(ids.begin(), ids.end(), [](const auto& id) { return id->semantic() == eSemPrimkey; });
}

}  // namespace

namespace detail {

std::wstring_view foldedName::foldLong(const wchar_t* name, std::size_t length) {
    const std::wstring& text = folded(name, length);
    return std::wstring_view(text.data(), text.size());
}

}  // namespace detail

// ---- creation and life ----

void* classInfo::operator new(std::size_t size) {
    return ::operator new(size + detail::classAccess::recordOffset - sizeof(classInfo) + sizeof(data),
                          std::align_val_t{detail::classAccess::blockAlignment});
}

void classInfo::operator delete(void* block) noexcept {
    ::operator delete(block, std::align_val_t{detail::classAccess::blockAlignment});
}

classInfo::classInfo(const ky::string& name, bool caseSensitiveNames)
    : d(new (reinterpret_cast<char*>(this) + detail::classAccess::recordOffset) data) {
    try {
        d->name = ky::scString::createFrom(caseSensitiveNames ? name : name.lower());
        d->caseSensitive = caseSensitiveNames;
        detail::writeLog(detail::sites::classCreated, name.c_str());
        d->internal.setValue(detail::key().caseSensitiveNames, caseSensitiveNames, false);
    } catch (...) {
        d->~data();
        throw;
    }
}

classInfo::~classInfo() {
    detail::writeLog(detail::sites::classReleased, d->label.c_str());
    releaseInfo();
    d->~data();
}

ky::refPtr<classInfo> classInfo::createClassInfo(const ky::string& name) {
    return ky::refPtr<classInfo>(new classInfo(name, false));
}

void classInfo::releaseInfo() {
    detail::writeLog(detail::sites::classEmptied, d->label.c_str());
    { auto dropped = std::move(d->identity); }
    // Each container is swapped out before it is emptied: releasing one
    // entry may end other descriptors, and none may find it half cleared.
    d->fieldNames.clear();
    d->fieldHashes.clear();
    d->fieldSlots.clear();
    fieldInfoList fields;
    fields.swap(d->fields);
    for (const auto& entry : fields) {
        if (ky::refPtr<ky::metamodel::fieldInfo> field = entry) field->releaseInfo();
    }
    releaseIncomingPointerFields();
    fields.clear();
    { classInfoMap bases; bases.swap(d->bases); }
    { classInfoMap derived; derived.swap(d->derived); }
}

// The "PTR" field of a relation towards this class belongs to this class but
// sits in no field list, so the field walk of releaseInfo never reaches it;
// without this its link back to the class would keep both alive for good.
void classInfo::releaseIncomingPointerFields() {
    for (const auto& relation : d->fromRelations) {
        if (!relation) continue;
        for (const auto& pair : relation->fieldRelations()) {
            const ky::refPtr<ky::metamodel::fieldInfo> field = pair.second;
            if (field && field->type() == ePtr && field->classInfo().get() == this) field->releaseInfo();
        }
    }
}

void classInfo::setIsClosing(bool closing) { gIsClosing = closing; }

bool classInfo::isClosing() { return gIsClosing; }

// ---- name, label, marks ----

const ky::scString& classInfo::scName() const { return d->name; }

bool classInfo::caseSensitiveNames() const { return d->caseSensitive; }

const ky::string& classInfo::label() const { return d->label; }

void classInfo::setLabel(const ky::string& label) {
    if (&label != &d->label) d->label = label;
}

void classInfo::setAbstract(bool isAbstract) {
    if (isAbstract) {
        d->flags |= 1;
    } else {
        d->flags &= ~1;
    }
}

bool classInfo::isAbstract() const { return (d->flags & 1) != 0; }

// ---- fields ----

std::uint64_t classInfo::countFields() const { return d->fields.size(); }

fieldInfoList::iterator classInfo::fields_begin() { return d->fields.begin(); }
fieldInfoList::iterator classInfo::fields_end() { return d->fields.end(); }
fieldInfoList::const_iterator classInfo::fields_begin() const { return d->fields.begin(); }
fieldInfoList::const_iterator classInfo::fields_end() const { return d->fields.end(); }

ky::metamodel::fieldInfo* classInfo::findField(const wchar_t* name, std::size_t length, bool searchBases,
                                               bool searchAliases, detail::visitedClasses* visited,
                                               eNameMatch* match) const {
    eNameMatch unused = eNoMatch;
    eNameMatch& how = match ? *match : unused;
    how = eNoMatch;
    const data& own = detail::classAccess::of(*this);
    // A short ASCII name is folded and hashed in registers and checked
    // against each candidate as it folds; any other is folded first.
    detail::indexKey key;
    const bool shortAscii = detail::shortAsciiKey(name, length, !own.caseSensitive, key);
    std::size_t i = data::noField;
    if (shortAscii) {
        i = own.findOwnField(static_cast<std::uint32_t>(key.hash), [&](const ky::string& stored) {
            return stored.size() == length && detail::sameFolded(name, stored.data(), length, !own.caseSensitive);
        });
    }
    if (i != data::noField) {
        how = eOwnName;
        return own.fields[i].get();
    }
    const detail::foldedName text(name, length, own.caseSensitive);
    if (!shortAscii) {
        i = own.findOwnField(detail::fieldNameHash(text.view()), [&](const ky::string& stored) {
            return stored.size() == text.size() && ky::detail::sameChars(stored.data(), text.data(), text.size());
        });
    }
    if (i != data::noField) {
        how = eOwnName;
        return own.fields[i].get();
    }
    // An alias written with capitals still matches a folded name that was
    // never interned; as written, an alias is found only by a name that was.
    ky::scString interned;
    if (searchAliases && (!d->caseSensitive || ky::scString::find(name, length, interned))) {
        for (const auto& field : d->fields) {
            if (!field->matchesAlias(text.view(), !d->caseSensitive)) continue;
            how = eOwnAlias;
            return field.get();
        }
    }
    if (!searchBases || d->bases.empty()) return nullptr;
    // A base that several paths reach answers the same each time, so the
    // walk asks it once: the first match stays the same, and the cost stays
    // linear in the classes and links of the graph.
    detail::visitedClasses started;
    if (!visited) visited = &started;
    for (const auto& entry : d->bases) {
        // A base the model is replacing is letting go of its fields.
        if (entry.second->d->retiring.load() || !visited->firstVisit(entry.second.get())) continue;
        if (auto* field = entry.second->findField(name, length, true, searchAliases, visited, &how)) {
            // What is the base's own is a base field seen from here.
            if (how == eOwnName) how = eBaseName;
            if (how == eOwnAlias) how = eBaseAlias;
            return field;
        }
    }
    return nullptr;
}

ky::refPtr<ky::metamodel::fieldInfo> classInfo::fieldInfo(const ky::string& name, bool searchBases,
                                                          bool searchAliases) {
    return ky::refPtr<ky::metamodel::fieldInfo>(findField(name.data(), name.size(), searchBases, searchAliases));
}

ky::const_refPtr<ky::metamodel::fieldInfo> classInfo::fieldInfo(const ky::string& name, bool searchBases,
                                                                bool searchAliases) const {
    return ky::const_refPtr<ky::metamodel::fieldInfo>(
        findField(name.data(), name.size(), searchBases, searchAliases));
}

ky::const_refPtr<ky::metamodel::fieldInfo> classInfo::fieldInfo(const ky::string& name, bool searchBases,
                                                                bool searchAliases, eNameMatch& match) const {
    return ky::const_refPtr<ky::metamodel::fieldInfo>(
        findField(name.data(), name.size(), searchBases, searchAliases, nullptr, &match));
}

ky::refPtr<ky::metamodel::fieldInfo> classInfo::createFieldInfo(const ky::string& name, eFieldType type,
                                                                const ky::genericSet& typeAttribs,
                                                                const ky::string& customTypeString) {
    if (auto existing = fieldInfo(name, true, false)) return existing;
    const ky::string folded = d->caseSensitive ? name : name.lower();
    appendField(ky::refPtr<ky::metamodel::fieldInfo>(new ky::metamodel::fieldInfo(
        ky::refPtr<classInfo>(this), folded, type, typeAttribs, customTypeString)));
    return fieldFoundAgain(name);
}

ky::refPtr<ky::metamodel::fieldInfo> classInfo::createFieldInfo(ky::refPtr<classInfo>& baseClass,
                                                                const ky::string& name) {
    if (!isDerivedFrom(ky::const_refPtr<classInfo>(baseClass))) throw false;
    ky::refPtr<ky::metamodel::fieldInfo> overridden = baseClass->fieldInfo(name, true, false);
    if (!overridden) throw false;
    // The override is known by the overridden field's name. A name this
    // class's rule cannot produce (capitals of a case-sensitive base, in a
    // class that folds names) would never be found again, so the override is
    // refused before anything changes rather than left behind unreachable.
    ky::scString key;
    if (!detail::findKey(name.data(), name.size(), d->caseSensitive, key) || key != overridden->scName()) {
        throw false;
    }
    appendField(ky::refPtr<ky::metamodel::fieldInfo>(
        new ky::metamodel::fieldInfo(ky::refPtr<classInfo>(this), overridden)));
    return fieldFoundAgain(name);
}

void classInfo::appendField(ky::refPtr<ky::metamodel::fieldInfo> field) {
    // Room for the name first, so that both lists grow together or not at
    // all; doubled, since a reserve of one more each time would copy the
    // whole list on every append.
    if (d->fieldNames.size() == d->fieldNames.capacity()) {
        const std::size_t room = std::max<std::size_t>(8, 2 * d->fieldNames.capacity());
        d->fieldNames.reserve(room);
        d->fieldHashes.reserve(room);
    }
    const ky::scString name = field->scName();
    d->fields.push_back(std::move(field));
    d->fieldHashes.push_back(detail::fieldNameHash(name.string()));
    d->fieldNames.push_back(name);
    d->indexLastField();
}

ky::refPtr<ky::metamodel::fieldInfo> classInfo::fieldFoundAgain(const ky::string& name) {
    // Own fields only: the field was just appended, so an own field of that
    // name always comes first. When none answers, the field carries a name
    // this class's rule cannot produce (an override of a case-sensitive
    // base's field with capitals in a class that folds names); a search of
    // the bases would hand back the base's field instead of refusing.
    ky::refPtr<ky::metamodel::fieldInfo> field = fieldInfo(name, false, false);
    if (!field) throw false;
    return field;
}

void classInfo::onSemanticChanged(ky::refPtr<ky::metamodel::fieldInfo> field) {
    if (field->semantic() == eSemPrimkey) d->identity.reset();
}

// ---- identity ----

void classInfo::getIdFieldInfos(std::vector<ky::refPtr<ky::metamodel::fieldInfo>>& out) const {
    for (const auto& field : d->fields) {
        if (field->semantic() == eSemPrimkey) out.push_back(field);
    }
}

ky::refPtr<ky::metamodel::idInfo> classInfo::idInfo() const {
    // A field that left the primary key must not stay in the identity. The
    // class of that field hears of the change, but not the classes whose
    // overriding fields stand for it, so the cache is checked here.
    if (d->identity && !allInPrimaryKey(*d->identity)) d->identity.reset();
    if (!d->identity) {
        std::vector<ky::refPtr<ky::metamodel::fieldInfo>> ids;
        getIdFieldInfos(ids);
        // A refused construction throws before the cache is touched.
        d->identity = ky::refPtr<ky::metamodel::idInfo>(new ky::metamodel::idInfo(ids));
    }
    return d->identity;
}

// ---- alias names ----

void classInfo::addAliasname(const ky::string& alias) { detail::addAlias(d->internal, alias, classAliasSites); }

void classInfo::removeAliasname(const ky::string& alias) {
    detail::removeAlias(d->internal, alias, classAliasSites);
}

bool classInfo::hasAliasname(const ky::scString& name) const {
    const detail::aliasList* list = detail::aliasesOf(d->internal);
    return list && detail::listHasAlias(*list, name);
}

bool classInfo::matchesAlias(std::wstring_view key) const {
    const detail::aliasList* list = detail::aliasesOf(d->internal);
    return list && detail::listMatchesAlias(*list, key, !d->caseSensitive);
}

void classInfo::getAliasnames(std::vector<ky::string>& out) const {
    if (const detail::aliasList* list = detail::aliasesOf(d->internal)) detail::appendAliases(*list, out);
}

// ---- user properties ----

void classInfo::setUserProperty(const ky::string& name, const ky::string& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, ky::genericValue::create(value), inheritable);
}

void classInfo::setUserProperty(const ky::string& name, const ky::refPtr<ky::refObj>& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, ky::genericValue::create(value), inheritable);
}

void classInfo::setUserProperty(const ky::string& name, const ky::genericValue& value, bool inheritable) {
    detail::storeUserProperty(d->userProps, name, value, inheritable);
}

bool classInfo::getUserProperty(const ky::string& name, ky::refPtr<ky::refObj>& value, bool searchInherited) {
    return classUserProperty(*d, name, value, searchInherited);
}

bool classInfo::getUserProperty(const ky::string& name, ky::string& value, bool searchInherited) const {
    return classUserProperty(*d, name, value, searchInherited);
}

bool classInfo::getUserProperty(const ky::string& name, ky::const_refPtr<ky::refObj>& value,
                                bool searchInherited) const {
    return classUserProperty(*d, name, value, searchInherited);
}

bool classInfo::getUserProperty(const ky::string& name, ky::genericValue& value, bool searchInherited) const {
    return classUserProperty(*d, name, value, searchInherited);
}

const ky::genericSet& classInfo::userProperties(bool inheritable) const {
    return inheritable ? d->userProps.inheritable : d->userProps.own;
}

}  // namespace ky::metamodel
