// fieldInfo: semantic strings, installing a semantic on a field, and the
// item texts of enumerations and bit sets.
#include <kymdlfieldinfo.h>

#include <array>
#include <vector>

#include <kyassert.h>

#include <kymdlclassinfo.h>

#include "kymdlfielddata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// The semantics that have a word of their own, in the order parseSemantics
// tries them.
struct semanticWord {
    const wchar_t* word;
    eFieldSemantics semantic;
};
constexpr std::array<semanticWord, 10> semanticWords{{
    {L"length", eSemLength},
    {L"area", eSemArea},
    {L"volume", eSemVolume},
    {L"monetary", eSemMonetary},
    {L"time", eSemTime},
    {L"date", eSemDate},
    {L"timestamp", eSemTimestamp},
    {L"enum", eSemEnum},
    {L"bits", eSemBits},
    {L"relation", eSemRelation},  // written, never read: a relation needs its class list
}};
constexpr std::size_t readableSemanticWords = semanticWords.size() - 1;

constexpr const wchar_t* customOpening = L"custom(";
constexpr const wchar_t* relationOpening = L"relation(";

// What follows the first `opening` in `text`, without the closing
// parentheses at its very end.
ky::string insideParentheses(const ky::string& text, ky::string::size_type openingAt, const wchar_t* opening) {
    ky::string inside = text.substr(openingAt + ky::string(opening).size());
    inside.deleteTrailing(L')');
    return inside;
}

// The names of a relation's class list: blanks and tabs removed, split at
// commas, empty names dropped.
std::vector<ky::string> classNames(ky::string list) {
    list.deleteAll(L' ');
    list.deleteAll(L'\t');
    std::vector<ky::string> names;
    list.splitAt(L",", names, false);
    return names;
}

// Reads the "relation(" form; answers the semantic it gives.
eFieldSemantics parseRelation(const ky::string& text, ky::string::size_type openingAt, ky::genericSet& attribs) {
    const ky::string list = insideParentheses(text, openingAt, relationOpening);
    if (list.empty()) return eSemNone;
    std::vector<ky::string> names = classNames(list);
    if (names.empty()) return eSemNone;
    attribs.setValue(detail::key().referencedClasses, names, false);
    return eSemRelation;
}

// ---- setSemantic's checks, one per semantic with a rule ----

bool isEnumType(eFieldType t) {
    return t == eBool || t == eShort || t == eInt || t == eLong || t == eFloat || t == eDouble || t == eString;
}

bool isBitsType(eFieldType t) { return t == eShort || t == eInt || t == eLong; }

void requireEnumItems(const ky::genericSet& semProps, const ky::assertSite& site) {
    const std::vector<enumItem>* eis = nullptr;
    KY_ASSERT_AT(semProps.getValuePtr(detail::key().enumItems, eis), site);
}

// The custom text of eSemCustom: `semStr`, else the text under
// "custom_semantic" of `semProps`.
ky::scString customText(const ky::genericSet& semProps, const ky::string& semStr) {
    if (!semStr.empty()) return ky::scString::createFrom(semStr);
    ky::string text;
    semProps.getValue(detail::key().customSemantic, text);
    KY_ASSERT_AT(text.length(), detail::sites::customSemanticText);
    return ky::scString::createFrom(text);
}

// What setSemantic changes, remembered before it changes anything so that a
// refused semantic leaves the field exactly as it was.
struct semanticState {
    eFieldSemantics semantic;
    int flags;
    eFieldType type;
    ky::scString customSemantic;
    ky::genericSet attribs;
};

template <class Record>
semanticState remember(const Record& record) {
    return {record.semantic, record.flags, record.type, record.customSemantic, record.semanticAttribs};
}

template <class Record>
void restore(Record& record, semanticState& before) noexcept {
    record.semantic = before.semantic;
    record.flags = before.flags;
    record.type = before.type;
    record.customSemantic = before.customSemantic;
    record.semanticAttribs = std::move(before.attribs);
}

// The checks and side effects of one semantic on a field's record; a
// semantic that does not fit reports its assertion and throws false.
template <class Record>
void applySemanticRules(Record& record, eFieldSemantics semantic, const ky::genericSet& semProps,
                        const ky::string& semStr) {
    const eFieldType type = record.type;
    switch (semantic) {
        case eSemPrimkey:
            record.flags |= 1 | 2;
            break;
        case eSemDate:
            KY_ASSERT_AT(type == eTimestamp || type == eDate, detail::sites::dateSemanticType);
            record.type = eDate;
            break;
        case eSemTime:
            KY_ASSERT_AT(type == eTimestamp || type == eTime, detail::sites::timeSemanticType);
            record.type = eTime;
            break;
        case eSemTimestamp:
            KY_ASSERT_AT(type == eTimestamp, detail::sites::timestampSemanticType);
            break;
        case eSemCustom:
            record.customSemantic = customText(semProps, semStr);
            break;
        case eSemEnum:
            KY_ASSERT_AT(isEnumType(type), detail::sites::enumSemanticType);
            requireEnumItems(semProps, detail::sites::enumSemanticItems);
            break;
        case eSemBits:
            KY_ASSERT_AT(isBitsType(type), detail::sites::bitsSemanticType);
            requireEnumItems(semProps, detail::sites::bitsSemanticItems);
            break;
        default:  // the other semantics pass without checks
            break;
    }
}

