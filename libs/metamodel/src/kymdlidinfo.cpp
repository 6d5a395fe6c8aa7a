// idInfo: the primary-key fields of one class.
#include <kymdlidinfo.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// Whether every field that has a class has the same one as the first such
// field; a field without a class after that counts as another class.
// An empty entry reports "m_p != NULL" and throws false.
bool fieldsShareOneClass(const std::vector<refPtr<fieldInfo>>& fields) {
    refPtr<ky::metamodel::classInfo> owner;
    for (const refPtr<fieldInfo>& field : fields) {
        refPtr<ky::metamodel::classInfo> fieldOwner = field->classInfo();
        if (!owner)
            owner = fieldOwner;
        else if (fieldOwner != owner)
            return false;
    }
    return true;
}

}  // namespace

idInfo::idInfo(const std::vector<refPtr<fieldInfo>>& rfields) {
    KY_ASSERT_AT(rfields.size() >= 1, detail::sites::identityFields);
    if (!fieldsShareOneClass(rfields)) throw false;
    mFields = rfields;
}

idInfo::~idInfo() = default;

refPtr<ky::metamodel::classInfo> idInfo::classInfo() const {
    return mFields.front()->classInfo();
}

bool idInfo::isEqualTo(const idInfo* pOther) const {
    KY_ASSERT_AT(pOther != 0, detail::sites::identityCompared);
    return mFields == pOther->mFields;
}

}  // namespace ky::metamodel
