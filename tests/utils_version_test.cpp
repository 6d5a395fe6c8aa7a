// The run-time version agrees with the version the tests were compiled against.
#include "test_support.h"

#include <kyversion.h>

namespace kytest {
namespace {

TEST(Version, PartsMatchTheMacros) {
    EXPECT_EQ(ky::versionMajor(), KY_VERSION_MAJOR);
    EXPECT_EQ(ky::versionMinor(), KY_VERSION_MINOR);
    EXPECT_EQ(ky::versionPatch(), KY_VERSION_PATCH);
}

TEST(Version, IsTheReleasedVersion) { EXPECT_STREQ(ky::versionString(), "0.3.0"); }

}  // namespace
}  // namespace kytest
