// Set-up shared by the tests that run the program's pieces, or the built plavo itself, against
// a throw-away installation: root/registry holds the machine hive naming root/install and
// root/install/config, the ID files go to root/install/log/temp, root/bin is on PATH.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <pwd.h>
#include <grp.h>
#include <signal.h>
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
    return finish(start(arguments, "std", registry, extraEnvironment));
  }

  // The same as another user (root only: the child switches to uid and gid first).
  Result runAs(uid_t uid, gid_t gid, const std::vector<std::string>& arguments) const {
    return finish(start(arguments, "std", "", {}, uid, gid));
  }

  // Whether the user may start the built plavo and reach the installation (a build below a
  // private home directory is out of its reach).
  bool reachableBy(uid_t uid, gid_t gid) const {
    const std::string program = programPath();
    const pid_t pid = fork();
    if (pid == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(1);
      _exit(access(program.c_str(), X_OK) == 0 && access(temp().c_str(), X_OK) == 0 ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }

  // The built program under test (programName), beside this test program.
  std::string programPath() const {
    char self[PATH_MAX] = {};
    const ssize_t size = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string program(self, size > 0 ? static_cast<size_t>(size) : 0);
    return program.substr(0, program.rfind('/')) + "/" + programName;
  }

  // Starts plavo as run does, with standard output and error going to root/<output>.out and
  // .err, and does not wait for it: several can run at once. Returns its process id, -1 on
  // failure.
  pid_t start(const std::vector<std::string>& arguments, const std::string& output = "std",
              const std::string& registry = "",
              const std::vector<std::string>& extraEnvironment = {},
              uid_t uid = static_cast<uid_t>(-1), gid_t gid = static_cast<gid_t>(-1)) const {
    // Launched programs outlive plavo; as their subreaper this process can wait for them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::vector<std::string> env = {
        "KESTRO_REGISTRY_DIR=" + (registry.empty() ? root + "/registry" : registry),
        "PATH=" + root + "/bin:/usr/bin:/bin", "HOME=" + root,
        "XDG_SESSION_ID=" + currentSession(), "LANG=C"};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    const std::string program = programPath();
    std::vector<std::string> args = arguments;
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outName = root + "/" + output + ".out";
    const std::string errName = root + "/" + output + ".err";
    const pid_t pid = fork();
    EXPECT_GE(pid, 0);
    if (pid == 0) {
      const int out = open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      const int err = open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(root.c_str()) != 0)
        _exit(120);
      if (gid != static_cast<gid_t>(-1) && (setgroups(0, nullptr) != 0 || setgid(gid) != 0))
        _exit(121);
      if (uid != static_cast<uid_t>(-1) && setuid(uid) != 0) _exit(122);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(123);
    }
    return pid;
  }

  // Waits for one started plavo; its exit code, or 128 + the signal that ended it. A run that
  // has not ended after a minute is killed and counted as a failure: a hang must not stop the
  // test run.
  static int waitFor(pid_t pid) {
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; (done = waitpid(pid, &status, WNOHANG)) == 0 && waited < 6000; ++waited)
      usleep(10000);
    if (done == 0) {
      ADD_FAILURE() << "plavo did not end; killed";
      kill(pid, SIGKILL);
      done = waitpid(pid, &status, 0);
    }
    EXPECT_EQ(done, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Waits for a started plavo and for anything it launched, and reads what they wrote.
  Result finish(pid_t pid, const std::string& output = "std") const {
    Result result;
    if (pid < 0) return result;
    result.exitCode = waitFor(pid);
    while (wait(nullptr) > 0) {
    }
    result.out = readAll(root + "/" + output + ".out");
    result.err = readAll(root + "/" + output + ".err");
    return result;
  }

  std::string root;
  std::string programName = "plavo";  // the built program that run() starts
};

}  // namespace plavo_test
