// WARNING: only generic POSIX code belongs in this folder.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/PlatformChildProcess.h"
#include "platform/PlatformFiles.h"

namespace Kestro::platform {

bool appendsExeSuffix() { return false; }

char pathListSeparator() { return ':'; }

bool isSearchCandidate(const std::string& path) {
  const std::string file = KestroCorelib::platform::osPath(path);
  struct stat status {};
  if (file.empty() || stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  return access(file.c_str(), X_OK) == 0;
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
