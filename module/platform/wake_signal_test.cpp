#include "platform/wake_signal.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/console_ui.h"
#include "platform/scripted_ui.h"

namespace zaro {
namespace {

using namespace std::chrono_literals;

TEST(WakeSignal, KeepsANotificationUntilItIsTakenAndRunsTheNotifier) {
  WakeSignal signal;
  EXPECT_FALSE(signal.WaitFor(0ms));
  signal.Notify();
  EXPECT_TRUE(signal.WaitFor(0ms)) << "a notification before the wait is not lost";
  EXPECT_FALSE(signal.WaitFor(0ms)) << "and it is taken once";

  int runs = 0;
  signal.Notify();
  signal.SetNotifier([&] { ++runs; });
  EXPECT_EQ(runs, 1) << "an earlier notification runs a notifier installed later";
  signal.WaitFor(0ms);
  signal.Notify();
  EXPECT_EQ(runs, 2);
  signal.SetNotifier({});
  signal.Notify();
  EXPECT_EQ(runs, 2) << "a removed notifier never runs again";
}

// A form that waits for another thread, with a timer so long that only the wake-up can
// close it within the test's time limit.
class WaitingForm : public ModalForm {
 public:
  std::string FormName() const override { return "CWaitDlg"; }
  std::optional<std::u16string> GetLabel(std::string_view name) const override {
    return name == "status" ? std::optional<std::u16string>(u"正在发布...") : std::nullopt;
  }
  bool Press(std::string_view control) override {
    if (control != "Cancel") return false;
    result = kIdCancel;
    closed = true;
    return true;
  }
  bool IsClosed() const override { return closed; }
  int Result() const override { return result; }
  int TimerIntervalMs() const override { return closed ? 0 : 3600 * 1000; }
  void OnTimer() override {
    ++ticks;
    if (done.load()) closed = true;
  }
  WakeSignal* Wakeup() const override { return closed ? nullptr : &wake; }

  std::atomic<bool> done{false};
  mutable WakeSignal wake;
  bool closed = false;
  int result = 0;
  int ticks = 0;
};

// The worker's end of a run: the flag first, then the wake-up.
std::thread FinishSoon(WaitingForm& form) {
  return std::thread([&form] {
    std::this_thread::sleep_for(50ms);
    form.done.store(true);
    form.wake.Notify();
  });
}

TEST(ScriptedUi, ClosesAWaitingFormWhenItIsWoken) {
  ScriptedUi ui;
  WaitingForm form;
  std::thread worker = FinishSoon(form);
  EXPECT_EQ(ui.RunModal(form), 0);
  worker.join();
  EXPECT_TRUE(form.closed);
  EXPECT_EQ(ui.Failures(), 0);

  // A "wait" step ends early when the form closes on its wake-up.
  ScriptedUi scripted;
  scripted.QueueForm("CWaitDlg", {FormStep{{}, "", 3600 * 1000}});
  WaitingForm waited;
  std::thread second = FinishSoon(waited);
  EXPECT_EQ(scripted.RunModal(waited), 0);
  second.join();
  EXPECT_EQ(scripted.Failures(), 0);
}

TEST(ConsoleUi, ShowsTheStatusWordsAndWipesTheLineWhenWoken) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::FILE* terminal = fdopen(slave, "w");
  ASSERT_NE(terminal, nullptr);
  {
    ConsoleUi ui(nullptr, terminal);
    WaitingForm form;
    std::thread worker = FinishSoon(form);
    EXPECT_EQ(ui.RunModal(form), 0);
    worker.join();
    EXPECT_TRUE(form.closed);
  }
  std::fclose(terminal);
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  close(master);
  EXPECT_NE(shown.find("| 正在发布... 0.0 s"), std::string::npos) << shown;
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K") << "the spinner line is wiped at the end";
}

}  // namespace
}  // namespace zaro
