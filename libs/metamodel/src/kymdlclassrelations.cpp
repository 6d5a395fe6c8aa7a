// The relation members of classInfo: creating relations out of a class,
// the two relation lists and the lookup of a relation by name.
#include <kymdlclassinfo.h>

#include <kymdlfieldinfo.h>
#include <kymdlrelationinfo.h>

#include "kymdlclassdata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// Whether `field` is the from-field of one of the relation's pairs.
bool startsAt(const relationInfo& relation, const refPtr<fieldInfo>& field) {
    for (const relationInfo::fieldPair& pair : relation.fieldRelations())
        if (pair.first == field) return true;
    return false;
}

// The relation of `relations` that already leads from `fromField` to the
// class `target`; empty when none. No relation matches an empty target, not
// even one whose pointer field has lost its class.
refPtr<relationInfo> findRelationToClass(const relationInfoList& relations, const refPtr<fieldInfo>& fromField,
                                         const refPtr<classInfo>& target) {
    if (!target) return nullptr;
    for (const refPtr<relationInfo>& relation : relations)
        if (relation->toClassInfo() == target && startsAt(*relation, fromField)) return relation;
    return nullptr;
}

// The relation of `relations` that already pairs `fromField` with the field
// `target`; empty when none. An empty target reports "m_p != NULL" once a
// relation of the from-field's class is examined.
refPtr<relationInfo> findRelationToField(const relationInfoList& relations, const refPtr<fieldInfo>& fromField,
                                         const refPtr<fieldInfo>& target) {
    for (const refPtr<relationInfo>& relation : relations) {
        if (relation->fromClassInfo() == fromField->classInfo() &&
            relation->toClassInfo() == target->classInfo() && relation->toFieldInfo(fromField) == target)
            return relation;
    }
    return nullptr;
}

// "class.field" from the names of the field's class and of the field.
ky::string qualifiedFieldName(const refPtr<fieldInfo>& field) {
    ky::string text = field->classInfo()->scName().string();
    text += L".";
    text += field->scName().string();
    return text;
}

ky::string textOr(const ky::string& text, const ky::scString& fallback) {
    return text.empty() ? fallback.string() : text;
}

}  // namespace

namespace {

// What both createRelation overloads do once the from-field is found: a
// relation that already leads where asked is answered as it is; else `make`
// builds the relation, which then leads out of `from` and into the class that
// `targetClass` answers.
template <class Make, class TargetClass>
refPtr<relationInfo> relate(classInfo& from, const refPtr<fieldInfo>& fromField, refPtr<relationInfo> existing,
                            Make make, TargetClass targetClass) {
    if (existing) return existing;
    refPtr<relationInfo> relation(make());
    fromField->setSemantic(eSemRelation, ky::genericSet(), ky::string());
    detail::classAccess::of(from).toRelations.push_back(relation);
    detail::classAccess::of(*targetClass()).fromRelations.push_back(relation);
    return relation;
}

}  // namespace

refPtr<relationInfo> classInfo::createRelation(const ky::string& fromField, bool searchBases,
                                               refPtr<classInfo> target, eRelationType kind,
                                               const ky::string& name, const ky::string& reverseName) {
    refPtr<ky::metamodel::fieldInfo> pFromFld = fieldInfo(fromField, searchBases, false);
    KY_ASSERT_AT(pFromFld, detail::sites::relationFromFieldToClass);
    KY_ASSERT_AT(pFromFld->type(), detail::sites::relationFromFieldTyped);
    return relate(
        *this, pFromFld, findRelationToClass(d->toRelations, pFromFld, target),
        [&] {
            return new relationInfo(pFromFld, target, kind, textOr(name, pFromFld->scName()),
                                    textOr(reverseName, pFromFld->classInfo()->scName()));
        },
        [&] { return target; });
}

refPtr<relationInfo> classInfo::createRelation(const ky::string& fromField, bool searchBases,
                                               refPtr<ky::metamodel::fieldInfo> target, eRelationType kind,
                                               const ky::string& name, const ky::string& reverseName) {
    refPtr<ky::metamodel::fieldInfo> pFromFld = fieldInfo(fromField, searchBases, false);
    KY_ASSERT_AT(pFromFld, detail::sites::relationFromFieldToField);
    return relate(
        *this, pFromFld, findRelationToField(d->toRelations, pFromFld, target),
        [&] {
            return new relationInfo(pFromFld, target, kind, textOr(name, pFromFld->scName()),
                                    reverseName.empty() ? qualifiedFieldName(pFromFld) : reverseName);
        },
        [&] { return target->classInfo(); });
}

namespace {

// The relation named `key` leading out of `cls` or, with `searchBases`, out
// of its bases depth first in map order; a base that several paths reach is
// searched once.
const relationInfo* relationNamed(const classInfo& cls, ky::scString key, bool searchBases,
                                  detail::visitedClasses& visited) {
    const auto& rec = detail::classAccess::of(cls);
    for (const refPtr<relationInfo>& relation : rec.toRelations)
        if (relation->scName() == key) return relation.get();
    if (!searchBases) return nullptr;
    for (const auto& entry : rec.bases) {
        const const_refPtr<classInfo> base = entry.second;
        if (!visited.firstVisit(base.get())) continue;
        if (const relationInfo* found = relationNamed(*base, key, true, visited)) return found;
    }
    return nullptr;
}

}  // namespace

const_refPtr<relationInfo> classInfo::toRelation(const ky::string& name, bool searchBases) const {
    // A name never interned is no relation's name.
    ky::scString key;
    if (!ky::scString::find(name.data(), name.size(), key)) return nullptr;
    detail::visitedClasses visited;
    return const_refPtr<relationInfo>(relationNamed(*this, key, searchBases, visited));
}

relationInfoList::iterator classInfo::fromRelations_begin() { return d->fromRelations.begin(); }
relationInfoList::iterator classInfo::fromRelations_end() { return d->fromRelations.end(); }
relationInfoList::const_iterator classInfo::fromRelations_begin() const { return d->fromRelations.cbegin(); }
relationInfoList::const_iterator classInfo::fromRelations_end() const { return d->fromRelations.cend(); }

relationInfoList::iterator classInfo::toRelations_begin() { return d->toRelations.begin(); }
relationInfoList::iterator classInfo::toRelations_end() { return d->toRelations.end(); }
relationInfoList::const_iterator classInfo::toRelations_begin() const { return d->toRelations.cbegin(); }
relationInfoList::const_iterator classInfo::toRelations_end() const { return d->toRelations.cend(); }

refPtr<relationInfo> classInfo::copyRelationFrom(const const_refPtr<relationInfo>&) { return nullptr; }

}  // namespace ky::metamodel
