// ky::conditions::condition, the base of the value conditions a host hands
// to a field. A field keeps its own copy, made through clone(); the host
// keeps ownership of the condition it passed.
#pragma once

#include "kymdlexport.h"

namespace ky::conditions {

class KY_METAMODEL_API condition {
public:
    virtual ~condition();
    /// A new copy of this condition, owned by the caller.
    virtual condition* clone() const = 0;

protected:
    condition() = default;
    condition(const condition&) = default;
    condition& operator=(const condition&) = default;
};

}  // namespace ky::conditions
