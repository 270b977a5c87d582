#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/PlatformManager.h"

namespace Kestro::platform {

bool replaceFile(const std::string& name, const std::string& content) {
  if (name.empty()) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".%08lx%04x", GetTickCount(),
                  static_cast<unsigned>(GetCurrentProcessId() + attempt) & 0xFFFF);
    const std::string temporary = name + suffix;
    // CREATE_NEW fails on any existing entry, a reparse point included.
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    DWORD written = 0;
    const bool ok = content.empty() ||
                    (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                               nullptr) &&
                     written == content.size());
    const bool closed = CloseHandle(file) != 0;
    if (ok && closed && MoveFileExA(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return true;
    }
    DeleteFileA(temporary.c_str());
    return false;
  }
  return false;
}

}  // namespace Kestro::platform
