#include "platform/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/process_tree.h"
#include "platform/text.h"
#include "platform/ui_services.h"

extern char** environ;

namespace zaro {
namespace {

constexpr std::u16string_view kOperation = u"CreateWinProcess";
// How often a waiting call looks at the cancel flag.
constexpr int kCancelTickMs = 50;
// A cancelled tool gets this long to clean up after SIGTERM before it is killed.
constexpr std::chrono::milliseconds kStopGrace{2000};
// Without a process descriptor the exit is found by polling at this interval.
constexpr int kFallbackTickMs = 5;
// Bytes read after the tool's end: what it left in the pipe. The bound keeps a surviving
// grandchild that goes on writing from holding the call.
constexpr size_t kDrainAfterExit = size_t{8} << 20;

// The program and its arguments, ready for execve.
struct Invocation {
  std::string path;               // what is executed
  std::vector<std::string> args;  // argv[0] is the program as written
  std::vector<char*> argv;
};

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file that runs for a program token: a path as it is, a bare name from PATH.
// Returns 0 or the errno that starting it would give.
int ResolveProgram(const std::string& program, std::string& path) {
  if (program.empty()) return ENOENT;
  if (program.find('/') != std::string::npos) {
    path = program;
    return 0;
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view dirs = searchPath && *searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate += '/';
    candidate += program;
    if (IsExecutableFile(candidate)) {
      path = std::move(candidate);
      return 0;
    }
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return ENOENT;
}

// False for a command line without tokens; `error` is set when the program cannot be found.
bool Prepare(std::u16string_view commandLine, Invocation& call, int& error) {
  std::vector<std::u16string> tokens = platform::SplitCommandLine(commandLine);
  if (tokens.empty()) return false;
  call.args.push_back(platform::ToPosixPath(tokens[0]));
  for (size_t i = 1; i < tokens.size(); ++i) call.args.push_back(ToUtf8(tokens[i]));
  for (std::string& arg : call.args) call.argv.push_back(arg.data());
  call.argv.push_back(nullptr);
  error = ResolveProgram(call.args[0], call.path);
  return true;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// Reads what is available without blocking, at most `limit` bytes. False at end of file.
bool ReadAvailable(int fd, std::string& output, size_t& kept, size_t limit, const OutputListener* onOutput) {
  char chunk[65536];
  size_t taken = 0;
  while (taken < limit) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      taken += static_cast<size_t>(n);
      if (kept < kMaxCapturedOutput) {
        const size_t room = kMaxCapturedOutput - kept;
        const size_t keep = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
        output.append(chunk, keep);
        kept += keep;
        if (onOutput != nullptr && *onOutput) (*onOutput)(std::string_view(chunk, keep));
      }
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
  return true;
}

// Waits for the child, reading its pipe the whole time. Returns its wait status. A cancel
// asks the tool's whole tree to stop (SIGTERM), so the tool can remove what it was writing,
// and kills it (SIGKILL) when it is still there after the grace period. Whatever the tool
// leaves running when it ends is stopped the same way.
int WaitCapturing(pid_t pid, platform::ProcessTree& tree, int readFd, std::string& output,
                  const std::atomic<unsigned char>* cancel, const OutputListener* onOutput) {
  using Clock = std::chrono::steady_clock;
  const int pidFd = OpenProcessDescriptor(pid);
  bool pipeOpen = true;
  bool stopping = false;
  bool killed = false;
  Clock::time_point deadline;
  size_t kept = 0;
  int status = 0;
  bool ended = false;
  while (!ended) {
    if (cancel && !stopping && cancel->load(std::memory_order_acquire) != 0) {
      tree.Signal(SIGTERM);
      stopping = true;
      deadline = Clock::now() + kStopGrace;
    }
    if (stopping && !killed && Clock::now() >= deadline) {
      tree.Signal(SIGKILL);
      killed = true;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (pipeOpen) fds[count++] = {readFd, POLLIN, 0};
    if (pidFd >= 0) fds[count++] = {pidFd, POLLIN, 0};
    int timeout = -1;
    if (pidFd < 0) timeout = kFallbackTickMs;
    if (cancel && !stopping) timeout = timeout < 0 ? kCancelTickMs : std::min(timeout, kCancelTickMs);
    if (stopping && !killed) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      const int wait = static_cast<int>(std::max<long long>(1, std::min<long long>(left + 1, kCancelTickMs)));
      timeout = timeout < 0 ? wait : std::min(timeout, wait);
    }
    const int ready = ::poll(fds, count, timeout);
    const bool pollFailed = ready < 0 && errno != EINTR;
    if (pollFailed) ::usleep(kFallbackTickMs * 1000);  // look at everything after a short pause
    const bool pipeReady = pipeOpen && (pollFailed || (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))));
    if (pipeReady) {
      // A bounded read per round, so a tool that writes without pause cannot starve the
      // cancel check.
      pipeOpen = ReadAvailable(readFd, output, kept, size_t{1} << 20, onOutput);
    }
    const bool childReady = pidFd < 0 || pollFailed || (ready > 0 && (fds[count - 1].revents & POLLIN));
    if (childReady) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        ended = true;
      } else if (done < 0 && errno == ECHILD) {
        status = -1;  // someone else reaped it (SIGCHLD ignored by the host)
        ended = true;
      }
    }
  }
  tree.RootEnded();
  auto grace = kStopGrace;
  if (stopping) {
    grace = killed ? std::chrono::milliseconds(0)
                   : std::max(std::chrono::milliseconds(0),
                              std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
  }
  tree.Stop(grace);
  // Whatever the tool wrote before it ended is in the pipe now.
  if (pipeOpen) ReadAvailable(readFd, output, kept, kDrainAfterExit, onOutput);
  if (pidFd >= 0) ::close(pidFd);
  return status;
}

int RunCaptured(const Invocation& call, std::string& output, const std::atomic<unsigned char>* cancel,
                const OutputListener* onOutput) {
  int pipeFds[2];
  // Every -1 after a command line was given comes with the "Error" box, so callers that
  // only say "not started" on -1 never leave the author without a word.
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    ReportSystemError(kOperation);
    return -1;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t noSignals, allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  // Ignored signals (SIGPIPE in many hosts) would stay ignored in the tool otherwise.
  posix_spawnattr_setsigdefault(&attributes, &allSignals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // Made before the tool starts, so that the caller's own children are told apart from
  // orphans of the tool.
  platform::ProcessTree tree;
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, call.path.c_str(), &actions, &attributes, call.argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeFds[1]);
  if (error != 0) {
    ::close(pipeFds[0]);
    ReportSystemError(kOperation, error);
    return -1;
  }
  ::fcntl(pipeFds[0], F_SETFL, ::fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
  tree.SetRoot(pid);
  const int status = WaitCapturing(pid, tree, pipeFds[0], output, cancel, onOutput);
  ::close(pipeFds[0]);
  return status < 0 ? -1 : ExitCodeOf(status);
}

// The tool is started by an intermediate child that exits at once, so the tool is adopted
// by the system's reaper instead of staying the caller's unwaited child. Between fork and
// exec only async-signal-safe calls are made; everything else is prepared beforehand.
int RunDetached(const Invocation& call) {
  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
    ReportSystemError(kOperation);
    return -1;
  }
  long maxFd = ::sysconf(_SC_OPEN_MAX);
  if (maxFd < 0 || maxFd > 65536) maxFd = 65536;

  sigset_t allSignals, previous;
  sigfillset(&allSignals);
  pthread_sigmask(SIG_SETMASK, &allSignals, &previous);  // no handler runs in the children
  const pid_t middle = ::fork();
  if (middle == 0) {
    const pid_t tool = ::fork();
    if (tool == 0) {
      ::setpgid(0, 0);
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0 && devNull != 0) {
        ::dup2(devNull, 0);
        ::close(devNull);
      }
#ifdef SYS_close_range
      const bool marked = ::syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */) == 0;
#else
      const bool marked = false;
#endif
      if (!marked) {
        for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      }
      struct sigaction byDefault {};
      byDefault.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &byDefault, nullptr);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execve(call.path.c_str(), call.argv.data(), environ);
      const int error = errno;
      [[maybe_unused]] ssize_t ignored = ::write(errorPipe[1], &error, sizeof error);
      ::_exit(127);
    }
    if (tool < 0) {
      const int error = errno;
      [[maybe_unused]] ssize_t ignored = ::write(errorPipe[1], &error, sizeof error);
    }
    ::_exit(0);
  }
  const int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::close(errorPipe[1]);
  if (middle < 0) {
    ::close(errorPipe[0]);
    ReportSystemError(kOperation, forkError);
    return -1;
  }
  while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
  // End of file: the tool's exec succeeded. Otherwise its errno arrives.
  int error = 0;
  ssize_t n;
  do {
    n = ::read(errorPipe[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(errorPipe[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    ReportSystemError(kOperation, error);
    return -1;
  }
  return 0;
}

std::string SystemText(int errorNumber) {
  char buffer[256];
  // The GNU form returns the text, which may or may not live in the buffer.
  const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
  return text ? text : "";
}

}  // namespace

int CreateWinProcess(std::u16string_view commandLine, bool capture, std::string& output,
                     const std::atomic<unsigned char>* cancel, const OutputListener* onOutput) {
  Invocation call;
  int error = 0;
  if (!Prepare(commandLine, call, error)) return -1;
  if (error != 0) {
    ReportSystemError(kOperation, error);
    return -1;
  }
  return capture ? RunCaptured(call, output, cancel, onOutput) : RunDetached(call);
}

void ReportSystemError(std::u16string_view operation) { ReportSystemError(operation, errno); }

void ReportSystemError(std::u16string_view operation, int errorNumber) {
  std::u16string text(operation);
  text += u" failed with error ";
  text += FromUtf8(std::to_string(errorNumber));
  text += u": ";
  text += FromUtf8(SystemText(errorNumber));
  Ui().ShowMessageBox(text, u"Error", kMbOk);
}

}  // namespace zaro
