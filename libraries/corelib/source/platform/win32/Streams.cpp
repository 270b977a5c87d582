#include <io.h>

#include <climits>
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

std::FILE* streamFromDescriptor(int descriptor) {
  std::FILE* stream = ::_fdopen(descriptor, "rb");
  if (stream == nullptr) ::_close(descriptor);
  return stream;
}

std::ptrdiff_t readSome(std::FILE* stream, char* buffer, std::size_t size) {
  // _read counts in unsigned int; the stream was opened in binary mode ("rb").
  const unsigned count = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
  return _read(_fileno(stream), buffer, count);
}

}  // namespace KestroCorelib::platform
