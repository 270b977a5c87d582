#pragma once
// What the tests of the library and of the programs share, so that every test leaves the
// process and the machine as it found them: environment variables and the log level put back,
// temporary directories made fresh and removed, errors and output compared one way. The parts
// that need POSIX calls (the registry directory, locales, other users, the throw-away
// installation the programs run in) exist on POSIX only.
#include <gtest/gtest.h>

#ifndef _WIN32
#  include <sys/types.h>
#endif

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Exception.h"
#include "Ims.h"

namespace testsupport {

// ---- Files and errors ---------------------------------------------------------------------

// The bytes of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

// Writes the bytes to a file and, on POSIX, gives it the mode.
void writeFile(const std::string& path, const std::string& text, unsigned mode = 0644);

// The rendered text of the exception of class E that `call` raises, or a text saying what
// happened instead.
template <typename E, typename F> std::string errorText(F call) {
  try {
    call();
  } catch (const E& e) {
    return e.getText();
  } catch (const KestroCorelib::Exception& e) {
    return "wrong class: " + e.getText();
  }
  return "no exception";
}

// Runs `call`, which must throw E with exactly `text`.
template <typename E, typename F> void expectError(F call, const std::string& text) {
  EXPECT_EQ(errorText<E>(call), text);
}

// ---- Process state put back ---------------------------------------------------------------

// Sets (or, with nullptr, clears) an environment variable of this process.
void setEnv(const char* name, const char* value);

// Sets (or, with nullptr, clears) an environment variable, and puts back what it held (or its
// absence) when destroyed, whatever `set` did in between.
class ScopedEnv {
 public:
  ScopedEnv(const char* variable, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void set(const char* value) const { setEnv(name.c_str(), value); }
  void set(const std::string& value) const { set(value.c_str()); }

 private:
  std::string name;
  std::optional<std::string> saved;
};

// Sets the process-wide log level and puts the old one back when destroyed.
class ScopedLogLevel {
 public:
  explicit ScopedLogLevel(int32_t level);
  ~ScopedLogLevel();
  ScopedLogLevel(const ScopedLogLevel&) = delete;
  ScopedLogLevel& operator=(const ScopedLogLevel&) = delete;
  void set(int32_t level) const;

 private:
  int32_t saved;
};

// A fresh, empty directory under the system's temporary folder ($TMPDIR, else /tmp, on
// POSIX), removed with everything in it when destroyed.
class TempDir {
 public:
  explicit TempDir(const std::string& stem);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path;
};

// ---- Output -------------------------------------------------------------------------------

// What an action wrote to standard output and standard error.
struct Output {
  std::string out, err;
};

#ifndef _WIN32
// Runs the action with standard output and error (the descriptors, so C and C++ streams and
// direct writes alike) going to files, and returns what it wrote.
Output captureOutput(const std::function<void()>& action);
#endif

// ---- Log records --------------------------------------------------------------------------

// One log record as a test sees it.
struct Seen {
  std::string groupType, messageType;
  int32_t level;
  std::string sourceName, text;
  std::string filled;    // the text with its parameters filled in
  std::string rendered;  // the same, message templates reduced to their text
  int64_t timeStamp;
  uint32_t threadId;
  int32_t processId;
};

// Hooks "debug" messages matching the globs and keeps their log records (never the level
// messages), as a log writer would; with `onlySource` set, other sources are passed over.
class LogCollector : public KestroCorelib::ImsAgent {
 public:
  explicit LogCollector(const char* group = "", const char* message = "", std::string source = "");
  ~LogCollector() override;
  int32_t receiveHookedMessage(uint64_t id, KestroCorelib::ImsMessage& message) override;
  int32_t receiveMessage(KestroCorelib::ImsMessage& message) override;
  std::vector<std::string> lines() const;

  std::vector<Seen> records;
  std::string onlySource;

 private:
  uint64_t hook = 0;
};

// ---- The registry -------------------------------------------------------------------------

#ifdef _WIN32
// Registry tests on Windows work in the real registry (in CI a private Wine prefix of the
// build folder): the keys the tests create are removed after each test, KESTRO_ENV is cleared.
class TempRegistry : public ::testing::Test {
 protected:
  void TearDown() override;
  ScopedEnv noEnv{"KESTRO_ENV", nullptr};
};
#else
// A fresh directory holding the registry's hives (KESTRO_REGISTRY_DIR) for one test, with
// KESTRO_ENV cleared.
class TempRegistry : public ::testing::Test {
 protected:
  std::string hiveFile(const std::string& root) const { return dir + "/" + root + ".reg"; }
  void writeHive(const std::string& root, const std::string& text) const {
    writeFile(hiveFile(root), text);
  }
  std::string hive(const std::string& root) const { return readFile(hiveFile(root)); }

