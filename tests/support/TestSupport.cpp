#include "TestSupport.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <fcntl.h>
#  include <grp.h>
#  include <limits.h>
#  include <pwd.h>
#  include <signal.h>
#  include <sys/prctl.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "Logger.h"

namespace testsupport {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text, unsigned mode) {
  std::ofstream(path, std::ios::binary) << text;
#ifdef _WIN32
  (void)mode;
#else
  ::chmod(path.c_str(), static_cast<mode_t>(mode));
#endif
}

void setEnv(const char* name, const char* value) {
#ifdef _WIN32
  // The runtime's own copy, which getenv reads; an empty value removes the variable there.
  ::_putenv_s(name, value != nullptr ? value : "");
#else
  value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
}

ScopedEnv::ScopedEnv(const char* variable, const char* value) : name(variable) {
  if (const char* old = std::getenv(variable)) saved = old;
  set(value);
}

ScopedEnv::~ScopedEnv() { set(saved ? saved->c_str() : nullptr); }

ScopedLogLevel::ScopedLogLevel(int32_t level) : saved(KestroCorelib::globalLogLevel) { set(level); }

ScopedLogLevel::~ScopedLogLevel() { KestroCorelib::globalLogLevel = saved; }

void ScopedLogLevel::set(int32_t level) const { KestroCorelib::globalLogLevel = level; }

TempDir::TempDir(const std::string& stem) {
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; path.empty(); ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / (stem + "-" + std::to_string(random()));
    // create_directory is false when the name is taken: then another one is tried.
    if (fs::create_directory(candidate)) path = candidate.string();
    if (attempt == 100) throw std::runtime_error("no temporary directory for " + stem);
  }
#else
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0' ? base : "/tmp");
  pattern += "/" + stem + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("no temporary directory for " + stem);
  path = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path, error);
  if (!error) return;
  // A test that took the write right from a directory inside may have failed before it gave
  // it back: the owner gets it again, then the removal is tried once more.
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(path, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(path, error);
}

#ifndef _WIN32
namespace {

// Points a standard descriptor at a file for as long as it lives.
class Redirect {
 public:
  Redirect(int descriptor, const std::string& file) : fd(descriptor), saved(::dup(descriptor)) {
    const int target = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (saved < 0 || target < 0 || ::dup2(target, fd) < 0) ADD_FAILURE() << "no redirection";
    if (target >= 0) ::close(target);
  }
  ~Redirect() {
    if (saved < 0) return;
    ::dup2(saved, fd);
    ::close(saved);
  }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  int fd;
  int saved;
};

void flushAll() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

}  // namespace

Output captureOutput(const std::function<void()>& action) {
  TempDir dir("capture");
  flushAll();
  {
    Redirect out(1, dir.path + "/out"), err(2, dir.path + "/err");
    action();
    flushAll();
  }
  return Output{readFile(dir.path + "/out"), readFile(dir.path + "/err")};
}
#endif

LogCollector::LogCollector(const char* group, const char* message, std::string source)
    : ImsAgent("collector"), onlySource(std::move(source)) {
  hook = setMessageHook(false, "debug", group, message, 1);
}

LogCollector::~LogCollector() { removeMessageHook(hook); }

int32_t LogCollector::receiveHookedMessage(uint64_t id, KestroCorelib::ImsMessage& message) {
  return id == hook ? receiveMessage(message) : 1;
}

int32_t LogCollector::receiveMessage(KestroCorelib::ImsMessage& message) {
  using KestroCorelib::Logger;
  auto* r = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
  if (message.groupType == "level" || r == nullptr) return 1;
  if (!onlySource.empty() && r->sourceName != onlySource) return 1;
  records.push_back(Seen{message.groupType, message.messageType, r->level, r->sourceName, r->text,
                         r->parameters.fill(r->text),
                         r->parameters.fill(KestroCorelib::Exception::scanTemplate(r->text)),
                         r->timeStamp, r->threadId, r->processId});
  return 2;
}

