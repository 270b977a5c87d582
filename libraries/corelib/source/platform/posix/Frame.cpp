// POSIX doors of the application frame.
#include <fcntl.h>
#include <fx.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "StringTools.h"
#include "platform/PlatformFrame.h"
#include "platform/PlatformSignals.h"

using namespace FX;

namespace KestroCorelib::platform {

namespace {

// Self-pipe between the signal handler and the event loop: the handler may only write a
// byte; the loop sees the pipe readable and stops itself outside the handler.
int signalPipe[2] = {-1, -1};
volatile sig_atomic_t loopWatched = 0;
FXApp* watchedApp = nullptr;

void drainSignalPipe() {
  char buffer[64];
  while (signalPipe[0] >= 0 && read(signalPipe[0], buffer, sizeof buffer) > 0) {
  }
}

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
  return StringTools::equalsNoCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

}  // namespace

// Receives the pipe's readable event inside the event loop and ends the loop.
class SignalRelay : public FXObject {
  FXDECLARE(SignalRelay)
 public:
  enum { ID_SIGNAL = 1 };
  SignalRelay() = default;
  long onSignal(FXObject*, FXSelector, void*) {
    drainSignalPipe();
    if (watchedApp != nullptr) watchedApp->stop(0);
    return 1;
  }
};

FXDEFMAP(SignalRelay)
SignalRelayMap[] = {
    FXMAPFUNC(SEL_IO_READ, SignalRelay::ID_SIGNAL, SignalRelay::onSignal),
};
FXIMPLEMENT(SignalRelay, FXObject, SignalRelayMap, ARRAYNUMBER(SignalRelayMap))

namespace {
SignalRelay relay;
}  // namespace

void showPlainMessage(const std::string& /*caption*/, const std::string& text) {
  FILE* stream =
      (startsWithNoCase(text, "error:") || startsWithNoCase(text, "warning:")) ? stderr : stdout;
  std::fwrite(text.data(), 1, text.size(), stream);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

bool initToolkit(FXApp& app, int& argc, char** argv, std::string& error) {
  // With connect set the toolkit would end the process itself when the display is missing.
  app.init(argc, argv, false);
  if (app.openDisplay()) return true;
  const char* display = std::getenv("DISPLAY");
  error = std::string("ERROR: Cannot open display \"") + (display != nullptr ? display : "") + "\"";
  return false;
}

void installSignalHandler(void (*handler)(int)) {
  if (signalPipe[0] < 0 && pipe(signalPipe) == 0) {
    for (int fd : signalPipe) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
  }
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : {SIGABRT, SIGINT, SIGTERM}) sigaction(signalNumber, &action, nullptr);
}

void quitFromSignal(int signalNumber) {
  if (loopWatched && signalPipe[1] >= 0) {
    int savedErrno = errno;
    ssize_t written = write(signalPipe[1], "q", 1);
    (void)written;  // a full pipe already holds a quit request
    errno = savedErrno;
    return;
  }
  if (signalNumber != SIGINT && signalNumber != SIGTERM) return;
  // No loop would receive a quit request: a run stuck on a slow file would ignore Ctrl-C and
  // a shutdown. End it as the default action would, after removing what a save left.
  removePendingFile();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signalNumber, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signalNumber);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signalNumber);
}

void watchSignals(FXApp& app) {
  if (signalPipe[0] < 0) return;
  drainSignalPipe();
  watchedApp = &app;
  app.addInput(signalPipe[0], INPUT_READ, &relay, SignalRelay::ID_SIGNAL);
  loopWatched = 1;
}

void unwatchSignals(FXApp& app) {
  loopWatched = 0;
  if (signalPipe[0] < 0) return;
  app.removeInput(signalPipe[0], INPUT_READ);
  watchedApp = nullptr;
  drainSignalPipe();
}

}  // namespace KestroCorelib::platform
