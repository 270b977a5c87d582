#pragma once
// The process environment's write door (reading is the portable getenv).
#include <string>

namespace KestroCorelib::platform {

// Sets the variable name to value in the process environment; false when the system refuses.
bool setEnvironmentVariable(const std::string& name, const std::string& value);

}  // namespace KestroCorelib::platform
