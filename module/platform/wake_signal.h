#pragma once
// A wake-up call from one thread to another: the packaging worker notifies it when its run
// has ended, and the view that shows the progress dialog waits on it (console and scripted
// views) or has it post an event into its event loop (window system).
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace zaro {

class WakeSignal {
 public:
  // Any thread. Remembers the call until a waiter takes it, and runs the notifier if set.
  void Notify();
  // Waits at most `timeout` for a notification; true (and the notification is taken) when
  // there was one, also one made before the wait began.
  bool WaitFor(std::chrono::milliseconds timeout);
  // Installs a function that Notify also runs (empty to remove it). Once this returns
  // with an empty function, the old notifier is no longer running and will not run again.
  // A notification made before the notifier was installed runs it at once.
  void SetNotifier(std::function<void()> notifier);

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
  std::function<void()> notifier_;
};

}  // namespace zaro
