// The model checks: what a model may hold but most likely holds by mistake.
// They read a finished model (built in code, loaded or reflected) through
// the public interface of the core only, so every host can run them.
#include <unordered_map>
#include <unordered_set>

#include "kymdlfiledesc.h"

namespace ky::metamodel::file::detail {

namespace {

ky::string typeText(const fieldInfo& field) {
    const ky::string word = field.typeString().string();
    return word.empty() ? ky::string(L"custom") : word;
}

ky::string semanticText(eFieldSemantics semantic) {
    switch (semantic) {
        case eSemNone: return L"none";
        case eSemPrimkey: return L"primkey";
        case eSemCustom: return L"custom";
        default: return fieldInfo::semanticStringFromType(semantic).string();
    }
}

// The field at the end of the source chain: the one that holds the type,
// the semantic and its items.
const fieldInfo& origin(const fieldInfo& field) {
    const fieldInfo* f = &field;
    for (ky::const_refPtr<fieldInfo> source = f->sourceField(); source; source = source->sourceField()) f = source.get();
    return *f;
}

bool isQuantity(eFieldSemantics semantic) {
    return semantic == eSemLength || semantic == eSemArea || semantic == eSemVolume || semantic == eSemMonetary ||
           semantic == eSemCustom;
}

class modelChecker {
public:
    modelChecker(const modelInfo& model, std::vector<const void*>* subjects) : mModel(model), mSubjects(subjects) {}

    std::vector<diagnostic> run();

private:
    void add(const void* subject, eSeverity severity, const wchar_t* code, const ky::string& element,
             const ky::string& message, const ky::string& hint) {
        diagnostic d = diagnostic::make(severity, code, message);
        d.element = element;
        d.hint = hint;
        mOut.push_back(std::move(d));
        if (mSubjects) mSubjects->push_back(subject);
    }

    void checkClass(const classInfo& cls);
    void checkField(const classInfo& cls, const fieldInfo& field,
                    std::unordered_map<std::wstring, const fieldInfo*>& folded);
    void checkDefault(const fieldInfo& field);
    void checkOverride(const fieldInfo& field);
    void checkRelation(const classInfo& cls, const relationInfo& rel);
    // Calls `visit` with each base of `cls` at every depth, each once.
    template <class Visit>
    void walkBases(const classInfo& cls, const Visit& visit) const;
    bool hasKey(const classInfo& cls) const;

    const modelInfo& mModel;
    std::vector<const void*>* mSubjects;
    std::vector<diagnostic> mOut;
    std::unordered_map<std::wstring, const classInfo*> mFoldedClasses;
};

template <class Visit>
void modelChecker::walkBases(const classInfo& cls, const Visit& visit) const {
    std::unordered_set<const classInfo*> seen;
    std::vector<const classInfo*> stack{&cls};
    while (!stack.empty()) {
        const classInfo* c = stack.back();
        stack.pop_back();
        for (auto it = c->baseClasses_begin(); it != c->baseClasses_end(); ++it) {
            const ky::const_refPtr<classInfo> base = *it;
            if (!base || !seen.insert(base.get()).second) continue;
            visit(*base);
            stack.push_back(base.get());
        }
    }
}

bool modelChecker::hasKey(const classInfo& cls) const {
    const auto keyed = [](const classInfo& c) {
        for (auto it = c.fields_begin(); it != c.fields_end(); ++it)
            if (*it && (*it)->semantic() == eSemPrimkey) return true;
        return false;
    };
    bool found = keyed(cls);
    if (!found) walkBases(cls, [&](const classInfo& base) { found = found || keyed(base); });
    return found;
}

void modelChecker::checkClass(const classInfo& cls) {
    const ky::string name = cls.scName().string();
    if (cls.isAbstract() && cls.derivedClasses_begin() == cls.derivedClasses_end())
        add(&cls, eWarning, L"M207", name, L"class " + name + L" is abstract, but no class derives from it",
            L"derive a class from it, or drop the abstract mark");

    // A folding model keeps every name folded, so only a case-sensitive one
    // can hold names that a folding host would take for one.
    if (mModel.caseSensitiveNames()) {
        const auto [first, added] = mFoldedClasses.emplace(name.lower(), &cls);
        if (!added)
            add(&cls, eWarning, L"M208", name,
                L"classes " + first->second->scName().string() + L" and " + name +
                    L" have names that are equal when folded to lower case",
                L"rename one of them: a host that folds names would take both for one class");
    }
    std::vector<ky::string> aliases;
    cls.getAliasnames(aliases);
    for (const ky::string& alias : aliases) {
        const ky::const_refPtr<classInfo> named = mModel.classInfo(alias, false);
        if (named && named.get() != &cls)
            add(&cls, eWarning, L"M209", name,
                L"alias " + quoted(std::wstring_view(alias)) + L" of class " + name + L" is the name of class " +
                    named->scName().string() + L", which a lookup by that name finds instead",
                L"remove the alias or rename it");
    }

    // The names this class sees from its bases, folded, for the clashes of
    // its own fields with them.
    std::unordered_map<std::wstring, const fieldInfo*> folded;
    if (mModel.caseSensitiveNames()) {
        walkBases(cls, [&](const classInfo& base) {
            for (auto it = base.fields_begin(); it != base.fields_end(); ++it)
                if (*it) folded.emplace((*it)->scName().string().lower(), it->get());
        });
    }
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it)
        if (*it) checkField(cls, **it, folded);
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it)
        if (*it) checkRelation(cls, **it);
}