  TempDir temp{"registry-test"};
  std::string dir = temp.path;
  ScopedEnv registryDir{"KESTRO_REGISTRY_DIR", dir.c_str()};
  ScopedEnv noEnv{"KESTRO_ENV", nullptr};
};
#endif

// ---- Files of the programs ----------------------------------------------------------------

// The number of entries in a directory (a temporary file left beside another shows here).
int entries(const std::string& directory);

// The name the system information reports for this process's user.
std::string currentUser();

// The session number as the programs determine it (a child inherits this process's session).
std::string currentSession();

// The library's path form of a path: every '/' a '\\'.
std::string libraryForm(std::string path);

// The ID file holds "time=<digits>\nproject=" + project, nothing after.
void expectIdFile(const std::string& name, const std::string& project);

// Puts at path (on Windows: path + ".exe") a program that writes what it was started with to
// "out" in its own folder: "[argument]" lines from argv[0] on, then "KESTRO_PROJECT=<value>"
// when that variable is set. On POSIX a shell script of the mode, on Windows a copy of
// ArgvRecorder.exe, which the build puts beside the test programs. Returns the path made.
std::string writeRecorder(const std::string& path, unsigned mode = 0755);

#ifndef _WIN32
// ---- POSIX only ---------------------------------------------------------------------------

// Switches LC_NUMERIC to the UTF-8 locale of a language and territory ("de_DE"), checking that
// its decimal point is `point`, and back to "C" when destroyed. A machine without the locale
// gets it generated into a temporary directory (localedef, package locales); `problem` says
// why there is none when that fails too.
class NumericLocale {
 public:
  NumericLocale(const std::string& language, std::string point);
  ~NumericLocale();
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;

  std::string problem;

 private:
  bool use() const;
  const std::string name;
  const std::string decimalPoint;
  std::optional<TempDir> generated;
};

// Runs a check as an ordinary user, so that permission tests mean something also when the
// tests run as root (as in CI containers): as root, the check runs in a child process that
// has switched to the user "nobody" (65534); otherwise it runs in this process. Returns the
// text `check` returns, or a text starting with "child failed".
std::string runUnprivileged(const std::function<std::string()>& check);

// How a run of a program ended and what it wrote.
struct Result {
  int exitCode = -1;
  std::string out, err;
};
#endif

// A throw-away installation of the programs: root/install holds config and log/temp (where
// the ID files go), root/bin takes programs. On POSIX root/registry holds the machine hive
// naming root/install and root/install/config, and root/bin is on PATH of the runs. On
// Windows root is written with '/', the form the program gives its directories.
class Installation {
 public:
  Installation();

  std::string conf() const { return root + "/install/config"; }
  std::string temp() const { return root + "/install/log/temp"; }
  std::string map() const { return conf() + "/projectmap.kconf"; }
  std::string idFile() const;
  // A map whose plavo node holds the gui text and a projects node with the projects text.
  void writeMap(const std::string& projects, const std::string& gui = "") const;
#ifndef _WIN32
  bool registered() const;
  void writeHive(const std::string& values) const;

  // Runs the built program (programName, beside this test program) in root, without a
  // display, with PATH holding only bin/ and the system folders; waits for it and for
  // anything it launched.
  Result run(const std::vector<std::string>& arguments, const std::string& registry = "",
             const std::vector<std::string>& extraEnvironment = {}) const;
  // The same as another user (root only: the child switches to uid and gid first).
  Result runAs(uid_t uid, gid_t gid, const std::vector<std::string>& arguments) const;
  // Whether the user may start the built program and reach the installation (a build below a
  // private home directory is out of its reach).
  bool reachableBy(uid_t uid, gid_t gid) const;
  // The built program under test (programName), beside this test program.
  std::string programPath() const;
  // Starts the program as run does, with standard output and error going to
  // root/<output>.out and .err, and does not wait for it: several can run at once. Returns
  // its process id, -1 on failure.
  pid_t start(const std::vector<std::string>& arguments, const std::string& output = "std",
              const std::string& registry = "",
              const std::vector<std::string>& extraEnvironment = {},
              uid_t uid = static_cast<uid_t>(-1), gid_t gid = static_cast<gid_t>(-1)) const;
  // Waits for one started program; its exit code, or 128 + the signal that ended it. A run
  // that has not ended after a minute is killed and counted as a failure: a hang must not
  // stop the test run.
  static int waitFor(pid_t pid);
  // Waits for a started program and for anything it launched, and reads what they wrote.
  Result finish(pid_t pid, const std::string& output = "std") const;
#endif

 private:
  TempDir dir{"plavo-test"};

 public:
  std::string root = dir.path;
  std::string programName = "plavo";  // the built program that run() starts
};

}  // namespace testsupport
