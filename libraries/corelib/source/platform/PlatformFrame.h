#pragma once
// Operating-system doors of the application frame: plain messages, opening the toolkit's
// display and the signal handler.
#include <string>

namespace FX {
class FXApp;
}  // namespace FX

namespace KestroCorelib::platform {

// Shows a text while no toolkit window exists (Windows: a message box captioned `caption`;
// POSIX: standard error for texts starting "error:" or "warning:", any case, standard output
// otherwise, with a line feed appended when the text does not end with one).
void showPlainMessage(const std::string& caption, const std::string& text);

// Initialises the toolkit with the process arguments and opens the display. On failure
// answers false with the text to report.
bool initToolkit(FX::FXApp& app, int& argc, char** argv, std::string& error);

// Installs `handler` for abort, interrupt and terminate, in that order.
void installSignalHandler(void (*handler)(int));
// The handler's work, async-signal-safe: ends the event loop while it is watched. Outside
// the loop, on POSIX, interrupt and terminate end the process: the pending temporary file
// (PlatformSignals.h) is removed and the signal raised again with its default action.
void quitFromSignal(int signalNumber);
// Between these two calls a signal ends the toolkit's event loop with 0.
void watchSignals(FX::FXApp& app);
void unwatchSignals(FX::FXApp& app);

}  // namespace KestroCorelib::platform
