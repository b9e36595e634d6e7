#pragma once
// CTimestampRetryDlg, the dialog shown when the packaging tool could not reach the time-stamp authority: retry,
// go on without a time stamp, or give up.
#include <string>

#include "ui/form_state.h"

namespace zaro {

class CTimestampRetryDlg : public FormState {
 public:
  static constexpr int kResourceId = 5027;
  static constexpr int kRetry = 1;              // "重试", the default button
  static constexpr int kCancel = 2;             // "取消", also closing the dialog
  static constexpr int kDisableTimestamp = 12;  // "禁用时间戳"

  // Title "Corvane Tessel KV5"; labels "message" and "warning"; buttons "DisableTimestamp",
  // "Retry" and "Cancel".
  CTimestampRetryDlg();

  std::string FormName() const override { return "CTimestampRetryDlg"; }

 protected:
  void OnButton(std::string_view name) override;
};

}  // namespace zaro
