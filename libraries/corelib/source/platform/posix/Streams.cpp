// WARNING: only generic POSIX code belongs in this folder.
#include <cstdio>

#include "StringTools.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformStreams.h"

namespace KestroCorelib::platform {

std::FILE* openStream(const std::wstring& name, const char* mode) {
  // POSIX file names are bytes: the Latin-1 form gives back the bytes the name was made of.
  return openStream(StringTools::toNarrow(name), mode);
}

std::FILE* openStream(const std::string& name, const char* mode) {
  return std::fopen(osPath(name).c_str(), mode);
}

}  // namespace KestroCorelib::platform
