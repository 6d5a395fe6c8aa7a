// The private data record of classInfo, shared by the files that implement
// the class (core, inheritance, relations, identity).
#pragma once

#include <vector>

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>
#include <kymdlidinfo.h>
#include <kymdlrelationinfo.h>

#include "kymdlannotations.h"

namespace ky::metamodel {

struct classInfo::data {
    ky::scString name;                   // interned by the class's name rule; never changes
    ky::string label;                    // empty until setLabel
    int flags = 0;                       // bit 0: abstract
    classInfoMap bases;                  // direct base classes by name
    classInfoMap derived;                // direct derived classes by name
    ky::refPtr<ky::metamodel::idInfo> identity;  // cached identity; empty until asked for
    fieldInfoList fields;                // own fields in creation order
    relationInfoList fromRelations;      // relations whose target class is this class
    relationInfoList toRelations;        // relations made on this class
    ky::genericSet internal;             // "caseSensitiveNames", "Alias"
    detail::userProperties userProps;    // own and inheritable user properties
    // scName() of fields[i], kept beside the list so that a lookup compares
    // handles in one contiguous array instead of visiting every field.
    std::vector<ky::scString> fieldNames;
    bool caseSensitive = false;          // "caseSensitiveNames", cached
};

}  // namespace ky::metamodel
