#include "platform/PlatformFiles.h"

namespace KestroCorelib::platform {

std::string osPath(const std::string& path) { return path; }

}  // namespace KestroCorelib::platform
