#pragma once
// The program's application class: declares the options, then registers a project in one of
// three modes and optionally launches a program with it.
//
//   plavo --query                      // pick a project in the selection window
//   plavo --set compiler               // register "compiler" (or the default if not eligible)
//   plavo                              // register the user's default project (or "N/A")
//   plavo --set compiler --launch tool a "b c"
//                                      // ... then start tool with the arguments a and "b c"
//
// Exit codes: 0 after help, version or revision, and when the mode ran to the end; 2 after a
// reported error or a failed set-up; otherwise the selection window's event-loop result.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "AppFrame.h"
#include "Manager.h"

namespace FX {
class FXMainWindow;
}  // namespace FX

namespace Kestro {

class Plavo : public KestroCorelib::AppFrame {
 public:
  // Builds the frame ("Plavo", standard options, vendor "Kestro, Inc."), the manager, then
  // declares the options and parses the arguments. getState() tells main what to do next.
  Plavo(int argc, char** argv);
  // onExit first (unless endRun did it), then the frame's members.
  ~Plavo() override;

  // main's work once the signal handler is in place: builds the application, runs it unless
  // help, version or revision was shown (0) or a set-up step failed (2), then ends the run
  // (onExit) and destroys it. Anything that escapes construction, the run or its end gives 2;
  // nothing is reported then, since the frame that would show it may be what failed.
  static int32_t runProgram(int argc, char** argv);

  // The destructor's first step, onExit, done once and before destruction, so that an
  // exception from it reaches the caller.
  void endRun();

  // Declares the options and the help text; defers the toolkit until a window is shown.
  bool onInit() override;
  // Logs the end of the run.
  bool onExit() override;
  // Runs the mode and the launch; an Exception is reported with its name and gives 2.
  int32_t onRun() override;

  // The text forwarded to the launched program: the elements of `arguments` behind the
  // executable that follows the first element "--launch" or "-l" (element 0 is the program
  // path and is skipped), joined by blanks. Elements that need it are quoted so that the
  // program receives each element unchanged:
  //   {"plavo", "--launch", "tool", "a", "b c", "d"}  ->  a "b c" d
  //   {"plavo", "--launch=tool", "a"}                 ->  "" (nothing is forwarded)
  static std::string forwardedArguments(const std::vector<std::string>& arguments);

 private:
  // The selection window of query mode, or null when it cannot be made.
  FX::FXMainWindow* createSelectionWindow();
  void launch();

  Manager manager;
  bool ended = false;  // endRun was called
};

// Process-wide state shared with the selection window (one GUI thread).
extern FX::FXMainWindow* mainWindow;              // the query-mode window; null otherwise
extern const std::set<std::string>* projectList;  // the manager's eligible projects
extern std::string selectedProject;               // the project the user picked, or ""

}  // namespace Kestro
