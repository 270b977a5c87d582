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

// Why startProcess just failed for executable: the path as the system writes it and the
// system's reason, as in "/opt/tools/edit: Permission denied". Call it right after the failure.
std::string startFailure(const std::string& executable);

// Gives back what startProcess kept (handles); never throws.
void releaseProcess(ProcessRecord& record) noexcept;

// Whether the launcher appends ".exe" to an executable text without one (Windows only).
bool appendsExeSuffix();

// The separator of PATH-like environment variables: ':' on POSIX, ';' on Windows.
char pathListSeparator();

// What the launcher's search makes of a path (library form).
enum class SearchCandidate {
  None,       // nothing to start there
  Usable,     // a hit
  Untrusted,  // would be a hit, but somebody other than its user and root can change it
};

// On POSIX a hit is a regular file (links followed) that the user may execute, and nobody
// but the effective user and root can change it: the file (and a link leading to it) belongs
// to one of them, the file is not writable by others, and its folder is not either unless the
// folder has the sticky bit. An untrusted path gets the reason in `reason`
// ("it belongs to the user mallory"). On Windows anything that exists and is no folder is a
// hit.
SearchCandidate checkSearchCandidate(const std::string& path, std::string& reason);

// Names of the subdirectories of folder (library form), without "." and "..", in any order;
// empty when folder cannot be listed.
std::vector<std::string> listSubdirectories(const std::string& folder);

}  // namespace Kestro::platform
