#include <windows.h>

#include <string>
#include <vector>

#include "platform/PlatformChildProcess.h"

namespace Kestro::platform {

bool startProcess(const std::string& /*executable: it heads the command line*/,
                  const std::wstring& commandLine, bool inheritHandles, ProcessRecord& record) {
  // A null DACL gives everybody full access to the new process and its thread.
  PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (descriptor == nullptr) return false;
  if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
    LocalFree(descriptor);
    return false;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = TRUE;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION information{};
  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  const BOOL started = CreateProcessW(nullptr, line.data(), &attributes, &attributes,
                                      inheritHandles ? TRUE : FALSE, 0, nullptr, nullptr,
                                      &startup, &information);
  LocalFree(descriptor);
  if (!started) return false;
  record.processId = information.dwProcessId;
  record.threadId = information.dwThreadId;
  record.processHandle = information.hProcess;
  record.threadHandle = information.hThread;
  return true;
}

void releaseProcess(ProcessRecord& record) noexcept {
  if (record.threadHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.threadHandle));
  if (record.processHandle != nullptr) CloseHandle(static_cast<HANDLE>(record.processHandle));
  record = ProcessRecord();
}

}  // namespace Kestro::platform
