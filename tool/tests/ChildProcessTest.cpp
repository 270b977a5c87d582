#include <gtest/gtest.h>

#include "ChildProcess.h"
#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/wait.h>
#endif

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

using Kestro::ChildProcess;
using namespace testsupport;

namespace {

using Strings = std::vector<std::string>;

struct SplitCase {
  const char* text;
  Strings expected;
};

// What the recorders' names get on this system.
#ifdef _WIN32
const std::string kExe = ".exe";
#else
const std::string kExe;
#endif

// Whether the started child ends by itself with exit code 0.
bool endsWell(uint64_t processId) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                               static_cast<DWORD>(processId));
  if (process == nullptr) return false;
  DWORD code = 1;
  const bool ended =
      WaitForSingleObject(process, 30000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return ended && code == 0;
#else
  int status = 0;
  const auto pid = static_cast<pid_t>(processId);
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// Puts a recorder at bin/<name> (writeRecorder), starts it with the arguments text, waits for
// it and returns what it recorded.
std::string record(const Installation& dir, const std::string& name, const std::string& arguments,
                   bool libraryPath = false) {
  const std::string program = writeRecorder(dir.root + "/bin/" + name);
  ChildProcess child(libraryPath ? libraryForm(program) : program, arguments, true);
  EXPECT_EQ(child.getState(), ChildProcess::NotStarted);
  EXPECT_TRUE(child.start());
  EXPECT_EQ(child.getState(), ChildProcess::Running);
  EXPECT_FALSE(child.start());  // already running
  EXPECT_TRUE(endsWell(child.getProcessId()));
  return readFile(dir.root + "/bin/out");
}

}  // namespace

TEST(ChildProcess, SplitsArgumentsAtBlanksOutsideQuotesAndOnlyTheLastLosesItsQuotes) {
  const SplitCase cases[] = {
      {"a \"b c\" d", {"a", "\"b c\"", "d"}},
      {"  a   b  ", {"a", "b"}},
      {"", {}},
      // Cut where the child cuts: at tabs too, and an escaped quote toggles nothing.
      {"a\\\" b\tc", {"a\\\"", "b", "c"}},
      {"\"a\\\" b\" w", {"\"a\\\" b\"", "w"}},
      {"\"a\tb\"", {"a\tb"}},
      {"x \"a\\\"b\"", {"x", "\"a\\\"b\""}},    // quotes stay around a quote,
      {"x \"a b\\\\\"", {"x", "\"a b\\\\\""}},  // a backslash before the closing one
      {"a \"b c\"", {"a", "b c"}},
      {"a 'b'", {"a", "b"}},
      {"'a' b", {"'a'", "b"}},
      {"a \"\"", {"a", "\"\""}},  // and the empty argument
      {"a ''", {"a"}},
      {"a \"b'", {"a", "\"b'"}},  // mismatched quotes stay
  };
  for (const SplitCase& c : cases)
    EXPECT_EQ(ChildProcess::splitArguments(c.text), c.expected) << c.text;
}

TEST(ChildProcess, BuildsCommandLineWithUnquotedExecutable) {
  EXPECT_EQ(ChildProcess::buildCommandLine(L"C:\\My Tools\\x.exe", {L"a", L"b c", L"", L"\"d e\""}),
            L"C:\\My Tools\\x.exe a \"b c\" \"d e\"");
  // A tab needs quotes as a blank does; quotes already in an argument are left as they are.
  EXPECT_EQ(ChildProcess::buildCommandLine(L"x", {L"a\tb", L"x\"y z\""}), L"x \"a\tb\" x\"y z\"");
  EXPECT_EQ(ChildProcess::buildCommandLine(L"x", {}), L"x");
  EXPECT_EQ(ChildProcess::buildCommandLine(L"x", {L""}), L"x");
  EXPECT_EQ(ChildProcess("/opt/my tools/edit", "a \"b c\" d", true).getCommandLine(),
            L"/opt/my tools/edit a \"b c\" d");
  EXPECT_EQ(ChildProcess("edit", "a \"b c\"", true).getCommandLine(), L"edit a \"b c\"");
  // Every byte is kept.
  EXPECT_EQ(ChildProcess("x", "\xE9t\xE9 \xFF", true).getCommandLine(),
            std::wstring(L"x \u00E9t\u00E9 \u00FF"));
}