// Splits an item text into its pieces. Empty pieces are kept, so that every
// piece keeps its place: ",Empty" has an empty value and "1," an empty name.
std::vector<ky::string> itemPieces(const ky::string& text) {
    std::vector<ky::string> pieces;
    text.splitAt(L",", pieces, true);
    return pieces;
}

// The value of an item for a field of `type`: the type default assigned from
// `text`, or `text` itself for a type without a default. False when the text
// does not convert.
bool itemValue(const ky::string& text, eFieldType type, ky::genericValue& value) {
    if (!fieldInfo::getDefaultFromType(type, value)) {
        value = ky::genericValue::create(text);
        return true;
    }
    return value.assignFromText(text);
}

bool parseItem(const ky::string& text, eFieldType type, enumItem& item) {
    std::vector<ky::string> pieces = itemPieces(text);
    if (pieces.size() < 2) return false;
    pieces.front().deleteAll(L" \t");
    pieces[1].deleteLeading(L" \t");
    pieces.back().deleteTrailing(L" \t");
    ky::genericValue value;
    if (!itemValue(pieces.front(), type, value)) return false;
    ky::string name;
    for (std::size_t i = 1; i < pieces.size(); ++i) name += pieces[i];
    item.itemValue = std::move(value);
    item.itemName = std::move(name);
    return true;
}

}  // namespace

// ---- semantic strings ----------------------------------------------------------

bool fieldInfo::parseSemantics(const ky::string& text, eFieldSemantics& semantic, ky::genericSet& attribs) {
    const ky::string lowered = text.lower();
    semantic = eSemNone;
    if (lowered.starts_with(L"primkey")) {
        semantic = eSemPrimkey;
        return true;
    }
    if (lowered.empty()) return true;
    for (std::size_t i = 0; i < readableSemanticWords; ++i) {
        if (lowered == semanticWords[i].word) {
            semantic = semanticWords[i].semantic;
            return true;
        }
    }
    if (const auto at = lowered.find(customOpening); at != ky::string::npos) {
        attribs.setValue(detail::key().customSemantic, insideParentheses(lowered, at, customOpening), false);
        semantic = eSemCustom;
        return true;
    }
    if (const auto at = lowered.find(relationOpening); at != ky::string::npos) {
        semantic = parseRelation(lowered, at, attribs);
        return true;
    }
    return false;
}

ky::scString fieldInfo::semanticStringFromType(eFieldSemantics semantic) {
    for (const semanticWord& candidate : semanticWords)
        if (candidate.semantic == semantic) return ky::scString::createFrom(candidate.word);
    return ky::scString();
}

// ---- installing a semantic ---------------------------------------------------------

void fieldInfo::setSemantic(eFieldSemantics semantic, const ky::genericSet& semProps, const ky::string& semStr) {
    semanticState before = remember(*d);
    try {
        d->semantic = semantic;
        applySemanticRules(*d, semantic, semProps, semStr);
        if (&semProps != &d->semanticAttribs) d->semanticAttribs = semProps;
        d->owner->onSemanticChanged(ky::refPtr<fieldInfo>(this));
    } catch (...) {
        // The report already went out through the assertion handler; the
        // caller sees the refusal in semantic().
        restore(*d, before);
    }
}

// ---- semantic accessors ---------------------------------------------------------------

bool fieldInfo::takesItems(eFieldSemantics semantic, eFieldType type) {
    if (semantic == eSemEnum) return isEnumType(type);
    return semantic == eSemBits && isBitsType(type);
}

eFieldSemantics fieldInfo::semantic() const { return d->chainEnd().semantic; }

const ky::genericSet& fieldInfo::semanticAttribs() const { return d->semanticAttribs; }

ky::scString fieldInfo::semanticString() const {
    const data& last = d->chainEnd();
    if (last.semantic == eSemCustom || last.semantic == eSemRelation) return last.customSemantic;
    return semanticStringFromType(last.semantic);
}

// ---- enumeration and bit items -----------------------------------------------------------

bool fieldInfo::parseEnumItem(const ky::string& text, eFieldType type, enumItem& item) {
    return parseItem(text, type, item);
}

bool fieldInfo::parseBitsItem(const ky::string& text, eFieldType type, enumItem& item) {
    return parseItem(text, type, item);
}

}  // namespace ky::metamodel
