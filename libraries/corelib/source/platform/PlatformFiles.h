#pragma once
// File-system doors of the core library. The library keeps Windows-form path texts;
// only these functions talk to the operating system.
#include <string>

namespace KestroCorelib::platform {

// The one place that turns a library path into the operating system's form
// (on POSIX every backslash becomes a forward slash; on Windows it is unchanged).
std::string osPath(const std::string& path);

}  // namespace KestroCorelib::platform
