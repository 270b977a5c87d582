// WARNING: only generic POSIX code belongs in this folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "StringTools.h"
#include "platform/PlatformFiles.h"

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
