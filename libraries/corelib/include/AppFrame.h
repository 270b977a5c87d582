#pragma once
// The base of every application of the core library.
//
// The frame owns the members every application needs, creates the GUI toolkit's
// application object, parses the command line and answers the standard options ("help"
// (-?), "version", "revision", "debug"), runs the application's main work under a top-level
// catch, and shows messages to the user.
//
//   class Tool : public KestroCorelib::AppFrame {
//    public:
//     Tool() : AppFrame("Tool", "Tool", true, "Kestro, Inc.") { initApplication(); }
//     ~Tool() override { exitApplication(); }
//     bool onInit() override { parser.addFlag("Be verbose", 'v', "verbose"); return true; }
//     bool onExit() override { return true; }
//     int32_t onRun() override { report("done"); return 0; }
//   };
//
//   int main(int argc, char** argv) {
//     AppFrame::installSignalHandler();
//     AppFrame::setArguments(argc, argv);
//     Tool tool;                                  // "tool -?" shows the usage: state 2
//     if (tool.getState() != 0) return tool.getState() == 2 ? 0 : 2;
//     return tool.run();                          // onRun, or 2 after an error escaped it
//   }
//
// Everything here runs on the thread that called main, which is also the GUI thread.
#include <cstdint>
#include <string>

#include "CmdParser.h"
#include "ConfAgent.h"
#include "Ims.h"
#include "Logger.h"
#include "SystemBase.h"

namespace FX {
class FXApp;
class FXMainWindow;
}  // namespace FX

namespace KestroCorelib {

class AppFrame : public ImsAgent {
 public:
  // Values of `state`.
  enum : int32_t {
    StateRun = 0,       // run normally
    StateFinished = 2,  // help, version or revision shown: exit code 0, nothing more to do
    StateFailed = 3     // a set-up step failed: exit code 2
  };

  // Builds the members, stores title and vendor, declares the standard options (when
  // `standardOptions`) on a parser for `executableName` and creates the toolkit's
  // application object (not yet initialised; no display is opened here). The derived
  // class's constructor then calls initApplication().
  AppFrame(const std::string& title, const std::string& executableName, bool standardOptions,
           const std::string& vendor);
  // Deletes the toolkit application object, then the members in reverse order. The derived
  // class's destructor calls exitApplication() first.
  ~AppFrame() override;

  // Bus messages go on, unchanged, to onMessage and onHookedMessage.
  int32_t receiveMessage(ImsMessage& message) override;
  int32_t receiveHookedMessage(uint64_t hookId, ImsMessage& message) override;

  // The application declares its options here; false makes the state StateFailed.
  virtual bool onInit() = 0;
  // End-of-run hook; false makes the state StateFailed.
  virtual bool onExit() = 0;
  // The application's main work; the result is the exit code.
  virtual int32_t onRun() = 0;
  // Called by the main window's periodic state poll; does nothing by default.
  virtual void onTimer();
  // Default: 1 (not handled).
  virtual int32_t onMessage(ImsMessage& message);
  virtual int32_t onHookedMessage(uint64_t hookId, ImsMessage& message);

  // Initialises the toolkit now unless deferToolkitInit is set. A display that cannot be
  // opened is reported and makes the state StateFailed.
  void initToolkit();
  // Parses the process arguments. A parse error is reported as "ERROR: " + message + "\n"
  // and answers false, the state unchanged. -?, --version and --revision report, in this
  // order and joined by "\n", the usage, "Version=" + version and "Revision=" + revision,
  // and make the state StateFinished.
  bool parseCommandLine();
  // Initialises the toolkit if that was deferred (opening the display), creates the toolkit
  // windows and marks the GUI active. When the display cannot be opened it reports
  //   ERROR: Cannot open display "NAME"
  // (NAME from DISPLAY) and answers false; nothing has been created then.
  bool createWindows();
  // Runs the toolkit's event loop until it is stopped (by the main window, its state poll or
  // a signal), lets the toolkit save its settings, marks the GUI inactive and returns the
  // loop's result.
  int32_t runEventLoop();
  // Calls onRun. An error escaping it is reported, logged at fatal level and gives 2:
  // an Exception with its text (without name), std::range_error "ERROR: STD range error",
  // std::bad_alloc "ERROR: STD out of memory", anything else "ERROR: Unknown exception".
  int32_t run();

  // Shows a text to the user unless `quiet`. While toolkit windows exist: a toolkit message
  // box captioned with the application title, an error box for a text starting "error:", a
  // warning box for "warning:" (any case), an information box otherwise. Otherwise the
  // platform's plain message: on POSIX the text and a line feed (when it has none) on
  // standard error for "error:"/"warning:" texts, on standard output for the rest.
  static void report(const std::string& text, bool quiet = false);

  // Installs signalHandler for abort, interrupt and terminate, in that order.
  static void installSignalHandler();
  // Only async-signal-safe work: while the event loop runs it makes the loop end (with 0, as
  // a quit message would). Outside the loop, on POSIX, interrupt and terminate end the
  // process at once as their default action does (exit status 130 or 143 in a shell), after
  // removing the temporary file that a save is writing; abort is left to take its course.
  static void signalHandler(int signalNumber);

  // The process arguments as main received them; parseCommandLine and the toolkit read them.
  static void setArguments(int argc, char** argv);

  int32_t getState() const { return state; }
  void setState(int32_t newState) { state = newState; }
  CmdParser& getParser() { return parser; }

  // Process-wide state.
  static FX::FXApp* toolkitApp;         // created by the constructor
  static FX::FXMainWindow* mainWindow;  // the application's main window, null until created
  static std::string appTitle;          // caption of message boxes, title of the main window
  static std::string vendor;            // vendor name handed to the toolkit
  static bool guiActive;                // toolkit windows exist, the event loop may run
  static int argCount;
  static char** argVector;

 protected:
  // The derived constructor's set-up: onInit (false: StateFailed), initToolkit,
  // parseCommandLine.
  void initApplication();
  // The derived destructor's first step: onExit (false: StateFailed).
  void exitApplication();

  Logger frameLogger;
  SystemBase systemBase;
  Logger appLogger;
  CmdParser parser;
  ConfAgent confAgent;
  int32_t state = StateRun;
  // When set, the toolkit is initialised (and the display opened) only by createWindows.
  bool deferToolkitInit = false;

 private:
  bool toolkitReady = false;  // FXApp::init has run and the display is open
  bool initToolkitNow();
};

}  // namespace KestroCorelib
