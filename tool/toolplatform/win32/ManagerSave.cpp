#include <windows.h>

#include <cstdio>
#include <string>

#include "FileReplace.h"
#include "toolplatform/PlatformManager.h"

namespace Kestro::platform {

namespace {

std::string systemReason(const std::string& path, DWORD error) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof(text), nullptr);
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
  const KestroCorelib::FileReplaceResult result = KestroCorelib::replaceFileContent(name, content);
  if (result) return true;
  reason = systemReason(result.path, static_cast<DWORD>(result.error));
  return false;
}

}  // namespace Kestro::platform
