// The enumeration and bit item parsers for a type the first byte chooses.
#include <kymetamodel.h>

#include "fuzz_support.h"

using namespace ky::metamodel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const eFieldType types[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString,
                                       eDate, eTime, eTimestamp, ePtr, eCustom};
    const eFieldType type = types[data[0] % (sizeof types / sizeof types[0])];
    const ky::string text = kyfuzz::textOf(data + 1, size - 1);
    enumItem item;
    item.itemName = L"unchanged";
    const bool read = fieldInfo::parseEnumItem(text, type, item);
    if (!read && item.itemName != L"unchanged") __builtin_trap();
    enumItem bits;
    if (fieldInfo::parseBitsItem(text, type, bits) != read) __builtin_trap();
    return 0;
}
