// relationInfo: the pairs of fields of one relation, its kind and its names.
#include <kymdlrelationinfo.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlinfobase.h"

namespace ky::metamodel {

relationInfo::relationInfo(refPtr<fieldInfo> pFromField, refPtr<fieldInfo> pToField, eRelationType kind,
                           const ky::string& name, const ky::string& reverseName)
    : mType(kind) {
    KY_ASSERT_AT(pFromField && pToField, detail::sites::relationFieldsGiven);
    KY_ASSERT_AT(pFromField->classInfo() && pToField->classInfo(), detail::sites::relationFieldsOwned);
    detail::writeLog(detail::sites::relationToFieldCreated, name.c_str(), reverseName.c_str());
    connect(pFromField, pToField, name, reverseName);
}

relationInfo::relationInfo(refPtr<fieldInfo> pFromField, refPtr<ky::metamodel::classInfo> pToClass,
                           eRelationType kind, const ky::string& name, const ky::string& reverseName)
    : mType(kind) {
    KY_ASSERT_AT(pFromField && pToClass, detail::sites::relationClassGiven);
    KY_ASSERT_AT(pFromField->classInfo(), detail::sites::relationFromFieldOwned);
    detail::writeLog(detail::sites::relationToClassCreated, name.c_str(), reverseName.c_str());
    // The pointer field stands for the target class in this relation only: it
    // is owned by that class but kept out of its field list.
    connect(pFromField, refPtr<fieldInfo>(new fieldInfo(pToClass, L"PTR", ePtr, ky::genericSet(), L"")), name,
            reverseName);
}

void relationInfo::connect(refPtr<fieldInfo> pFromField, refPtr<fieldInfo> pToField, const ky::string& name,
                           const ky::string& reverseName) {
    mRelations.emplace_back(pFromField, pToField);
    pFromField->setSemantic(eSemRelation, ky::genericSet(), ky::string());
    // createRelation has put in the from-field's and its class's names where none was given.
    mName = ky::scString::createFrom(name);
    mReverseName = ky::scString::createFrom(reverseName);
}

relationInfo::~relationInfo() {
    detail::writeLog(detail::sites::relationReleased, mName.c_str(), mReverseName.c_str());
    mName = ky::scString();
    mReverseName = ky::scString();
    // Dropping a pair may end a field and, through it, its class; the list is
    // moved out first so that nothing reached from there sees it half cleared.
    std::vector<fieldPair> pairs;
    pairs.swap(mRelations);
}

bool relationInfo::addFieldRelation(refPtr<fieldInfo> pParentColumn, refPtr<fieldInfo> pDepColumn) {
    KY_ASSERT_AT(mRelations.size() >= 1, detail::sites::pairAddedToPairs);
    KY_ASSERT_AT(pParentColumn->classInfo() && pDepColumn->classInfo(), detail::sites::pairColumnsOwned);
    KY_ASSERT_AT(mRelations[0].first->classInfo() && mRelations[0].first->classInfo() == pParentColumn->classInfo(),
                 detail::sites::pairParentClass);
    KY_ASSERT_AT(mRelations[0].second->classInfo() && mRelations[0].second->classInfo() == pDepColumn->classInfo(),
                 detail::sites::pairDependentClass);
    mRelations.emplace_back(pParentColumn, pDepColumn);
    return true;
}

const_refPtr<ky::metamodel::classInfo> relationInfo::fromClassInfo() const {
    KY_ASSERT_AT(mRelations.size() >= 1, detail::sites::fromClassOfPairs);
    return mRelations[0].first->classInfo();
}

const_refPtr<ky::metamodel::classInfo> relationInfo::toClassInfo() const {
    KY_ASSERT_AT(mRelations.size() >= 1, detail::sites::toClassOfPairs);
    return mRelations[0].second->classInfo();
}

const_refPtr<fieldInfo> relationInfo::fromFieldInfo(refPtr<fieldInfo> toField) const {
    for (const fieldPair& pair : mRelations)
        if (pair.second == toField) return pair.first;
    return nullptr;
}

const_refPtr<fieldInfo> relationInfo::toFieldInfo(refPtr<fieldInfo> fromField) const {
    for (const fieldPair& pair : mRelations)
        if (pair.first == fromField) return pair.second;
    return nullptr;
}

const_refPtr<fieldInfo> relationInfo::firstFromFieldInfo() const {
    if (mRelations.empty()) return nullptr;
    return mRelations[0].first;
}

}  // namespace ky::metamodel
