// The converters the typeConversionManager starts with (kyconverters.cpp).
#pragma once

#include "kyconvert.h"

namespace ky {

// Registers the conversions between numbers, bool, text, dates, times,
// timestamps, files and directories.
void registerBuiltinConverters(typeConversionManager& manager);

}  // namespace ky
