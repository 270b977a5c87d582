// WARNING: only generic POSIX code belongs in this folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "platform/PlatformFiles.h"
#include "platform/PlatformManager.h"

namespace Kestro::platform {

namespace {

bool writeAll(int descriptor, const std::string& content) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    const ssize_t written = ::write(descriptor, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool replaceFile(const std::string& name, const std::string& content) {
  const std::string target = KestroCorelib::platform::osPath(name);
  if (target.empty() || target.back() == '/') return false;
  // The directory is shared by every user of the installation: the new file must be one
  // that nobody else could have prepared, so it is created exclusively under a name nobody
  // can guess, never through a link.
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed() ^
                         static_cast<uint64_t>(getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof(suffix), ".%016llx",
                  static_cast<unsigned long long>(random()));
    const std::string temporary = target + suffix;
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = writeAll(descriptor, content);
    const bool closed = ::close(descriptor) == 0;
    // rename replaces a link standing under the final name instead of following it.
    if (written && closed && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
  }
  return false;
}

}  // namespace Kestro::platform
