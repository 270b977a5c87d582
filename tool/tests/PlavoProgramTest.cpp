// The program as a user meets it. The built plavo runs as a new user would run it: a temporary
// installation with its own registry directory, the exit code, which stream a text goes to, the
// project ID file's bytes, and a launched script that records what it received. The texts of
// errors are the layers' own (CmdParserTest, AppFrameTest, ManagerTest and those below); here
// one case each shows where they end up. The program's own pieces (the forwarded arguments, the
// end of a run) are checked in this process.
#include <gtest/gtest.h>

#ifndef _WIN32
#  include <fcntl.h>
#  include <pwd.h>
#  include <signal.h>
#  include <sys/file.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Ims.h"
#include "Logger.h"
#include "Plavo.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const char* const kUsage =
    "Usage: Plavo [options]\n"
    "Options:\n"
    "  -?\n"
    "    --help           : Display this help text\n"
    "  --version          : Display version information\n"
    "  --revision         : Display SVN revision information\n"
    "  --debug <arg>      : Set debug level\n"
    "  -q\n"
    "    --query          : The user must select project (GUI pops up)\n"
    "  -s <arg>\n"
    "    --set <arg>      : Set project explicitly (no GUI)\n"
    "  -l <arg>\n"
    "    --launch <arg>   : Launch an executable once project is set\n"
    "  -v\n"
    "    --verbose        : Be verbose\n"
    "\n"
    "Use this tool to register project ID for the current user.\n"
    "Query:\n"
    "The user can select from a list found in <confdir>/projectmap.kconf.\n"
    "Only projects for which the user is included will be listed.\n"
    "Set:\n"
    "Set named project. Note that the project must be one for which the user is\n"
    "listed. If not, the default project (first listed for the user) is used -\n"
    "or \"N/A\" if none.\n"
    "No query and no set:\n"
    "Default project (first listed for user or \"N/A\" if none) is set.\n"
    "Launch:\n"
    "Specify an executable. Any trailing arguments are forwarded to the\n"
    "executable.\n"
    "\n"
    "Example, with GUI:\n"
    "     plavo --query\n"
    "Example, without GUI:\n"
    "     plavo --set compiler\n"
    "Example, GUI with launcher:\n"
    "     plavo --query --launch \"C:/Program Files/MyEditor.exe\"\n";

// The map: docs and training (the global default) for everybody, compiler and linker (the
// user's default) listing the current user, secret listing somebody else; bin/recorder.
void populate(const Installation& inst) {
  const std::string me = currentUser();
  inst.writeMap(
      "   docs(global) {\n   }\n   training(global,default) {\n   }\n"
      "   compiler {\n    type=list\n    " +
          me +
          "\n   }\n"
          "   linker {\n    type=list\n    other\n    " +
          me +
          "(default)\n   }\n"
          "   secret {\n    type=list\n    other\n   }\n",
      "  gui {\n   title {\n    value=Pick\n   }\n  }\n");
  writeFile(inst.root + "/bin/recorder",
            "#!/bin/sh\n{ printf '[%s]\\n' \"$0\" \"$@\"; printf 'KESTRO_PROJECT=%s\\n' "
            "\"$KESTRO_PROJECT\"; } > \"" +
                inst.root + "/recorded\"\n",
            0755);
}

// Waits until count processes wait for a lock on the file with this inode, as /proc/locks
// lists them ("1: -> FLOCK  ADVISORY  READ <pid> <major>:<minor>:<inode> ..."), or 20 seconds
// have passed; whether they all waited.
bool waitForLockWaiters(ino_t inode, int count) {
  const std::string tail = ":" + std::to_string(inode);
  for (int attempt = 0; attempt < 2000; ++attempt) {
    std::istringstream locks(readFile("/proc/locks"));
    int waiting = 0;
    for (std::string line; std::getline(locks, line);) {
      std::istringstream fields(line);
      std::string number, arrow, kind, advisory, mode, pid, file;
      fields >> number >> arrow >> kind >> advisory >> mode >> pid >> file;
      if (arrow == "->" && file.size() > tail.size() &&
          file.compare(file.size() - tail.size(), tail.size(), tail) == 0) {
        ++waiting;
      }
    }
    if (waiting >= count) return true;
    usleep(10000);
  }
  return false;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override { populate(inst); }
  void expectIdFile(const std::string& project) {
    testsupport::expectIdFile(inst.idFile(), project);
  }
  bool registered() const { return inst.registered(); }

  Installation inst;
  const std::string& root = inst.root;
};

}  // namespace