void modelChecker::checkField(const classInfo& cls, const fieldInfo& field,
                              std::unordered_map<std::wstring, const fieldInfo*>& folded) {
    const ky::string name = field.qualifiedName();
    const eFieldSemantics semantic = field.semantic();
    const fieldInfo& base = origin(field);

    if ((semantic == eSemEnum || semantic == eSemBits) && !field.sourceField()) {
        std::vector<enumItem> items;
        base.semanticAttribs().getValue(ky::scString::createFrom(keys::enumItems), items);
        if (items.empty())
            add(&field, eWarning, L"M203", name,
                L"field " + name + L" has the semantic '" + semanticText(semantic) + L"' but no items",
                L"list its items as 'value, name' texts, or give it another semantic");
    }
    checkDefault(field);
    if (!field.unit().empty() && !isQuantity(semantic))
        add(&field, eWarning, L"M206", name,
            L"field " + name + L" has the unit " + quoted(std::wstring_view(field.unit())) + L", but its semantic '" +
                semanticText(semantic) + L"' is no physical quantity or money",
            L"give it the semantic length, area, volume or monetary, or leave the unit out");

    if (mModel.caseSensitiveNames()) {
        const ky::string own = field.scName().string();
        const auto [first, added] = folded.emplace(own.lower(), &field);
        if (!added && first->second->scName().string() != own)
            add(&field, eWarning, L"M208", name,
                L"fields " + first->second->qualifiedName() + L" and " + name +
                    L" have names that are equal when folded to lower case",
                L"rename one of them: a host that folds names would take both for one field");
    }
    if (!field.sourceField()) {
        std::vector<ky::string> aliases;
        field.getAliasnames(aliases);
        for (const ky::string& alias : aliases) {
            const ky::const_refPtr<fieldInfo> named = cls.fieldInfo(alias, true, false);
            if (named && named.get() != &field && named->scName() != field.scName())
                add(&field, eWarning, L"M209", name,
                    L"alias " + quoted(std::wstring_view(alias)) + L" of field " + name + L" is the name of field " +
                        named->qualifiedName() + L", which a lookup by that name finds instead",
                    L"remove the alias or rename it");
        }
    }
    if (field.sourceField()) checkOverride(field);
}

