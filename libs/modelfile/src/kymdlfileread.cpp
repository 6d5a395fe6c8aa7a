// Reading a model file's tree into a description: every entry's keys are
// matched against the keys it may hold (an unknown one gets the nearest
// known key as a hint), and each value is checked for its shape and, where
// it is a name, for the characters a name may hold. Class names are
// indexed as they are read, so that the later passes find classes by name;
// nothing here needs another entry than the one being read.
#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "kymdlfilechecker.h"

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

// The semantic attributes a field's other keys write; null ends the list.
constexpr const wchar_t* semanticKeys[] = {keys::enumItems, keys::referencedClasses, keys::customSemantic, nullptr};

const char* kindWords[] = {"ref", "agg", "revagg", "biagg"};
const eRelationType kinds[] = {eRef, eAgg, eRevAgg, eBiAgg};

}  // namespace

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
            std::vector<ky::string> known;
            for (const char* name : names) known.push_back(wide(name));
            error(keyIndex, L"M010", L"unknown key " + quoted(key) + L" in " + where(),
                  suggestion(std::wstring_view(wide(key)), known, mSuggestionBudget));
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
    error(nameIndex, code, L"unknown class " + quoted(std::wstring_view(name)) + L" named as " + what(),
          classSuggestion(name));
    return none;
}

ky::string checker::classSuggestion(const ky::string& name) {
    if (mSuggestionBudget == 0) return {};
    if (mClassNames.empty()) {
        for (std::uint32_t c = 0; c < mDesc->classes.size(); ++c)
            if (mDesc->classes[c].valid && mDesc->classes[c].slots[cName] != none)
                mClassNames.push_back(className(c));
    }
    return suggestion(std::wstring_view(name), mClassNames, mSuggestionBudget);
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

void checker::readItemList(std::uint32_t index, const lazyText& what) {
    if (index == none || !expect(index, nodeKind::sequence, what)) return;
    const node& list = at(index);
    for (std::uint32_t i = 0; i < list.size; ++i) {
        const std::uint32_t item = mTree.childIndex(list, i);
        if (at(item).kind == nodeKind::sequence)
            error(item, L"M018", L"an entry of " + what() + L" must be a text or {value: ..., name: ...}");
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
                                                 std::to_wstring(placeOf(mDesc->classes[it->second].at).line) + L")");
            relate(mDesc->classes[it->second].slots[cName], L"first named here");
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
    readItemList(s[fItems], [&] { return L"the items of " + what(); });
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

}  // namespace ky::metamodel::file::detail
