// WARNING: only generic POSIX code belongs in this folder.
#include <cstdlib>

#include "platform/PlatformEnvironment.h"

namespace KestroCorelib::platform {

bool setEnvironmentVariable(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace KestroCorelib::platform
