// Saving a model as YAML or JSON through the writer of kymdlfileemitter.h:
// keys in a fixed order, user properties and bases sorted by name, so that
// equal models give equal bytes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <typeinfo>

#include "kymdlfiledesc.h"
#include "kymdlfileemitter.h"

namespace ky::metamodel::file::detail {

namespace {

// The item text that reads back as `value` and `name`. Reading trims the
// blanks and tabs at the start of the second part and at the end of the
// last, so a name that starts or ends with one goes between empty parts:
// "1,, Wide ," reads back as 1 and " Wide ".
ky::string itemText(const ky::string& value, const ky::string& name) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    if (!name.empty() && (blank(name.front()) || blank(name.back()))) return value + L",," + name + L",";
    return value + L", " + name;
}

std::string number(long long value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <class Real>
std::string realText(Real value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

// How a value is written: a token (bool, int, double), a text, or a
// {type, value} mapping for the other kinds.
struct valueForm {
    enum { token, text, typed, none } kind = none;
    std::string tokenText;
    ky::string textValue;
    const wchar_t* typeWord = nullptr;
};

valueForm formOf(const ky::genericValue& value) {
    valueForm form;
    if (const bool* b = value.constValuePtr<bool>()) form.kind = valueForm::token, form.tokenText = *b ? "true" : "false";
    else if (const int* i = value.constValuePtr<int>()) form.kind = valueForm::token, form.tokenText = number(*i);
    else if (const double* d = value.constValuePtr<double>()) {
        if (std::isfinite(*d)) form.kind = valueForm::token, form.tokenText = realText(*d);
    } else if (const ky::string* s = value.constValuePtr<ky::string>()) form.kind = valueForm::text, form.textValue = *s;
    else if (const short* h = value.constValuePtr<short>()) {
        form.kind = valueForm::typed, form.typeWord = L"short", form.textValue = wide(number(*h));
    } else if (const long* l = value.constValuePtr<long>()) {
        form.kind = valueForm::typed, form.typeWord = L"long", form.textValue = wide(number(*l));
    } else if (const float* f = value.constValuePtr<float>()) {
        if (std::isfinite(*f)) form.kind = valueForm::typed, form.typeWord = L"float", form.textValue = wide(realText(*f));
    } else {
        const std::type_info& type = value.type();
        const wchar_t* word = type == typeid(ky::date) ? L"date" : type == typeid(ky::time) ? L"time"
                            : type == typeid(ky::timestamp) ? L"timestamp" : nullptr;
        if (word && value.read(form.textValue)) form.kind = valueForm::typed, form.typeWord = word;
    }
    return form;
}

void writeForm(emitter& out, const valueForm& form) {
    if (form.kind == valueForm::token) {
        out.token(form.tokenText);
    } else if (form.kind == valueForm::text) {
        out.text(form.textValue);
    } else {
        out.beginMap(true);
        out.key(L"type");
        out.text(form.typeWord);
        out.key(L"value");
        out.text(form.textValue);
        out.end();
    }
}

// Whether a set holds a text that goes into a literal block, which only a
// field written in block style can hold.
bool holdsBlockText(const ky::genericSet& set) {
    for (const ky::scString& name : set.keys()) {
        const ky::string* text = set.genericValue(name)->constValuePtr<ky::string>();
        if (text && emitter::isBlockText(*text)) return true;
    }
    return false;
}

const wchar_t* kindWord(eRelationType kind) {
    switch (kind) {
        case eRef: return L"ref";
        case eAgg: return L"agg";
        case eRevAgg: return L"revagg";
        case eBiAgg: return L"biagg";
    }
    return L"ref";
}

class saver {
public:
    saver(std::string& out, bool json, reporter& report) : mOut(out, json), mReport(report) {}

    void model(const modelInfo& m);

private:
    void writeClass(const classInfo& cls);
    void writeField(const classInfo& cls, const fieldInfo& field);
    void writeOrdinary(const fieldInfo& field, const ky::string& what);
    void writeOverride(const fieldInfo& field);
    void writeSemantic(const fieldInfo& field, const ky::string& what);
    void writeValues(const wchar_t* key, const ky::genericSet& set, const ky::string& what,
                     const std::vector<const wchar_t*>& skip = {});
    void writeRelation(const classInfo& cls, const relationInfo& relation);
    void optionalText(const wchar_t* key, const ky::string& text) {
        if (text.empty()) return;
        mOut.key(key);
        mOut.text(text);
    }
    void flag(const wchar_t* key, bool set) {
        if (!set) return;
        mOut.key(key);
        mOut.token("true");
    }

    emitter mOut;
    reporter& mReport;
};

void saver::model(const modelInfo& m) {
    mOut.beginMap();
    mOut.key(L"caseSensitiveNames");
    mOut.token(m.caseSensitiveNames() ? "true" : "false");
    if (m.countClasses()) {
        mOut.key(L"classes");
        mOut.beginList();
        for (auto it = m.classes_begin(); it != m.classes_end(); ++it) writeClass(**it);
        mOut.end();
    }
    bool anyRelation = false;
    for (auto it = m.classes_begin(); it != m.classes_end(); ++it) {
        const classInfo& cls = **it;
        for (auto r = cls.toRelations_begin(); r != cls.toRelations_end(); ++r) {
            if (!anyRelation) {
                mOut.key(L"relations");
                mOut.beginList();
                anyRelation = true;
            }
            writeRelation(cls, **r);
        }
    }
    if (anyRelation) mOut.end();
    mOut.end();
}

void saver::writeValues(const wchar_t* key, const ky::genericSet& set, const ky::string& what,
                        const std::vector<const wchar_t*>& skip) {
    std::vector<std::pair<ky::string, valueForm>> entries;
    for (const ky::scString& name : set.keys()) {
        if (std::any_of(skip.begin(), skip.end(), [&](const wchar_t* s) { return name.string() == s; })) continue;
        valueForm form = formOf(*set.genericValue(name));
        if (form.kind == valueForm::none) {
            mReport.warning(0, 0, L"M101", L"'" + name.string() + L"' of " + what +
                                               L" holds a value a model file cannot hold; it is left out");
            continue;
        }
        entries.emplace_back(name.string(), std::move(form));
    }
    if (entries.empty()) return;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    mOut.key(key);
    mOut.beginMap();
    for (const auto& [name, form] : entries) {
        mOut.key(name);
        writeForm(mOut, form);
    }
    mOut.end();
}

void saver::writeClass(const classInfo& cls) {
    const ky::string what = L"class " + cls.scName().string();
    mOut.beginMap();
    mOut.key(L"name");
    mOut.text(cls.scName().string());
    optionalText(L"label", cls.label());
    flag(L"abstract", cls.isAbstract());
    std::vector<ky::string> names;
    cls.getAliasnames(names);
    if (!names.empty()) {
        mOut.key(L"aliases");
        mOut.texts(names);
    }
    names.clear();
    for (auto it = cls.baseClasses_begin(); it != cls.baseClasses_end(); ++it) names.push_back((*it)->scName().string());
    std::sort(names.begin(), names.end());
    if (!names.empty()) {
        mOut.key(L"bases");
        mOut.texts(names);
    }
    writeValues(L"userProperties", cls.userProperties(false), L"the user properties of " + what);
    writeValues(L"inheritableUserProperties", cls.userProperties(true), L"the inheritable user properties of " + what);
    if (cls.countFields()) {
        mOut.key(L"fields");
        mOut.beginList();
        for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) writeField(cls, **it);
        mOut.end();
    }
    mOut.end();
}

void saver::writeField(const classInfo& cls, const fieldInfo& field) {
    const ky::string what = L"field " + cls.scName().string() + L"." + field.scName().string();
    // One line a field, unless in YAML it holds texts of several lines.
    mOut.beginMap(mOut.json() ||
                  (!holdsBlockText(field.userProperties(false)) && !holdsBlockText(field.userProperties(true))));
    mOut.key(L"name");
    mOut.text(field.scName().string());
    if (field.sourceField()) writeOverride(field);
    else writeOrdinary(field, what);
    std::vector<ky::string> aliases;
    field.getAliasnames(aliases);
    if (const ky::const_refPtr<fieldInfo> source = field.sourceField(); source && !aliases.empty()) {
        // The list continues with the source chain's aliases: only the own
        // part before them is this field's.
        std::vector<ky::string> inherited;
        source->getAliasnames(inherited);
        if (inherited.size() <= aliases.size() &&
            std::equal(inherited.begin(), inherited.end(), aliases.end() - static_cast<long>(inherited.size())))
            aliases.resize(aliases.size() - inherited.size());
    }
    if (!aliases.empty()) {
        mOut.key(L"aliases");
        mOut.texts(aliases);
    }
    writeValues(L"userProperties", field.userProperties(false), L"the user properties of " + what);
    writeValues(L"inheritableUserProperties", field.userProperties(true), L"the inheritable user properties of " + what);
    mOut.end();
}

void saver::writeOverride(const fieldInfo& field) {
    const ky::const_refPtr<fieldInfo> source = field.sourceField();
    const ky::refPtr<classInfo> sourceClass = source->classInfo();
    mOut.key(L"overrides");
    mOut.text(sourceClass ? sourceClass->scName().string() : ky::string());
    optionalText(L"label", field.label());
    optionalText(L"unit", field.unit());
    flag(L"mandatory", field.isMandatory());
    flag(L"unique", field.isUnique());
    // The expressions read through to the source when the own one is empty,
    // so only one that differs from the source's answer is this field's.
    if (field.defaultExpression() != source->defaultExpression()) optionalText(L"default", field.defaultExpression());
    if (field.constantExpression() != source->constantExpression())
        optionalText(L"constant", field.constantExpression());
    if (field.autoExpression() != source->autoExpression()) optionalText(L"automatic", field.autoExpression());
}

void saver::writeOrdinary(const fieldInfo& field, const ky::string& what) {
    const eFieldType type = field.type();
    const unsigned long length = type == eString ? field.stringLength() : 0;
    ky::string typeText;
    if (type == eCustom) typeText = L"custom";
    else typeText = fieldInfo::typeStringFromType(type).string();
    if (typeText.empty()) {
        mReport.warning(0, 0, L"M102", what + L" has a type without a type word; written as 'custom'");
        typeText = L"custom";
    }
    if (length > 0) typeText += L"(" + std::to_wstring(length) + L")";
    mOut.key(L"type");
    mOut.text(typeText);
    // An empty custom type is written too: a custom field without the key
    // is refused as a slip of the pen, one with "" names no type on purpose.
    if (type == eCustom) {
        mOut.key(L"customType");
        mOut.text(field.customTypeString().string());
    } else {
        optionalText(L"customType", field.customTypeString().string());
    }
    std::vector<const wchar_t*> skip;
    if (length > 0) skip.push_back(keys::length);
    writeValues(L"typeAttributes", field.typeAttribs(), L"the type attributes of " + what, skip);
    writeSemantic(field, what);
    optionalText(L"label", field.label());
    optionalText(L"unit", field.unit());
    flag(L"mandatory", field.isMandatory());
    // A key field is mandatory unless said otherwise (a SQLite key column may hold NULL).
    if (field.semantic() == eSemPrimkey && !field.isMandatory()) {
        mOut.key(L"mandatory");
        mOut.token("false");
    }
    flag(L"unique", field.isUnique());
    optionalText(L"default", field.defaultExpression());
    optionalText(L"constant", field.constantExpression());
    optionalText(L"automatic", field.autoExpression());
    ky::genericValue stored;
    if (field.hasStoredDefault(false) && field.getDefaultValue(stored, false) && !stored.empty()) {
        ky::string text;
        if (stored.read(text)) {
            mOut.key(L"defaultValue");
            mOut.text(text);
        } else {
            mReport.warning(0, 0, L"M101", L"the default value of " + what + L" has no text form; it is left out");
        }
    }
}

void saver::writeSemantic(const fieldInfo& field, const ky::string& what) {
    const eFieldSemantics semantic = field.semantic();
    const ky::genericSet& attribs = field.semanticAttribs();
    ky::string text;
    switch (semantic) {
        case eSemNone: break;
        case eSemPrimkey: text = L"primkey"; break;
        case eSemCustom: text = L"custom(" + field.semanticString().string() + L")"; break;
        case eSemRelation: {
            // A relation's from-field carries no class list: the relation
            // itself is written in "relations" and makes the semantic again.
            std::vector<ky::string> classes;
            attribs.getValue(ky::scString::createFrom(keys::referencedClasses), classes);
            for (const ky::string& name : classes) text += (text.empty() ? L"" : L", ") + name;
            if (!text.empty()) text = L"relation(" + text + L")";
            break;
        }
        default: text = fieldInfo::semanticStringFromType(semantic).string(); break;
    }
    if (!text.empty()) {
        mOut.key(L"semantic");
        mOut.text(text);
    }
    const std::vector<enumItem>* items = nullptr;
    if ((semantic == eSemEnum || semantic == eSemBits) &&
        attribs.getValuePtr(ky::scString::createFrom(keys::enumItems), items)) {
        // Written also when empty: an enumeration needs its list to load.
        mOut.key(L"items");
        mOut.beginList();
        for (const enumItem& item : *items) {
            ky::string value;
            if (!item.itemValue.read(value)) {
                mReport.warning(0, 0, L"M101", L"the item '" + item.itemName + L"' of " + what +
                                                   L" has a value without a text form; it is left out");
                continue;
            }
            // An item text splits at every comma and drops the blanks of
            // its value part: such an item is written as {value, name}.
            if (value.find_first_of(L" \t,") == ky::string::npos && item.itemName.find(L',') == ky::string::npos) {
                mOut.text(itemText(value, item.itemName));
                continue;
            }
            mOut.beginMap(true);
            mOut.key(L"value");
            mOut.text(value);
            mOut.key(L"name");
            mOut.text(item.itemName);
            mOut.end();
        }
        mOut.end();
    }
    writeValues(L"semanticAttributes", attribs, L"the semantic attributes of " + what,
                {keys::enumItems, keys::referencedClasses, keys::customSemantic});
}

void saver::writeRelation(const classInfo& cls, const relationInfo& relation) {
    const auto& pairs = relation.fieldRelations();
    const fieldInfo& from = *pairs.front().first;
    const fieldInfo& to = *pairs.front().second;
    const ky::const_refPtr<classInfo> target = relation.toClassInfo();
    // A relation to a class leads to the pointer field the core made for it,
    // which stands in no field list; a relation to a field leads to an own
    // field of its class.
    const ky::refPtr<classInfo> toOwner = to.classInfo();
    const bool toField = toOwner && toOwner->fieldInfo(to.scName().string(), false, false).get() == &to;
    mOut.beginMap(true);
    mOut.key(L"class");
    mOut.text(cls.scName().string());
    mOut.key(L"field");
    mOut.text(from.scName().string());
    mOut.key(L"kind");
    mOut.text(kindWord(relation.relationType()));
    mOut.key(L"target");
    mOut.text(target ? target->scName().string() : ky::string());
    if (toField) {
        mOut.key(L"targetField");
        mOut.text(to.scName().string());
    }
    if (pairs.size() > 1) {
        mOut.key(L"pairs");
        mOut.beginList();
        for (std::size_t i = 1; i < pairs.size(); ++i)
            mOut.texts({pairs[i].first->scName().string(), pairs[i].second->scName().string()});
        mOut.end();
    }
    const ky::refPtr<classInfo> fromClass = from.classInfo();
    const ky::string fromClassName = fromClass ? fromClass->scName().string() : ky::string();
    if (relation.scName() != from.scName()) optionalText(L"name", relation.scName().string());
    const ky::string defaultReverse = toField ? ky::string(fromClassName + L"." + from.scName().string()) : fromClassName;
    if (relation.scReverseName().string() != defaultReverse) optionalText(L"reverseName", relation.scReverseName().string());
    mOut.end();
}

}  // namespace

}  // namespace ky::metamodel::file::detail

namespace ky::metamodel::file {

using namespace detail;

std::string saveModelText(const ky::const_refPtr<modelInfo>& model, eFormat format, std::vector<diagnostic>* diagnostics) {
    std::string out;
    reporter report(ky::string(), 0xffffffffu);
    if (model) {
        saver s(out, format == eJson, report);
        s.model(*model);
    }
    if (diagnostics) {
        for (diagnostic& d : report.diagnostics()) diagnostics->push_back(std::move(d));
    }
    return out;
}

bool saveModelFile(const ky::const_refPtr<modelInfo>& model, const std::string& path, eFormat format,
                   std::vector<diagnostic>* diagnostics) {
    if (format == eAutoFormat) format = formatOfPath(path);
    return writeFile(path, saveModelText(model, format, diagnostics), diagnostics);
}

}  // namespace ky::metamodel::file
