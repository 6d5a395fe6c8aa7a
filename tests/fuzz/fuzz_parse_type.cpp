// parseType and its inverse on arbitrary text.
#include <kymetamodel.h>

#include "fuzz_support.h"

using namespace ky::metamodel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ky::string text = kyfuzz::textOf(data, size);
    eFieldType type = eInt;
    unsigned long length = 7;
    if (fieldInfo::parseType(text, type, length)) {
        eFieldType again = eBool;
        unsigned long ignored = 0;
        // Every type parsed (but a custom one) reads back from its word.
        if (type != eCustom && !fieldInfo::parseType(fieldInfo::typeStringFromType(type).string(), again, ignored))
            __builtin_trap();
        if (type != eCustom && again != type) __builtin_trap();
    } else if (length != 0) {
        __builtin_trap();
    }
    return 0;
}
