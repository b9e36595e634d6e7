#include "atomic_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zpk {

namespace {

// Pending temporary files, readable from a signal handler (fixed storage, no allocation).
constexpr int kSlots = 4;
constexpr size_t kPathMax = 4096;
char g_pending[kSlots][kPathMax];
volatile sig_atomic_t g_used[kSlots];

int Register(const std::string& path) {
  if (path.size() + 1 > kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (!g_used[i]) {
      std::memcpy(g_pending[i], path.c_str(), path.size() + 1);
      g_used[i] = 1;
      return i;
    }
  }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_used[slot] = 0;
}

void OnInterrupt(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i]) unlink(g_pending[i]);
  _exit(128 + signal);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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
  std::string pattern = folder + "/." + base + ".zpk-XXXXXX";
  std::string buffer = pattern;
  int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error = "cannot create a file in " + folder + " (" + std::strerror(errno) + ")";
    return false;
  }
  close(fd);
  temp_ = buffer;
  slot_ = Register(temp_);
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
  Unregister(slot_);
  slot_ = -1;
  temp_.clear();
  int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void TemporaryOutput::Discard() {
  if (!temp_.empty()) unlink(temp_.c_str());
  Unregister(slot_);
  slot_ = -1;
  temp_.clear();
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
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace zpk
