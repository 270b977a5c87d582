// The selection window's two figures: one filter keystroke over 10,000 eligible projects
// (key release to rearranged list; goal under 16 ms, one frame) and the time from starting
// "plavo --query" to its window being mapped, with the sample installation of examples/.
//
// The start-up benchmark needs an X display (DISPLAY, e.g. under xvfb-run) and the plavo
// program next to this benchmark; without them it reports an error and is skipped.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <string>

#include "AppFrame.h"
#include "PlavoMainWnd.h"
// Last: Xlib defines macros (Bool, Status, None) that clash with names in the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace {

class BenchFrame : public KestroCorelib::AppFrame {
 public:
  BenchFrame() : AppFrame("PlavoBench", "PlavoBench", false, "Kestro") {}
  bool onInit() override { return true; }
  bool onExit() override { return true; }
  int32_t onRun() override { return 0; }
};

// 10,000 distinct project names of 4 to 12 lower-case letters, fixed seed.
std::set<std::string> makeProjects() {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> length(4, 12);
  std::uniform_int_distribution<int> letter('a', 'z');
  std::set<std::string> projects;
  while (projects.size() < 10000) {
    std::string name;
    for (int i = length(random); i > 0; --i) name += static_cast<char>(letter(random));
    projects.insert(name);
  }
  return projects;
}

// Arg 0: the first letter typed ("a", about 4 % of the projects match and move);
// arg 1: a second letter ("ab"); arg 2: the field emptied again (everything matches).
void BM_Window_FilterKeystroke10000(benchmark::State& state) {
  static const char* const typed[] = {"a", "ab", ""};
  const char* text = typed[state.range(0)];
  BenchFrame frame;
  std::set<std::string> projects = makeProjects();
  auto* window = new Kestro::PlavoMainWnd(&frame, "", "");
  FXList* list = window->getList();
  for (auto _ : state) {
    state.PauseTiming();
    list->clearItems();
    for (const std::string& project : projects) list->appendItem(FXString(project.c_str()));
    window->getFilter()->setText(text);
    state.ResumeTiming();
    window->handle(window->getFilter(), FXSEL(SEL_KEYRELEASE, Kestro::PlavoMainWnd::ID_FILTER),
                   nullptr);
    benchmark::DoNotOptimize(list->getItem(0));
  }
  state.SetLabel(std::string("typed \"") + text + "\"");
  delete window;
}
// A fixed count: every iteration refills the list untimed, which costs more than the keystroke.
BENCHMARK(BM_Window_FilterKeystroke10000)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

std::string directoryOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// Waits for the first top-level window to be mapped; false when `child` ends first or 20 s
// pass.
bool waitForMap(Display* display, pid_t child, XEvent& event) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    while (XPending(display) > 0) {
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect) return true;
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) return false;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, 5);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return false;
}

// Start-up: spawn "plavo --query" on a copy of the sample installation and wait for the
// first top-level window to be mapped on the display.
void BM_Window_StartToMapped(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  char self[4096] = {};
  ssize_t selfLength = readlink("/proc/self/exe", self, sizeof(self) - 1);
  std::string plavo =
      directoryOf(std::string(self, selfLength > 0 ? size_t(selfLength) : 0)) + "/plavo";
  if (display == nullptr || access(plavo.c_str(), X_OK) != 0) {
    state.SkipWithError("needs an X display and the plavo program beside the benchmark");
    if (display != nullptr) XCloseDisplay(display);
    return;
  }
  char sample[] = "/tmp/plavo-bench-XXXXXX";
  if (mkdtemp(sample) == nullptr) {
    state.SkipWithError("cannot make a temporary directory");
    XCloseDisplay(display);
    return;
  }
  std::string copy = std::string("cp -R '") + PLAVO_SOURCE_DIR + "/examples/.' '" + sample + "'";
  if (std::system(copy.c_str()) != 0) state.SkipWithError("cannot copy the sample installation");
  setenv("KESTRO_SAMPLE", sample, 1);
  setenv("KESTRO_REGISTRY_DIR", (std::string(sample) + "/registry").c_str(), 1);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, True);

  for (auto _ : state) {
    char* argv[] = {const_cast<char*>(plavo.c_str()), const_cast<char*>("--query"), nullptr};
    pid_t child = 0;
    auto start = std::chrono::steady_clock::now();
    if (posix_spawn(&child, plavo.c_str(), nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("cannot start plavo");
      break;
    }
    XEvent event;
    if (!waitForMap(display, child, event)) {
      state.SkipWithError("plavo ended or took over 20 s without showing its window");
      break;
    }
    auto mapped = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(mapped - start).count());
    // Close it as the close box would. (A signal could arrive before the event loop
    // watches for signals, and would then be ignored.)
    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = event.xmap.window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, event.xmap.window, False, NoEventMask, &close);
    XFlush(display);
    int status = 0;
    waitpid(child, &status, 0);
  }
  XCloseDisplay(display);
  std::string remove = std::string("rm -rf '") + sample + "'";
  if (std::system(remove.c_str()) != 0) state.SkipWithError("cannot remove the sample copy");
}
BENCHMARK(BM_Window_StartToMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
