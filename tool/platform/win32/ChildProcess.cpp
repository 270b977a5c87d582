#include <windows.h>

#include <string>
#include <vector>

#include "platform/PlatformChildProcess.h"

namespace Kestro::platform {

bool startProcess(const std::string& /*executable: it heads the command line*/,
                  const std::wstring& commandLine, bool inheritHandles, ProcessRecord& record) {
  // The child and its thread get the default security of this process's token. A null DACL
  // would let every user of the machine (other sessions included) open them with full
  // access, write into the child's memory and so act with this user's rights.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION information{};
  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inheritHandles ? TRUE : FALSE, 0,
                      nullptr, nullptr, &startup, &information)) {
    return false;
  }
  record.processId = information.dwProcessId;
  record.threadId = information.dwThreadId;
  record.processHandle = information.hProcess;
  record.threadHandle = information.hThread;
  return true;
}

std::string startFailure(const std::string& executable) {
  const DWORD error = GetLastError();
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof(text), nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return executable + ": " + (message.empty() ? "error " + std::to_string(error) : message);
}

void releaseProcess(ProcessRecord& record) noexcept {
  if (record.threadHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.threadHandle));
  if (record.processHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.processHandle));
  record = ProcessRecord();
}

}  // namespace Kestro::platform
