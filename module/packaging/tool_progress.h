#pragma once
// What a packaging tool says while it runs. The packaging tool writes lines starting with
// "time stamp: " while it waits for its time-stamp authority ("time stamp: retrying URL in
// 1.2 s ...", "time stamp: trying the fallback authority URL", "time stamp: granted by URL").
// They tell the progress dialog what is going on and are not part of the tool's result.
#include <atomic>
#include <string>
#include <string_view>

#include "ui/progress_dialog.h"

namespace zaro {

inline constexpr std::string_view kTimestampProgressPrefix = "time stamp: ";
// The progress dialog's label while the time stamp is being retried.
inline constexpr std::u16string_view kTimestampRetryingLabel = u"正在重试时间戳...";

// Reads the tool's output as it arrives, on the worker thread; any thread may ask.
class ToolProgressWatcher {
 public:
  void Feed(std::string_view chunk);
  // A retry or a fallback authority has been announced.
  bool TimestampRetrying() const { return retrying_.load(std::memory_order_acquire); }

 private:
  void TakeLine();
  std::string line_;  // the start of the line being read (no more than is needed to tell)
  std::atomic<bool> retrying_{false};
};

// The output without the progress lines: what the tool reported as its result.
std::u16string WithoutProgressLines(std::u16string_view output);

// The progress dialog of a packaging run: its label says so once the tool is retrying its
// time stamp.
class PackagingProgressDlg : public CProgressDlg {
 public:
  explicit PackagingProgressDlg(const ToolProgressWatcher& progress) : progress_(progress) {}
  void OnTimer() override;

 private:
  const ToolProgressWatcher& progress_;
};

}  // namespace zaro
