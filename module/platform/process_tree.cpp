#include "platform/process_tree.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace zaro::platform {
namespace {

std::mutex g_subreaperMutex;
int g_trackedTrees = 0;

// Every process's parent, read from /proc.
std::map<pid_t, pid_t> ParentsOfAll() {
  std::map<pid_t, pid_t> parents;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return parents;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold anything, so look after its last ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size()) continue;
    // An ended process that is not reaped yet counts too, so that it gets reaped.
    const long parent = std::strtol(line.c_str() + close + 4, nullptr, 10);
    parents[static_cast<pid_t>(pid)] = static_cast<pid_t>(parent);
  }
  ::closedir(proc);
  return parents;
}

// The caller's children, from the kernel's per-thread lists (cheaper than reading every
// process); nothing when the lists are not available.
std::set<pid_t> OwnChildren(bool& available) {
  std::set<pid_t> children;
  available = false;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return children;
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream list(std::string("/proc/self/task/") + entry->d_name + "/children");
    if (!list) continue;
    available = true;
    for (long pid; list >> pid;) children.insert(static_cast<pid_t>(pid));
  }
  ::closedir(tasks);
  return children;
}

bool IsZombie(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z' || line[close + 2] == 'X';
}

}  // namespace

ProcessTree::ProcessTree() {
  {
    std::lock_guard<std::mutex> lock(g_subreaperMutex);
    if (g_trackedTrees++ == 0) ::prctl(PR_SET_CHILD_SUBREAPER, 1L, 0L, 0L, 0L);
  }
  bool available = false;
  foreignChildren_ = OwnChildren(available);
  if (!available) {
    const pid_t self = ::getpid();
    for (const auto& [pid, parent] : ParentsOfAll())
      if (parent == self) foreignChildren_.insert(pid);
  }
}

ProcessTree::~ProcessTree() {
  std::lock_guard<std::mutex> lock(g_subreaperMutex);
  if (--g_trackedTrees == 0) ::prctl(PR_SET_CHILD_SUBREAPER, 0L, 0L, 0L, 0L);
}

std::vector<pid_t> ProcessTree::Members() const {
  const pid_t self = ::getpid();
  if (rootEnded_) {
    // With the tool gone, everything left of its tree hangs below an adopted child.
    bool available = false;
    bool adopted = false;
    for (pid_t child : OwnChildren(available)) adopted = adopted || (child != root_ && !foreignChildren_.count(child));
    if (available && !adopted) return {};
  }
  const std::map<pid_t, pid_t> parents = ParentsOfAll();
  std::map<pid_t, std::vector<pid_t>> children;
  for (const auto& [pid, parent] : parents) children[parent].push_back(pid);
  // The roots: the tool, and the caller's children that are neither the tool nor older
  // than the tree (orphans of the tree, handed to the caller as its subreaper).
  std::vector<pid_t> pending;
  if (root_ > 0 && !rootEnded_ && parents.count(root_)) pending.push_back(root_);
  for (pid_t child : children[self])
    if (child != root_ && foreignChildren_.count(child) == 0) pending.push_back(child);
  std::vector<pid_t> members;
  std::set<pid_t> seen;
  while (!pending.empty()) {
    const pid_t pid = pending.back();
    pending.pop_back();
    if (!seen.insert(pid).second) continue;
    members.push_back(pid);
    for (pid_t child : children[pid]) pending.push_back(child);
  }
  return members;
}

void ProcessTree::Signal(int signal) const {
  if (root_ > 0) ::kill(-root_, signal);
  for (pid_t pid : Members()) ::kill(pid, signal);
}

void ProcessTree::ReapAdopted() const {
  bool available = false;
  std::set<pid_t> children = OwnChildren(available);
  if (!available) {
    const pid_t self = ::getpid();
    for (const auto& [pid, parent] : ParentsOfAll())
      if (parent == self) children.insert(pid);
  }
  for (pid_t pid : children) {
    if (pid == root_ || foreignChildren_.count(pid) != 0) continue;
    if (IsZombie(pid)) ::waitpid(pid, nullptr, WNOHANG);
  }
}

void ProcessTree::Stop(std::chrono::milliseconds grace) const {
  using Clock = std::chrono::steady_clock;
  auto alive = [this] {
    for (pid_t pid : Members())
      if (!IsZombie(pid)) return true;
    return false;
  };
  ReapAdopted();
  if (Members().empty()) return;
  Signal(SIGTERM);
  const auto deadline = Clock::now() + grace;
  while (alive() && Clock::now() < deadline) {
    ReapAdopted();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const auto last = Clock::now() + std::chrono::seconds(1);
  do {
    Signal(SIGKILL);
    ReapAdopted();
    if (Members().empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (Clock::now() < last);
}

}  // namespace zaro::platform
