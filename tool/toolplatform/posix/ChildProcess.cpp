// WARNING: only generic POSIX code belongs in this folder.
#include "ChildProcess.h"

#include <spawn.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "OsFiles.h"
#include "toolplatform/PlatformChildProcess.h"

extern char** environ;

namespace Kestro::platform {

namespace {

// The command line was widened byte by byte; this undoes it. A unit above 255 cannot come
// from a byte and becomes '?', as every wide-to-narrow conversion here does.
std::string narrowUnits(const std::wstring& text) {
  std::string result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    result.push_back(static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?');
  }
  return result;
}

}  // namespace

bool startProcess(const std::string& executable, const std::wstring& commandLine,
                  bool /*inheritHandles: descriptors without close-on-exec are always inherited*/,
                  ProcessRecord& record) {
  const std::string file = KestroCorelib::platform::osPath(executable);
  if (file.empty()) return false;
  // The executable heads the command line unquoted and may hold blanks, so only the text
  // after it is read back into arguments, the way a Windows child would read its own.
  const std::string line = narrowUnits(commandLine);
  const std::string tail = line.size() > executable.size() ? line.substr(executable.size()) : "";
  std::vector<std::string> arguments = Kestro::ChildProcess::splitCommandLine(tail);

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  std::string argv0 = file;
  argv.push_back(argv0.data());
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // posix_spawn, not posix_spawnp: the path is already resolved, and no shell is involved.
  pid_t pid = 0;
  const int error = posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) {
    errno = error;  // posix_spawn reports rather than sets it; startFailure reads it
    return false;
  }
  record.processId = static_cast<uint64_t>(pid);
  record.threadId = 0;
  return true;
}

std::string startFailure(const std::string& executable) {
  return KestroCorelib::platform::osPath(executable) + ": " + std::strerror(errno);
}

void releaseProcess(ProcessRecord& record) noexcept { record = ProcessRecord(); }

}  // namespace Kestro::platform
