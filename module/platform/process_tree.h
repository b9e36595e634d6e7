#pragma once
// The processes a started tool made, also those that left its process group or session and
// those orphaned on the way, so that a cancelled tool can be stopped as a whole tree.
//
// While at least one tree is tracked, the calling process is a child subreaper: orphans of
// the tool's tree are handed to it instead of the system's reaper, so none escapes. The
// caller's own children that existed before the tree was made are never counted.
#include <sys/types.h>

#include <chrono>
#include <set>
#include <vector>

namespace zaro::platform {

class ProcessTree {
 public:
  ProcessTree();
  ~ProcessTree();
  ProcessTree(const ProcessTree&) = delete;
  ProcessTree& operator=(const ProcessTree&) = delete;

  // The tool at the root of the tree (a child of the caller, in a process group of its own).
  void SetRoot(pid_t root) { root_ = root; }
  // Marks the root as ended (and reaped by the caller): its orphans count from now on.
  void RootEnded() { rootEnded_ = true; }

  // The living members: the root while it runs, its descendants and adopted orphans with
  // theirs.
  std::vector<pid_t> Members() const;
  // Sends `signal` to every member and to the root's process group.
  void Signal(int signal) const;
  // Reaps adopted members that have ended.
  void ReapAdopted() const;
  // Asks what is left of the tree to stop (SIGTERM), waits up to `grace` for it, then kills
  // the rest (SIGKILL) and reaps every adopted member. Returns when no member is left or,
  // at the latest, about a second after the kill.
  void Stop(std::chrono::milliseconds grace) const;

 private:
  pid_t root_ = 0;
  bool rootEnded_ = false;
  std::set<pid_t> foreignChildren_;  // the caller's children before the tree was made
};

}  // namespace zaro::platform
