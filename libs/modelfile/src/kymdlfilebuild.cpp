// Building a model from a checked description, in the order the core needs:
// every class, then the bases, then the fields class by class (bases and copy
// sources first), then the relations. As the fields are built, the tree and
// the description let go of what no later step reads: a class's part of the
// description once its fields are built, and the tree's part before the
// first entry (class or relation, in file order) still to be built, so that
// the tree and the model are not both whole at the end.
#include <algorithm>

#include "kymdlfiledesc.h"

namespace ky::metamodel::file::detail {

namespace {

class builder {
public:
    builder(tree& t, description& desc) : mTree(t), mDesc(desc), mSilent(ky::string(), 0xffffffffu) {}

    ky::refPtr<modelInfo> run();

private:
    ky::string textOf(std::uint32_t index) const { return index == none ? ky::string() : wideText(mTree, index); }
    bool has(std::uint32_t index) const { return index != none; }
    bool boolOf(std::uint32_t index) const { return index != none && mTree.text(mTree.at(index)) == "true"; }

    template <class Info>
    void setProperties(Info& info, std::uint32_t index, bool inheritable);
    void setAliases(std::vector<ky::string>& out, std::uint32_t index) const;
    ky::genericSet valueSet(std::uint32_t index);
    void buildClass(const classDesc& cls, const ky::refPtr<classInfo>& info);
    void buildFields(const classDesc& cls, const ky::refPtr<classInfo>& info);
    void describeField(const fieldDesc& field, const ky::refPtr<fieldInfo>& info, bool overriding);
    void setSemantic(const fieldDesc& field, const ky::refPtr<fieldInfo>& info);
    void buildRelation(const relationDesc& rel);

    void releaseBuilt(std::uint32_t cls);

