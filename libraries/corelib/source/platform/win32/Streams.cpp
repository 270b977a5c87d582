#include <cstdio>

#include "StringTools.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformStreams.h"

namespace KestroCorelib::platform {

std::FILE* openStream(const std::wstring& name, const char* mode) {
  return _wfopen(name.c_str(), StringTools::toWide(mode).c_str());
}

std::FILE* openStream(const std::string& name, const char* mode) {
  return std::fopen(osPath(name).c_str(), mode);
}

}  // namespace KestroCorelib::platform
