#pragma once
// The library's doors to the operating system's files that code outside the library needs
// when it talks to the system itself (the program's own platform folder): a path in the
// system's form, and the guard under which a temporary file is made and renamed so that a
// signal ending the process never leaves it behind.
//
//   osPath("C:\\kestro\\log\\temp")   // POSIX: "C:/kestro/log/temp"; Windows: unchanged
//   isAbsoluteOsPath("/opt/kestro")   // POSIX: true; Windows: false ("C:\\opt" is)
//
//   platform::EndSignalsHeld held;                 // interrupt and terminate wait
//   int fd = open(temporary, O_CREAT | O_EXCL ...);
//   if (fd >= 0) platform::setPendingFile(temporary);
//   ...                                            // (held released: signals end the run)
//   { platform::EndSignalsHeld held; rename(temporary, name); platform::clearPendingFile(); }
//
// Holding the signals while a file is made or renamed and recorded makes the two one step, so
// a signal never removes a file that was not ours or misses one that is. The program runs on
// one thread; one file is pending at a time.
#include <string>

namespace KestroCorelib::platform {

// The one place that turns a library path into the operating system's form
// (on POSIX every backslash becomes a forward slash; on Windows it is unchanged).
std::string osPath(const std::string& path);

// Whether a path (library form) is absolute for the operating system, so that it does not
// depend on the current directory: on POSIX it starts with a separator; on Windows with a
// drive and a separator ("C:\x") or two separators ("\\host\share").
bool isAbsoluteOsPath(const std::string& path);

// Blocks interrupt and terminate for its lifetime (they are delivered when it ends).
// Nothing on Windows.
class EndSignalsHeld {
 public:
  EndSignalsHeld();
  ~EndSignalsHeld();
  EndSignalsHeld(const EndSignalsHeld&) = delete;
  EndSignalsHeld& operator=(const EndSignalsHeld&) = delete;

 private:
  alignas(16) unsigned char saved[128];  // the previous signal mask (a sigset_t on POSIX)
};

// Records the temporary file (operating-system path) that a signal ending the process
// removes. A name too long to record is not recorded.
void setPendingFile(const std::string& osPath);
void clearPendingFile();

}  // namespace KestroCorelib::platform
