#include "platform/wake_signal.h"

namespace zaro {

void WakeSignal::Notify() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ = true;
  if (notifier_) notifier_();
  woken_.notify_all();
}

bool WakeSignal::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool woken = woken_.wait_for(lock, timeout, [this] { return pending_; });
  pending_ = false;
  return woken;
}

void WakeSignal::SetNotifier(std::function<void()> notifier) {
  std::lock_guard<std::mutex> lock(mutex_);
  notifier_ = std::move(notifier);
  if (notifier_ && pending_) notifier_();
}

}  // namespace zaro
