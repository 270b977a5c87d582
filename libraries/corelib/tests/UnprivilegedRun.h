#pragma once
// Runs a check as an ordinary user, so that permission tests mean something also when the
// tests run as root (as in CI containers): as root, the check runs in a child process that
// has switched to the user "nobody" (65534); otherwise it runs in this process.
#ifndef _WIN32
#  include <sys/wait.h>
#  include <unistd.h>

#  include <functional>
#  include <string>

namespace KestroCorelib::testsupport {

// The text `check` returns, or a text starting with "child failed" when the child could not
// switch user or ended abnormally.
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

}  // namespace KestroCorelib::testsupport
#endif
