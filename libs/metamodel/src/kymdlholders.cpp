// The holders of the metamodel's own value types and the condition base.
#include <kymdlcondition.h>
#include <kymdlenumitem.h>
#include <kymdlfwd.h>

namespace ky::conditions {
condition::~condition() = default;
}  // namespace ky::conditions

namespace ky {
template class holder<ky::metamodel::conditionPtr>;
template class valueholder<ky::metamodel::conditionPtr>;
template class ptrholder<ky::metamodel::conditionPtr>;
template class holder<ky::metamodel::valueEqFunction>;
template class valueholder<ky::metamodel::valueEqFunction>;
template class ptrholder<ky::metamodel::valueEqFunction>;
template class holder<std::vector<ky::metamodel::enumItem>>;
template class valueholder<std::vector<ky::metamodel::enumItem>>;
}  // namespace ky
