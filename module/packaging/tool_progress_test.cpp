#include "packaging/tool_progress.h"

#include <gtest/gtest.h>

namespace zaro {
namespace {

// A retry or fallback notice switches the watcher on wherever the chunks break; progress lines are no part of results.
TEST(ToolProgress, RetryNoticesProgressLinesAndTheDialog) {
  for (const std::string notice : {"time stamp: retrying https://tsa.example/tsa in 1.2 s (retry 1): busy\n",
                                   "time stamp: trying the fallback authority http://b.example/tsa\n"}) {
    for (size_t cut = 0; cut <= notice.size(); ++cut) {
      ToolProgressWatcher watcher;
      watcher.Feed(notice.substr(0, cut));
      watcher.Feed(notice.substr(cut));
      EXPECT_TRUE(watcher.TimestampRetrying()) << notice << cut;
    }
  }

  ToolProgressWatcher other;
  other.Feed(std::string(200, 'x') + " time stamp: retrying in the middle of a line\n");
  other.Feed("time stamp: granted by https://tsa.example/tsa\n");
  other.Feed("warning: time stamp: retrying\n");
  EXPECT_FALSE(other.TimestampRetrying()) << "other lines leave it off";
  other.Feed("time stamp: retrying at the end, without its newline yet");
  EXPECT_FALSE(other.TimestampRetrying()) << "a line counts once it is whole";

  EXPECT_EQ(WithoutProgressLines(u"time stamp: retrying x\nthe time-stamp authority x could not be used\n"),
            u"the time-stamp authority x could not be used\n");
  EXPECT_EQ(WithoutProgressLines(u"warning: a\ntime stamp: trying y\nlast"), u"warning: a\nlast");

  // The progress dialog says so once the time stamp is retried.
  ToolProgressWatcher watcher;
  std::atomic<unsigned char> flag{0};
  PackagingProgressDlg dialog(watcher);
  dialog.SetFlag(&flag);
  dialog.OnShow();
  EXPECT_EQ(dialog.GetLabel("status"), u"正在发布...");
  watcher.Feed("time stamp: retrying https://tsa.example/tsa in 1.0 s (retry 1): busy\n");
  dialog.OnTimer();
  EXPECT_EQ(dialog.GetLabel("status"), std::u16string(kTimestampRetryingLabel));
  EXPECT_FALSE(dialog.IsClosed());
  flag.store(1);
  dialog.OnTimer();
  EXPECT_TRUE(dialog.IsClosed());
}

}  // namespace
}  // namespace zaro
