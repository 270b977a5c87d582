#include "Plavo.h"

#include <cstddef>
#include <new>

#include "ChildProcess.h"
#include "Exception.h"
#include "PlavoMainWnd.h"
#include "StringTools.h"

namespace Kestro {

using KestroCorelib::AppFrame;
using KestroCorelib::StringTools;

FX::FXMainWindow* mainWindow = nullptr;
const std::set<std::string>* projectList = nullptr;
std::string selectedProject;

Plavo::Plavo(int argc, char** argv) : AppFrame("Plavo", "Plavo", true, "Kestro, Inc.") {
  setArguments(argc, argv);
  initApplication();
}

Plavo::~Plavo() {
  if (ended) return;
  // A destructor must not throw. Only an object that runProgram did not end gets here (its
  // construction or run threw, and the exit code is 2 already).
  try {
    endRun();
  } catch (...) {
    state = StateFailed;
  }
}

void Plavo::endRun() {
  ended = true;
  exitApplication();
}

int32_t Plavo::runProgram(int argc, char** argv) {
  try {
    Plavo app(argc, argv);
    int32_t result = 0;
    switch (app.getState()) {
    case StateFinished:  // help, version or revision shown
      break;
    case StateFailed:
      result = 2;
      break;
    default:
      result = app.run();
    }
    // Ended here rather than in the destructor, so that what onExit throws reaches the catch.
    app.endRun();
    return result;
  } catch (...) {
    return 2;
  }
}

bool Plavo::onInit() {
  appLogger.setSourceName("main");
  appLogger.logInfo("Constructing application");
  // Free arguments are the ones forwarded to the launched program.
  parser.setAllowExtraArguments(true);
  parser.addFlag("The user must select project (GUI pops up)", 'q', "query");
  parser.addArgOption("Set project explicitly (no GUI)", 's', "set", {});
  parser.addArgOption("Launch an executable once project is set", 'l', "launch", {});
  parser.addFlag("Be verbose", 'v', "verbose");

  parser.addHelpText("Use this tool to register project ID for the current user.");
  parser.addHelpText("Query:");
  parser.addHelpText("The user can select from a list found in <confdir>/projectmap.kconf.");
  parser.addHelpText("Only projects for which the user is included will be listed.");
  parser.addHelpText("Set:");
  parser.addHelpText(
      "Set named project. Note that the project must be one for which the user is listed. If "
      "not, the default project (first listed for the user) is used - or \"N/A\" if none.");
  parser.addHelpText("No query and no set:");
  parser.addHelpText("Default project (first listed for user or \"N/A\" if none) is set.");
  parser.addHelpText("Launch:");
  parser.addHelpText(
      "Specify an executable. Any trailing arguments are forwarded to the executable.");
  parser.addHelpText("");
  parser.addHelpText("Example, with GUI:");
  parser.addHelpText("     plavo --query");
  parser.addHelpText("Example, without GUI:");
  parser.addHelpText("     plavo --set compiler");
  parser.addHelpText("Example, GUI with launcher:");
  parser.addHelpText("     plavo --query --launch \"C:/Program Files/MyEditor.exe\"");

  // Only query mode needs the display; the other modes must run without one.
  deferToolkitInit = true;
  return true;
}

bool Plavo::onExit() {
  appLogger.logInfo("Ending run");
  return true;
}

int32_t Plavo::onRun() {
  appLogger.logInfo("Running application");
  try {
    manager.setReporter(parser.isSet("verbose"),
                        [](const std::string& text, bool quiet) { report(text, quiet); });
    manager.init("", "");
    manager.readMap("");

    if (parser.isSet("query") && !manager.getEligible().empty()) {
      FX::FXMainWindow* window = createSelectionWindow();
      if (window == nullptr) return 2;
      mainWindow = window;
      AppFrame::mainWindow = window;
      projectList = &manager.getEligible();
      if (!createWindows()) return 2;  // no display: reported, nothing registered
      int32_t result = runEventLoop();
      if (result != 0) return result;
      manager.setProject(selectedProject);
    } else if (parser.isSet("set")) {
      std::string project;
      if (parser.getValue("set", project)) manager.setProject(project);
    } else {
      manager.setProject("");
    }

    if (parser.isSet("launch")) launch();
    return 0;
  } catch (const KestroCorelib::Exception& e) {
    report(e.getText(true));
    return 2;
  }
}

FX::FXMainWindow* Plavo::createSelectionWindow() {
  try {
    return new PlavoMainWnd(this, manager.getTitle(), manager.getLogo());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::string Plavo::forwardedArguments(const std::vector<std::string>& arguments) {
  size_t option = 1;
  while (option < arguments.size() && arguments[option] != "--launch" &&
         arguments[option] != "-l") {
    ++option;
  }
  // The element after the option is the executable; the rest is forwarded.
  if (option + 2 >= arguments.size()) return "";
  return ChildProcess::joinArguments(std::vector<std::string>(
      arguments.begin() + static_cast<std::ptrdiff_t>(option + 2), arguments.end()));
}

void Plavo::launch() {
  std::string executable;
  if (!parser.getValue("launch", executable)) return;
  StringTools::expandEnvironment(executable);
  manager.run(executable, forwardedArguments(parser.getArguments()));
}

}  // namespace Kestro
