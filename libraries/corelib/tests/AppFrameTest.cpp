#include <fcntl.h>
#include <fx.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppFrame.h"
#include "Exception.h"
#include "File.h"
#include "TestSupport.h"

using KestroCorelib::AppFrame;
using testsupport::captureOutput;
using testsupport::Output;
using testsupport::ScopedEnv;

// The font library keeps allocations for the life of the process once the toolkit has opened
// a display; they are not ours to free. Read by LeakSanitizer in sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// What the application's onRun does in a test.
enum class Outcome { Return7, ThrowException, ThrowRange, ThrowBadAlloc, ThrowInt };

class TestApp : public AppFrame {
 public:
  KESTRO_EXCEPTION(Run_Failed);

  TestApp(std::vector<std::string> args, bool initResult = true, bool defer = true)
      : AppFrame("Test App", "testapp", true, "Kestro, Inc."),
        arguments(std::move(args)),
        initAnswer(initResult),
        deferInit(defer) {
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    setArguments(static_cast<int>(arguments.size()), pointers.data());
    initApplication();
  }
  ~TestApp() override { exitApplication(); }

  bool onInit() override {
    parser.addFlag("Be verbose", 'v', "verbose");
    deferToolkitInit = deferInit;
    return initAnswer;
  }
  bool onExit() override { return true; }
  int32_t onRun() override {
    switch (outcome) {
    case Outcome::Return7:
      return 7;
    case Outcome::ThrowException: {
      KestroCorelib::ParamStream p;
      p << std::string("x.kconf");
      throw Run_Failed("@test.run.failed{Cannot read \"%\"};", KESTRO_SOURCE_TAG, p);
    }
    case Outcome::ThrowRange:
      throw std::range_error("r");
    case Outcome::ThrowBadAlloc:
      throw std::bad_alloc();
    case Outcome::ThrowInt:
      throw 42;
    }
    return 0;
  }

  Outcome outcome = Outcome::Return7;

 private:
  std::vector<std::string> arguments;
  std::vector<char*> pointers;
  bool initAnswer;
  bool deferInit;
};

// What constructing (and destroying) an application showed and left behind.
struct Started {
  Output shown;
  int32_t state = -1;
  std::string usage;
  bool verbose = false;
};

Started start(std::vector<std::string> args, bool initResult = true, bool defer = true) {
  Started started;
  started.shown = captureOutput([&] {
    TestApp app(std::move(args), initResult, defer);
    started.state = app.getState();
    started.usage = app.getParser().getUsage();
    started.verbose = app.getParser().isSet("verbose");
  });
  return started;
}

// A private X server; `name` is its display (":N") once it accepts connections, empty when
// it could not be started.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      dup2(devnull, 2);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "320x200x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    // Xvfb writes the number when it is ready: no polling needed.
    while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name = ":" + number;
  }
  ~PrivateDisplay() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::string name;

 private:
  pid_t pid = -1;
};

// Raises a signal from inside the event loop, and stops the loop with 99 should the signal
// fail to end it.
class SignalRaiser : public FX::FXObject {
  FXDECLARE(SignalRaiser)
 public:
  enum { ID_RAISE = 1, ID_GIVE_UP };
  long onRaise(FX::FXObject*, FX::FXSelector, void*) {
    std::raise(SIGTERM);
    return 1;
  }
  long onGiveUp(FX::FXObject*, FX::FXSelector, void*) {
    AppFrame::toolkitApp->stop(99);
    return 1;
  }
};

FXDEFMAP(SignalRaiser)
SignalRaiserMap[] = {
    FXMAPFUNC(FX::SEL_TIMEOUT, SignalRaiser::ID_RAISE, SignalRaiser::onRaise),
    FXMAPFUNC(FX::SEL_TIMEOUT, SignalRaiser::ID_GIVE_UP, SignalRaiser::onGiveUp),
};
FXIMPLEMENT(SignalRaiser, FX::FXObject, SignalRaiserMap, ARRAYNUMBER(SignalRaiserMap))

}  // namespace

TEST(AppFrame, ReportSendsErrorsAndWarningsToStandardError) {
  const Output shown = captureOutput([] {
    AppFrame::report("ERROR: broken");
    AppFrame::report("Warning: careful\n");
    AppFrame::report("plain text");
    AppFrame::report("not an error: here\n");
    AppFrame::report("quiet error: hidden", true);
    AppFrame::report("error:");
  });
  EXPECT_EQ(shown.err, "ERROR: broken\nWarning: careful\nerror:\n");
  EXPECT_EQ(shown.out, "plain text\nnot an error: here\n");
}

// The texts themselves are the parser's (CmdParserTest); here: where they go, and that the
// run ends.
TEST(AppFrame, HelpAndVersionAreShownTogetherAndFinishTheRun) {
  Started started = start({"/bin/testapp", "--version", "-?"});
  EXPECT_EQ(started.state, AppFrame::StateFinished);
  EXPECT_EQ(started.usage.rfind("Usage: testapp [options]\n", 0), 0u);
  EXPECT_EQ(started.shown.out, started.usage + "\nVersion=6.3.0.0\n");
  EXPECT_EQ(started.shown.err, "");

  started = start({"/bin/testapp", "--revision"});
  EXPECT_EQ(started.state, AppFrame::StateFinished);
  EXPECT_EQ(started.shown.out, "Revision=14644\n");
}

