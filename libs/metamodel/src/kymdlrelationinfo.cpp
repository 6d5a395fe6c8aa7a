// relationInfo: the pairs of fields of one relation, its kind and its names.
#include <kymdlrelationinfo.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

constexpr const wchar_t* constructorLogger = L"ky::metamodel::relationInfo::relationInfo";
constexpr const wchar_t* destructorLogger = L"ky::metamodel::relationInfo::~relationInfo";
constexpr const wchar_t* createdMessage = L"relationInfo created: \"%s\" to \"%s\"";

// Both constructors' reporting lines.
struct constructorLines {
    int fieldsGiven;
    int classesKnown;
    int log;
};
constexpr constructorLines fieldToFieldLines{19, 20, 24};
constexpr constructorLines fieldToClassLines{54, 55, 59};

void logCreated(int line, const ky::string& name, const ky::string& reverseName) {
    detail::writeLog(kylog::level::trace, constructorLogger, detail::relationInfoFile, line, createdMessage,
                     name.c_str(), reverseName.c_str());
}

}  // namespace

relationInfo::relationInfo(refPtr<fieldInfo> pFromField, refPtr<fieldInfo> pToField, eRelationType kind,
                           const ky::string& name, const ky::string& reverseName)
    : mType(kind) {
    KY_ASSERT_MSG(pFromField && pToField, L"pFromField&&pToField", detail::relationInfoFile,
                  fieldToFieldLines.fieldsGiven);
    KY_ASSERT_MSG(pFromField->classInfo() && pToField->classInfo(),
                  L"pFromField->classInfo()&&pToField->classInfo()", detail::relationInfoFile,
                  fieldToFieldLines.classesKnown);
    logCreated(fieldToFieldLines.log, name, reverseName);
    connect(pFromField, pToField, name, reverseName);
}

relationInfo::relationInfo(refPtr<fieldInfo> pFromField, refPtr<ky::metamodel::classInfo> pToClass,
                           eRelationType kind, const ky::string& name, const ky::string& reverseName)
    : mType(kind) {
    KY_ASSERT_MSG(pFromField && pToClass, L"pFromField&&pToClass", detail::relationInfoFile,
                  fieldToClassLines.fieldsGiven);
    KY_ASSERT_MSG(pFromField->classInfo(), L"pFromField->classInfo()", detail::relationInfoFile,
                  fieldToClassLines.classesKnown);
    logCreated(fieldToClassLines.log, name, reverseName);
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
    detail::writeLog(kylog::level::trace, destructorLogger, detail::relationInfoFile, 91,
                     L"relationInfo released: \"%s\" to \"%s\"", mName.c_str(), mReverseName.c_str());
    mName = ky::scString();
    mReverseName = ky::scString();
    // Dropping a pair may end a field and, through it, its class; the list is
    // moved out first so that nothing reached from there sees it half cleared.
    std::vector<fieldPair> pairs;
    pairs.swap(mRelations);
}

bool relationInfo::addFieldRelation(refPtr<fieldInfo> pParentColumn, refPtr<fieldInfo> pDepColumn) {
    KY_ASSERT_MSG(mRelations.size() >= 1, L"mRelations.size()>=1", detail::relationInfoFile, 134);
    KY_ASSERT_MSG(pParentColumn->classInfo() && pDepColumn->classInfo(),
                  L"pParentColumn->classInfo()&&pDepColumn->classInfo()", detail::relationInfoFile, 135);
    KY_ASSERT_MSG(mRelations[0].first->classInfo() &&
                      mRelations[0].first->classInfo() == pParentColumn->classInfo(),
                  L"mRelations[0].first->classInfo() && mRelations[0].first->classInfo()==pParentColumn->classInfo()",
                  detail::relationInfoFile, 137);
    KY_ASSERT_MSG(mRelations[0].second->classInfo() &&
                      mRelations[0].second->classInfo() == pDepColumn->classInfo(),
                  L"mRelations[0].second->classInfo() && mRelations[0].second->classInfo()==pDepColumn->classInfo()",
                  detail::relationInfoFile, 138);
    mRelations.emplace_back(pParentColumn, pDepColumn);
    return true;
}

const_refPtr<ky::metamodel::classInfo> relationInfo::fromClassInfo() const {
    KY_ASSERT_MSG(mRelations.size() >= 1, L"mRelations.size()>=1", detail::relationInfoFile, 146);
    return mRelations[0].first->classInfo();
}

const_refPtr<ky::metamodel::classInfo> relationInfo::toClassInfo() const {
    KY_ASSERT_MSG(mRelations.size() >= 1, L"mRelations.size()>=1", detail::relationInfoFile, 151);
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
