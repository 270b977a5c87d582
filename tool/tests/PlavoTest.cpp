// The program's command line as a user meets it: the built plavo is run in a temporary
// installation and its exit code, standard output and standard error are checked exactly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Plavo.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int exitCode = -1;
  std::string out, err;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A throw-away installation: a machine hive naming its directories, a project map with one
// project open to everybody, an empty log/temp. The program sees only the environment
// given here.
class Installation {
 public:
  explicit Installation(const std::string& projects = "      handbook(global) {\n      }\n") {
    root = fs::temp_directory_path() /
           ("plavo-cmdline-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root);
    writeFile(hive(),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
              "\"InstallDir\"=\"" +
                  (root / "inst").string() + "\"\n\"ConfigurationDir\"=\"" +
                  (root / "inst" / "config").string() + "\"\n");
    writeFile(root / "inst" / "config" / "projectmap.kconf",
              "projectmap {\n  plavo {\n    projects {\n" + projects + "    }\n  }\n}\n");
    fs::create_directories(tempDir());
    fs::create_directories(root / "home");
  }
  ~Installation() { fs::remove_all(root); }

  fs::path tempDir() const { return root / "inst" / "log" / "temp"; }
  fs::path hive() const { return root / "registry" / "HKEY_LOCAL_MACHINE.reg"; }

  // The project ID files written so far, with their contents.
  std::vector<std::string> idFiles() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(tempDir())) {
      found.push_back(readFile(entry.path()));
    }
    return found;
  }

  // Runs the built program with these arguments and, besides PATH, HOME and
  // KESTRO_REGISTRY_DIR, only the environment entries given.
  Result run(const std::vector<std::string>& arguments,
             const std::vector<std::string>& extraEnvironment = {}) const {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "plavo";
    std::vector<std::string> args = {program.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + (root / "home").string(),
                                    "KESTRO_REGISTRY_DIR=" + (root / "registry").string()};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = (root / "stdout").string(), errPath = (root / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    Result result;
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << program;
      return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
  }

 private:
  static inline int counter = 0;
  fs::path root;
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
  Installation inst;
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

  EXPECT_TRUE(inst.idFiles().empty());
}

TEST(Plavo, ParseErrorsGoToStandardErrorAndTheDefaultModeRuns) {
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"foo=1"}, "ERROR: Unknown option 'foo'\n"},
      {{"--set"}, "ERROR: Missing argument to 'set' option\n"},
      {{"-sv", "handbook"},
       "ERROR: Option 's' requires argument but is located inside an options token\n"},
      {{"verbose=1"}, "ERROR: Option 'verbose' must be option=value\n"},
  };
  for (const Case& c : cases) {
    Installation inst;
    Result result = inst.run(c.arguments);
    EXPECT_EQ(result.exitCode, 0) << c.arguments[0];
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    // The default project: the map names no default for anybody.
    ASSERT_EQ(inst.idFiles().size(), 1u) << c.arguments[0];
    EXPECT_NE(inst.idFiles()[0].find("\nproject=N/A"), std::string::npos);
  }
}

TEST(Plavo, UndeclaredOptionsAreFreeArgumentsAndShowNothing) {
  Installation inst;
  Result result = inst.run({"--foo", "-x", "--set", "handbook", "word"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  ASSERT_EQ(inst.idFiles().size(), 1u);
  EXPECT_NE(inst.idFiles()[0].find("\nproject=handbook"), std::string::npos);
}

TEST(Plavo, FailedRunIsReportedWithExitCode2) {
  Installation inst;
  fs::remove(inst.hive());
  Result result = inst.run({"--set", "handbook"});
  EXPECT_EQ(result.exitCode, 2);
  // Exception texts start with the error's name, not "ERROR:": standard output.
  EXPECT_EQ(result.out,
            "GetLocal_NotFound: Configuration key \"Resources\\InstallDir\" was not found\n");
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(inst.idFiles().empty());
}

TEST(Plavo, QueryWithoutDisplayFailsAndRegistersNothing) {
  Installation inst;
  Result unset = inst.run({"--query", "--set", "handbook"});
  EXPECT_EQ(unset.exitCode, 2);
  EXPECT_EQ(unset.err, "ERROR: Cannot open display \"\"\n");
  EXPECT_EQ(unset.out, "");
  // No X server answers on display 917 in the test environment.
  Result absent = inst.run({"-q"}, {"DISPLAY=:917"});
  EXPECT_EQ(absent.exitCode, 2);
  EXPECT_EQ(absent.err, "ERROR: Cannot open display \":917\"\n");
  EXPECT_TRUE(inst.idFiles().empty());
}

TEST(Plavo, QueryWithNothingEligibleRunsWithoutWindow) {
  Installation inst("      archive {\n        type=list\n        nobody-at-all\n      }\n");
  Result result = inst.run({"--query", "--set", "archive"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out + result.err, "");
  ASSERT_EQ(inst.idFiles().size(), 1u);
  EXPECT_NE(inst.idFiles()[0].find("\nproject=N/A"), std::string::npos);
}

TEST(Plavo, ForwardsTheArgumentsBehindTheExecutable) {
  using Kestro::Plavo;
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "--set", "x", "--launch", "tool", "a", "b c", "d"}),
            "a \"b c\" d");
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "-l", "tool", "--set", "x"}), "--set x");
  // The executable written in the option's element: nothing is forwarded.
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "--launch=tool", "a"}), "");
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "-ltool", "a"}), "");
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "--launch"}), "");
  // Element 0 is the program path, never the option.
  EXPECT_EQ(Plavo::forwardedArguments({"-l", "tool", "a"}), "");
  // Quotes, empty elements and backslashes before a closing quote survive the trip through
  // the command line.
  EXPECT_EQ(Plavo::forwardedArguments({"plavo", "-l", "t", "a\"b", "", "c:\\x y\\", "c:\\x"}),
            "\"a\\\"b\" \"\" \"c:\\x y\\\\\" c:\\x");
}
