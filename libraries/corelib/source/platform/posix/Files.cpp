// WARNING: only generic POSIX code belongs in this folder.
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

bool pathStatus(const std::string& path, bool& isDirectory) {
  struct stat status {};
  if (::stat(osPath(path).c_str(), &status) != 0) return false;
  isDirectory = S_ISDIR(status.st_mode);
  return true;
}

bool pathStatus(const std::wstring& path, bool& isDirectory) {
  // POSIX file names are bytes; wide names map to them character by character.
  return pathStatus(StringTools::toNarrow(path), isDirectory);
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
