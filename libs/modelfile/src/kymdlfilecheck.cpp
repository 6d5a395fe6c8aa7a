// The checks of a model file: its tree is read into a description, and
// every part is checked against what the core accepts, collecting every
// diagnostic in one pass. Nothing here builds a model.
#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "kymdlfiledesc.h"


namespace ky::metamodel::file::detail {

const std::array<const char*, fieldKeyCount> fieldKeys{
    "name",    "overrides", "copyFrom",  "prefix",       "type",     "customType",     "typeAttributes",
    "semantic", "items",    "semanticAttributes", "label", "unit",   "mandatory",      "unique",
    "default", "constant",  "automatic", "defaultValue", "aliases",  "userProperties", "inheritableUserProperties"};
const std::array<const char*, classKeyCount> classKeys{
    "name", "label", "abstract", "aliases", "bases", "userProperties", "inheritableUserProperties", "fields"};
const std::array<const char*, relationKeyCount> relationKeys{
    "class", "field", "kind", "target", "targetField", "pairs", "name", "reverseName"};
// "$schema" names the file's JSON schema for editors; the loader reads past it.
const std::array<const char*, rootKeyCount> rootKeys{"caseSensitiveNames", "classes", "relations", "$schema"};

namespace {

// The edit distance of two keys, for the hint of an unknown key.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

struct classFieldKey {
    std::uint32_t cls;
    ky::scString name;
    bool operator==(const classFieldKey& o) const { return cls == o.cls && name == o.name; }
};
struct classFieldHash {
    std::size_t operator()(const classFieldKey& k) const noexcept {
        return k.name.hash() * 31 + k.cls;
    }
};

// Own fields are looked up in their class's list while it is short, and in
// the hash map once a class has many (a file of few classes with very many
// fields would otherwise take quadratic time); the same for the keys of a
// value mapping and the bases of a class.
constexpr std::size_t shortList = 32;

const char* kindWords[] = {"ref", "agg", "revagg", "biagg"};
const eRelationType kinds[] = {eRef, eAgg, eRevAgg, eBiAgg};

// The semantic attributes a field's other keys write; null ends the list.
constexpr const wchar_t* semanticKeys[] = {keys::enumItems, keys::referencedClasses, keys::customSemantic, nullptr};

bool isEnumType(eFieldType t) {
    return t == eBool || t == eShort || t == eInt || t == eLong || t == eFloat || t == eDouble || t == eString;
}
bool isBitsType(eFieldType t) { return t == eShort || t == eInt || t == eLong; }

// Reads and checks one model file's tree into a description.
class checker {
public:
    checker(const tree& t, reporter& report, const loadOptions& options)
        : mTree(t), mReport(report), mOptions(options) {}

    bool run(description& desc);

private:
    const node& at(std::uint32_t index) const { return mTree.at(index); }
    std::string_view text(std::uint32_t index) const { return mTree.text(at(index)); }
    void error(std::uint32_t index, const wchar_t* code, const ky::string& message) {
        mReport.error(at(index).line, at(index).column, code, message);
    }

    template <std::size_t N>
    void readKeys(std::uint32_t mapIndex, const std::array<const char*, N>& names, std::array<std::uint32_t, N>& slots,
                  const lazyText& where);
    bool expect(std::uint32_t index, nodeKind kind, const lazyText& what);
    bool readBool(std::uint32_t index, const lazyText& what);
    bool readName(std::uint32_t index, const lazyText& what, ky::string& out);
    // The interned name under the model's rule, folded in a buffer kept for
    // the next name.
    ky::scString keyOf(const ky::string& name) const {
        if (mDesc->caseSensitive) return ky::scString::createFrom(name);
        ky::string::lowerInto(name.data(), name.size(), mFold);
        return ky::scString::createFrom(mFold.data(), mFold.size());
    }
    std::uint32_t ownField(std::uint32_t cls, ky::scString key) const;
    bool addOwnField(std::uint32_t cls, ky::scString key, std::uint32_t at);
    std::uint32_t findClass(std::uint32_t nameIndex, const wchar_t* code, const lazyText& what);
    void readTextList(std::uint32_t index, const lazyText& what, bool names);
    void readValueMap(std::uint32_t index, const lazyText& what, const wchar_t* const* reserved);

