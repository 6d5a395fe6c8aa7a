// The enumerations of the metamodel: field types, field semantics and
// relation kinds. Their numbers are part of the interface.
#pragma once

#include <cstdint>

namespace ky::metamodel {

/// The type of a field's values; one bit each. 4 and 32 are no type.
enum eFieldType : std::uint32_t {
    eBool = 1,
    eShort = 2,
    eInt = 8,
    eLong = 16,
    eFloat = 64,
    eDouble = 128,
    eString = 256,
    eDate = 512,
    eTime = 1024,
    eTimestamp = 2048,
    eBinary = 4096,
    eDirectory = 8192,
    eFile = 16384,
    eSearchPath = 32768,
    ePtr = 0x40000000,    ///< the pointer field a relation towards a class makes
    eCustom = 0x80000000  ///< the field's custom type string names the type
};

/// What a field's value means; one bit each, a field has exactly one.
enum eFieldSemantics : std::uint32_t {
    eSemNone = 0,
    eSemLength = 0x00010000,
    eSemArea = 0x00020000,
    eSemVolume = 0x00040000,
    eSemMonetary = 0x00080000,
    eSemDate = 0x00100000,
    eSemTime = 0x00200000,
    eSemTimestamp = 0x00400000,
    eSemEnum = 0x00800000,
    eSemRelation = 0x01000000,
    eSemPrimkey = 0x02000000,
    eSemBits = 0x04000000,
    eSemCustom = 0x80000000
};

/// The kind of a relation.
enum eRelationType : std::uint32_t {
    eRef = 1,      ///< reference
    eAgg = 2,      ///< aggregation
    eRevAgg = 4,   ///< reverse aggregation
    eBiAgg = 8     ///< two-way aggregation
};

}  // namespace ky::metamodel
