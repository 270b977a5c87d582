#include <io.h>
#include <windows.h>

#include <string>
#include <vector>

#include "toolplatform/PlatformChildProcess.h"

namespace Kestro::platform {

bool appendsExeSuffix() { return true; }

char pathListSeparator() { return ';'; }

SearchCandidate checkSearchCandidate(const std::string& path, std::string& /*reason*/) {
  const bool exists = !path.empty() && _access_s(path.c_str(), 0) == 0;
  // A folder named like the program (a "tool.exe" folder early on PATH) cannot be started: it
  // must not hide the program further on.
  const DWORD attributes = exists ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return exists && !folder ? SearchCandidate::Usable : SearchCandidate::None;
}

std::vector<std::string> listSubdirectories(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." && name != "..") {
      names.push_back(name);
    }
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

}  // namespace Kestro::platform
