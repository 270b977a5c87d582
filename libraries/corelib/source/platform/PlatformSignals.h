#pragma once
// What a signal that ends the process must clean up: the temporary file a save is writing.
// A file is made and recorded, or renamed and forgotten, while the end signals are held, so
// that the two are one step: a signal never removes a file that was not ours or misses one
// that is. The program runs on one thread; one file is pending at a time.
//
//   platform::EndSignalsHeld held;                 // interrupt and terminate wait
//   int fd = open(temporary, O_CREAT | O_EXCL ...);
//   if (fd >= 0) platform::setPendingFile(temporary);
//   ...                                            // (held released: signals end the run)
//   { platform::EndSignalsHeld held; rename(temporary, name); platform::clearPendingFile(); }
#include <string>

namespace KestroCorelib::platform {

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

// In a signal handler: removes the pending file, if any. Async-signal-safe.
void removePendingFile();

}  // namespace KestroCorelib::platform
