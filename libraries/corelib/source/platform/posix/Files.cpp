// WARNING: only generic POSIX code belongs in this folder.
#include "platform/PlatformFiles.h"

#include <algorithm>

namespace KestroCorelib::platform {

std::string osPath(const std::string& path) {
  std::string result = path;
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

}  // namespace KestroCorelib::platform
