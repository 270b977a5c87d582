#include "toolplatform/win32/SystemErrorText.h"

#include <windows.h>

namespace Kestro::platform {

std::string systemErrorText(const std::string& subject, unsigned long error) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof(text), nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return subject + ": " + (message.empty() ? "error " + std::to_string(error) : message);
}

}  // namespace Kestro::platform
