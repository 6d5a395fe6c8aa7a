// ky::conditions::condition, the base of the value conditions a host hands
// to a field. A field keeps its own copy, made through clone(); the host
// keeps ownership of the condition it passed.
#pragma once

#include "kymdlexport.h"

namespace ky::conditions {

/// The base of the value conditions a host hands to a field. The field keeps
/// its own copy, made through clone(); the host keeps ownership of the one it
/// passed. A condition is used by one thread at a time.
class KY_METAMODEL_API condition {
public:
    virtual ~condition();
    /// A new copy of this condition, owned by the caller.
    virtual condition* clone() const = 0;

protected:
    condition() = default;
    /// Copies a condition (for derived conditions' clone()).
    condition(const condition&) = default;
    /// Assigns a condition.
    condition& operator=(const condition&) = default;
};

}  // namespace ky::conditions
