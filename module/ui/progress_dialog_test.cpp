#include "ui/progress_dialog.h"

#include <gtest/gtest.h>

#include "ui/timestamp_retry_dialog.h"

namespace zaro {
namespace {

TEST(ProgressDialog, ClosesOnceTheRunHasEndedAndOffersItsWakeSignalWhileOpen) {
  std::atomic<unsigned char> flag{0};
  WakeSignal ended;
  CProgressDlg dialog;
  EXPECT_EQ(dialog.GetLabel("status").value_or(u""), u"正在发布...") << "the words a view shows beside its bar";
  EXPECT_EQ(dialog.FindButton("Cancel")->label, u"取消");
  EXPECT_EQ(dialog.Title(), u"");
  EXPECT_EQ(dialog.Wakeup(), nullptr) << "without a run the timer alone ticks it";
  dialog.SetFlag(&flag, &ended);
  dialog.OnShow();
  EXPECT_EQ(dialog.Wakeup(), &ended);
  EXPECT_TRUE(dialog.MarqueeRunning());
  EXPECT_EQ(dialog.TimerIntervalMs(), 1000);
  dialog.OnTimer();
  EXPECT_FALSE(dialog.IsClosed());
  flag.store(1);
  dialog.OnTimer();
  EXPECT_TRUE(dialog.IsClosed());
  EXPECT_EQ(dialog.Result(), 0);
  EXPECT_FALSE(dialog.Cancelled());
  EXPECT_EQ(dialog.TimerIntervalMs(), 0) << "the timer stops with the dialog";
  EXPECT_EQ(dialog.Wakeup(), nullptr) << "a closed dialog is no longer woken";
}

TEST(ProgressDialog, CancelSetsTheFlagAndThenLetsGoOfIt) {
  std::atomic<unsigned char> flag{0};
  CProgressDlg dialog;
  dialog.SetFlag(&flag);
  dialog.OnShow();
  ASSERT_TRUE(dialog.Press("Cancel"));
  EXPECT_EQ(flag.load(), 1);
  EXPECT_TRUE(dialog.Cancelled());
  EXPECT_EQ(dialog.Result(), kIdCancel);
  EXPECT_FALSE(dialog.FindField("progress")->visible);
  EXPECT_FALSE(dialog.MarqueeRunning());
  flag.store(0);
  dialog.OnTimer();
  EXPECT_EQ(flag.load(), 0) << "a closed dialog no longer touches the job";
  EXPECT_EQ(dialog.Result(), kIdCancel);
}

TEST(TimestampRetryDialog, ButtonsGiveTheirResults) {
  const std::pair<const char*, int> buttons[] = {{"Retry", 1}, {"Cancel", 2}, {"DisableTimestamp", 12}};
  for (const auto& [button, result] : buttons) {
    CTimestampRetryDlg dialog;
    ASSERT_TRUE(dialog.Press(button));
    EXPECT_TRUE(dialog.IsClosed());
    EXPECT_EQ(dialog.Result(), result) << button;
  }
  CTimestampRetryDlg dialog;
  EXPECT_EQ(dialog.Title(), u"Corvane Tessel KV5");
  EXPECT_EQ(dialog.FindField("message")->label,
            u"连接到时间戳服务器时出错。您可能没有连接到网络，或者服务器本身可能存在问题。");
  EXPECT_EQ(dialog.FindField("warning")->label, u"如果您选择禁用时间戳，则在数字证书过期时 ZARO 应用程序将无法安装。");
  EXPECT_EQ(dialog.FindButton("DisableTimestamp")->label, u"禁用时间戳");
  EXPECT_EQ(dialog.FindButton("Retry")->label, u"重试");
  EXPECT_TRUE(dialog.FindButton("Retry")->isDefault);
  EXPECT_EQ(dialog.FindButton("Cancel")->label, u"取消");
}

}  // namespace
}  // namespace zaro
