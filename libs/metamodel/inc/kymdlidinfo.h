// idInfo, the identity of a class: its primary-key fields in field order.
//
// A class builds its identity on request (classInfo::idInfo), keeps it and
// hands out the same object until a field enters or leaves the primary key.
// Holders of an earlier identity keep that object. Nothing here locks.
#pragma once

#include <vector>

#include <kyrefptr.h>

#include "kymdlexport.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

/// The identity of a class: its primary-key fields in field order. Built and
/// kept by its class and handed out through counted pointers; holders of an
/// earlier identity keep that object. Nothing locks: one thread at a time.
class KY_METAMODEL_API idInfo : public ky::countedRefObj {
public:
    idInfo(const idInfo&) = delete;
    idInfo& operator=(const idInfo&) = delete;

    /// The class of the first id field.
    ky::refPtr<ky::metamodel::classInfo> classInfo() const;
    /// Whether `other` holds the same field objects in the same order. A null
    /// `other` reports "pOther!=0" and throws false.
    bool isEqualTo(const idInfo* other) const;
    /// The id fields in field order.
    const std::vector<ky::refPtr<fieldInfo>>& fieldInfos() const { return mFields; }

private:
    friend class ky::metamodel::classInfo;

    explicit idInfo(const std::vector<ky::refPtr<fieldInfo>>& rfields);
    ~idInfo() override;

    std::vector<ky::refPtr<fieldInfo>> mFields;  ///< at least one, all of one class
};

}  // namespace ky::metamodel
