// WARNING: only generic POSIX code belongs in this folder.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "OsFiles.h"
#include "toolplatform/PlatformChildProcess.h"

namespace Kestro::platform {

bool appendsExeSuffix() { return false; }

char pathListSeparator() { return ':'; }

namespace {

bool trustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

std::string userName(uid_t user) {
  const passwd* entry = getpwuid(user);
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : std::to_string(user);
}

// Group write is left to the administrator: with one group per user (umask 002) a user's own
// folders are group-writable, and nobody else is in that group.
bool writableByOthers(mode_t mode) { return (mode & S_IWOTH) != 0; }

}  // namespace

SearchCandidate checkSearchCandidate(const std::string& path, std::string& reason) {
  const std::string file = KestroCorelib::platform::osPath(path);
  struct stat status {};
  if (file.empty() || stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      access(file.c_str(), X_OK) != 0) {
    return SearchCandidate::None;
  }
  // The search looks in the current directory and in parent folders such as /tmp: whoever
  // may put or change a file there would choose what runs, with the user's rights.
  struct stat link {};
  const size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : file.substr(0, slash);
  struct stat folderStatus {};
  if (lstat(file.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && !trustedOwner(link.st_uid)) {
    reason = "the link belongs to the user " + userName(link.st_uid);
  } else if (!trustedOwner(status.st_uid)) {
    reason = "it belongs to the user " + userName(status.st_uid);
  } else if (writableByOthers(status.st_mode)) {
    reason = "others may write to it";
  } else if (stat(folder.c_str(), &folderStatus) != 0) {
    reason = "its folder cannot be examined";
  } else if (writableByOthers(folderStatus.st_mode) && (folderStatus.st_mode & S_ISVTX) == 0) {
    reason = "others may write to its folder";
  } else {
    return SearchCandidate::Usable;
  }
  return SearchCandidate::Untrusted;
}

std::vector<std::string> listSubdirectories(const std::string& folder) {
  std::vector<std::string> names;
  const std::string directory = KestroCorelib::platform::osPath(folder);
  if (directory.empty()) return names;
  DIR* stream = opendir(directory.c_str());
  if (stream == nullptr) return names;
  while (const dirent* entry = readdir(stream)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status {};
    // d_type is not filled on every file system; stat settles it (and follows links, as
    // the Windows listing reports a linked folder as a folder).
    const std::string full = directory + "/" + name;
    if (stat(full.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) names.push_back(name);
  }
  closedir(stream);
  return names;
}

}  // namespace Kestro::platform
