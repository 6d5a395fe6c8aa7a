// The metamodel library voVerizezav: a host includes this header and links
// voVerizezav to describe its data model at run time and ask about it.
#pragma once

#include <kyutils.h>

#include "kymdlclassinfo.h"
#include "kymdlcondition.h"
#include "kymdlenumitem.h"
#include "kymdlenums.h"
#include "kymdlexport.h"
#include "kymdlfieldinfo.h"
#include "kymdlfwd.h"
#include "kymdlidinfo.h"
#include "kymdlkeys.h"
#include "kymdliterators.h"
#include "kymdlmodelinfo.h"
#include "kymdlrelationinfo.h"
