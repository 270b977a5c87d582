// Set-up shared by the tests that run the program's pieces, or the built plavo itself, against
// a throw-away installation: root/registry holds the machine hive naming root/install and
// root/install/config, the ID files go to root/install/log/temp, root/bin is on PATH.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace plavo_test {

inline std::string readAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& name, const std::string& text, mode_t mode = 0644) {
  std::ofstream(name, std::ios::binary) << text;
  chmod(name.c_str(), mode);
}

// The name the system information reports for this process.
inline std::string currentUser() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "[unknown]";
}

// The session number as the program determines it (a child inherits this process's session).
inline std::string currentSession() {
  const std::string audit = readAll("/proc/self/sessionid");
  if (!audit.empty() && audit != "4294967295") return audit;
  const char* xdg = std::getenv("XDG_SESSION_ID");
  const std::string id = xdg != nullptr ? xdg : "";
  return id.find_first_not_of("0123456789") == std::string::npos ? id : "";
}

// The library's path form of a POSIX path.
inline std::string libraryForm(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// The number of entries in a directory (a temporary file left beside the ID file shows here).
inline int entries(const std::string& directory) {
  const std::string command = "exit $(ls -A '" + directory + "' | wc -l)";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The ID file holds "time=<digits>\nproject=" + project, nothing after.
inline void expectIdFile(const std::string& name, const std::string& project) {
  const std::string content = readAll(name);
  ASSERT_EQ(content.compare(0, 5, "time="), 0) << content;
  const size_t line = content.find('\n');
  ASSERT_NE(line, std::string::npos) << content;
  const std::string digits = content.substr(5, line - 5);
  ASSERT_FALSE(digits.empty());
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
  EXPECT_NE(digits[0], '0');
  EXPECT_EQ(content.substr(line), "\nproject=" + project);
}

// Runs action, which must throw Error whose text is exactly text.
template <class Error, class Action>
void expectError(Action action, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << text;
  } catch (const Error& error) {
    EXPECT_EQ(error.getText(), text);
  }
}

struct Result {
  int exitCode = -1;
  std::string out, err;
};

class Installation {
 public:
  Installation() {
    char pattern[] = "/tmp/plavo-test-XXXXXX";
    root = mkdtemp(pattern);
    for (const char* sub : {"/registry", "/install", "/install/log", "/install/log/temp",
                            "/install/config", "/bin"}) {
      mkdir((root + sub).c_str(), 0755);
    }
    writeHive("\"InstallDir\"=\"" + root + "/install\"\n\"ConfigurationDir\"=\"" + conf() + "\"\n");
  }
  ~Installation() { std::system(("rm -rf '" + root + "'").c_str()); }

  std::string conf() const { return root + "/install/config"; }
  std::string temp() const { return root + "/install/log/temp"; }
  std::string map() const { return conf() + "/projectmap.kconf"; }
  std::string idFile() const {
    return temp() + "/project_id-" + currentUser() + "-" + currentSession() + ".idval";
  }
  void writeHive(const std::string& values) const {
    writeFile(root + "/registry/HKEY_LOCAL_MACHINE.reg",
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n" + values);
  }
  // A map whose plavo node holds the gui text and a projects node with the projects text.
  void writeMap(const std::string& projects, const std::string& gui = "") const {
    writeFile(map(), "map {\n plavo {\n" + gui + "  projects {\n" + projects + "  }\n }\n}\n");
  }

  // Runs the built plavo (or programName, beside this test program) in root, without a
  // display, with PATH holding only bin/ and the system folders; waits for it and for
  // anything it launched.
  Result run(const std::vector<std::string>& arguments, const std::string& registry = "",
             const std::vector<std::string>& extraEnvironment = {}) const {
    // Launched programs outlive plavo; as their subreaper this process can wait for them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::vector<std::string> env = {
        "KESTRO_REGISTRY_DIR=" + (registry.empty() ? root + "/registry" : registry),
        "PATH=" + root + "/bin:/usr/bin:/bin", "HOME=" + root,
        "XDG_SESSION_ID=" + currentSession(), "LANG=C"};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    char self[PATH_MAX] = {};
    const ssize_t size = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string program(self, size > 0 ? static_cast<size_t>(size) : 0);
    program = program.substr(0, program.rfind('/')) + "/" + programName;
    std::vector<std::string> args = arguments;
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outName = root + "/stdout", errName = root + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
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
    while (wait(nullptr) > 0) {
    }
    result.out = readAll(outName);
    result.err = readAll(errName);
    return result;
  }

  std::string root;
  std::string programName = "plavo";  // the built program that run() starts
};

}  // namespace plavo_test
