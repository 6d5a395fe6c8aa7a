#include "kyversion.h"

namespace ky {

const char* versionString() noexcept { return KY_VERSION_STRING; }
int versionMajor() noexcept { return KY_VERSION_MAJOR; }
int versionMinor() noexcept { return KY_VERSION_MINOR; }
int versionPatch() noexcept { return KY_VERSION_PATCH; }

}  // namespace ky
