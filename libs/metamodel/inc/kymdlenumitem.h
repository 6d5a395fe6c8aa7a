// enumItem, one item of an enumeration or bit set: a value of the field
// type's value class and a display name. A plain value.
#pragma once

#include <kygeneric.h>
#include <kystring.h>

#include <vector>

#include "kymdlexport.h"

namespace ky::metamodel {

/// One item of an enumeration or bit set: a value of the field type's value
/// class and a display name. A plain value, used by one thread at a time.
class KY_METAMODEL_API enumItem {
public:
    /// An item without value and name.
    enumItem() = default;
    /// An item with the given value and name.
    enumItem(const ky::genericValue& value, const ky::string& name) : itemValue(value), itemName(name) {}

    ky::genericValue itemValue;  ///< the item's value
    ky::string itemName;         ///< the item's display name
};

}  // namespace ky::metamodel

namespace ky {
/// The item list kept under "enumItems", exported by voVerizezav.
extern template class holder<std::vector<ky::metamodel::enumItem>>;
extern template class valueholder<std::vector<ky::metamodel::enumItem>>;
}  // namespace ky
