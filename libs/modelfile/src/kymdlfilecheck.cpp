// The checks of a model file that need every class's names: duplicate and
// inherited fields, overriding fields against their bases, types,
// semantics, enumeration items, default values and relations. They run
// over the description in the classes' build order, so that a copy's
// source has its own fields listed before the copy expands them; nothing
// here builds a model.
#include <unordered_map>

#include "kymdlfilechecker.h"

namespace ky::metamodel::file::detail {

namespace {

// The type words a type string may begin with, for the hint of an unknown type.
std::vector<ky::string> typeWords() {
    std::vector<ky::string> words;
    for (eFieldType type : {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime, eTimestamp, eBinary,
                            eDirectory, eFile, eSearchPath})
        words.push_back(fieldInfo::typeStringFromType(type).string());
    words.push_back(L"custom");
    return words;
}

}  // namespace

void checker::checkFields(std::uint32_t clsIndex) {
    classDesc& cls = mDesc->classes[clsIndex];
    if (!cls.valid) return;
    const auto clsName = [&] { return wideText(mTree, cls.slots[cName]); };
    const auto addOwn = [&](ky::scString key, std::uint32_t nameIndex, const lazyText& what) {
        if (const std::uint32_t first = ownField(clsIndex, key); first != none) {
            error(nameIndex, L"M021", L"duplicate field name: " + what() + L" (first at line " +
                                          std::to_wstring(placeOf(first).line) + L")");
            relate(first, L"first named here");
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
                error(s[fOverrides], L"M025",
                      L"the overriding " + what() + L" names class " + className(field.baseClass) +
                          L", which has no such field",
                      fieldSuggestion(field.baseClass, wideText(mTree, s[fName])));
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
        if (s[fCustomType] == none)
            error(s[fType], L"M012", L"the custom type of " + what() + L" needs a 'customType'");
    } else {
        // Models repeat a few type strings many times: each is read once.
        auto [known, added] = mTypes.try_emplace(typeText, typeRead{false, eString, 0});
        if (added) known->second.read = fieldInfo::parseType(wide(typeText), known->second.type, known->second.length);
        if (!known->second.read) {
            const std::string_view word = typeText.substr(0, typeText.find('('));
            error(s[fType], L"M012", L"unknown type " + quoted(typeText) + L" for " + what(),
                  suggestion(std::wstring_view(wide(word)), typeWords(), mSuggestionBudget));
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
            case eSemEnum:
            case eSemBits: fits = fieldInfo::takesItems(field.semantic, t); break;
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
                        mReport.warning(placeOf(s[fSemantic]).line, placeOf(s[fSemantic]).column, L"M040",
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
        const std::uint32_t itemIndex = mTree.childIndex(list, i);
        const node& item = at(itemIndex);
        if (item.kind == nodeKind::sequence) continue;
        enumItem parsed;
        if (readItem(mTree, itemIndex, field.semantic, field.type, parsed)) continue;
        const place spot = placeOf(itemIndex);
        if (item.kind == nodeKind::scalar)
            mReport.error(spot.line, spot.column, L"M015", L"item " + quoted(text(itemIndex)) + L" of " + what() +
                                                              L" does not read as 'value, name' for its type");
        else
            mReport.error(spot.line, spot.column, L"M015", L"an item of " + what() +
                                                              L" does not read as {value: ..., name: ...} for its type");
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
        error(s[rField], L"M026", L"unknown field " + from() + L" as the start of a relation",
              fieldSuggestion(rel.fromClass, fieldName));
        return;
    }
    if (s[rTargetField] != none) {
        const ky::string targetName = wideText(mTree, s[rTargetField]);
        if (!findField(rel.targetClass, keyOf(targetName), &toOwner)) {
            error(s[rTargetField], L"M027",
                  L"unknown field " + className(rel.targetClass) + L"." + targetName +
                      L" as the target of the relation from " + from(),
                  fieldSuggestion(rel.targetClass, targetName));
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
        if (const auto [it, added] = seen.emplace(key, placeOf(rel.at).line); !added)
            error(rel.at, L"M030", L"the relation from " + className(rel.fromClass) + L"." + wideText(mTree, s[rField]) +
                                       L" to class " + className(rel.targetClass) + L" is given twice (first at line " +
                                       std::to_wstring(it->second) + L")");
    }
    return mReport.errors() == 0;
}


bool checkDescription(const tree& t, reporter& report, const loadOptions& options, description& desc) {
    checker check(t, report, options);
    return check.run(desc);
}

}  // namespace ky::metamodel::file::detail