std::vector<std::string> LogCollector::lines() const {
  std::vector<std::string> result;
  for (const Seen& s : records) result.push_back(s.filled);
  return result;
}

int entries(const std::string& directory) {
  std::error_code error;
  int count = 0;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    ++count;
  return error ? -1 : count;
}

std::string currentUser() {
#ifdef _WIN32
  char name[256] = {};
  DWORD size = sizeof name;
  return ::GetUserNameA(name, &size) ? name : "[unknown]";
#else
  const passwd* entry = ::getpwuid(::geteuid());
  return entry != nullptr ? entry->pw_name : "[unknown]";
#endif
}

std::string currentSession() {
#ifdef _WIN32
  DWORD session = 0;
  return ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) ? std::to_string(session) : "";
#else
  const std::string audit = readFile("/proc/self/sessionid");
  if (!audit.empty() && audit != "4294967295") return audit;
  const char* xdg = std::getenv("XDG_SESSION_ID");
  const std::string id = xdg != nullptr ? xdg : "";
  return id.find_first_not_of("0123456789") == std::string::npos ? id : "";
#endif
}

std::string libraryForm(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

void expectIdFile(const std::string& name, const std::string& project) {
  const std::string content = readFile(name);
  ASSERT_EQ(content.compare(0, 5, "time="), 0) << content;
  const size_t line = content.find('\n');
  ASSERT_NE(line, std::string::npos) << content;
  const std::string digits = content.substr(5, line - 5);
  ASSERT_FALSE(digits.empty());
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
  EXPECT_NE(digits[0], '0');
  EXPECT_EQ(content.substr(line), "\nproject=" + project);
}

std::string writeRecorder(const std::string& path, unsigned mode) {
#ifdef _WIN32
  (void)mode;
  char self[MAX_PATH] = {};
  const std::string test(self, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
  const std::string program = path + ".exe";
  std::error_code error;
  fs::copy_file(test.substr(0, test.find_last_of('\\') + 1) + "ArgvRecorder.exe", program,
                fs::copy_options::overwrite_existing, error);
  EXPECT_FALSE(error) << program << ": " << error.message();
  return program;
#else
  // Written beside and renamed into place: a reader never sees half a record. Nothing is
  // looked up on PATH, which the launcher's tests set to their own folders only.
  writeFile(path,
            "#!/bin/sh\nout=\"${0%/*}/out\"\nprintf '[%s]\\n' \"$0\" \"$@\" > \"$out.tmp\"\n"
            "if [ -n \"${KESTRO_PROJECT+set}\" ]; then\n"
            "  printf 'KESTRO_PROJECT=%s\\n' \"$KESTRO_PROJECT\" >> \"$out.tmp\"\nfi\n"
            "/bin/mv \"$out.tmp\" \"$out\"\n",
            mode);
  return path;
#endif
}

Installation::Installation() {
#ifdef _WIN32
  std::replace(root.begin(), root.end(), '\\', '/');
#endif
  for (const char* sub :
       {"/registry", "/install", "/install/log", "/install/log/temp", "/install/config", "/bin"}) {
#ifdef _WIN32
    fs::create_directory(root + sub);
#else
    ::mkdir((root + sub).c_str(), 0755);
#endif
  }
#ifndef _WIN32
  writeHive("\"InstallDir\"=\"" + root + "/install\"\n\"ConfigurationDir\"=\"" + conf() + "\"\n");
#endif
}

std::string Installation::idFile() const {
  return temp() + "/project_id-" + currentUser() + "-" + currentSession() + ".idval";
}

void Installation::writeMap(const std::string& projects, const std::string& gui) const {
  writeFile(map(), "map {\n plavo {\n" + gui + "  projects {\n" + projects + "  }\n }\n}\n");
}

#ifdef _WIN32
void TempRegistry::TearDown() {
  for (const auto& [root, path] : {std::pair{HKEY_LOCAL_MACHINE, "K"},
                                   {HKEY_LOCAL_MACHINE, "SOFTWARE\\X"},
                                   {HKEY_CURRENT_USER, "SOFTWARE\\Kestro"}}) {
    RegDeleteTreeA(root, path);
  }
}
#else

NumericLocale::NumericLocale(const std::string& language, std::string point)
    : name(language + ".UTF-8"), decimalPoint(std::move(point)) {
  if (use()) return;
  generated.emplace("locale-test");
  const std::string dir = generated->path;
  const std::string command =
      "localedef -i " + language + " -f UTF-8 '" + dir + "/" + name + "' >/dev/null 2>&1";
  ScopedEnv path("LOCPATH", dir.c_str());
  if (std::system(command.c_str()) != 0) {
    problem = "localedef could not generate " + name + " (package locales)";
  } else if (!use()) {
    problem = "the generated locale " + name + " has another decimal point";
  }
}

NumericLocale::~NumericLocale() { std::setlocale(LC_NUMERIC, "C"); }

bool NumericLocale::use() const {
  return std::setlocale(LC_NUMERIC, name.c_str()) != nullptr &&
         std::localeconv()->decimal_point == decimalPoint;
}

std::string runUnprivileged(const std::function<std::string()>& check) {
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

bool Installation::registered() const { return ::access(idFile().c_str(), F_OK) == 0; }

void Installation::writeHive(const std::string& values) const {
  writeFile(root + "/registry/HKEY_LOCAL_MACHINE.reg",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n" + values);
}

Result Installation::run(const std::vector<std::string>& arguments, const std::string& registry,
                         const std::vector<std::string>& extraEnvironment) const {
  return finish(start(arguments, "std", registry, extraEnvironment));
}

Result Installation::runAs(uid_t uid, gid_t gid, const std::vector<std::string>& arguments) const {
  return finish(start(arguments, "std", "", {}, uid, gid));
}

bool Installation::reachableBy(uid_t uid, gid_t gid) const {
  const std::string program = programPath();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(1);
    ::_exit(::access(program.c_str(), X_OK) == 0 && ::access(temp().c_str(), X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string Installation::programPath() const {
  char self[PATH_MAX] = {};
  const ssize_t size = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  std::string program(self, size > 0 ? static_cast<size_t>(size) : 0);
  return program.substr(0, program.rfind('/')) + "/" + programName;
}

pid_t Installation::start(const std::vector<std::string>& arguments, const std::string& output,
                          const std::string& registry,
                          const std::vector<std::string>& extraEnvironment, uid_t uid,
                          gid_t gid) const {
  // Launched programs outlive the program; as their subreaper this process can wait for them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::vector<std::string> env = {
      "KESTRO_REGISTRY_DIR=" + (registry.empty() ? root + "/registry" : registry),
      "PATH=" + root + "/bin:/usr/bin:/bin", "HOME=" + root, "XDG_SESSION_ID=" + currentSession(),
      "LANG=C"};
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
  const pid_t pid = ::fork();
  EXPECT_GE(pid, 0);
  if (pid == 0) {
    const int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::chdir(root.c_str()) != 0)
      ::_exit(120);
    if (gid != static_cast<gid_t>(-1) && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0))
      ::_exit(121);
    if (uid != static_cast<uid_t>(-1) && ::setuid(uid) != 0) ::_exit(122);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(123);
  }
  return pid;
}

int Installation::waitFor(pid_t pid) {
  int status = 0;
  pid_t done = 0;
  for (int waited = 0; (done = ::waitpid(pid, &status, WNOHANG)) == 0 && waited < 6000; ++waited)
    ::usleep(10000);
  if (done == 0) {
    ADD_FAILURE() << "the program did not end; killed";
    ::kill(pid, SIGKILL);
    done = ::waitpid(pid, &status, 0);
  }
  EXPECT_EQ(done, pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Result Installation::finish(pid_t pid, const std::string& output) const {
  Result result;
  if (pid < 0) return result;
  result.exitCode = waitFor(pid);
  while (::wait(nullptr) > 0) {
  }
  result.out = readFile(root + "/" + output + ".out");
  result.err = readFile(root + "/" + output + ".err");
  return result;
}
#endif

}  // namespace testsupport
