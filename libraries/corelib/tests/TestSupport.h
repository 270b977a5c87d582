#pragma once
// Set-up shared by several corelib tests: exception texts, files, environment variables, a
// temporary registry directory, collecting log records, and running a check unprivileged.
#include <gtest/gtest.h>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Logger.h"

namespace KestroCorelib::testsupport {

// The rendered text of the exception of class E that `call` raises.
template <typename E, typename F> std::string errorText(F call) {
  try {
    call();
  } catch (const E& e) {
    return e.getText();
  } catch (const Exception& e) {
    return "wrong class: " + e.getText();
  }
  return "no exception";
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Sets (or, with nullptr, clears) an environment variable of this process.
inline void setEnv(const char* name, const char* value) {
#ifdef _WIN32
  // The runtime's own copy, which getenv reads; an empty value removes the variable there.
  ::_putenv_s(name, value != nullptr ? value : "");
#else
  value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
}

// Sets (or, with nullptr, clears) an environment variable and restores it when destroyed.
class ScopedEnv {
 public:
  ScopedEnv(const char* variable, const char* value) : name(variable) {
    if (const char* old = std::getenv(name)) saved = old;
    set(value);
  }
  ~ScopedEnv() { set(saved ? saved->c_str() : nullptr); }
  void set(const char* value) const { setEnv(name, value); }

 private:
  const char* name;
  std::optional<std::string> saved;
};

// A fresh, empty directory under the system's temporary folder, removed with its contents
// when destroyed: "/tmp/<stem>-<random>" on POSIX, "C:\...\Temp\<stem>-<random>" on Windows.
class TempDir {
 public:
  explicit TempDir(const std::string& stem) {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; path.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / (stem + "-" + std::to_string(random()));
      // create_directory is false when the name is taken: then another one is tried.
      if (fs::create_directory(candidate)) path = candidate.string();
      if (attempt == 100) throw std::runtime_error("no temporary directory for " + stem);
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path;
};

#ifdef _WIN32
// Registry tests on Windows work in the real registry (in CI a private Wine prefix of the
// build folder): the keys the tests create are removed after each test, KESTRO_ENV is cleared.
class TempRegistry : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& [root, path] : {std::pair{HKEY_LOCAL_MACHINE, "K"},
                                     {HKEY_LOCAL_MACHINE, "SOFTWARE\\X"},
                                     {HKEY_CURRENT_USER, "SOFTWARE\\Kestro"}}) {
      RegDeleteTreeA(root, path);
    }
  }
  ScopedEnv noEnv{"KESTRO_ENV", nullptr};
};
#else
// A fresh directory holding the registry's hives (KESTRO_REGISTRY_DIR) for one test, with
// KESTRO_ENV cleared.
class TempRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/registry-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    ::setenv("KESTRO_REGISTRY_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("KESTRO_REGISTRY_DIR");
    std::filesystem::remove_all(dir);
  }
  std::string hiveFile(const std::string& root) const { return dir + "/" + root + ".reg"; }
  void writeHive(const std::string& root, const std::string& text) const {
    writeFile(hiveFile(root), text);
  }
  std::string hive(const std::string& root) const { return readFile(hiveFile(root)); }

  std::string dir;
  ScopedEnv noEnv{"KESTRO_ENV", nullptr};
};

// Switches LC_NUMERIC to the UTF-8 locale of a language and territory ("de_DE"), checking that
// its decimal point is `point`, and back to "C" when destroyed. A machine without the locale
// gets it generated into a temporary directory (localedef, package locales); `problem` says
// why there is none when that fails too.
class NumericLocale {
 public:
  NumericLocale(const std::string& language, std::string point)
      : name(language + ".UTF-8"), decimalPoint(std::move(point)) {
    if (use()) return;
    char pattern[] = "/tmp/locale-test-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      problem = "no temporary directory for a generated locale";
      return;
    }
    dir = pattern;
    const std::string command =
        "localedef -i " + language + " -f UTF-8 '" + dir + "/" + name + "' >/dev/null 2>&1";
    ScopedEnv path("LOCPATH", dir.c_str());
    if (std::system(command.c_str()) != 0) {
      problem = "localedef could not generate " + name + " (package locales)";
    } else if (!use()) {
      problem = "the generated locale " + name + " has another decimal point";
    }
  }
  ~NumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;

  std::string problem;

 private:
  bool use() const {
    return std::setlocale(LC_NUMERIC, name.c_str()) != nullptr &&
           std::localeconv()->decimal_point == decimalPoint;
  }
  const std::string name;
  const std::string decimalPoint;
  std::string dir;
};

// Runs a check as an ordinary user, so that permission tests mean something also when the
// tests run as root (as in CI containers): as root, the check runs in a child process that
// has switched to the user "nobody" (65534); otherwise it runs in this process. Returns the
// text `check` returns, or a text starting with "child failed".
inline std::string runUnprivileged(const std::function<std::string()>& check) {
  if (::geteuid() != 0) return check();
  int fds[2];
  if (::pipe(fds) != 0) return "child failed: pipe";
  pid_t pid = ::fork();
  if (pid < 0) return "child failed: fork";
  if (pid == 0) {
    ::close(fds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    std::string answer = check();
    bool written =
        ::write(fds[1], answer.data(), answer.size()) == static_cast<ssize_t>(answer.size());
    ::_exit(written ? 0 : 3);
  }
  ::close(fds[1]);
  std::string answer;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    answer.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child failed: " + std::to_string(status);
  return answer;
}
#endif

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
class LogCollector : public ImsAgent {
 public:
  explicit LogCollector(const char* group = "", const char* message = "", std::string source = "")
      : ImsAgent("collector"), onlySource(std::move(source)) {
    hook = setMessageHook(false, "debug", group, message, 1);
  }
  ~LogCollector() override { removeMessageHook(hook); }
  int32_t receiveHookedMessage(uint64_t id, ImsMessage& message) override {
    return id == hook ? receiveMessage(message) : 1;
  }
  int32_t receiveMessage(ImsMessage& message) override {
    auto* r = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
    if (message.groupType == "level" || r == nullptr) return 1;
    if (!onlySource.empty() && r->sourceName != onlySource) return 1;
    records.push_back(Seen{message.groupType, message.messageType, r->level, r->sourceName, r->text,
                           r->parameters.fill(r->text),
                           r->parameters.fill(Exception::scanTemplate(r->text)), r->timeStamp,
                           r->threadId, r->processId});
    return 2;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (const Seen& s : records) result.push_back(s.filled);
    return result;
  }

  std::vector<Seen> records;
  std::string onlySource;

 private:
  uint64_t hook = 0;
};

}  // namespace KestroCorelib::testsupport