// Help (and with it version and revision) finishes the run: nothing is registered.
TEST_F(Program, HelpIsShownAndRegistersNothing) {
  const Result help = inst.run({"-?", "--set", "docs"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, kUsage);
  EXPECT_EQ(help.err, "");
  EXPECT_FALSE(registered());
}

// A parse error goes to standard error and the default mode runs anyway; undeclared options
// are free arguments and show nothing.
TEST_F(Program, ParseErrorIsShownAndUndeclaredOptionsAreIgnored) {
  Result r = inst.run({"foo=1"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
  EXPECT_EQ(r.out, "");
  expectIdFile("linker");

  r = inst.run({"--foo", "-x", "--set", "compiler", "word"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  expectIdFile("compiler");
}

TEST_F(Program, SetsProjectOrFallsBackToTheDefault) {
  Result r = inst.run({"--set", "compiler", "--verbose"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Set project: compiler\n");
  EXPECT_EQ(r.err, "");
  expectIdFile("compiler");

  r = inst.run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  expectIdFile("linker");

  EXPECT_EQ(inst.run({"--set", "docs"}).exitCode, 0);  // the fallback replaces a chosen project
  // The report (ManagerTest) goes to standard error.
  r = inst.run({"-v", "--set", "secret"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("ERROR: Cannot set project \"secret\"", 0), 0u) << r.err;
  expectIdFile("linker");
}

// How the elements are quoted and read back is checked below (forwarded arguments) and in
// ChildProcessTest, the search in ManagerTest; here: the launched program gets them and the
// project.
TEST_F(Program, LaunchesProgramWithProjectAndForwardedArguments) {
  Result r = inst.run({"--set", "compiler", "--launch", "recorder", "a", "b c", "d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  expectIdFile("compiler");
  EXPECT_EQ(readFile(root + "/recorded"),
            "[" + root + "/bin/recorder]\n[a]\n[b c]\n[d]\nKESTRO_PROJECT=compiler\n");

  // A missing program fails after the project is registered.
  r = inst.run({"--set", "docs", "--launch", "nosuch", "a"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out.rfind("FailedToRun: ", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
  expectIdFile("docs");
}

// Failures are reported on standard output with the error's name (not "ERROR:") and exit
// code 2; nothing is registered.
TEST_F(Program, FailureIsReportedWithExitCode2) {
  inst.writeHive("\"ConfigurationDir\"=\"" + inst.conf() + "\"\n");
  const Result r = inst.run({"--set", "docs"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out.rfind("GetLocal_NotFound: ", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(registered());
}

// The window needs a display; without one the run fails at once and registers nothing.
TEST_F(Program, QueryWithoutDisplayFailsAndRegistersNothing) {
  // No X server answers on display 917 in the test environment.
  const Result r = inst.run({"-q", "--set", "docs"}, "", {"DISPLAY=:917"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
  EXPECT_FALSE(registered());
}

TEST_F(Program, QueryWithNothingEligibleRunsWithoutWindow) {
  inst.writeMap("   secret {\n    type=list\n    other\n   }\n");
  const Result r = inst.run({"--query", "--verbose", "--set", "secret"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err, "");
  expectIdFile("N/A");
}

TEST_F(Program, SampleInstallationDoesTheMainJob) {
  const char* source = std::getenv("PLAVO_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "PLAVO_SOURCE_DIR is not set (ctest sets it)";
  // What scripts/demo.sh does without a display: a copy of the sample, its user alice
  // replaced by the current user.
  const std::string sample = root + "/sample";
  ASSERT_EQ(std::system(("cp -R '" + std::string(source) + "/examples' '" + sample + "'").c_str()),
            0);
  ASSERT_EQ(std::system(("sed -i 's/\\balice\\b/" + currentUser() + "/g' '" + sample +
                         "/config/projectmap.kconf'")
                            .c_str()),
            0);
  const Result r = inst.run({"--set", "compiler", "--verbose", "--launch",
                             sample + "/bin/show-project", "one", "two words"},
                            sample + "/registry", {"KESTRO_SAMPLE=" + sample});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "Set project: compiler\n"
            "show-project: KESTRO_PROJECT=compiler\n"
            "show-project: argument 1: [one]\n"
            "show-project: argument 2: [two words]\n");
  EXPECT_EQ(r.err, "");
  const std::string content = readFile(sample + "/log/temp/project_id-" + currentUser() + "-" +
                                       currentSession() + ".idval");
  EXPECT_EQ(content.substr(content.find('\n')), "\nproject=compiler");

  // Without --set the sample user gets the default marked in the listing.
  const Result quiet = inst.run({}, sample + "/registry", {"KESTRO_SAMPLE=" + sample});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");
}

// Fifty runs for the same user and session write the same ID file at once, each with a
// project of its own: every run succeeds, and afterwards the file holds exactly what one of
// them wrote, whole, with no temporary file of any run left beside it.
TEST_F(Program, ConcurrentRunsLeaveOneCompleteIdFile) {
  constexpr int runs = 50;
  std::string projects;
  for (int i = 0; i < runs; ++i) projects += "   p" + std::to_string(i) + "(global) {\n   }\n";
  inst.writeMap(projects);

  // The runs start while the test holds the hive locked: each waits for the lock in its
  // first registry read, and once all of them wait, they go on together.
  const std::string hive = root + "/registry/HKEY_LOCAL_MACHINE.reg";
  const int lock = open(hive.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  std::vector<pid_t> started;
  for (int i = 0; i < runs; ++i) {
    started.push_back(inst.start({"--set", "p" + std::to_string(i)}, "run" + std::to_string(i)));
  }
  struct stat hiveStatus {};
  ASSERT_EQ(stat(hive.c_str(), &hiveStatus), 0);
  EXPECT_TRUE(waitForLockWaiters(hiveStatus.st_ino, runs));
  close(lock);
  for (int i = 0; i < runs; ++i) {
    if (started[i] <= 0) continue;
    EXPECT_EQ(Installation::waitFor(started[i]), 0) << "run " << i;
    const std::string output = root + "/run" + std::to_string(i);
    EXPECT_EQ(readFile(output + ".out") + readFile(output + ".err"), "") << "run " << i;
  }

  EXPECT_EQ(entries(inst.temp()), 1);
  const std::string content = readFile(inst.idFile());
  const size_t at = content.rfind("\nproject=p");
  ASSERT_NE(at, std::string::npos) << content;
  const std::string project = content.substr(at + 9);
  const int number = std::atoi(project.c_str() + 1);
  ASSERT_TRUE(number >= 0 && number < runs && project == "p" + std::to_string(number)) << content;
  expectIdFile(project);
}

// ---- The program's pieces, in this process ------------------------------------------------

TEST(Plavo, ForwardsTheArgumentsBehindTheExecutable) {
  struct Case {
    std::vector<std::string> arguments;
    const char* forwarded;
  } cases[] = {
      {{"plavo", "--set", "x", "--launch", "tool", "a", "b c", "d"}, "a \"b c\" d"},
      {{"plavo", "-l", "tool", "--set", "x"}, "--set x"},
      // The executable written in the option's element: nothing is forwarded.
      {{"plavo", "--launch=tool", "a"}, ""},
      {{"plavo", "-ltool", "a"}, ""},
      {{"plavo", "--launch"}, ""},
      // Element 0 is the program path, never the option.
      {{"-l", "tool", "a"}, ""},
      // Quotes, empty elements and backslashes before a closing quote survive the trip
      // through the command line.
      {{"plavo", "-l", "t", "a\"b", "", "c:\\x y\\", "c:\\x"},
       "\"a\\\"b\" \"\" \"c:\\x y\\\\\" c:\\x"},
      // Apostrophes are quoted only around the last element, the one the launcher unquotes.
      {{"plavo", "-l", "t", "'b'", "'c'"}, "'b' \"'c'\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Kestro::Plavo::forwardedArguments(c.arguments), c.forwarded) << c.forwarded;
  }
}

// Whatever the elements hold, the launched program receives them unchanged: the forwarded
// text goes through the child-process steps (split into arguments, command line built) and
// is read back the way the child reads its command line.
TEST(Plavo, ForwardedElementsReachTheChildUnchanged) {
  const std::string executable = "/opt/my tools/edit";
  const char alphabet[] = {'a', ' ', '\t', '"', '\\', '\'', '\xE9'};
  std::mt19937 random(42);
  auto below = [&random](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::string> elements(below(5));
    for (std::string& element : elements) {
      for (size_t length = below(6); length > 0; --length) {
        element += alphabet[below(sizeof(alphabet))];
      }
    }
    std::vector<std::string> arguments = {"plavo", "-l", "edit"};
    arguments.insert(arguments.end(), elements.begin(), elements.end());
    const std::string forwarded = Kestro::Plavo::forwardedArguments(arguments);

    const std::wstring line = Kestro::ChildProcess(executable, forwarded, true).getCommandLine();
    std::string tail;
    for (size_t i = executable.size(); i < line.size(); ++i) tail += static_cast<char>(line[i]);
    ASSERT_EQ(Kestro::ChildProcess::splitCommandLine(tail), elements) << forwarded;
  }
}

namespace {

// Makes the end of the run fail: throws when the application logs "Ending run".
class FailingEnd : public KestroCorelib::ImsAgent {
 public:
  FailingEnd() : ImsAgent("failing-end"), hook(setMessageHook(false, "debug", "debug", "*", 1)) {}
  ~FailingEnd() override { removeMessageHook(hook); }
  int32_t receiveHookedMessage(uint64_t, KestroCorelib::ImsMessage& message) override {
    auto* record = dynamic_cast<KestroCorelib::Logger::LogMessageParameter*>(message.parameter);
    if (record != nullptr && record->text == "Ending run") throw std::runtime_error("end failed");
    return 1;
  }

 private:
  uint64_t hook;
};

}  // namespace

// The run itself succeeds (the project is registered); only its end fails.
TEST(Plavo, FailingEndOfRunGivesExitCode2) {
  Installation inst;
  inst.writeMap("   handbook(global) {\n   }\n");
  const ScopedEnv registry("KESTRO_REGISTRY_DIR", (inst.root + "/registry").c_str());
  const ScopedEnv projectVariable("KESTRO_PROJECT", nullptr);  // the run sets it
  char program[] = "plavo", option[] = "--set", project[] = "handbook";
  char* argv[] = {program, option, project, nullptr};
  EXPECT_EQ(Kestro::Plavo::runProgram(3, argv), 0);
  {
    FailingEnd failing;
    EXPECT_EQ(Kestro::Plavo::runProgram(3, argv), 2);
  }
}

// ---- On a machine shared with other users -----------------------------------------------

namespace {

// A user made for one test and removed afterwards (root only).
struct TemporaryUser {
  explicit TemporaryUser(const std::string& userName) : name(userName) {
    const std::string command =
        "useradd --badname -M -N -s /usr/sbin/nologin '" + name + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    const passwd* entry = getpwnam(name.c_str());
    if (entry == nullptr) return;
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    made = true;
  }
  ~TemporaryUser() {
    if (made) std::system(("userdel '" + name + "' >/dev/null 2>&1").c_str());
  }
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  bool made = false;
};

// The user nobody, as whom a run is made by a test that runs as root.
const uid_t kNobody = 65534;

std::string userName(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  return entry != nullptr ? entry->pw_name : "with the id " + std::to_string(uid);
}

}  // namespace

// What a second user planted in /tmp, a parent of the working directory, does not run; the
// program found on PATH does, and the user is told what was passed over.
TEST_F(Program, PassesOverAProgramAnotherUserPlantedInTmp) {
  struct stat tmp {};
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant a file owned by another user";
  if (stat("/tmp", &tmp) != 0 || (tmp.st_mode & S_ISVTX) == 0 || root.rfind("/tmp/", 0) != 0)
    GTEST_SKIP() << "needs the installation below a sticky /tmp";
  const std::string name = "planted-" + std::to_string(getpid());
  const std::string planted = "/tmp/kestro_" + name;
  writeFile(planted, "#!/bin/sh\ntouch '" + root + "/hijacked'\n", 0755);
  ASSERT_EQ(chown(planted.c_str(), kNobody, kNobody), 0);
  writeFile(root + "/bin/" + name, "#!/bin/sh\ntouch '" + root + "/ran'\n", 0755);
  const Result r = inst.run({"--launch", name});
  unlink(planted.c_str());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Warning: Passed over \"" + planted + "\"", 0), 0u) << r.err;
  EXPECT_EQ(access((root + "/ran").c_str(), F_OK), 0);
  EXPECT_NE(access((root + "/hijacked").c_str(), F_OK), 0);
}

// An account name with a backslash (a directory-service login) cannot steer the ID file into a
// subdirectory of log/temp, which another user could have made first.
TEST_F(Program, IdFileOfADomainAccountLandsDirectlyInLogTemp) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create a user";
  TemporaryUser user("CORP\\plavo" + std::to_string(getpid() % 100000));
  if (!user.made) GTEST_SKIP() << "useradd could not create " << user.name;
  ASSERT_EQ(chmod(root.c_str(), 0755), 0);
  ASSERT_EQ(chmod(inst.temp().c_str(), 01777), 0);
  if (!inst.reachableBy(user.uid, user.gid))
    GTEST_SKIP() << "the built plavo is out of reach for another user";
  const Result r = inst.runAs(user.uid, user.gid, {});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::string userPart = user.name;
  userPart[4] = '+';
  testsupport::expectIdFile(
      inst.temp() + "/project_id-" + userPart + "-" + currentSession() + ".idval", "training");
  EXPECT_EQ(entries(inst.temp()), 1);
}

// In a shared log/temp with the sticky bit, another user can make a user's ID file first; the
// run then fails and says whose file is in the way. The planted file stays as it was.
TEST_F(Program, IdFileMadeFirstByAnotherUserIsReportedWithItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  ASSERT_EQ(chmod(root.c_str(), 0755), 0);
  ASSERT_EQ(chmod(inst.temp().c_str(), 01777), 0);
  if (!inst.reachableBy(kNobody, kNobody))
    GTEST_SKIP() << "the built plavo is out of reach for another user";
  const std::string taken =
      inst.temp() + "/project_id-" + userName(kNobody) + "-" + currentSession() + ".idval";
  writeFile(taken, "planted");  // by root, the other user here
  const Result r = inst.runAs(kNobody, kNobody, {"--set", "docs"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "FailedToSave: Failed to save '" + taken + "' file\nException: " + taken +
                       " belongs to the user root and cannot be replaced\n");
  EXPECT_EQ(readFile(taken), "planted");
  EXPECT_EQ(entries(inst.temp()), 1);
}

// A map, hive or anything else the program reads that is a FIFO or a device does not stop it:
// a FIFO map or one linked to /dev/zero counts as missing, a hive that is no file is refused.
TEST_F(Program, FifoOrDeviceUnderAFileNameDoesNotHang) {
  for (const std::string kind : {"fifo", "zero"}) {
    unlink(inst.map().c_str());
    if (kind == "fifo") {
      ASSERT_EQ(mkfifo(inst.map().c_str(), 0644), 0);
    } else {
      ASSERT_EQ(symlink("/dev/zero", inst.map().c_str()), 0);
    }
    const Result r = inst.run({"--set", "docs"});
    EXPECT_EQ(r.exitCode, 0) << kind;
    EXPECT_EQ(r.out + r.err, "") << kind;
    expectIdFile("N/A");
  }
  const std::string hive = root + "/registry/HKEY_LOCAL_MACHINE.reg";
  unlink(hive.c_str());
  ASSERT_EQ(mkfifo(hive.c_str(), 0644), 0);
  const Result r = inst.run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out.rfind("GetLocal_NoAccess: ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(hive), std::string::npos) << r.out;
}

// Interrupt and terminate end a run that waits on a file (here the hive, which another
// process holds locked) at once, with the exit status of the signal; nothing is registered.
TEST_F(Program, InterruptOrTerminateEndARunWaitingOnAFile) {
  const std::string hive = root + "/registry/HKEY_LOCAL_MACHINE.reg";
  for (int signalNumber : {SIGINT, SIGTERM}) {
    const int lock = open(hive.c_str(), O_RDONLY);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    if (readFile("/proc/locks").find("FLOCK") == std::string::npos) {
      close(lock);
      GTEST_SKIP() << "/proc/locks does not show file locks here";
    }
    const pid_t pid = inst.start({"--set", "docs"});
    ASSERT_GT(pid, 0);
    // Wait until the run is blocked on the lock (a waiter shows as "->" in /proc/locks), so
    // that the signal reaches the program's own handler.
    const std::string waiter = " " + std::to_string(pid) + " ";
    bool blocked = false;
    while (!blocked) {
      const std::string state = readFile("/proc/" + std::to_string(pid) + "/stat");
      ASSERT_EQ(state.find(") Z"), std::string::npos) << "plavo ended before it waited";
      std::istringstream locks(readFile("/proc/locks"));
      for (std::string line; std::getline(locks, line);)
        blocked = blocked ||
                  (line.find("->") != std::string::npos && line.find(waiter) != std::string::npos);
      if (!blocked) usleep(1000);
    }
    kill(pid, signalNumber);
    close(lock);  // a run that ignored the signal goes on now and registers the project
    const Result r = inst.finish(pid);
    EXPECT_EQ(r.exitCode, 128 + signalNumber);
    EXPECT_FALSE(registered());
  }
}

// An InstallDir that names an unset variable would leave a relative path: the current
// directory would supply the map and receive the ID file. A value cut by a NUL would put the
// ID file elsewhere. Both are refused, naming the value.
TEST_F(Program, InstallationDirectoryMustBeAbsoluteAndWhole) {
  // What somebody planted in the working directory, to be obeyed under a relative InstallDir.
  for (const char* sub : {"/log", "/log/temp", "/config"}) mkdir((root + sub).c_str(), 0755);
  writeFile(root + "/config/projectmap.kconf",
            "map {\n plavo {\n  projects {\n   planted(global,default) {\n   }\n  }\n }\n}\n");
  inst.writeHive("\"InstallDir\"=\"%PLAVO_TEST_UNSET%\"\n\"ConfigurationDir\"=\"config\"\n");
  Result r = inst.run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out,
            "InvalidDirectory: Registry value \"Resources\\InstallDir\" is not an absolute path: "
            "\"%PLAVO_TEST_UNSET%\" (after expanding references: \"%PLAVO_TEST_UNSET%\")\n");
  EXPECT_EQ(entries(root + "/log/temp"), 0);

  // The bytes of <root>/install, NUL, "x".
  std::string bytes;
  char hex[4];
  for (unsigned char c : root + "/install" + std::string(1, '\0') + "x") {
    std::snprintf(hex, sizeof hex, "%02x,", c);
    bytes += hex;
  }
  inst.writeHive("\"InstallDir\"=hex(1):" + bytes + "00\n\"ConfigurationDir\"=\"" + inst.conf() +
                 "\"\n");
  r = inst.run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out,
            "InvalidDirectory: Registry value \"Resources\\InstallDir\" holds a NUL byte: \"" +
                root + "/install<NUL>x\"\n");
  EXPECT_EQ(entries(inst.temp()), 0);
}
