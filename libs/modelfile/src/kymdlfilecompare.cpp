// Comparing two models in every attribute a model file holds, naming each
// difference.
#include <algorithm>
#include <typeinfo>

#include "kymdlfiledesc.h"

namespace ky::metamodel::file::detail {

namespace {

ky::string describe(const ky::genericValue& value) {
    if (value.empty()) return L"(nothing)";
    if (const auto* items = value.constValuePtr<std::vector<enumItem>>()) {
        ky::string text = L"[";
        for (const enumItem& item : *items) {
            ky::string v;
            item.itemValue.read(v);
            text += (text.size() > 1 ? L"; " : L"") + v + L", " + item.itemName;
        }
        return text + L"]";
    }
    if (const auto* names = value.constValuePtr<std::vector<ky::string>>()) {
        ky::string text = L"[";
        for (const ky::string& name : *names) text += (text.size() > 1 ? L", " : L"") + name;
        return text + L"]";
    }
    ky::string text = wide(value.type().name()) + L" ";
    ky::string shown;
    if (value.read(shown)) return text + quoted(std::wstring_view(shown));
    return text + L"(no text form)";
}

class comparer {
public:
    explicit comparer(std::vector<ky::string>* out) : mOut(out) {}

    bool equal() const { return mEqual; }
    void models(const modelInfo& a, const modelInfo& b);

private:
    void differ(const ky::string& text) {
        mEqual = false;
        if (mOut) mOut->push_back(text);
    }
    void same(const ky::string& what, const ky::string& a, const ky::string& b) {
        if (a != b) differ(what + L" differs: " + quoted(std::wstring_view(a)) + L" / " + quoted(std::wstring_view(b)));
    }
    void same(const ky::string& what, long long a, long long b) {
        if (a != b) differ(what + L" differs: " + std::to_wstring(a) + L" / " + std::to_wstring(b));
    }
    void sameList(const ky::string& what, std::vector<ky::string> a, std::vector<ky::string> b, bool sorted) {
        if (sorted) {
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
        }
        ky::string ta, tb;
        for (const ky::string& s : a) ta += (ta.empty() ? L"" : L", ") + s;
        for (const ky::string& s : b) tb += (tb.empty() ? L"" : L", ") + s;
        same(what, ta, tb);
    }
    void sets(const ky::string& what, const ky::genericSet& a, const ky::genericSet& b);
    void classes(const classInfo& a, const classInfo& b);
    void fields(const ky::string& what, const fieldInfo& a, const fieldInfo& b);
    void relations(const ky::string& what, const relationInfo& a, const relationInfo& b);

