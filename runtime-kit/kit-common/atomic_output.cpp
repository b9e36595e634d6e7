#include "atomic_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace zpk {

namespace {

// Pending temporary files. A watcher thread removes them when a stop signal arrives.
std::mutex g_pendingMutex;
std::set<std::string> g_pending;

void Register(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_pendingMutex);
  g_pending.insert(path);
}

void Unregister(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_pendingMutex);
  g_pending.erase(path);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Temporary files are named ".NAME.zpk-PID-XXXXXX"; libzip writes its own beside one as
// ".NAME.zpk-PID-XXXXXX.YYYYYY". The writer's process id in the name tells whether it is
// still running.
constexpr const char* kTemporaryMark = ".zpk-";

bool WriterOf(const std::string& name, long& pid) {
  if (name.empty() || name[0] != '.') return false;
  size_t mark = name.rfind(kTemporaryMark);
  while (mark != std::string::npos && mark > 0) {
    const char* digits = name.c_str() + mark + std::strlen(kTemporaryMark);
    char* end = nullptr;
    long value = std::strtol(digits, &end, 10);
    if (end != digits && *end == '-' && value > 0) {
      pid = value;
      return true;
    }
    mark = name.rfind(kTemporaryMark, mark - 1);
  }
  return false;
}

bool ProcessAlive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Removes `path` and the files libzip made beside it.
void RemoveWithCompanions(const std::string& path) {
  unlink(path.c_str());
  const std::string prefix = BaseOf(path) + ".";
  DIR* dir = opendir(FolderOf(path).c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) == 0) unlink((FolderOf(path) + "/" + name).c_str());
  }
  closedir(dir);
}

void WatchStopSignals(sigset_t signals) {
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
  {
    std::lock_guard<std::mutex> lock(g_pendingMutex);
    for (const std::string& path : g_pending) RemoveWithCompanions(path);
  }
  _exit(128 + signal);
}

}  // namespace

TemporaryOutput::~TemporaryOutput() { Discard(); }

bool TemporaryOutput::Create(const std::string& target, std::string& error) {
  Discard();
  target_ = target;
  struct stat st {};
  if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = target + " is a folder";
    return false;
  }
  std::string folder = FolderOf(target);
  size_t slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  SweepStaleTemporaries(folder);
  std::string pattern = folder + "/." + base + kTemporaryMark + std::to_string(getpid()) + "-XXXXXX";
  std::string buffer = pattern;
  int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error = "cannot create a file in " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  close(fd);
  temp_ = buffer;
  Register(temp_);
  return true;
}

bool TemporaryOutput::Commit(std::string& error, unsigned mode) {
  if (temp_.empty()) {
    error = "nothing to commit";
    return false;
  }
  int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    error = "cannot flush " + temp_ + " (" + std::strerror(errno) + ")";
    if (fd >= 0) close(fd);
    return false;
  }
  close(fd);
  mode_t mask = umask(0);
  umask(mask);
  chmod(temp_.c_str(), mode & ~mask);
  if (rename(temp_.c_str(), target_.c_str()) != 0) {
    error = "cannot write " + target_ + " (" + std::strerror(errno) + ")";
    return false;
  }
  Unregister(temp_);
  temp_.clear();
  int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void TemporaryOutput::Discard() {
  if (temp_.empty()) return;
  RemoveWithCompanions(temp_);
  Unregister(temp_);
  temp_.clear();
}

void SweepStaleTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const pid_t self = getpid();
  while (dirent* entry = readdir(dir)) {
    long pid = 0;
    std::string name = entry->d_name;
    if (!WriterOf(name, pid) || pid == self || ProcessAlive(pid)) continue;
    std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
  }
  closedir(dir);
}

bool WriteFileAtomically(const std::string& target, std::string_view data, unsigned mode, std::string& error) {
  TemporaryOutput output;
  if (!output.Create(target, error)) return false;
  int fd = open(output.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "cannot write " + target + " (" + std::strerror(errno) + ")";
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  return output.Commit(error, mode);
}

bool ReadWholeFile(const std::string& path, std::string& data, std::string& error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  data.clear();
  char buffer[65536];
  while (true) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

void InstallInterruptCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The stop signals are taken by one thread that may lock and allocate, instead of a
    // handler that could interrupt the writer anywhere.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(WatchStopSignals, signals).detach();
  });
}

}  // namespace zpk
