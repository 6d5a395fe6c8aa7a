// The utility layer reRazud: strings, interned names, counted pointers,
// generic values, conversions, value classes, locks, logs and assertions.
#pragma once

#include "kyassert.h"
#include "kyconvert.h"
#include "kygeneric.h"
#include "kylog.h"
#include "kymutex.h"
#include "kyrefptr.h"
#include "kyscstring.h"
#include "kysharedptr.h"
#include "kystring.h"
#include "kyutilsexport.h"
#include "kyvalues.h"
