// WARNING: only generic POSIX code belongs in this folder.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/PlatformSignals.h"

namespace KestroCorelib::platform {

namespace {

// Read by the signal handler: a fixed buffer, switched on only once its text is complete.
char pendingName[4096];
volatile sig_atomic_t pendingSet = 0;

sigset_t endSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

static_assert(sizeof(sigset_t) <= 128, "EndSignalsHeld::saved must hold a sigset_t");

EndSignalsHeld::EndSignalsHeld() {
  const sigset_t set = endSignals();
  sigprocmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved));
}

EndSignalsHeld::~EndSignalsHeld() {
  sigprocmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved), nullptr);
}

void setPendingFile(const std::string& osPath) {
  pendingSet = 0;
  if (osPath.empty() || osPath.size() >= sizeof pendingName) return;
  std::memcpy(pendingName, osPath.c_str(), osPath.size() + 1);
  pendingSet = 1;
}

void clearPendingFile() { pendingSet = 0; }

void removePendingFile() {
  if (pendingSet) unlink(pendingName);
  pendingSet = 0;
}

}  // namespace KestroCorelib::platform
