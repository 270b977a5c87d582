// WARNING: only generic POSIX code belongs in this folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include "FileReplace.h"
#include "StringTools.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformSignals.h"

namespace KestroCorelib::platform {

std::string osPath(const std::string& path) {
  std::string result = path;
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

std::wstring wideFileName(const std::string& name) { return StringTools::toWide(name); }

bool pathExists(const std::string& path) { return ::access(osPath(path).c_str(), F_OK) == 0; }

PathKind pathKind(const std::string& path) {
  struct stat status {};
  if (::stat(osPath(path).c_str(), &status) != 0) return PathKind::Missing;
  if (S_ISDIR(status.st_mode)) return PathKind::Directory;
  return S_ISREG(status.st_mode) ? PathKind::RegularFile : PathKind::Other;
}

PathKind pathKind(const std::wstring& path) {
  // POSIX file names are bytes; wide names map to them character by character.
  return pathKind(StringTools::toNarrow(path));
}

int openRegularFile(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO would wait until somebody opens it for writing.
  const int descriptor = ::open(osPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return -1;
  struct stat status {};
  int error = 0;
  if (::fstat(descriptor, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  } else if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  if (error == 0) return descriptor;
  ::close(descriptor);
  errno = error;
  return -1;
}

void closeDescriptor(int descriptor) { ::close(descriptor); }

bool isAbsoluteOsPath(const std::string& path) {
  return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

bool currentDirectory(std::string& result) {
  // getcwd reports ERANGE until the buffer holds the whole name.
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
  result = buffer.data();
  return true;
}

bool longPathName(const std::string&, std::string&) {
  // POSIX has no short names: every path is already its long form.
  return false;
}

bool windowsDirectory(std::string&) { return false; }

}  // namespace KestroCorelib::platform

namespace KestroCorelib {

namespace {

bool writeWhole(int descriptor, const std::string& content) {
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

// Makes a new file beside target that nobody else can have prepared: created exclusively,
// never through a link, under a name nobody can guess (the directory may be shared by every
// user of the installation). It is recorded for removal by a signal in the same step.
// -1 and the system's error when no such file can be made.
int createBeside(const std::string& target, mode_t mode, std::string& temporary, int& error) {
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed() ^
                         static_cast<uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof(suffix), ".%016llx", static_cast<unsigned long long>(random()));
    temporary = target + suffix;
    platform::EndSignalsHeld held;
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    error = errno;
    if (descriptor >= 0) {
      platform::setPendingFile(temporary);
      return descriptor;
    }
    if (error != EEXIST) return -1;
  }
  error = EEXIST;
  return -1;
}

// The new file takes mode and owner of the one it replaces.
void copyAttributes(int from, int to) {
  struct stat like {};
  if (::fstat(from, &like) != 0) return;
  if (::fchmod(to, like.st_mode & 07777) != 0) {
    // Not fatal: the new file is then private to its writer, which loses nothing.
  }
  if (::fchown(to, like.st_uid, like.st_gid) != 0) {
    // Only root may give a file away; an ordinary writer owns the file already.
  }
}

// The content of the new file on the disk: flushed, and the descriptor closed either way.
int fillAndClose(int descriptor, const std::string& content, bool durable) {
  int error = 0;
  if (!writeWhole(descriptor, content) || (durable && ::fsync(descriptor) != 0)) error = errno;
  if (::close(descriptor) != 0 && error == 0) error = errno;
  return error;
}

// Makes a finished rename durable: the directory entry goes to the disk too.
void syncDirectory(const std::string& directory) {
  const int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  if (::fsync(descriptor) != 0) {
    // The new content is in place either way; only its survival of a system crash is less
    // certain, and there is nothing left to undo.
  }
  ::close(descriptor);
}

}  // namespace

FileReplaceResult replaceFileContent(const std::string& name, const std::string& content,
                                     const FileReplaceOptions& options) {
  FileReplaceResult result;
  const std::string target = platform::osPath(name);
  const size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : target.substr(0, slash);
  std::string temporary;
  const mode_t mode = options.attributesOf >= 0 ? 0600 : 0644;
  int error = 0;
  const int descriptor = createBeside(target, mode, temporary, error);
  if (descriptor < 0) {
    result.error = error;
    result.path = directory;
    return result;
  }
  if (options.attributesOf >= 0) copyAttributes(options.attributesOf, descriptor);
  error = fillAndClose(descriptor, content, options.durable);
  {
    platform::EndSignalsHeld held;
    // rename replaces a link standing under the final name instead of following it.
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temporary.c_str());
    platform::clearPendingFile();
  }
  if (error != 0) {
    result.error = error;
    result.path = target;
    return result;
  }
  if (options.durable) syncDirectory(directory);
  return result;
}

}  // namespace KestroCorelib
