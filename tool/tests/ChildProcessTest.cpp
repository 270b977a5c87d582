#include <gtest/gtest.h>

#include "ChildProcess.h"
#ifndef _WIN32
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

// Starts a script that writes its argv (one per line, argv[0] first) and KESTRO_PROJECT,
// waits for it and returns what it wrote.
std::string record(const Installation& dir, const std::string& name, const std::string& arguments,
                   bool libraryPath = false) {
  const std::string script = dir.root + "/bin/" + name;
  writeFile(script,
            "#!/bin/sh\nout=\"$(dirname \"$0\")/out\"\nprintf '[%s]\\n' \"$0\" \"$@\" > \"$out\"\n"
            "printf 'project=%s\\n' \"$KESTRO_PROJECT\" >> \"$out\"\n",
            0755);
  ChildProcess child(libraryPath ? libraryForm(script) : script, arguments, true);
  EXPECT_EQ(child.getState(), ChildProcess::NotStarted);
  EXPECT_TRUE(child.start());
  EXPECT_EQ(child.getState(), ChildProcess::Running);
  EXPECT_FALSE(child.start());  // already running
  int status = 0;
  const auto pid = static_cast<pid_t>(child.getProcessId());
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
  EXPECT_EQ(record(dir, "rec ord", "a \"b c\" 'd' \\x"),
            "[" + dir.root + "/bin/rec ord]\n[a]\n[b c]\n['d']\n[\\x]\nproject=compiler\n");
  project.set(nullptr);
  EXPECT_EQ(record(dir, "rec", "a \"b c\""), "[" + dir.root + "/bin/rec]\n[a]\n[b c]\nproject=\n");
  // A backslash path is started in POSIX form.
  EXPECT_EQ(record(dir, "rec", "", true), "[" + dir.root + "/bin/rec]\nproject=\n");
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
