// WARNING: only generic POSIX code belongs in this folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  std::FILE* stream = std::fopen(osPath(name).c_str(), mode);
  if (stream == nullptr) return nullptr;
  // POSIX opens a directory for reading, and every read then fails as if the file were empty;
  // Windows refuses it. Refuse it here too, so that a reader reports a file it cannot open.
  struct stat status {};
  if (fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

std::FILE* streamFromDescriptor(int descriptor) {
  std::FILE* stream = ::fdopen(descriptor, "rb");
  if (stream == nullptr) ::close(descriptor);
  return stream;
}

std::ptrdiff_t readSome(std::FILE* stream, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(fileno(stream), buffer, size);
    // A signal arriving while a pipe is waited for is no read error.
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace KestroCorelib::platform
