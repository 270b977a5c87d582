#pragma once
// Operating-system doors of the launcher: starting a child, and the few file-system facts
// the executable search needs. Each function has one POSIX and one Win32 implementation.
#include <cstdint>
#include <string>
#include <vector>

namespace Kestro::platform {

// What the system tells about a started child. Win32 keeps its handles here too.
struct ProcessRecord {
  uint64_t processId = 0;
  uint64_t threadId = 0;
  void* processHandle = nullptr;
  void* threadHandle = nullptr;
};

// Starts executable (library path form) with the given command line (executable first,
// then the arguments, as ChildProcess builds it), the inherited environment and current
// directory, without waiting. Fills record and returns true on success.
bool startProcess(const std::string& executable, const std::wstring& commandLine,
                  bool inheritHandles, ProcessRecord& record);

// Gives back what startProcess kept (handles); never throws.
void releaseProcess(ProcessRecord& record) noexcept;

// Whether the launcher appends ".exe" to an executable text without one (Windows only).
bool appendsExeSuffix();

// The separator of PATH-like environment variables: ':' on POSIX, ';' on Windows.
char pathListSeparator();

// Whether path (library form) may be taken as a search hit: on POSIX a regular file the user
// may execute, on Windows anything that exists.
bool isSearchCandidate(const std::string& path);

// Names of the subdirectories of folder (library form), without "." and "..", in any order;
// empty when folder cannot be listed.
std::vector<std::string> listSubdirectories(const std::string& folder);

}  // namespace Kestro::platform