    std::vector<ky::string>* mOut;
    bool mEqual = true;
};

void comparer::sets(const ky::string& what, const ky::genericSet& a, const ky::genericSet& b) {
    auto names = [](const ky::genericSet& set) {
        std::vector<ky::string> out;
        for (const ky::scString& key : set.keys()) out.push_back(key.string());
        std::sort(out.begin(), out.end());
        return out;
    };
    const std::vector<ky::string> na = names(a), nb = names(b);
    if (na != nb) {
        sameList(what + L" (names)", na, nb, false);
        return;
    }
    for (const ky::string& name : na)
        same(what + L" '" + name + L"'", describe(*a.genericValue(name)), describe(*b.genericValue(name)));
}

void comparer::models(const modelInfo& a, const modelInfo& b) {
    same(L"caseSensitiveNames", a.caseSensitiveNames(), b.caseSensitiveNames());
    same(L"the number of classes", static_cast<long long>(a.countClasses()), static_cast<long long>(b.countClasses()));
    auto ia = a.classes_begin();
    auto ib = b.classes_begin();
    for (; ia != a.classes_end() && ib != b.classes_end(); ++ia, ++ib) classes(**ia, **ib);
}

void comparer::classes(const classInfo& a, const classInfo& b) {
    const ky::string what = L"class " + a.scName().string();
    same(what + L": name", a.scName().string(), b.scName().string());
    same(what + L": label", a.label(), b.label());
    same(what + L": abstract", a.isAbstract(), b.isAbstract());
    std::vector<ky::string> la, lb;
    a.getAliasnames(la);
    b.getAliasnames(lb);
    sameList(what + L": aliases", la, lb, false);
    la.clear();
    lb.clear();
    for (auto it = a.baseClasses_begin(); it != a.baseClasses_end(); ++it) la.push_back((*it)->scName().string());
    for (auto it = b.baseClasses_begin(); it != b.baseClasses_end(); ++it) lb.push_back((*it)->scName().string());
    sameList(what + L": bases", la, lb, true);
    sets(what + L": user property", a.userProperties(false), b.userProperties(false));
    sets(what + L": inheritable user property", a.userProperties(true), b.userProperties(true));
    same(what + L": the number of fields", static_cast<long long>(a.countFields()), static_cast<long long>(b.countFields()));
    auto fa = a.fields_begin();
    auto fb = b.fields_begin();
    for (; fa != a.fields_end() && fb != b.fields_end(); ++fa, ++fb)
        fields(L"field " + a.scName().string() + L"." + (*fa)->scName().string(), **fa, **fb);
    const long long ra = a.toRelations_end() - a.toRelations_begin();
    const long long rb = b.toRelations_end() - b.toRelations_begin();
    same(what + L": the number of relations", ra, rb);
    auto xa = a.toRelations_begin();
    auto xb = b.toRelations_begin();
    for (; xa != a.toRelations_end() && xb != b.toRelations_end(); ++xa, ++xb)
        relations(L"relation " + (*xa)->scName().string() + L" of " + what, **xa, **xb);
}

void comparer::fields(const ky::string& what, const fieldInfo& a, const fieldInfo& b) {
    same(what + L": name", a.scName().string(), b.scName().string());
    const ky::const_refPtr<fieldInfo> sa = a.sourceField(), sb = b.sourceField();
    same(what + L": source field", sa ? sa->qualifiedName() : ky::string(), sb ? sb->qualifiedName() : ky::string());
    same(what + L": type", static_cast<long long>(a.type()), static_cast<long long>(b.type()));
    same(what + L": type string", a.typeString().string(), b.typeString().string());
    same(what + L": custom type string", a.customTypeString().string(), b.customTypeString().string());
    sets(what + L": type attribute", a.typeAttribs(), b.typeAttribs());
    same(what + L": semantic", static_cast<long long>(a.semantic()), static_cast<long long>(b.semantic()));
    same(what + L": semantic string", a.semanticString().string(), b.semanticString().string());
    sets(what + L": semantic attribute", a.semanticAttribs(), b.semanticAttribs());
    same(what + L": label", a.label(), b.label());
    same(what + L": unit", a.unit(), b.unit());
    same(what + L": mandatory", a.isMandatory(), b.isMandatory());
    same(what + L": unique", a.isUnique(), b.isUnique());
    same(what + L": default expression", a.defaultExpression(), b.defaultExpression());
    same(what + L": constant expression", a.constantExpression(), b.constantExpression());
    same(what + L": automatic expression", a.autoExpression(), b.autoExpression());
    ky::genericValue da, db;
    const bool ha = a.hasStoredDefault(false) && a.getDefaultValue(da, false);
    const bool hb = b.hasStoredDefault(false) && b.getDefaultValue(db, false);
    same(what + L": default value", ha ? describe(da) : ky::string(L"(type default)"),
         hb ? describe(db) : ky::string(L"(type default)"));
    std::vector<ky::string> la, lb;
    a.getAliasnames(la);
    b.getAliasnames(lb);
    sameList(what + L": aliases", la, lb, false);
    sets(what + L": user property", a.userProperties(false), b.userProperties(false));
    sets(what + L": inheritable user property", a.userProperties(true), b.userProperties(true));
}

// A relation's end: "class.field", or "class (the class)" for the pointer
// field of a relation to a class, which stands in no field list.
ky::string endOf(const fieldInfo& field) {
    const ky::refPtr<classInfo> cls = field.classInfo();
    if (cls && cls->fieldInfo(field.scName().string(), false, false).get() != &field)
        return cls->scName().string() + L" (the class)";
    return field.qualifiedName();
}

void comparer::relations(const ky::string& what, const relationInfo& a, const relationInfo& b) {
    same(what + L": kind", static_cast<long long>(a.relationType()), static_cast<long long>(b.relationType()));
    same(what + L": name", a.scName().string(), b.scName().string());
    same(what + L": reverse name", a.scReverseName().string(), b.scReverseName().string());
    const auto& pa = a.fieldRelations();
    const auto& pb = b.fieldRelations();
    same(what + L": the number of field pairs", static_cast<long long>(pa.size()), static_cast<long long>(pb.size()));
    for (std::size_t i = 0; i < pa.size() && i < pb.size(); ++i) {
        same(what + L": from-field of pair " + std::to_wstring(i + 1), endOf(*pa[i].first), endOf(*pb[i].first));
        same(what + L": to-field of pair " + std::to_wstring(i + 1), endOf(*pa[i].second), endOf(*pb[i].second));
    }
}

}  // namespace

}  // namespace ky::metamodel::file::detail

namespace ky::metamodel::file {

bool equalModels(const ky::const_refPtr<modelInfo>& a, const ky::const_refPtr<modelInfo>& b,
                 std::vector<ky::string>* differences) {
    if (!a || !b) {
        if (a != b && differences) differences->push_back(L"one of the models is missing");
        return a == b;
    }
    detail::comparer compare(differences);
    compare.models(*a, *b);
    return compare.equal();
}

}  // namespace ky::metamodel::file
