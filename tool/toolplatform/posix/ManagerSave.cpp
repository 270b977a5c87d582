// WARNING: only generic POSIX code belongs in this folder.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "OsFiles.h"
#include "toolplatform/PlatformManager.h"

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

std::string systemReason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

// Why the new file could not take the place of target. In a shared directory with the sticky
// bit the usual cause is a file (or directory) of that name that another user made first.
std::string renameReason(const std::string& target, int error) {
  struct stat status {};
  if (::lstat(target.c_str(), &status) != 0 || status.st_uid == ::geteuid()) {
    return systemReason(target, error);
  }
  const passwd* entry = ::getpwuid(status.st_uid);
  const std::string owner = entry != nullptr && entry->pw_name != nullptr
                                ? entry->pw_name
                                : "with the id " + std::to_string(status.st_uid);
  if (error == EPERM || error == EACCES) {
    return target + " belongs to the user " + owner + " and cannot be replaced";
  }
  return systemReason(target, error) + " (it belongs to the user " + owner + ")";
}

}  // namespace

bool replaceFile(const std::string& name, const std::string& content, std::string& reason) {
  const std::string target = KestroCorelib::platform::osPath(name);
  if (target.empty() || target.back() == '/') {
    reason = "'" + target + "' is no file name";
    return false;
  }
  const size_t slash = target.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
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
    int descriptor = -1;
    int made = 0;
    {
      // Made and recorded as one step: a signal that ends the run removes it (and nothing
      // that another process made under this name).
      KestroCorelib::platform::EndSignalsHeld held;
      // 0644: the umask may take bits away but never makes the file writable by others.
      descriptor =
          ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      made = errno;
      if (descriptor >= 0) KestroCorelib::platform::setPendingFile(temporary);
    }
    if (descriptor < 0) {
      if (made == EEXIST) continue;
      reason = systemReason(directory, made);
      return false;
    }
    int error = 0;
    if (!writeAll(descriptor, content)) error = errno;
    if (::close(descriptor) != 0 && error == 0) error = errno;
    KestroCorelib::platform::EndSignalsHeld held;
    // rename replaces a link standing under the final name instead of following it.
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) == 0) {
      KestroCorelib::platform::clearPendingFile();
      return true;
    }
    if (error == 0) error = errno;
    ::unlink(temporary.c_str());
    KestroCorelib::platform::clearPendingFile();
    reason = renameReason(target, error);
    return false;
  }
  reason = systemReason(directory, EEXIST);
  return false;
}

}  // namespace Kestro::platform
