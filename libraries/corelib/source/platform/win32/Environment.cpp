#include <cstdlib>

#include "platform/PlatformEnvironment.h"

namespace KestroCorelib::platform {

bool setEnvironmentVariable(const std::string& name, const std::string& value) {
  // The runtime keeps its own copy of the text, so a temporary is fine here.
  std::string assignment = name + "=" + value;
  return ::_putenv(assignment.c_str()) == 0;
}

}  // namespace KestroCorelib::platform
