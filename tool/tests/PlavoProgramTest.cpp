// The built program run as a new user would run it: a temporary installation with its own
// registry directory, the exit code, the exact texts on standard output and standard error,
// the project ID file's bytes, and a launched script that records what it received.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& name, const std::string& text, mode_t mode = 0644) {
  std::ofstream(name, std::ios::binary) << text;
  chmod(name.c_str(), mode);
}

std::string currentUser() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "[unknown]";
}

// The session number as the program determines it (it inherits this process's session).
std::string currentSession() {
  const std::string audit = readAll("/proc/self/sessionid");
  if (!audit.empty() && audit != "4294967295") return audit;
  const char* xdg = std::getenv("XDG_SESSION_ID");
  if (xdg == nullptr || *xdg == '\0') return "";
  for (const char* c = xdg; *c != '\0'; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) return "";
  }
  return xdg;
}

std::string programPath() {
  char self[PATH_MAX] = {};
  const ssize_t size = readlink("/proc/self/exe", self, sizeof(self) - 1);
  std::string path(self, size > 0 ? static_cast<size_t>(size) : 0);
  return path.substr(0, path.rfind('/')) + "/plavo";
}

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// A fresh installation: registry hive, conf/projectmap.kconf, log/temp, bin/ with a recorder.
class Program : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Launched programs outlive plavo; as their subreaper this process can wait for them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void SetUp() override {
    char pattern[] = "/tmp/plavo-program-XXXXXX";
    root = mkdtemp(pattern);
    for (const char* sub : {"/registry", "/install", "/install/log", "/install/log/temp",
                            "/install/config", "/bin"}) {
      mkdir((root + sub).c_str(), 0755);
    }
    writeHive("\"InstallDir\"=\"" + root + "/install\"\n\"ConfigurationDir\"=\"" + root +
              "/install/config\"\n");
    const std::string me = currentUser();
    writeMap("map {\n plavo {\n  gui {\n   title {\n    value=Pick\n   }\n  }\n"
             "  projects {\n   docs(global) {\n   }\n   training(global,default) {\n   }\n"
             "   compiler {\n    type=list\n    " + me + "\n   }\n"
             "   linker {\n    type=list\n    other\n    " + me + "(default)\n   }\n"
             "   secret {\n    type=list\n    other\n   }\n  }\n }\n}\n");
    writeFile(root + "/bin/recorder",
              "#!/bin/sh\n{ printf '[%s]\\n' \"$0\" \"$@\"; printf 'KESTRO_PROJECT=%s\\n' "
              "\"$KESTRO_PROJECT\"; } > \"" + root + "/recorded\"\n",
              0755);
  }

  void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }

  void writeHive(const std::string& values) {
    writeFile(root + "/registry/HKEY_LOCAL_MACHINE.reg",
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n" + values);
  }
  void writeMap(const std::string& text) { writeFile(root + "/install/config/projectmap.kconf", text); }
  std::string idFile() const {
    return root + "/install/log/temp/project_id-" + currentUser() + "-" + currentSession() + ".idval";
  }

  // Runs plavo with the arguments, without a display, with PATH holding only bin/ and the
  // system folders, and waits for it and for anything it launched.
  Result run(const std::vector<std::string>& arguments,
             const std::string& registry = std::string(),
             const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<std::string> env = {
        "KESTRO_REGISTRY_DIR=" + (registry.empty() ? root + "/registry" : registry),
        "PATH=" + root + "/bin:/usr/bin:/bin", "HOME=" + root,
        "XDG_SESSION_ID=" + currentSession(), "LANG=C"};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = programPath();
    std::vector<std::string> args = arguments;
    std::vector<char*> argv = {program.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string outName = root + "/stdout";
    const std::string errName = root + "/stderr";
    posix_spawn_file_actions_addopen(&actions, 1, outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, root.c_str());
    pid_t pid = 0;
    Result result;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << program;
    if (spawned != 0) return result;
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // Reap what plavo launched (reparented to this process).
    while (wait(nullptr) > 0) {
    }
    result.out = readAll(outName);
    result.err = readAll(errName);
    return result;
  }

  // "time=<digits>\nproject=" + project, nothing after.
  void expectIdFile(const std::string& project) {
    const std::string content = readAll(idFile());
    const size_t line = content.find('\n');
    ASSERT_NE(line, std::string::npos) << content;
    ASSERT_EQ(content.compare(0, 5, "time="), 0) << content;
    const std::string digits = content.substr(5, line - 5);
    EXPECT_FALSE(digits.empty());
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << content;
    EXPECT_EQ(content.substr(line), "\nproject=" + project);
  }

  std::string root;
};

}  // namespace