    void readRoot();
    void readClass(std::uint32_t index);
    void readField(classDesc& cls, std::uint32_t index);
    void readRelation(std::uint32_t index);

    void resolveClasses();
    void orderClasses();
    void checkFields(std::uint32_t cls);
    void checkOrdinaryField(fieldDesc& field, const lazyText& what);
    void checkSemantic(fieldDesc& field, const lazyText& what);
    bool inherited(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const;
    bool findField(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const;
    bool derivesFrom(std::uint32_t cls, std::uint32_t base) const;
    template <class Stop>
    std::uint32_t walkBases(std::uint32_t cls, const Stop& stop) const;
    void checkRelation(relationDesc& rel);

    ky::string className(std::uint32_t cls) const {
        return mDesc->classes[cls].slots[cName] == none ? ky::string(L"#") + std::to_wstring(cls + 1)
                                                         : wideText(mTree, mDesc->classes[cls].slots[cName]);
    }

    const tree& mTree;
    reporter& mReport;
    const loadOptions& mOptions;
    description* mDesc = nullptr;
    std::unordered_map<ky::scString, std::uint32_t> mClassIndex;
    // Own fields of each class (copies expanded), to where they stand.
    std::unordered_map<classFieldKey, std::uint32_t, classFieldHash> mOwnFields;
    // Text buffers reused from name to name.
    mutable std::wstring mFold;
    ky::string mName, mEntry;
    // What each type string read as, by its text in the tree.
    struct typeRead {
        bool read;
        eFieldType type;
        unsigned long length;
    };
    std::unordered_map<std::string_view, typeRead> mTypes;
    // The walks through the bases: a stamp per class marks those visited.
    mutable std::vector<std::uint32_t> mVisited;
    mutable std::uint32_t mVisitStamp = 0;
    mutable std::vector<std::uint32_t> mWalk;
};

template <std::size_t N>
void checker::readKeys(std::uint32_t mapIndex, const std::array<const char*, N>& names,
                       std::array<std::uint32_t, N>& slots, const lazyText& where) {
    slots.fill(none);
    const node& map = at(mapIndex);
    for (std::uint32_t i = 0; i + 1 < map.size; i += 2) {
        const std::uint32_t keyIndex = mTree.child(map, i).kind == nodeKind::scalar
                                           ? mTree.childIndex(map, i)
                                           : none;
        const std::uint32_t valueIndex = mTree.childIndex(map, i + 1);
        if (keyIndex == none) {
            error(mTree.childIndex(map, i), L"M010",
                  L"a key must be a text, in " + where());
            continue;
        }
        const std::string_view key = text(keyIndex);
        std::size_t found = N;
        for (std::size_t k = 0; k < N && found == N; ++k)
            if (key == names[k]) found = k;
        if (found == N) {
            std::size_t best = N, bestDistance = 4;
            for (std::size_t k = 0; k < N; ++k) {
                const std::size_t d = distance(key, names[k]);
                if (d < bestDistance) best = k, bestDistance = d;
            }
            ky::string message = L"unknown key " + quoted(key) + L" in " + where();
            if (best != N) message += L"; did you mean '" + wide(names[best]) + L"'?";
            error(keyIndex, L"M010", message);
        } else if (slots[found] != none) {
            error(keyIndex, L"M011", L"duplicate key " + quoted(key) + L" in " + where());
        } else {
            slots[found] = valueIndex;
        }
    }
}

bool checker::expect(std::uint32_t index, nodeKind kind, const lazyText& what) {
    if (at(index).kind == kind) return true;
    const wchar_t* expected = kind == nodeKind::mapping ? L"a mapping" : kind == nodeKind::sequence ? L"a list"
                                                                                                      : L"a text";
    error(index, L"M018", what() + L" must be " + expected);
    return false;
}

bool checker::readBool(std::uint32_t index, const lazyText& what) {
    if (index == none) return false;
    const std::string_view t = text(index);
    if (at(index).kind == nodeKind::scalar && at(index).plain && (t == "true" || t == "false")) return t == "true";
    error(index, L"M018", what() + L" must be true or false");
    return false;
}

bool checker::readName(std::uint32_t index, const lazyText& what, ky::string& out) {
    if (!expect(index, nodeKind::scalar, what)) return false;
    appendWide(text(index), out);
    if (out.empty()) {
        error(index, L"M019", what() + L" is empty");
        return false;
    }
    if (out.size() > mOptions.maxNameLength) {
        error(index, L"M019", what() + L" is longer than " + std::to_wstring(mOptions.maxNameLength) + L" characters");
        return false;
    }
    const std::size_t bad = out.findNonNameCharacter();
    if (bad != ky::string::npos) {
        error(index, L"M019", what() + L" " + quoted(std::wstring_view(out)) + L" holds the character " +
                                  out.codePointAt(bad) + L", which no name may hold");
        return false;
    }
    return true;
}

std::uint32_t checker::findClass(std::uint32_t nameIndex, const wchar_t* code, const lazyText& what) {
    ky::string name;
    if (!readName(nameIndex, what, name)) return none;
    const auto found = mClassIndex.find(keyOf(name));
    if (found != mClassIndex.end()) return found->second;
    error(nameIndex, code, L"unknown class " + quoted(std::wstring_view(name)) + L" named as " + what());
    return none;
}

void checker::readTextList(std::uint32_t index, const lazyText& what, bool names) {
    if (index == none || !expect(index, nodeKind::sequence, what)) return;
    const node& list = at(index);
    const auto entry = [&] { return L"an entry of " + what(); };
    for (std::uint32_t i = 0; i < list.size; ++i) {
        const std::uint32_t item = mTree.childIndex(list, i);
        if (names) readName(item, entry, mEntry);
        else expect(item, nodeKind::scalar, entry);
    }
}

void checker::readValueMap(std::uint32_t index, const lazyText& what, const wchar_t* const* reserved) {
    if (index == none || !expect(index, nodeKind::mapping, what)) return;
    const node& map = at(index);
    // Duplicates are found by scanning a short mapping and through a set in
    // a long one, so that no mapping takes quadratic time.
    std::unordered_set<std::string_view> seen;
    const bool hashed = map.size > 2 * shortList;
    for (std::uint32_t i = 0; i + 1 < map.size; i += 2) {
        const std::uint32_t keyIndex = mTree.childIndex(map, i);
        const std::uint32_t valueIndex = mTree.childIndex(map, i + 1);
        if (!readName(keyIndex, [&] { return L"a name in " + what(); }, mEntry)) continue;
        const std::string_view key = text(keyIndex);
        bool duplicate = false;
        if (hashed) {
            duplicate = !seen.insert(key).second;
        } else {
            for (std::uint32_t j = 0; j < i && !duplicate; j += 2)
                duplicate = mTree.child(map, j).kind == nodeKind::scalar && mTree.text(mTree.child(map, j)) == key;
        }
        if (duplicate) error(keyIndex, L"M011", L"duplicate key " + quoted(key) + L" in " + what());
        for (const wchar_t* const* word = reserved; word && *word; ++word)
            if (wide(key) == *word) error(keyIndex, L"M032", quoted(key) + L" is written elsewhere, not in " + what());
        ky::genericValue value;
        readTypedValue(mTree, valueIndex, [&] { return L"'" + wide(key) + L"' in " + what(); }, mReport, value);
    }
}

void checker::readRoot() {
    const std::uint32_t root = mTree.root();
    const auto model = [] { return ky::string(L"the model"); };
    if (!expect(root, nodeKind::mapping, model)) return;
    std::array<std::uint32_t, rootKeyCount> slots;
    readKeys(root, rootKeys, slots, model);
    if (slots[mCaseSensitiveNames] != none)
        mDesc->caseSensitive = readBool(slots[mCaseSensitiveNames], [] { return ky::string(L"caseSensitiveNames"); });
    if (slots[mSchema] != none) expect(slots[mSchema], nodeKind::scalar, [] { return ky::string(L"$schema"); });
    if (slots[mClasses] != none && expect(slots[mClasses], nodeKind::sequence, [] { return ky::string(L"classes"); })) {
        const node& list = at(slots[mClasses]);
        mDesc->classes.reserve(list.size);
        for (std::uint32_t i = 0; i < list.size && !mReport.full(); ++i) readClass(mTree.childIndex(list, i));
    }
    if (slots[mRelations] != none &&
        expect(slots[mRelations], nodeKind::sequence, [] { return ky::string(L"relations"); })) {
        const node& list = at(slots[mRelations]);
        mDesc->relations.reserve(list.size);
        for (std::uint32_t i = 0; i < list.size && !mReport.full(); ++i) readRelation(mTree.childIndex(list, i));
    }
}

void checker::readClass(std::uint32_t index) {
    classDesc& cls = mDesc->classes.emplace_back();
    const std::size_t number = mDesc->classes.size();
    cls.at = index;
    const auto where = [number] { return L"class #" + std::to_wstring(number); };
    if (!expect(index, nodeKind::mapping, where)) {
        cls.slots.fill(none);
        cls.valid = false;
        return;
    }
    readKeys(index, classKeys, cls.slots, where);
    ky::string name;
    if (cls.slots[cName] == none) {
        error(index, L"M017", where() + L" has no name");
        cls.valid = false;
    } else if (!readName(cls.slots[cName], [&] { return L"the name of " + where(); }, name)) {
        cls.valid = false;
    } else {
        cls.key = keyOf(name);
        const auto [it, added] = mClassIndex.emplace(cls.key, static_cast<std::uint32_t>(number - 1));
        if (!added) {
            error(cls.slots[cName], L"M020", L"duplicate class name " + quoted(std::wstring_view(name)) +
                                                 L" (first at line " +
                                                 std::to_wstring(at(mDesc->classes[it->second].at).line) + L")");
        }
    }
    const auto what = [&] { return L"class " + (name.empty() ? where() : name); };
    const auto& s = cls.slots;
    if (s[cLabel] != none) expect(s[cLabel], nodeKind::scalar, [&] { return L"the label of " + what(); });
    if (s[cAbstract] != none) readBool(s[cAbstract], [&] { return L"abstract of " + what(); });
    readTextList(s[cAliases], [&] { return L"the aliases of " + what(); }, true);
    readTextList(s[cBases], [&] { return L"the bases of " + what(); }, true);
    readValueMap(s[cUserProperties], [&] { return L"the user properties of " + what(); }, nullptr);
    readValueMap(s[cInheritableUserProperties], [&] { return L"the inheritable user properties of " + what(); },
                 nullptr);
    if (s[cFields] != none && expect(s[cFields], nodeKind::sequence, [&] { return L"the fields of " + what(); })) {
        const node& list = at(s[cFields]);
        cls.fields.reserve(list.size);
        for (std::uint32_t i = 0; i < list.size && !mReport.full(); ++i) readField(cls, mTree.childIndex(list, i));
    }
}

void checker::readField(classDesc& cls, std::uint32_t index) {
    fieldDesc& field = cls.fields.emplace_back();
    const std::size_t number = cls.fields.size();
    field.at = index;
    const auto clsName = [&] {
        return cls.slots[cName] == none ? ky::string(L"#?") : wideText(mTree, cls.slots[cName]);
    };
    const auto where = [&] { return L"field #" + std::to_wstring(number) + L" of class " + clsName(); };
    if (!expect(index, nodeKind::mapping, where)) {
        field.slots.fill(none);
        return;
    }
    readKeys(index, fieldKeys, field.slots, where);
    const auto& s = field.slots;
    if (s[fCopyFrom] != none) {
        for (std::uint32_t k = 0; k < fieldKeyCount; ++k)
            if (k != fCopyFrom && k != fPrefix && s[k] != none)
                error(s[k], L"M032", L"'" + wide(fieldKeys[k]) + L"' does not belong to a copy entry (" + where() + L")");
        if (s[fPrefix] != none) expect(s[fPrefix], nodeKind::scalar, [&] { return L"the prefix of " + where(); });
        return;
    }
    if (s[fPrefix] != none) error(s[fPrefix], L"M032", L"'prefix' belongs to a copy entry (" + where() + L")");
    if (s[fName] == none) {
        error(index, L"M017", where() + L" has no name");
        return;
    }
    ky::string& name = mName;
    if (!readName(s[fName], [&] { return L"the name of " + where(); }, name)) return;
    field.key = keyOf(name);
    const auto what = [&] { return L"field " + clsName() + L"." + wideText(mTree, s[fName]); };
    if (s[fOverrides] != none) {
        for (std::uint32_t k : {fType, fCustomType, fTypeAttributes, fSemantic, fItems, fSemanticAttributes,
                                fDefaultValue})
            if (s[k] != none)
                error(s[k], L"M032", L"'" + wide(fieldKeys[k]) + L"' does not belong to the overriding " + what() +
                                         L": it keeps its base field's");
    } else if (s[fType] == none) {
        error(index, L"M017", what() + L" has no type");
    }
    for (std::uint32_t k : {fOverrides, fType, fCustomType, fSemantic, fLabel, fUnit, fDefault, fConstant, fAutomatic,
                            fDefaultValue})
        if (s[k] != none)
            expect(s[k], nodeKind::scalar, [&] { return L"'" + wide(fieldKeys[k]) + L"' of " + what(); });
    if (s[fMandatory] != none) readBool(s[fMandatory], [&] { return L"mandatory of " + what(); });
    if (s[fUnique] != none) readBool(s[fUnique], [&] { return L"unique of " + what(); });
    readTextList(s[fAliases], [&] { return L"the aliases of " + what(); }, true);
    readTextList(s[fItems], [&] { return L"the items of " + what(); }, false);
    readValueMap(s[fTypeAttributes], [&] { return L"the type attributes of " + what(); }, nullptr);
    readValueMap(s[fSemanticAttributes], [&] { return L"the semantic attributes of " + what(); },
                 semanticKeys);
    readValueMap(s[fUserProperties], [&] { return L"the user properties of " + what(); }, nullptr);
    readValueMap(s[fInheritableUserProperties], [&] { return L"the inheritable user properties of " + what(); },
                 nullptr);
}

void checker::readRelation(std::uint32_t index) {
    relationDesc& rel = mDesc->relations.emplace_back();
    const std::size_t number = mDesc->relations.size();
    rel.at = index;
    const auto where = [number] { return L"relation #" + std::to_wstring(number); };
    if (!expect(index, nodeKind::mapping, where)) {
        rel.slots.fill(none);
        return;
    }
    readKeys(index, relationKeys, rel.slots, where);
    for (std::uint32_t k : {rClass, rField, rTarget})
        if (rel.slots[k] == none) error(index, L"M017", where() + L" has no '" + wide(relationKeys[k]) + L"'");
    for (std::uint32_t k : {rClass, rField, rTarget, rKind, rTargetField, rName, rReverseName})
        if (rel.slots[k] != none)
            expect(rel.slots[k], nodeKind::scalar, [&] { return L"'" + wide(relationKeys[k]) + L"' of " + where(); });
    if (rel.slots[rKind] != none && at(rel.slots[rKind]).kind == nodeKind::scalar) {
        const std::string_view word = text(rel.slots[rKind]);
        std::size_t k = 0;
        while (k < 4 && word != kindWords[k]) ++k;
        if (k == 4)
            error(rel.slots[rKind], L"M028", L"unknown relation kind " + quoted(word) + L" in " + where() +
                                                 L" (ref, agg, revagg or biagg)");
        else rel.kind = kinds[k];
    }
}

// ---- references between classes ----

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

void checker::checkFields(std::uint32_t clsIndex) {
    classDesc& cls = mDesc->classes[clsIndex];
    if (!cls.valid) return;
    const auto clsName = [&] { return wideText(mTree, cls.slots[cName]); };
    const auto addOwn = [&](ky::scString key, std::uint32_t nameIndex, const lazyText& what) {
        if (const std::uint32_t first = ownField(clsIndex, key); first != none) {
            error(nameIndex, L"M021", L"duplicate field name: " + what() + L" (first at line " +
                                          std::to_wstring(at(first).line) + L")");
            return false;
        }
        return addOwnField(clsIndex, key, nameIndex);
    };
    const auto notInherited = [&](ky::scString key, std::uint32_t nameIndex, const lazyText& what) {
        std::uint32_t owner = none;
        if (inherited(clsIndex, key, &owner))
            error(nameIndex, L"M024", what() + L" is already inherited from class " + className(owner) +
                                          L"; an overriding field names its base with 'overrides'");
    };
    cls.ownNames.reserve(cls.fields.size());
    cls.ownAt.reserve(cls.fields.size());
    for (fieldDesc& field : cls.fields) {
        const auto& s = field.slots;
        if (s[fCopyFrom] != none) {
            if (field.copySource == none || !mDesc->classes[field.copySource].valid) continue;
            const ky::string prefix = s[fPrefix] != none ? wideText(mTree, s[fPrefix]) : ky::string();
            // The class order puts copy sources first, so their own names are complete.
            const std::vector<ky::scString> names = mDesc->classes[field.copySource].ownNames;
            for (const ky::scString& name : names) {
                const ky::string copied = prefix + name.string();
                const auto what = [&] { return L"field " + clsName() + L"." + copied + L" (copied)"; };
                const ky::scString key = keyOf(copied);
                if (addOwn(key, s[fCopyFrom], what)) notInherited(key, s[fCopyFrom], what);
            }
            continue;
        }
        if (field.key.empty()) continue;
        const auto what = [&] { return L"field " + clsName() + L"." + wideText(mTree, s[fName]); };
        if (!addOwn(field.key, s[fName], what)) continue;
        if (s[fOverrides] == none) {
            notInherited(field.key, s[fName], what);
        } else if (field.baseClass != none) {
            if (!derivesFrom(clsIndex, field.baseClass)) {
                error(s[fOverrides], L"M025", L"the overriding " + what() + L" names class " +
                                                  className(field.baseClass) + L", which is no base of class " +
                                                  clsName());
            } else if (!findField(field.baseClass, field.key, nullptr)) {
                error(s[fOverrides], L"M025", L"the overriding " + what() + L" names class " +
                                                  className(field.baseClass) + L", which has no such field");
            }
            continue;
        }
        checkOrdinaryField(field, what);
    }
}

void checker::checkOrdinaryField(fieldDesc& field, const lazyText& what) {
    const auto& s = field.slots;
    if (s[fType] == none || at(s[fType]).kind != nodeKind::scalar) return;
    const std::string_view typeText = text(s[fType]);
    if (typeText == "custom") {
        field.type = eCustom;
        if (s[fCustomType] == none || text(s[fCustomType]).empty())
            error(s[fType], L"M012", L"the custom type of " + what() + L" needs a 'customType'");
    } else {
        // Models repeat a few type strings many times: each is read once.
        auto [known, added] = mTypes.try_emplace(typeText, typeRead{false, eString, 0});
        if (added) known->second.read = fieldInfo::parseType(wide(typeText), known->second.type, known->second.length);
        if (!known->second.read) {
            error(s[fType], L"M012", L"unknown type " + quoted(typeText) + L" for " + what());
            return;
        }
        field.type = known->second.type;
        field.length = known->second.length;
    }
    checkSemantic(field, what);
    if (s[fDefaultValue] != none && at(s[fDefaultValue]).kind == nodeKind::scalar) {
        ky::genericValue value;
        if (!fieldInfo::getDefaultFromType(field.type, value) ||
            !value.assignFromText(wideText(mTree, s[fDefaultValue])))
            error(s[fDefaultValue], L"M016", L"the default value " + quoted(text(s[fDefaultValue])) + L" of " + what() +
                                                 L" does not convert to its type");
        else field.hasDefaultValue = true;
    }
}

void checker::checkSemantic(fieldDesc& field, const lazyText& what) {
    const auto& s = field.slots;
    const bool hasItems = s[fItems] != none && at(s[fItems]).kind == nodeKind::sequence;
    if (s[fSemantic] != none && at(s[fSemantic]).kind == nodeKind::scalar) {
        const std::string_view semText = text(s[fSemantic]);
        ky::genericSet attribs;
        if (semText.empty() || !fieldInfo::parseSemantics(wide(semText), field.semantic, attribs)) {
            error(s[fSemantic], L"M013", L"unknown semantic " + quoted(semText) + L" for " + what());
            return;
        }
        const eFieldType t = field.type;
        bool fits = true;
        switch (field.semantic) {
            case eSemDate: fits = t == eTimestamp || t == eDate; break;
            case eSemTime: fits = t == eTimestamp || t == eTime; break;
            case eSemTimestamp: fits = t == eTimestamp; break;
            case eSemEnum: fits = isEnumType(t); break;
            case eSemBits: fits = isBitsType(t); break;
            case eSemCustom: {
                ky::string custom;
                attribs.getValue(ky::scString::createFrom(keys::customSemantic), custom);
                if (custom.empty()) {
                    error(s[fSemantic], L"M013", L"the custom semantic of " + what() + L" has no text");
                    return;
                }
                break;
            }
            case eSemRelation: {
                std::vector<ky::string> names;
                attribs.getValue(ky::scString::createFrom(keys::referencedClasses), names);
                for (const ky::string& name : names)
                    if (!mClassIndex.count(keyOf(name)))
                        mReport.warning(at(s[fSemantic]).line, at(s[fSemantic]).column, L"M040",
                                        L"the relation semantic of " + what() + L" names " +
                                            quoted(std::wstring_view(name)) + L", which is no class of this file");
                break;
            }
            default: break;
        }
        if (!fits) {
            error(s[fSemantic], L"M014", L"semantic " + quoted(semText) + L" does not fit the type " +
                                             quoted(text(s[fType])) + L" of " + what());
            return;
        }
        if ((field.semantic == eSemEnum || field.semantic == eSemBits) && !hasItems)
            error(s[fSemantic], L"M015", what() + L" has semantic " + quoted(semText) + L" but no 'items'");
    }
    if (!hasItems) return;
    if (field.semantic != eSemEnum && field.semantic != eSemBits) {
        error(s[fItems], L"M015", L"items of " + what() + L" need the semantic 'enum' or 'bits'");
        return;
    }
    const node& list = at(s[fItems]);
    for (std::uint32_t i = 0; i < list.size; ++i) {
        const node& item = mTree.child(list, i);
        if (item.kind != nodeKind::scalar) continue;
        enumItem parsed;
        const ky::string itemText = wide(mTree.text(item));
        const bool read = field.semantic == eSemBits ? fieldInfo::parseBitsItem(itemText, field.type, parsed)
                                                     : fieldInfo::parseEnumItem(itemText, field.type, parsed);
        if (!read)
            mReport.error(item.line, item.column, L"M015", L"item " + quoted(std::wstring_view(itemText)) + L" of " +
                                                              what() + L" does not read as 'value, name' for its type");
    }
}

void checker::checkRelation(relationDesc& rel) {
    const auto& s = rel.slots;
    if (s[rClass] == none || s[rField] == none || s[rTarget] == none) return;
    for (std::uint32_t k : {rClass, rField, rTarget, rTargetField, rName, rReverseName})
        if (s[k] != none && at(s[k]).kind != nodeKind::scalar) return;
    rel.fromClass = findClass(s[rClass], L"M026", [] { return ky::string(L"the class of a relation"); });
    rel.targetClass = findClass(s[rTarget], L"M027", [] { return ky::string(L"the target of a relation"); });
    if (rel.fromClass == none || rel.targetClass == none) return;
    for (std::uint32_t k : {rName, rReverseName}) {
        ky::string name;
        if (s[k] != none) readName(s[k], [&] { return L"the " + wide(relationKeys[k]) + L" of a relation"; }, name);
    }
    ky::string fieldName;
    if (!readName(s[rField], [] { return ky::string(L"the field of a relation"); }, fieldName)) return;
    const auto from = [&] { return className(rel.fromClass) + L"." + fieldName; };
    std::uint32_t fromOwner = none, toOwner = none;
    if (!findField(rel.fromClass, keyOf(fieldName), &fromOwner)) {
        error(s[rField], L"M026", L"unknown field " + from() + L" as the start of a relation");
        return;
    }
    if (s[rTargetField] != none) {
        const ky::string targetName = wideText(mTree, s[rTargetField]);
        if (!findField(rel.targetClass, keyOf(targetName), &toOwner)) {
            error(s[rTargetField], L"M027", L"unknown field " + className(rel.targetClass) + L"." + targetName +
                                                L" as the target of the relation from " + from());
            return;
        }
    }
    if (s[rPairs] == none ||
        !expect(s[rPairs], nodeKind::sequence, [&] { return L"the pairs of the relation from " + from(); }))
        return;
    if (toOwner == none) {
        error(s[rPairs], L"M029", L"the relation from " + from() + L" leads to a class: pairs need a 'targetField'");
        return;
    }
    const node& list = at(s[rPairs]);
    for (std::uint32_t i = 0; i < list.size; ++i) {
        const node& pair = mTree.child(list, i);
        const std::uint32_t pairIndex = mTree.childIndex(list, i);
        if (pair.kind != nodeKind::sequence || pair.size != 2 || mTree.child(pair, 0).kind != nodeKind::scalar ||
            mTree.child(pair, 1).kind != nodeKind::scalar) {
            error(pairIndex, L"M029", L"a pair of the relation from " + from() + L" is a list of two field names");
            continue;
        }
        std::uint32_t pairFrom = none, pairTo = none;
        const ky::string a = wide(mTree.text(mTree.child(pair, 0)));
        const ky::string b = wide(mTree.text(mTree.child(pair, 1)));
        if (!findField(rel.fromClass, keyOf(a), &pairFrom) || pairFrom != fromOwner)
            error(pairIndex, L"M029", L"field " + quoted(std::wstring_view(a)) + L" of a pair of the relation from " +
                                          from() + L" is no field of class " + className(fromOwner));
        if (!findField(rel.targetClass, keyOf(b), &pairTo) || pairTo != toOwner)
            error(pairIndex, L"M029", L"field " + quoted(std::wstring_view(b)) + L" of a pair of the relation from " +
                                          from() + L" is no field of class " + className(toOwner));
    }
}

bool checker::run(description& desc) {
    mDesc = &desc;
    readRoot();
    if (mReport.full()) return false;
    resolveClasses();
    orderClasses();
    if (mReport.full()) return false;
    for (std::uint32_t cls : desc.buildOrder) {
        checkFields(cls);
        if (mReport.full()) return false;
    }
    // The same relation twice would be answered by the core with the first one.
    struct relationKey {
        std::uint32_t from, target;
        ky::scString field, targetField;
        bool operator==(const relationKey& o) const {
            return from == o.from && target == o.target && field == o.field && targetField == o.targetField;
        }
    };
    struct relationHash {
        std::size_t operator()(const relationKey& k) const noexcept {
            return (k.field.hash() * 31 + k.targetField.hash()) * 31 + k.from * 7 + k.target;
        }
    };
    std::unordered_map<relationKey, std::uint32_t, relationHash> seen;
    seen.reserve(desc.relations.size());
    for (relationDesc& rel : desc.relations) {
        checkRelation(rel);
        if (rel.fromClass == none || rel.targetClass == none || mReport.full()) continue;
        const auto& s = rel.slots;
        relationKey key{rel.fromClass, rel.targetClass, keyOf(wideText(mTree, s[rField])),
                        s[rTargetField] != none ? keyOf(wideText(mTree, s[rTargetField])) : ky::scString()};
        if (const auto [it, added] = seen.emplace(key, at(rel.at).line); !added)
            error(rel.at, L"M030", L"the relation from " + className(rel.fromClass) + L"." + wideText(mTree, s[rField]) +
                                       L" to class " + className(rel.targetClass) + L" is given twice (first at line " +
                                       std::to_wstring(it->second) + L")");
    }
    return mReport.errors() == 0;
}

}  // namespace

bool checkDescription(const tree& t, reporter& report, const loadOptions& options, description& desc) {
    checker check(t, report, options);
    return check.run(desc);
}

}  // namespace ky::metamodel::file::detail
