// parseSemantics, and setSemantic of what it read on a field whose type the
// first byte chooses: a refusal must roll back and never let an exception out.
#include <kymetamodel.h>

#include "fuzz_support.h"

using namespace ky::metamodel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kyfuzz::quietAssertions();
    if (size == 0) return 0;
    static const eFieldType types[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate,
                                       eTime, eTimestamp, eBinary, eDirectory, eFile, eSearchPath};
    const eFieldType type = types[data[0] % (sizeof types / sizeof types[0])];
    const ky::string text = kyfuzz::textOf(data + 1, size - 1);
    eFieldSemantics semantic = eSemLength;
    ky::genericSet attribs;
    const bool read = fieldInfo::parseSemantics(text, semantic, attribs);
    if (!read && semantic != eSemNone) __builtin_trap();
    refPtr<classInfo> cls = classInfo::createClassInfo(L"fuzz");
    refPtr<fieldInfo> field = cls->createFieldInfo(L"f", type, ky::genericSet(), L"");
    field->setSemantic(semantic, attribs, L"");
    fieldInfo::semanticStringFromType(field->semantic());
    field->semanticString();
    cls->releaseInfo();
    return 0;
}
