// The program's command line as a user meets it: the built plavo is run in a temporary
// installation whose map holds one project open to everybody (and no default), and its exit
// code, standard output and standard error are checked exactly. What the program does with
// a valid command line is checked in PlavoProgramTest.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Ims.h"
#include "Logger.h"
#include "Plavo.h"
#include "ProgramTestSupport.h"

using namespace plavo_test;

namespace {

struct Handbook : Installation {
  Handbook() { writeMap("   handbook(global) {\n   }\n"); }
  bool registered() const { return access(idFile().c_str(), F_OK) == 0; }
};

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

}  // namespace

TEST(Plavo, HelpVersionAndRevisionAreShownAndRegisterNothing) {
  Handbook inst;
  Result help = inst.run({"-?", "--set", "handbook"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, kUsage);
  EXPECT_EQ(help.err, "");

  Result both = inst.run({"--version", "--help"});
  EXPECT_EQ(both.exitCode, 0);
  EXPECT_EQ(both.out, std::string(kUsage) + "\nVersion=6.3.0.0\n");

  Result versions = inst.run({"--revision", "--version"});
  EXPECT_EQ(versions.exitCode, 0);
  EXPECT_EQ(versions.out, "Version=6.3.0.0\nRevision=14644\n");
  EXPECT_EQ(versions.err, "");
  EXPECT_FALSE(inst.registered());
}

// Parse errors go to standard error and the default mode runs anyway; undeclared options
// are free arguments and show nothing.
TEST(Plavo, ParseErrorsAndUndeclaredOptions) {
  struct Case {
    std::vector<std::string> arguments;
    std::string err, project;
  } cases[] = {
      {{"foo=1"}, "ERROR: Unknown option 'foo'\n", "N/A"},
      {{"--set"}, "ERROR: Missing argument to 'set' option\n", "N/A"},
      {{"-sv", "handbook"},
       "ERROR: Option 's' requires argument but is located inside an options token\n", "N/A"},
      {{"verbose=1"}, "ERROR: Option 'verbose' must be option=value\n", "N/A"},
      {{"--foo", "-x", "--set", "handbook", "word"}, "", "handbook"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    Handbook inst;
    Result result = inst.run(c.arguments);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    expectIdFile(inst.idFile(), c.project);
  }
}

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
      {{"plavo", "-l", "t", "a\"b", "", "c:\\x y\\", "c:\\x"}, "\"a\\\"b\" \"\" \"c:\\x y\\\\\" c:\\x"},
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
  Handbook inst;
  setenv("KESTRO_REGISTRY_DIR", (inst.root + "/registry").c_str(), 1);
  char program[] = "plavo", option[] = "--set", project[] = "handbook";
  char* argv[] = {program, option, project, nullptr};
  EXPECT_EQ(Kestro::Plavo::runProgram(3, argv), 0);
  {
    FailingEnd failing;
    EXPECT_EQ(Kestro::Plavo::runProgram(3, argv), 2);
  }
  unsetenv("KESTRO_REGISTRY_DIR");
}