void modelChecker::checkDefault(const fieldInfo& field) {
    ky::genericValue stored;
    if (!field.hasStoredDefault(false) || !field.getDefaultValue(stored, false) || stored.empty()) return;
    const ky::string name = field.qualifiedName();
    ky::genericValue typed;
    if (!fieldInfo::getDefaultFromType(field.type(), typed)) return;
    if (!stored.getHolder()->copyTo(*typed.getHolder())) {
        add(&field, eError, L"M205", name,
            L"the stored default of field " + name + L" does not convert to its type " + quoted(typeText(field)),
            L"store a value of the field's type, or none");
        return;
    }
    const eFieldSemantics semantic = field.semantic();
    if (semantic != eSemEnum && semantic != eSemBits) return;
    std::vector<enumItem> items;
    origin(field).semanticAttribs().getValue(ky::scString::createFrom(keys::enumItems), items);
    if (items.empty()) return;  // M203 says it
    ky::string text;
    typed.read(text);
    bool known = false;
    if (semantic == eSemBits) {
        long value = 0, all = 0;
        typed.read(value);
        for (const enumItem& item : items) {
            long bits = 0;
            if (item.itemValue.read(bits)) all |= bits;
        }
        known = (value & ~all) == 0;
    } else {
        for (const enumItem& item : items) {
            ky::string itemText;
            if (item.itemValue.read(itemText) && itemText == text) known = true;
        }
    }
    if (!known)
        add(&field, eWarning, L"M204", name,
            L"the stored default " + quoted(std::wstring_view(text)) + L" of field " + name +
                (semantic == eSemBits ? L" holds bits that none of its items has" : L" is none of its items"),
            semantic == eSemBits ? L"store a combination of the items' bits, or add an item for the other bits"
                                 : L"store the value of one of the items, or add an item for it");
}

void modelChecker::checkOverride(const fieldInfo& field) {
    const ky::const_refPtr<fieldInfo> source = field.sourceField();
    const fieldInfo& s = *source;
    const auto differs = [](const ky::string& own, const ky::string& theirs) {
        return !own.empty() && own != theirs;
    };
    std::vector<ky::string> ownAliases, sourceAliases;
    field.getAliasnames(ownAliases);
    s.getAliasnames(sourceAliases);
    const bool changes = differs(field.label(), s.label()) || differs(field.unit(), s.unit()) ||
                         (field.isMandatory() && !s.isMandatory()) || (field.isUnique() && !s.isUnique()) ||
                         field.defaultExpression() != s.defaultExpression() ||
                         field.constantExpression() != s.constantExpression() ||
                         field.autoExpression() != s.autoExpression() || ownAliases != sourceAliases ||
                         !field.userProperties(false).empty() || !field.userProperties(true).empty() ||
                         field.valueCondition() != s.valueCondition() ||
                         field.valueEqFunc(true) != s.valueEqFunc(true) ||
                         field.hasStoredDefault(false);
    if (!changes) {
        const ky::string name = field.qualifiedName();
        add(&field, eWarning, L"M210", name,
            L"the overriding field " + name + L" changes nothing of field " + s.qualifiedName(),
            L"give it a label, unit, mark, expression, alias or user property of its own, or leave it out");
    }
}

void modelChecker::checkRelation(const classInfo& cls, const relationInfo& rel) {
    const ky::string name = cls.scName().string() + L"." + rel.scName().string();
    for (const relationInfo::fieldPair& pair : rel.fieldRelations()) {
        if (!pair.first || !pair.second) continue;
        if (pair.second->type() == ePtr) {
            const ky::const_refPtr<classInfo> target = rel.toClassInfo();
            if (target && !hasKey(*target)) {
                const ky::string targetName = target->scName().string();
                add(&rel, eWarning, L"M202", name,
                    L"the relation " + name + L" leads to class " + targetName +
                        L", which has no primary key, not even an inherited one",
                    L"give class " + targetName +
                        L" a primary-key field, or let the relation lead to a unique field of it");
            }
            continue;
        }
        if (pair.first->type() != pair.second->type() ||
            (pair.first->type() == eCustom && pair.first->typeString() != pair.second->typeString()))
            add(&rel, eWarning, L"M201", name,
                L"the relation " + name + L" pairs field " + pair.first->qualifiedName() + L" (" +
                    typeText(*pair.first) + L") with field " + pair.second->qualifiedName() + L" (" +
                    typeText(*pair.second) + L")",
                L"give both fields of the pair the same type");
    }
}

std::vector<diagnostic> modelChecker::run() {
    for (auto it = mModel.classes_begin(); it != mModel.classes_end(); ++it)
        if (*it) checkClass(**it);
    return std::move(mOut);
}

}  // namespace

std::vector<diagnostic> runModelChecks(const modelInfo& model, std::vector<const void*>* subjects) {
    modelChecker checker(model, subjects);
    return checker.run();
}

}  // namespace ky::metamodel::file::detail

namespace ky::metamodel::file {

std::vector<diagnostic> checkModel(const ky::const_refPtr<modelInfo>& model) {
    if (!model) return {};
    return detail::runModelChecks(*model, nullptr);
}

}  // namespace ky::metamodel::file