    tree& mTree;
    description& mDesc;
    std::vector<bool> mBuilt;     // by class: its fields are built
    std::uint32_t mLowest = 0;    // the first class in file order whose fields are not built
    std::uint32_t mFirstRelation = none;  // the entry of the first relation in the file
    reporter mSilent;  // the values were checked already; a second read reports nothing new
    ky::refPtr<modelInfo> mModel;
    std::vector<ky::refPtr<classInfo>> mClasses;
};

template <class Info>
void builder::setProperties(Info& info, std::uint32_t index, bool inheritable) {
    if (index == none) return;
    const node& map = mTree.at(index);
    for (std::uint32_t i = 0; i + 1 < map.size; i += 2) {
        ky::genericValue value;
        readTypedValue(mTree, mTree.childIndex(map, i + 1), [] { return ky::string(); }, mSilent, value);
        info->setUserProperty(wideText(mTree, mTree.childIndex(map, i)), value, inheritable);
    }
}

void builder::setAliases(std::vector<ky::string>& out, std::uint32_t index) const {
    if (index == none) return;
    const node& list = mTree.at(index);
    for (std::uint32_t i = 0; i < list.size; ++i) out.push_back(wideText(mTree, mTree.childIndex(list, i)));
}

ky::genericSet builder::valueSet(std::uint32_t index) {
    ky::genericSet set;
    if (index == none) return set;
    const node& map = mTree.at(index);
    for (std::uint32_t i = 0; i + 1 < map.size; i += 2) {
        ky::genericValue value;
        readTypedValue(mTree, mTree.childIndex(map, i + 1), [] { return ky::string(); }, mSilent, value);
        set._setGenericValue(wideText(mTree, mTree.childIndex(map, i)), value, false);
    }
    return set;
}

void builder::buildClass(const classDesc& cls, const ky::refPtr<classInfo>& info) {
    const auto& s = cls.slots;
    if (has(s[cLabel])) info->setLabel(textOf(s[cLabel]));
    if (boolOf(s[cAbstract])) info->setAbstract(true);
    std::vector<ky::string> aliases;
    setAliases(aliases, s[cAliases]);
    for (const ky::string& alias : aliases) info->addAliasname(alias);
    setProperties(info, s[cUserProperties], false);
    setProperties(info, s[cInheritableUserProperties], true);
}

void builder::describeField(const fieldDesc& field, const ky::refPtr<fieldInfo>& info, bool overriding) {
    const auto& s = field.slots;
    if (has(s[fLabel])) info->setLabel(textOf(s[fLabel]));
    if (has(s[fUnit])) info->setUnit(textOf(s[fUnit]));
    if (boolOf(s[fMandatory])) info->setMandatory(true);
    if (boolOf(s[fUnique])) info->setUnique(true);
    if (has(s[fDefault])) info->setDefaultExpression(textOf(s[fDefault]));
    if (has(s[fConstant])) info->setConstantExpression(textOf(s[fConstant]));
    if (has(s[fAutomatic])) info->setAutoExpression(textOf(s[fAutomatic]));
    if (!overriding && field.hasDefaultValue) {
        ky::genericValue value;
        fieldInfo::getDefaultFromType(field.type, value);
        value.assignFromText(textOf(s[fDefaultValue]));
        info->setDefaultValue(value);
    }
    std::vector<ky::string> aliases;
    setAliases(aliases, s[fAliases]);
    for (const ky::string& alias : aliases) info->addAliasname(alias);
    setProperties(info, s[fUserProperties], false);
    setProperties(info, s[fInheritableUserProperties], true);
    if (!overriding) setSemantic(field, info);
    // The key semantic marks the field mandatory; "mandatory: false" keeps it nullable.
    if (has(s[fMandatory]) && !boolOf(s[fMandatory])) info->setMandatory(false);
}

void builder::setSemantic(const fieldDesc& field, const ky::refPtr<fieldInfo>& info) {
    const auto& s = field.slots;
    ky::genericSet attribs = valueSet(s[fSemanticAttributes]);
    if (field.semantic == eSemNone && attribs.empty()) return;
    if (has(s[fSemantic])) {
        eFieldSemantics semantic = eSemNone;
        fieldInfo::parseSemantics(textOf(s[fSemantic]), semantic, attribs);
    }
    if (field.semantic == eSemEnum || field.semantic == eSemBits) {
        std::vector<enumItem> items;
        const node& list = mTree.at(s[fItems]);
        items.reserve(list.size);
        for (std::uint32_t i = 0; i < list.size; ++i) {
            enumItem item;
            if (readItem(mTree, mTree.childIndex(list, i), field.semantic, info->type(), item))
                items.push_back(std::move(item));
        }
        attribs.setValue(ky::scString::createFrom(keys::enumItems), items, true);
    }
    info->setSemantic(field.semantic, attribs, ky::string());
}

void builder::buildFields(const classDesc& cls, const ky::refPtr<classInfo>& info) {
    for (const fieldDesc& field : cls.fields) {
        const auto& s = field.slots;
        if (has(s[fCopyFrom])) {
            const ky::string prefix = textOf(s[fPrefix]);
            info->copyInfosFrom(mClasses[field.copySource], prefix.c_str());
            continue;
        }
        if (has(s[fOverrides])) {
            ky::refPtr<classInfo> base = mClasses[field.baseClass];
            describeField(field, info->createFieldInfo(base, textOf(s[fName])), true);
            continue;
        }
        ky::genericSet typeAttribs = valueSet(s[fTypeAttributes]);
        if (field.length != 0)
            typeAttribs.setValue(ky::scString::createFrom(keys::length), static_cast<int>(field.length), true);
        describeField(field, info->createFieldInfo(textOf(s[fName]), field.type, typeAttribs, textOf(s[fCustomType])),
                      false);
    }
}

void builder::buildRelation(const relationDesc& rel) {
    const auto& s = rel.slots;
    const ky::refPtr<classInfo>& from = mClasses[rel.fromClass];
    const ky::refPtr<classInfo>& target = mClasses[rel.targetClass];
    const ky::string fromField = textOf(s[rField]);
    if (!has(s[rTargetField])) {
        from->createRelation(fromField, true, target, rel.kind, textOf(s[rName]), textOf(s[rReverseName]));
        return;
    }
    ky::refPtr<relationInfo> relation =
        from->createRelation(fromField, true, target->fieldInfo(textOf(s[rTargetField]), true, false), rel.kind,
                             textOf(s[rName]), textOf(s[rReverseName]));
    if (!has(s[rPairs])) return;
    const node& list = mTree.at(s[rPairs]);
    for (std::uint32_t i = 0; i < list.size; ++i) {
        const node& pair = mTree.child(list, i);
        relation->addFieldRelation(from->fieldInfo(wideText(mTree, mTree.childIndex(pair, 0)), true, false),
                                   target->fieldInfo(wideText(mTree, mTree.childIndex(pair, 1)), true, false));
    }
}

// Marks `cls` built and lets the tree go of what lies before the first
// entry still to be built.
void builder::releaseBuilt(std::uint32_t cls) {
    mBuilt[cls] = true;
    std::vector<fieldDesc>().swap(mDesc.classes[cls].fields);
    const std::uint32_t before = mLowest;
    while (mLowest < mBuilt.size() && mBuilt[mLowest]) ++mLowest;
    if (mLowest == before) return;
    const std::uint32_t next = mLowest < mBuilt.size() ? mDesc.classes[mLowest].at : none;
    if (std::min(next, mFirstRelation) != none) mTree.releaseBefore(std::min(next, mFirstRelation));
}

ky::refPtr<modelInfo> builder::run() {
    mModel = modelInfo::createModelInfo(mDesc.caseSensitive);
    mClasses.reserve(mDesc.classes.size());
    for (const classDesc& cls : mDesc.classes) {
        mClasses.push_back(mModel->createClassInfo(textOf(cls.slots[cName]), false));
        buildClass(cls, mClasses.back());
    }
    for (std::size_t i = 0; i < mDesc.classes.size(); ++i)
        for (std::uint32_t base : mDesc.classes[i].bases) mClasses[i]->addBaseClass(mClasses[base]);
    // A class's fields are read by no later class (copies and overrides
    // go through the model), so its part of the description and of the
    // tree go as the model's part grows.
    mBuilt.assign(mDesc.classes.size(), false);
    for (const relationDesc& rel : mDesc.relations) mFirstRelation = std::min(mFirstRelation, rel.at);
    for (std::uint32_t cls : mDesc.buildOrder) {
        buildFields(mDesc.classes[cls], mClasses[cls]);
        releaseBuilt(cls);
    }
    for (const relationDesc& rel : mDesc.relations) buildRelation(rel);
    return mModel;
}

}  // namespace

ky::refPtr<modelInfo> buildModel(tree& t, description& desc) {
    builder b(t, desc);
    return b.run();
}

}  // namespace ky::metamodel::file::detail