TEST_F(Program, SetsListedProjectVerbosely) {
  const Result r = run({"--set", "compiler", "--verbose"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Set project: compiler\n");
  EXPECT_EQ(r.err, "");
  expectIdFile("compiler");
}

TEST_F(Program, NoOptionsRegistersDefaultSilently) {
  const Result r = run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  expectIdFile("linker");
}

TEST_F(Program, IneligibleProjectFallsBackToDefault) {
  const Result r = run({"-v", "--set", "secret"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "ERROR: Cannot set project \"secret\" (not eligible). Default project was set instead.\n"
            "Eligible projects are:\n   - compiler\n   - docs\n   - linker\n   - training\n"
            "Default project: linker\n");
  expectIdFile("linker");
}

TEST_F(Program, LaunchesProgramWithProjectAndForwardedArguments) {
  const Result r = run({"--set", "compiler", "--launch", "recorder", "a", "b c", "d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out + r.err, "");
  expectIdFile("compiler");
  EXPECT_EQ(readAll(root + "/recorded"),
            "[" + root + "/bin/recorder]\n[a]\n[b c]\n[d]\nKESTRO_PROJECT=compiler\n");
}

TEST_F(Program, LaunchPrefersPrefixedName) {
  writeFile(root + "/bin/kestro_recorder",
            "#!/bin/sh\nprintf 'prefixed %s\\n' \"$@\" > \"" + root + "/recorded\"\n", 0755);
  const Result r = run({"-l", "recorder", "x"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(readAll(root + "/recorded"), "prefixed x\n");
  expectIdFile("linker");
}

TEST_F(Program, LaunchOfMissingProgramFailsAfterRegistering) {
  const Result r = run({"--set", "docs", "--launch", "nosuch", "a"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "FailedToRun: Failed to run \"nosuch\" (could not find path to executable)\n");
  EXPECT_EQ(r.err, "");
  expectIdFile("docs");
}

TEST_F(Program, MissingTempDirectoryFailsToSave) {
  rmdir((root + "/install/log/temp").c_str());
  const Result r = run({"--set", "docs"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "FailedToSave: Failed to save '" + idFile() + "' file\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Program, PlantedLinkIsReplacedNotFollowed) {
  const std::string victim = root + "/victim";
  writeFile(victim, "precious");
  ASSERT_EQ(symlink(victim.c_str(), idFile().c_str()), 0);
  const Result r = run({"--set", "docs"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(readAll(victim), "precious");
  struct stat status {};
  ASSERT_EQ(lstat(idFile().c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  expectIdFile("docs");
}

TEST_F(Program, MapWithoutProjectsIsReported) {
  writeMap("map {\n plavo {\n }\n}\n");
  const Result r = run({"--set", "docs"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "InvalidMapFile: Could not find entry \"plavo.projects\" in map file \"" + root +
                       "/install/config/projectmap.kconf\"\n");
  EXPECT_EQ(access(idFile().c_str(), F_OK), -1);
}

TEST_F(Program, BrokenMapIsReported) {
  writeMap("map {\n plavo {\n");
  const Result r = run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Load_PrematureEndOfFile: Premature end of file in line 3 in file \"" + root +
                       "/install/config/projectmap.kconf\"\n");
}

TEST_F(Program, MissingRegistryValueIsReported) {
  writeHive("\"ConfigurationDir\"=\"" + root + "/install/config\"\n");
  const Result r = run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "GetLocal_NotFound: Configuration key \"Resources\\InstallDir\" was not found\n");
}

TEST_F(Program, HelpRegistersNothing) {
  const Result r = run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("Use this tool to register project ID for the current user."), std::string::npos)
      << r.out;
  EXPECT_EQ(access(idFile().c_str(), F_OK), -1);
}

TEST_F(Program, QueryWithoutDisplayRegistersNothing) {
  const Result r = run({"--query", "--set", "docs"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ERROR: Cannot open display \"\"\n");
  EXPECT_EQ(access(idFile().c_str(), F_OK), -1);
}

TEST_F(Program, QueryWithNothingEligibleRunsWithoutWindow) {
  writeMap("map {\n plavo {\n  projects {\n   secret {\n    type=list\n    other\n   }\n  }\n }\n}\n");
  const Result r = run({"--query", "--verbose", "--set", "secret"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "ERROR: Cannot set project \"secret\" (not eligible). Default project was set instead.\n"
            "Eligible projects are:\nDefault project: N/A\n");
  expectIdFile("N/A");
}

TEST_F(Program, LaunchedArgumentsKeepQuotesAndBackslashes) {
  // Elements are joined with blanks and those holding a blank are quoted; the child reads
  // them back by the runtime's rules.
  const Result r = run({"--launch", "recorder", "-x", "a\\b", "'q'", "two  blanks"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(readAll(root + "/recorded"), "[" + root + "/bin/recorder]\n[-x]\n[a\\b]\n['q']\n[two  blanks]\n"
                                        "KESTRO_PROJECT=linker\n");
}

TEST_F(Program, SampleInstallationDoesTheMainJob) {
  const char* source = std::getenv("PLAVO_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "PLAVO_SOURCE_DIR is not set (ctest sets it)";
  // What scripts/demo.sh does without a display: a copy of the sample, its user alice
  // replaced by the current user.
  const std::string sample = root + "/sample";
  ASSERT_EQ(std::system(("cp -R '" + std::string(source) + "/examples' '" + sample + "'").c_str()), 0);
  ASSERT_EQ(std::system(("sed -i 's/\\balice\\b/" + currentUser() + "/g' '" + sample +
                         "/config/projectmap.kconf'").c_str()),
            0);
  const Result r = run({"--set", "compiler", "--verbose", "--launch", sample + "/bin/show-project",
                        "one", "two words"},
                       sample + "/registry", {"KESTRO_SAMPLE=" + sample});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "Set project: compiler\n"
            "show-project: KESTRO_PROJECT=compiler\n"
            "show-project: argument 1: [one]\n"
            "show-project: argument 2: [two words]\n");
  EXPECT_EQ(r.err, "");
  const std::string content = readAll(sample + "/log/temp/project_id-" + currentUser() + "-" +
                                      currentSession() + ".idval");
  EXPECT_EQ(content.substr(content.find('\n')), "\nproject=compiler");

  // Without --set the sample user gets the default marked in the listing.
  const Result quiet = run({}, sample + "/registry", {"KESTRO_SAMPLE=" + sample});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");
}
