#include <gtest/gtest.h>

#include "platform/PlatformFiles.h"

namespace KestroCorelib::platform {

#ifndef _WIN32
TEST(PlatformFiles, OsPathTurnsEveryBackslashIntoSlash) {
  EXPECT_EQ(osPath("\\opt\\kestro\\config\\"), "/opt/kestro/config/");
  EXPECT_EQ(osPath("rel/a\\b"), "rel/a/b");
}
#endif

}  // namespace KestroCorelib::platform
