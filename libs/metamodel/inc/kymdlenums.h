// The enumerations of the metamodel: field types, field semantics and
// relation kinds, and how a lookup matched. Their numbers are part of the interface.
#pragma once

#include <cstdint>

namespace ky::metamodel {

/// The type of a field's values; one bit each. 4 and 32 are no type.
enum eFieldType : std::uint32_t {
    eBool = 1,  ///< values are bool
    eShort = 2,  ///< values are short
    eInt = 8,  ///< values are int
    eLong = 16,  ///< values are long
    eFloat = 64,  ///< values are float
    eDouble = 128,  ///< values are double
    eString = 256,  ///< values are ky::string
    eDate = 512,  ///< values are ky::date
    eTime = 1024,  ///< values are ky::time
    eTimestamp = 2048,  ///< values are ky::timestamp
    eBinary = 4096,  ///< values are ky::binaryBuffer
    eDirectory = 8192,  ///< values are ky::directory
    eFile = 16384,  ///< values are ky::file
    eSearchPath = 32768,  ///< values are ky::searchPath
    ePtr = 0x40000000,    ///< the pointer field a relation towards a class makes
    eCustom = 0x80000000  ///< the field's custom type string names the type
};

/// What a field's value means; one bit each, a field has exactly one.
enum eFieldSemantics : std::uint32_t {
    eSemNone = 0,  ///< no particular meaning
    eSemLength = 0x00010000,  ///< a length
    eSemArea = 0x00020000,  ///< an area
    eSemVolume = 0x00040000,  ///< a volume
    eSemMonetary = 0x00080000,  ///< an amount of money
    eSemDate = 0x00100000,  ///< a date
    eSemTime = 0x00200000,  ///< a time of day
    eSemTimestamp = 0x00400000,  ///< a date with a time of day
    eSemEnum = 0x00800000,  ///< one item of an enumeration
    eSemRelation = 0x01000000,  ///< the from-field of a relation
    eSemPrimkey = 0x02000000,  ///< part of the class's primary key
    eSemBits = 0x04000000,  ///< a set of bit items
    eSemCustom = 0x80000000  ///< the field's custom semantic string names the meaning
};

/// The kind of a relation.
enum eRelationType : std::uint32_t {
    eRef = 1,      ///< reference
    eAgg = 2,      ///< aggregation
    eRevAgg = 4,   ///< reverse aggregation
    eBiAgg = 8     ///< two-way aggregation
};

/// How a lookup by name found what it answers.
enum eNameMatch : std::uint32_t {
    eNoMatch = 0,    ///< nothing was found
    eOwnName = 1,    ///< the class's name, or the name of one of the class's own fields
    eOwnAlias = 2,   ///< an alias of the class, or of one of the class's own fields
    eBaseName = 3,   ///< the name of a field of a base class
    eBaseAlias = 4   ///< an alias of a field of a base class
};

}  // namespace ky::metamodel
