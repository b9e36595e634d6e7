#include "launcher.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessel {

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments, std::string* error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (error) *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) {
    if (error) *error = std::string("cannot fork: ") + std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    // The intermediate child exits at once, so the program is reparented and never
    // becomes a zombie of the host.
    ::close(report[0]);
    const pid_t grandchild = ::fork();
    if (grandchild < 0) {
      const int code = errno;
      (void)!::write(report[1], &code, sizeof code);
      ::_exit(1);
    }
    if (grandchild > 0) ::_exit(0);
    ::setsid();
    if (const int null = ::open("/dev/null", O_RDONLY); null >= 0) {
      ::dup2(null, STDIN_FILENO);
      if (null != STDIN_FILENO) ::close(null);
    }
    ::execv(program.c_str(), argv.data());
    const int code = errno;
    (void)!::write(report[1], &code, sizeof code);
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int code = 0;
  ssize_t n = 0;
  do {
    n = ::read(report[0], &code, sizeof code);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof code)) {
    if (error) *error = std::strerror(code);
    return false;
  }
  return true;
}

}  // namespace tessel
