// Win32 doors of the application frame.
#include <fx.h>
#include <windows.h>

#include <csignal>

#include "platform/PlatformFrame.h"

namespace KestroCorelib::platform {

void showPlainMessage(const std::string& caption, const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

bool initToolkit(FX::FXApp& app, int& argc, char** argv, std::string& /*error*/) {
  app.init(argc, argv, true);
  return true;
}

void installSignalHandler(void (*handler)(int)) {
  for (int signalNumber : {SIGABRT, SIGINT, SIGTERM}) std::signal(signalNumber, handler);
}

void quitFromSignal(int /*signalNumber*/) { PostQuitMessage(0); }

// The quit message reaches the event loop by itself.
void watchSignals(FX::FXApp& /*app*/) {}
void unwatchSignals(FX::FXApp& /*app*/) {}

}  // namespace KestroCorelib::platform
