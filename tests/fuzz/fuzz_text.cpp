// The string operations and the text conversions into every value class.
#include <kyconvert.h>
#include <kygeneric.h>
#include <kyvalues.h>

#include <vector>

#include "fuzz_support.h"

namespace {

template <class T>
void assign(const ky::string& text) {
    ky::genericValue value = ky::genericValue::create(T());
    if (value.assignFromText(text)) {
        ky::string back;
        value.read(back);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ky::string text = kyfuzz::textOf(data, size);
    ky::string lowered = text.lower();
    std::vector<ky::string> pieces;
    text.splitAt(L",", pieces, true);
    text.splitAt(L",", pieces, false);
    ky::string edited = text;
    edited.deleteAll(L" \t").deleteLeading(L'(').deleteTrailing(L")");
    ky::string::sformat(L"%s|%s", text.c_str(), lowered.c_str());
    unsigned long number = 0;
    ky::dtconvert(text, number);
    assign<bool>(text);
    assign<short>(text);
    assign<int>(text);
    assign<long>(text);
    assign<float>(text);
    assign<double>(text);
    assign<ky::date>(text);
    assign<ky::time>(text);
    assign<ky::timestamp>(text);
    assign<ky::file>(text);
    assign<ky::directory>(text);
    text.toUtf8();
    return 0;
}
