#include <windows.h>

#include <cstdio>
#include <string>

#include "toolplatform/PlatformManager.h"

namespace Kestro::platform {

namespace {

std::string systemReason(const std::string& path, DWORD error) {
  char text[512] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     0, text, sizeof(text), nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return path + ": " + (message.empty() ? "error " + std::to_string(error) : message);
}

}  // namespace

bool replaceFile(const std::string& name, const std::string& content, std::string& reason) {
  if (name.empty()) {
    reason = "'' is no file name";
    return false;
  }
  // A new file that cannot be made is the directory's fault (missing, no right to write): the
  // reason names it, as the new file's made-up name would tell the user nothing.
  const std::string directory = name.substr(0, name.find_last_of("/\\"));
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
      reason = systemReason(directory, GetLastError());
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
    reason = systemReason(name, GetLastError());
    DeleteFileA(temporary.c_str());
    return false;
  }
  reason = systemReason(directory, ERROR_FILE_EXISTS);
  return false;
}

}  // namespace Kestro::platform
