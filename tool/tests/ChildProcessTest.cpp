#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Kestro::ChildProcess;

namespace {

using Strings = std::vector<std::string>;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/childprocess-test-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A script that writes its argv (one per line, argv[0] first) and KESTRO_PROJECT to out.
std::string writeRecorder(const std::string& directory, const std::string& name) {
  const std::string script = directory + "/" + name;
  std::ofstream(script) << "#!/bin/sh\n"
                        << "out=\"$(dirname \"$0\")/out\"\n"
                        << "printf '[%s]\\n' \"$0\" \"$@\" > \"$out.tmp\"\n"
                        << "printf 'project=%s\\n' \"$KESTRO_PROJECT\" >> \"$out.tmp\"\n"
                        << "mv \"$out.tmp\" \"$out\"\n";
  chmod(script.c_str(), 0755);
  return script;
}

void waitFor(const ChildProcess& child) {
  int status = 0;
  ASSERT_EQ(waitpid(static_cast<pid_t>(child.getProcessId()), &status, 0),
            static_cast<pid_t>(child.getProcessId()));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

TEST(ChildProcess, SplitsArgumentsAtBlanksOutsideQuotes) {
  EXPECT_EQ(ChildProcess::splitArguments("a \"b c\" d"), (Strings{"a", "\"b c\"", "d"}));
  EXPECT_EQ(ChildProcess::splitArguments("  a   b  "), (Strings{"a", "b"}));
  EXPECT_EQ(ChildProcess::splitArguments(""), Strings{});
  // Backslashes escape nothing; tabs do not separate.
  EXPECT_EQ(ChildProcess::splitArguments("a\\\" b\tc"), (Strings{"a\\\" b\tc"}));
}

TEST(ChildProcess, OnlyTheLastArgumentLosesItsQuotes) {
  EXPECT_EQ(ChildProcess::splitArguments("a \"b c\""), (Strings{"a", "b c"}));
  EXPECT_EQ(ChildProcess::splitArguments("a 'b'"), (Strings{"a", "b"}));
  EXPECT_EQ(ChildProcess::splitArguments("'a' b"), (Strings{"'a'", "b"}));
  // An empty pair of quotes at the end leaves nothing to keep.
  EXPECT_EQ(ChildProcess::splitArguments("a \"\""), (Strings{"a"}));
  // Mismatched quotes stay.
  EXPECT_EQ(ChildProcess::splitArguments("a \"b'"), (Strings{"a", "\"b'"}));
}

TEST(ChildProcess, BuildsCommandLineWithUnquotedExecutable) {
  EXPECT_EQ(ChildProcess::buildCommandLine(L"C:\\My Tools\\x.exe", {L"a", L"b c", L"", L"\"d e\""}),
            L"C:\\My Tools\\x.exe a \"b c\" \"d e\"");
  EXPECT_EQ(ChildProcess::buildCommandLine(L"x", {}), L"x");
  EXPECT_EQ(ChildProcess::buildCommandLine(L"x", {L""}), L"x");

  ChildProcess child("/opt/my tools/edit", "a \"b c\" d", true);
  EXPECT_EQ(child.getCommandLine(), L"/opt/my tools/edit a \"b c\" d");
  ChildProcess quotedLast("edit", "a \"b c\"", true);
  EXPECT_EQ(quotedLast.getCommandLine(), L"edit a \"b c\"");
}

TEST(ChildProcess, CommandLineKeepsEveryByte) {
  ChildProcess child("x", "\xE9t\xE9 \xFF", true);
  EXPECT_EQ(child.getCommandLine(), std::wstring(L"x \u00E9t\u00E9 \u00FF"));
}

TEST(ChildProcess, ReadsCommandLineByRuntimeRules) {
  EXPECT_EQ(ChildProcess::splitCommandLine(" a \"b c\"\td "), (Strings{"a", "b c", "d"}));
  EXPECT_EQ(ChildProcess::splitCommandLine("x\"y z\"w"), (Strings{"xy zw"}));
  // 2n backslashes before a quote: n backslashes, the quote toggles.
  EXPECT_EQ(ChildProcess::splitCommandLine("a\\\\\"b c\""), (Strings{"a\\b c"}));
  // 2n+1 backslashes before a quote: n backslashes and a literal quote.
  EXPECT_EQ(ChildProcess::splitCommandLine("a\\\\\\\"b c"), (Strings{"a\\\"b", "c"}));
  // Backslashes not followed by a quote are literal.
  EXPECT_EQ(ChildProcess::splitCommandLine("C:\\a\\\\b"), (Strings{"C:\\a\\\\b"}));
  // "" inside quotes is a literal quote; an empty quoted argument is kept.
  EXPECT_EQ(ChildProcess::splitCommandLine("\"a\"\"b\" \"\" c"), (Strings{"a\"b", "", "c"}));
  EXPECT_EQ(ChildProcess::splitCommandLine("   "), Strings{});
}

TEST(ChildProcess, StartsProgramWithArgvAndEnvironment) {
  TempDir dir;
  const std::string script = writeRecorder(dir.path, "rec ord");
  setenv("KESTRO_PROJECT", "compiler", 1);
  ChildProcess child(script, "a \"b c\" 'd' \\x", true);
  EXPECT_EQ(child.getState(), ChildProcess::NotStarted);
  ASSERT_TRUE(child.start());
  EXPECT_EQ(child.getState(), ChildProcess::Running);
  EXPECT_FALSE(child.start());  // already running
  waitFor(child);
  EXPECT_EQ(readAll(dir.path + "/out"),
            "[" + script + "]\n[a]\n[b c]\n['d']\n[\\x]\nproject=compiler\n");
}

TEST(ChildProcess, LastQuotedArgumentArrivesAsOne) {
  TempDir dir;
  const std::string script = writeRecorder(dir.path, "rec");
  unsetenv("KESTRO_PROJECT");
  ChildProcess child(script, "a \"b c\"", true);
  ASSERT_TRUE(child.start());
  waitFor(child);
  EXPECT_EQ(readAll(dir.path + "/out"), "[" + script + "]\n[a]\n[b c]\nproject=\n");
}

TEST(ChildProcess, BackslashPathIsStartedInPosixForm) {
  TempDir dir;
  const std::string script = writeRecorder(dir.path, "rec");
  std::string libraryForm = script;
  for (char& c : libraryForm) c = c == '/' ? '\\' : c;
  ChildProcess child(libraryForm, "", true);
  ASSERT_TRUE(child.start());
  waitFor(child);
  EXPECT_EQ(readAll(dir.path + "/out"), "[" + script + "]\nproject=\n");
}

TEST(ChildProcess, StartFailsForMissingOrNonExecutableFile) {
  TempDir dir;
  ChildProcess missing(dir.path + "/none", "a", true);
  EXPECT_FALSE(missing.start());
  EXPECT_EQ(missing.getState(), ChildProcess::NotStarted);

  const std::string plain = dir.path + "/plain";
  std::ofstream(plain) << "#!/bin/sh\n";
  chmod(plain.c_str(), 0644);
  ChildProcess notExecutable(plain, "", true);
  EXPECT_FALSE(notExecutable.start());

  ChildProcess directory(dir.path, "", true);
  EXPECT_FALSE(directory.start());
  ChildProcess empty("", "", true);
  EXPECT_FALSE(empty.start());
}
