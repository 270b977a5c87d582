// WARNING: only generic POSIX code belongs in this folder.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "FileReplace.h"
#include "OsFiles.h"
#include "toolplatform/PlatformManager.h"

namespace Kestro::platform {

namespace {

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
  const KestroCorelib::FileReplaceResult result = KestroCorelib::replaceFileContent(name, content);
  if (result) return true;
  reason = result.path == target ? renameReason(target, result.error)
                                 : systemReason(result.path, result.error);
  return false;
}

}  // namespace Kestro::platform
