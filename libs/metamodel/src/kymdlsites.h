// Every place the metamodel reports from, declared once by name: the
// assertions (condition text, reported file and line) and the log lines
// (logger, level, reported file and line, message format). Call sites and the
// test suite both use these entries, so a report's text lives only here.
#pragma once

#include <kyassert.h>
#include <kylog.h>

namespace ky::metamodel::detail {

// Source paths named by log lines and assertion reports.
inline constexpr const wchar_t* classInfoFile = L"libs/metamodel/src/kymdlclassinfo";
inline constexpr const wchar_t* fieldInfoFile = L"libs/metamodel/src/kymdlfieldinfo";
inline constexpr const wchar_t* modelInfoFile = L"libs/metamodel/src/kymdlmodelinfo";
inline constexpr const wchar_t* relationInfoFile = L"libs/metamodel/src/kymdlrelationinfo";
inline constexpr const wchar_t* idInfoFile = L"libs/metamodel/src/kymdlidinfo";

// One log line: written through the logger named after the writing function,
// with its message formatted from `format` by string::sformat.
struct logSite {
    const wchar_t* logger;
    kylog::level level;
    const wchar_t* file;
    int line;
    const wchar_t* format;
};

namespace sites {

using ky::assertSite;

// ---- assertions of classInfo ----
inline constexpr assertSite classAliasAdded{L"alias.length()", classInfoFile, 325};
inline constexpr assertSite classAliasListMade{L"pAliasNames", classInfoFile, 336};
inline constexpr assertSite classAliasRemoved{L"alias.length()", classInfoFile, 343};
inline constexpr assertSite relationFromFieldToField{L"pFromFld", classInfoFile, 640};
inline constexpr assertSite relationFromFieldToClass{L"pFromFld", classInfoFile, 674};
inline constexpr assertSite relationFromFieldTyped{L"pFromFld->type()", classInfoFile, 675};

// ---- assertions of fieldInfo ----
inline constexpr assertSite dateSemanticType{L"mType==eTimestamp || mType==eDate", fieldInfoFile, 613};
inline constexpr assertSite timeSemanticType{L"mType==eTimestamp || mType==eTime", fieldInfoFile, 618};
inline constexpr assertSite timestampSemanticType{L"mType==eTimestamp", fieldInfoFile, 623};
inline constexpr assertSite customSemanticText{L"semStr.length()", fieldInfoFile, 634};
inline constexpr assertSite enumSemanticType{
    L"mType==eBool ||mType==eShort || mType==eInt || mType==eLong || mType==eFloat || mType==eDouble || "
    L"mType==eString",
    fieldInfoFile, 640};
inline constexpr assertSite enumSemanticItems{L"semProps.getValuePtr(_T(\"enumItems\"), eis)", fieldInfoFile, 642};
inline constexpr assertSite bitsSemanticType{L"mType == eShort || mType == eInt || mType == eLong", fieldInfoFile,
                                             646};
inline constexpr assertSite bitsSemanticItems{L"semProps.getValuePtr(_T(\"enumItems\"), eis)", fieldInfoFile, 648};
inline constexpr assertSite fieldAliasAdded{L"alias.length()", fieldInfoFile, 668};
inline constexpr assertSite fieldAliasListMade{L"pAliasNames", fieldInfoFile, 679};
inline constexpr assertSite fieldAliasRemoved{L"alias.length()", fieldInfoFile, 686};

// ---- assertions of idInfo ----
inline constexpr assertSite identityFields{L"rfields.size()>=1", idInfoFile, 11};
inline constexpr assertSite identityCompared{L"pOther!=0", idInfoFile, 34};

// ---- assertions of relationInfo ----
inline constexpr assertSite relationFieldsGiven{L"pFromField&&pToField", relationInfoFile, 19};
inline constexpr assertSite relationFieldsOwned{L"pFromField->classInfo()&&pToField->classInfo()", relationInfoFile,
                                                20};
inline constexpr assertSite relationClassGiven{L"pFromField&&pToClass", relationInfoFile, 54};
inline constexpr assertSite relationFromFieldOwned{L"pFromField->classInfo()", relationInfoFile, 55};
inline constexpr assertSite pairAddedToPairs{L"mRelations.size()>=1", relationInfoFile, 134};
inline constexpr assertSite pairColumnsOwned{L"pParentColumn->classInfo()&&pDepColumn->classInfo()",
                                             relationInfoFile, 135};
inline constexpr assertSite pairParentClass{
    L"mRelations[0].first->classInfo() && mRelations[0].first->classInfo()==pParentColumn->classInfo()",
    relationInfoFile, 137};
inline constexpr assertSite pairDependentClass{
    L"mRelations[0].second->classInfo() && mRelations[0].second->classInfo()==pDepColumn->classInfo()",
    relationInfoFile, 138};
inline constexpr assertSite fromClassOfPairs{L"mRelations.size()>=1", relationInfoFile, 146};
inline constexpr assertSite toClassOfPairs{L"mRelations.size()>=1", relationInfoFile, 151};

// ---- assertions of modelInfo ----
inline constexpr assertSite scopeOfDyingModel{L"!mDying", modelInfoFile, 331};
inline constexpr assertSite modelEndsInOwnScope{L"!inScopeOf(this)", modelInfoFile, 118};

// ---- log lines ----
inline constexpr logSite modelCreated{L"ky::metamodel::modelInfo::modelInfo", kylog::level::trace, modelInfoFile, 20,
                                      L"modelInfo created"};
inline constexpr logSite modelReleased{L"ky::metamodel::modelInfo::~modelInfo", kylog::level::trace, modelInfoFile,
                                       29, L"modelInfo released"};
inline constexpr logSite classCreated{L"ky::metamodel::classInfo::classInfo", kylog::level::trace, classInfoFile, 162,
                                      L"classInfo created: \"%s\""};
inline constexpr logSite classReleased{L"ky::metamodel::classInfo::~classInfo", kylog::level::trace, classInfoFile,
                                       192, L"classInfo released: \"%s\""};
inline constexpr logSite classEmptied{L"ky::metamodel::classInfo::releaseInfo", kylog::level::trace, classInfoFile,
                                      207, L"classInfo releaseInfo called: \"%s\""};
inline constexpr logSite fieldCreated{L"ky::metamodel::fieldInfo::fieldInfo", kylog::level::trace, fieldInfoFile, 119,
                                      L"fieldInfo created: \"%s\""};
inline constexpr logSite referringFieldCreated{L"ky::metamodel::fieldInfo::fieldInfo", kylog::level::trace,
                                               fieldInfoFile, 129, L"fieldInfo created: \"%s\""};
inline constexpr logSite fieldReleased{L"ky::metamodel::fieldInfo::~fieldInfo", kylog::level::debug, fieldInfoFile,
                                       169, L"fieldInfo released: \"%s\""};
inline constexpr logSite fieldEmptied{L"ky::metamodel::fieldInfo::releaseInfo", kylog::level::info, fieldInfoFile,
                                      177, L"fieldInfo releaseInfo called: \"%s\""};
inline constexpr logSite relationToFieldCreated{L"ky::metamodel::relationInfo::relationInfo", kylog::level::trace,
                                                relationInfoFile, 24, L"relationInfo created: \"%s\" to \"%s\""};
inline constexpr logSite relationToClassCreated{L"ky::metamodel::relationInfo::relationInfo", kylog::level::trace,
                                                relationInfoFile, 59, L"relationInfo created: \"%s\" to \"%s\""};
inline constexpr logSite relationReleased{L"ky::metamodel::relationInfo::~relationInfo", kylog::level::trace,
                                          relationInfoFile, 91, L"relationInfo released: \"%s\" to \"%s\""};

}  // namespace sites

}  // namespace ky::metamodel::detail
