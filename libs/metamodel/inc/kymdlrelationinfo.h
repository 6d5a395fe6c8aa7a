// relationInfo, one relation between two classes: pairs of fields (from-field
// of the class it starts from, to-field of the class it leads to), its kind
// and the names under which both sides know it.
//
// A relation is made only by classInfo::createRelation and handed out through
// counted pointers; both classes keep it in their relation lists. It holds
// its fields and, through them, both classes. Nothing here locks.
#pragma once

#include <utility>
#include <vector>

#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include "kymdlenums.h"
#include "kymdlexport.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

/// One relation between two classes: pairs of from- and to-fields, its kind
/// and the names under which both sides know it. Made only by
/// classInfo::createRelation, kept by both classes and handed out through
/// counted pointers. Nothing locks: one thread at a time.
class KY_METAMODEL_API relationInfo : public ky::countedRefObj {
public:
    /// One pair: from-field (first) and to-field (second).
    using fieldPair = std::pair<ky::refPtr<fieldInfo>, ky::refPtr<fieldInfo>>;

    relationInfo(const relationInfo&) = delete;
    relationInfo& operator=(const relationInfo&) = delete;

    /// Adds a pair: `parentColumn` of the from-class, `depColumn` of the
    /// target class (a compound key). Reports and throws false for a column of
    /// another class.
    bool addFieldRelation(ky::refPtr<fieldInfo> parentColumn, ky::refPtr<fieldInfo> depColumn);
    /// The class the relation starts from (the first pair's from-field's class).
    ky::const_refPtr<ky::metamodel::classInfo> fromClassInfo() const;
    /// The class the relation leads to (the first pair's to-field's class).
    ky::const_refPtr<ky::metamodel::classInfo> toClassInfo() const;
    /// The from-field paired with `toField`; empty when none.
    ky::const_refPtr<fieldInfo> fromFieldInfo(ky::refPtr<fieldInfo> toField) const;
    /// The to-field paired with `fromField`; empty when none.
    ky::const_refPtr<fieldInfo> toFieldInfo(ky::refPtr<fieldInfo> fromField) const;
    /// The first pair's from-field.
    ky::const_refPtr<fieldInfo> firstFromFieldInfo() const;

    /// The kind of the relation.
    eRelationType relationType() const { return mType; }
    /// The name under which the from-class knows the relation.
    const ky::scString& scName() const { return mName; }
    /// The name of the relation as seen from the target class; may be empty.
    const ky::scString& scReverseName() const { return mReverseName; }
    /// The field pairs in order.
    const std::vector<fieldPair>& fieldRelations() const { return mRelations; }

private:
    friend class ky::metamodel::classInfo;

    relationInfo(ky::refPtr<fieldInfo> pFromField, ky::refPtr<fieldInfo> pToField, eRelationType kind,
                 const ky::string& name, const ky::string& reverseName);
    relationInfo(ky::refPtr<fieldInfo> pFromField, ky::refPtr<ky::metamodel::classInfo> pToClass,
                 eRelationType kind, const ky::string& name, const ky::string& reverseName);
    ~relationInfo() override;
    // What both constructors do once their arguments passed the checks: the
    // first pair, the from-field's relation semantic and both names.
    void connect(ky::refPtr<fieldInfo> pFromField, ky::refPtr<fieldInfo> pToField, const ky::string& name,
                 const ky::string& reverseName);

    eRelationType mType;
    std::vector<fieldPair> mRelations;  ///< never empty after construction
    ky::scString mName;
    ky::scString mReverseName;
};

}  // namespace ky::metamodel
