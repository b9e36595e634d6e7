#pragma once
// CProgressDlg, the modal "publishing" dialog shown while a packaging tool runs: a marquee bar and a
// Cancel button. It closes itself once the run's flag is set and sets that flag on Cancel.
// The worker notifies the run's wake signal when it sets the flag, so the view ticks the
// dialog at once; the one-second timer is only a fallback.
#include <atomic>
#include <string>

#include "platform/wake_signal.h"
#include "ui/form_state.h"

namespace zaro {

class CProgressDlg : public FormState {
 public:
  // Dialog resource 5012, 186 by 70 dialog units, without a title.
  static constexpr int kResourceId = 5012;
  static constexpr int kWidthDlu = 186;
  static constexpr int kHeightDlu = 70;
  // The bar: range 0 to 100, marquee step every 50 milliseconds.
  static constexpr int kRangeMax = 100;
  static constexpr int kMarqueeStepMs = 50;
  static constexpr int kPollIntervalMs = 1000;

  // Fields "status" (label "正在发布...") and "progress" (the bar; its text is the
  // position); button "Cancel" ("取消").
  CProgressDlg();

  std::string FormName() const override { return "CProgressDlg"; }
  // The job's flag: read on every tick, set to 1 on Cancel. Dropped when the dialog closes.
  // `wake` is notified by the worker right after it sets the flag.
  void SetFlag(std::atomic<unsigned char>* flag, WakeSignal* wake = nullptr) {
    flag_ = flag;
    wake_ = wake;
  }
  bool Cancelled() const { return cancelled_; }
  // True while the bar animates (from showing until Cancel).
  bool MarqueeRunning() const { return marquee_; }

  // Starts the marquee; a run that has already ended closes the dialog at once.
  void OnShow() override;
  int TimerIntervalMs() const override { return IsClosed() ? 0 : kPollIntervalMs; }
  // Closes with result 0 once the flag is set.
  void OnTimer() override;
  WakeSignal* Wakeup() const override { return IsClosed() ? nullptr : wake_; }

 protected:
  void OnButton(std::string_view name) override;

 private:
  void Finish(int result);

  std::atomic<unsigned char>* flag_ = nullptr;
  WakeSignal* wake_ = nullptr;
  bool cancelled_ = false;
  bool marquee_ = false;
};

}  // namespace zaro
