// Forward declarations of the metamodel's descriptor classes and the types
// they share.
#pragma once

#include <map>
#include <vector>

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kysharedptr.h>

#include "kymdlcondition.h"

namespace ky::metamodel {

/// Descriptors travel in the utility layer's counted pointers.
using ky::const_refPtr;
using ky::refPtr;

class modelInfo;
class classInfo;
class fieldInfo;
class relationInfo;
class idInfo;
class enumItem;

/// An equality function of field values: true when the two values are equal.
using valueEqFunction = bool (*)(const ky::genericValue&, const ky::genericValue&);

/// The shared owner of a field's private copy of its value condition.
using conditionPtr = ky::sharedPtr<ky::conditions::condition, ky::deleteObj<ky::conditions::condition>>;

/// Classes by interned name: the base-class and derived-class maps.
using classInfoMap = std::map<ky::scString, ky::refPtr<classInfo>>;
/// The fields of a class in creation order.
using fieldInfoList = std::vector<ky::refPtr<fieldInfo>>;
/// The relations of a class in creation order.
using relationInfoList = std::vector<ky::refPtr<relationInfo>>;

}  // namespace ky::metamodel

namespace ky {
/// Holders of the metamodel's own value types, instantiated and exported by
/// voVerizezav so that typed access agrees across library boundaries.
extern template class holder<ky::metamodel::conditionPtr>;
extern template class valueholder<ky::metamodel::conditionPtr>;
extern template class ptrholder<ky::metamodel::conditionPtr>;
extern template class holder<ky::metamodel::valueEqFunction>;
extern template class valueholder<ky::metamodel::valueEqFunction>;
extern template class ptrholder<ky::metamodel::valueEqFunction>;
}  // namespace ky
