#include <windows.h>

#include <string>
#include <vector>

#include "toolplatform/PlatformChildProcess.h"
#include "toolplatform/win32/SystemErrorText.h"

namespace Kestro::platform {

namespace {

// The executable's path as the system's narrow calls read it (ANSI code page).
std::wstring applicationName(const std::string& executable) {
  const int size = static_cast<int>(executable.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, executable.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, executable.data(), size, result.data(), length);
  return result;
}

}  // namespace

bool startProcess(const std::string& executable, const std::wstring& commandLine,
                  bool inheritHandles, ProcessRecord& record) {
  if (executable.empty() || commandLine.size() < executable.size()) return false;
  // The found program is named as the application, so Windows never guesses it from the
  // command line ("C:\Program Files\x.exe" would first try "C:\Program.exe"). The command
  // line starts with the executable text (one unit per byte); quoting it keeps the child's
  // runtime from splitting its own argv[0] at a blank and moving every argument one place.
  // A Windows path holds no quote, so wrapping it is enough.
  const std::wstring application = applicationName(executable);
  std::wstring quoted = commandLine;
  if (quoted.front() != L'"') {
    quoted.insert(executable.size(), 1, L'"');
    quoted.insert(0, 1, L'"');
  }
  // The child and its thread get the default security of this process's token. A null DACL
  // would let every user of the machine (other sessions included) open them with full
  // access, write into the child's memory and so act with this user's rights.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION information{};
  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> line(quoted.begin(), quoted.end());
  line.push_back(L'\0');
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr,
                      inheritHandles ? TRUE : FALSE, 0, nullptr, nullptr, &startup, &information)) {
    return false;
  }
  record.processId = information.dwProcessId;
  record.threadId = information.dwThreadId;
  record.processHandle = information.hProcess;
  record.threadHandle = information.hThread;
  return true;
}

std::string startFailure(const std::string& executable) {
  return systemErrorText(executable, GetLastError());
}

void releaseProcess(ProcessRecord& record) noexcept {
  if (record.threadHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.threadHandle));
  if (record.processHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.processHandle));
  record = ProcessRecord();
}

}  // namespace Kestro::platform