TEST(AppFrame, ParseErrorIsShownAndTheRunGoesOn) {
  const Started started = start({"/bin/testapp", "-v", "foo=1"});
  EXPECT_EQ(started.state, AppFrame::StateRun);
  EXPECT_TRUE(started.verbose);  // what was parsed before the error stays
  // The parser's message (its texts are checked in CmdParserTest), as an error line.
  EXPECT_EQ(started.shown.err.rfind("ERROR: ", 0), 0u) << started.shown.err;
  EXPECT_NE(started.shown.err.find("'foo'\n"), std::string::npos) << started.shown.err;
  EXPECT_EQ(started.shown.out, "");
}

TEST(AppFrame, FailedInitMarksTheStateFailed) {
  const Started started = start({"/bin/testapp"}, false);
  EXPECT_EQ(started.state, AppFrame::StateFailed);
  EXPECT_EQ(started.shown.out + started.shown.err, "");
}

TEST(AppFrame, RunTurnsEscapingErrorsIntoExitCode2) {
  TestApp app({"/bin/testapp"});
  EXPECT_EQ(app.run(), 7);

  struct Case {
    Outcome outcome;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      // An exception's text without its name begins with a blank, so it is no "ERROR:" text.
      {Outcome::ThrowException, " Cannot read \"x.kconf\"\n", ""},
      {Outcome::ThrowRange, "", "ERROR: STD range error\n"},
      {Outcome::ThrowBadAlloc, "", "ERROR: STD out of memory\n"},
      {Outcome::ThrowInt, "", "ERROR: Unknown exception\n"},
  };
  for (const Case& c : cases) {
    app.outcome = c.outcome;
    int32_t result = -1;
    const Output shown = captureOutput([&] { result = app.run(); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(shown.out, c.out);
    EXPECT_EQ(shown.err, c.err);
  }
}

TEST(AppFrame, MissingDisplayIsReportedWhenWindowsAreCreated) {
  // No server answers on display 917 in the test environment.
  ScopedEnv display("DISPLAY", ":917");
  {
    TestApp app({"/bin/testapp"});
    EXPECT_EQ(app.getState(), AppFrame::StateRun);  // deferred: nothing opened yet
    bool created = true;
    const Output shown = captureOutput([&] { created = app.createWindows(); });
    EXPECT_FALSE(created);
    EXPECT_FALSE(AppFrame::guiActive);
    EXPECT_EQ(shown.err, "ERROR: Cannot open display \":917\"\n");
    EXPECT_EQ(shown.out, "");
  }
  // Not deferred: the display is needed at once, and its absence fails the set-up. With
  // DISPLAY unset the toolkit tries display 0, where a GUI test's private server may run.
  display.set(nullptr);
  if (!std::filesystem::exists("/tmp/.X11-unix/X0")) {
    const Started started = start({"/bin/testapp"}, true, false);
    EXPECT_EQ(started.state, AppFrame::StateFailed);
    EXPECT_EQ(started.shown.err, "ERROR: Cannot open display \"\"\n");
  }
}

// Outside the event loop interrupt and terminate end the process as their default action
// would, also while it waits on a slow file. The child waits on a pipe that the parent closes
// after the signal: a child that ignored the signal would read the end and exit normally.
TEST(AppFrame, SignalOutsideTheEventLoopEndsTheProcess) {
  for (int signalNumber : {SIGINT, SIGTERM}) {
    int ready[2], data[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(data), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      close(data[1]);
      AppFrame::installSignalHandler();
      if (write(ready[1], "r", 1) != 1) _exit(3);
      KestroCorelib::File slow("/dev/fd/" + std::to_string(data[0]));
      char c = 0;
      if (!slow.open()) _exit(4);
      while (slow.getChar(c)) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(data[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);  // the handler is installed
    close(ready[0]);
    kill(child, signalNumber);
    close(data[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << "status " << status;
  }
}

TEST(AppFrame, SignalEndsTheEventLoopLikeAQuitMessage) {
  PrivateDisplay display;
  if (display.name.empty()) GTEST_SKIP() << "Xvfb could not be started";
  const testsupport::TempDir home("appframe-home");
  const ScopedEnv homeVariable("HOME", home.path.c_str());  // the toolkit saves its settings there
  const ScopedEnv displayVariable("DISPLAY", display.name.c_str());
  AppFrame::installSignalHandler();
  {
    TestApp app({"/bin/testapp"});
    ASSERT_TRUE(app.createWindows());
    EXPECT_TRUE(AppFrame::guiActive);
    SignalRaiser raiser;
    AppFrame::toolkitApp->addTimeout(&raiser, SignalRaiser::ID_RAISE, 10);
    AppFrame::toolkitApp->addTimeout(&raiser, SignalRaiser::ID_GIVE_UP, 10000);
    EXPECT_EQ(app.runEventLoop(), 0);
    EXPECT_FALSE(AppFrame::guiActive);
    AppFrame::toolkitApp->removeTimeout(&raiser, SignalRaiser::ID_GIVE_UP);
  }
  std::signal(SIGTERM, SIG_DFL);
}