TEST(ChildProcess, ReadsCommandLineByRuntimeRules) {
  const SplitCase cases[] = {
      {" a \"b c\"\td ", {"a", "b c", "d"}},
      {"x\"y z\"w", {"xy zw"}},
      {"a\\\\\"b c\"", {"a\\b c"}},       // 2n backslashes before a quote: n, the quote toggles
      {"a\\\\\\\"b c", {"a\\\"b", "c"}},  // 2n+1: n backslashes and a literal quote
      {"C:\\a\\\\b", {"C:\\a\\\\b"}},     // backslashes not followed by a quote are literal
      {"\"a\"\"b\" \"\" c", {"a\"b", "", "c"}},  // "" inside quotes is a quote; empty kept
      {"   ", {}},
  };
  for (const SplitCase& c : cases)
    EXPECT_EQ(ChildProcess::splitCommandLine(c.text), c.expected) << c.text;
}

// Apart from the apostrophes around a last argument, which the split removes, the child
// reads an arguments text exactly as the C runtime reads the text itself.
TEST(ChildProcess, ChildReadsTheArgumentsTextByRuntimeRules) {
  const char alphabet[] = {'a', ' ', '\t', '"', '\\', '\''};
  std::mt19937 random(7);
  auto below = [&random](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (size_t length = below(12); length > 0; --length) text += alphabet[below(sizeof(alphabet))];
    const size_t end = text.find_last_not_of(" \t");
    if (end != std::string::npos && text[end] == '\'') continue;
    const std::wstring line = ChildProcess("x", text, true).getCommandLine();
    std::string tail;
    for (size_t i = 1; i < line.size(); ++i) tail += static_cast<char>(line[i]);
    ASSERT_EQ(ChildProcess::splitCommandLine(tail), ChildProcess::splitCommandLine(text)) << text;
  }
}

TEST(ChildProcess, StartsProgramWithArgvAndEnvironment) {
  Installation dir;
  const ScopedEnv project("KESTRO_PROJECT", "compiler");
  const std::string bin = dir.root + "/bin/";
  EXPECT_EQ(
      record(dir, "rec ord", "a \"b c\" 'd' \\x"),
      "[" + bin + "rec ord" + kExe + "]\n[a]\n[b c]\n['d']\n[\\x]\nKESTRO_PROJECT=compiler\n");
  project.set(nullptr);
  EXPECT_EQ(record(dir, "rec", "a \"b c\""), "[" + bin + "rec" + kExe + "]\n[a]\n[b c]\n");
#ifdef _WIN32
  // A backslash path is the system's own form.
  EXPECT_EQ(record(dir, "rec", "", true), "[" + libraryForm(bin + "rec.exe") + "]\n");
#else
  // A backslash path is started in POSIX form.
  EXPECT_EQ(record(dir, "rec", "", true), "[" + bin + "rec]\n");
#endif
}

TEST(ChildProcess, StartFailsForMissingOrNonExecutableFile) {
  Installation dir;
  ChildProcess missing(dir.root + "/none", "a", true);
  EXPECT_FALSE(missing.start());
  EXPECT_EQ(missing.getState(), ChildProcess::NotStarted);
  writeFile(dir.root + "/plain", "#!/bin/sh\n", 0644);
  for (const std::string& name : {dir.root + "/plain", dir.root, std::string()}) {
    EXPECT_FALSE(ChildProcess(name, "", true).start()) << name;
  }
}
