#include "AppFrame.h"

#include <fx.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "StringTools.h"
#include "platform/PlatformFrame.h"

namespace KestroCorelib {

FX::FXApp* AppFrame::toolkitApp = nullptr;
FX::FXMainWindow* AppFrame::mainWindow = nullptr;
std::string AppFrame::appTitle;
std::string AppFrame::vendor;
bool AppFrame::guiActive = false;
int AppFrame::argCount = 0;
char** AppFrame::argVector = nullptr;

namespace {

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
  return StringTools::equalsNoCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

// The toolkit reads and rewrites the argument vector; it must never see a null one.
char fallbackProgram[] = "";
char* fallbackArguments[] = {fallbackProgram, nullptr};

}  // namespace

AppFrame::AppFrame(const std::string& title, const std::string& executableName,
                   bool standardOptions, const std::string& vendorName)
    : ImsAgent("appframe") {
  vendor = vendorName;
  appTitle = title;
  state = StateRun;
  parser.init(executableName, standardOptions, false, false);
  frameLogger.setSourceName("appframe");
  // The object alone connects to nothing: the display is opened by initToolkit or, when
  // that is deferred, by createWindows.
  toolkitApp = new (std::nothrow) FX::FXApp(appTitle.c_str(), vendor.c_str());
  if (toolkitApp == nullptr) {
    frameLogger.logFatal("@memory{Out of memory};");
    state = StateFailed;
  }
  mainWindow = nullptr;
}

AppFrame::~AppFrame() {
  guiActive = false;
  mainWindow = nullptr;
  delete toolkitApp;
  toolkitApp = nullptr;
}

void AppFrame::initApplication() {
  if (!onInit()) state = StateFailed;
  initToolkit();
  parseCommandLine();
}

void AppFrame::exitApplication() {
  if (!onExit()) state = StateFailed;
}

int32_t AppFrame::receiveMessage(ImsMessage& message) { return onMessage(message); }

int32_t AppFrame::receiveHookedMessage(uint64_t hookId, ImsMessage& message) {
  return onHookedMessage(hookId, message);
}

void AppFrame::onTimer() {}

int32_t AppFrame::onMessage(ImsMessage& /*message*/) { return ImsAnswer::notHandled; }

int32_t AppFrame::onHookedMessage(uint64_t /*hookId*/, ImsMessage& /*message*/) {
  return ImsAnswer::notHandled;
}

bool AppFrame::initToolkitNow() {
  if (toolkitReady) return true;
  if (toolkitApp == nullptr) return false;
  if (argVector == nullptr) {
    argCount = 1;
    argVector = fallbackArguments;
  }
  std::string error;
  if (!platform::initToolkit(*toolkitApp, argCount, argVector, error)) {
    report(error);
    return false;
  }
  toolkitReady = true;
  return true;
}

void AppFrame::initToolkit() {
  if (deferToolkitInit) return;
  if (!initToolkitNow()) state = StateFailed;
}

bool AppFrame::parseCommandLine() {
  std::string message;
  if (!parser.parse(argCount, argVector, message)) {
    report("ERROR: " + message + "\n");
    return false;
  }
  std::vector<std::string> lines;
  if (parser.isSet('?')) lines.push_back(parser.getUsage());
  if (parser.isSet("version")) lines.push_back("Version=" + parser.getVersionText());
  if (parser.isSet("revision")) lines.push_back("Revision=" + parser.getRevisionText());
  if (!lines.empty()) {
    state = StateFinished;
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    report(text);
  }
  return true;
}

bool AppFrame::createWindows() {
  if (!initToolkitNow()) return false;
  toolkitApp->create();
  guiActive = true;
  return true;
}

int32_t AppFrame::runEventLoop() {
  platform::watchSignals(*toolkitApp);
  int32_t result = toolkitApp->run();
  platform::unwatchSignals(*toolkitApp);
  // The toolkit writes its settings registry here.
  toolkitApp->exit(0);
  guiActive = false;
  return result;
}

int32_t AppFrame::run() {
  // A failing report or log call must not turn a handled error into a crash.
  auto failWith = [](const std::string& shown, auto&& logIt) {
    try {
      report(shown);
    } catch (...) {
    }
    try {
      logIt();
    } catch (...) {
    }
    return 2;
  };
  try {
    return onRun();
  } catch (const Exception& e) {
    return failWith(e.getText(false), [&] { appLogger.logFatal(e); });
  } catch (const std::range_error&) {
    return failWith("ERROR: STD range error",
                    [&] { appLogger.logFatal("@std-range-error{STD range error};"); });
  } catch (const std::bad_alloc&) {
    return failWith("ERROR: STD out of memory",
                    [&] { appLogger.logFatal("@std-out-of-memory{STD out of memory};"); });
  } catch (...) {
    return failWith("ERROR: Unknown exception",
                    [&] { appLogger.logFatal("@unknown-exception{Unknown exception};"); });
  }
}

void AppFrame::report(const std::string& text, bool quiet) {
  if (quiet) return;
  if (!guiActive || toolkitApp == nullptr) {
    platform::showPlainMessage(appTitle, text);
    return;
  }
  // "%s" keeps a '%' in the text from being read as a format.
  const char* caption = appTitle.c_str();
  if (startsWithNoCase(text, "error:")) {
    if (mainWindow != nullptr) {
      FX::FXMessageBox::error(mainWindow, FX::MBOX_OK, caption, "%s", text.c_str());
    } else {
      FX::FXMessageBox::error(toolkitApp, FX::MBOX_OK, caption, "%s", text.c_str());
    }
  } else if (startsWithNoCase(text, "warning:")) {
    if (mainWindow != nullptr) {
      FX::FXMessageBox::warning(mainWindow, FX::MBOX_OK, caption, "%s", text.c_str());
    } else {
      FX::FXMessageBox::warning(toolkitApp, FX::MBOX_OK, caption, "%s", text.c_str());
    }
  } else {
    if (mainWindow != nullptr) {
      FX::FXMessageBox::information(mainWindow, FX::MBOX_OK, caption, "%s", text.c_str());
    } else {
      FX::FXMessageBox::information(toolkitApp, FX::MBOX_OK, caption, "%s", text.c_str());
    }
  }
}

void AppFrame::installSignalHandler() { platform::installSignalHandler(&AppFrame::signalHandler); }

void AppFrame::signalHandler(int signalNumber) { platform::quitFromSignal(signalNumber); }

void AppFrame::setArguments(int argc, char** argv) {
  argCount = argc;
  argVector = argv;
}

}  // namespace KestroCorelib
