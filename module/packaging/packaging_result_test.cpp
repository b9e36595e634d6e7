#include "packaging/packaging_result.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "packaging/packaging_test_support.h"

namespace zaro {
namespace {

using namespace packaging_testing;

constexpr char16_t kErrorPrefix[] = u"创建文件时出错。\n\n";

// Runs the fake tool directly (its path is the command's program) and reports the result
// as the desktop package command would.
class PackagingResultTest : public PackagingTest {
 protected:
  std::u16string Command(std::u16string_view options = u"") const {
    return u"\"" + FromUtf8((toolDir_ / "java.exe").string()) + u"\" " + std::u16string(options);
  }
  void RunAndReport(std::u16string_view command, PackageTarget target = DesktopPackage,
                    std::u16string_view mode = u"sign") {
    const PackagingRun run = RunWithProgress(command);
    ASSERT_FALSE(run.cancelled);
    ReportPackagingResult(target, mode, run.exitCode, run.output, command);
  }
  // The one box shown after the first `from`, which must be an error report.
  std::u16string ErrorShown(size_t from = 0) const {
    const std::vector<UiEvent> messages = Messages();
    if (messages.size() != from + 1 || messages[from].style != 48u) return u"<no single error box>";
    const std::u16string& text = messages[from].text;
    const std::u16string prefix(kErrorPrefix);
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : u"<no prefix>";
  }
};

// What the author is told for the tool's exit code and output ("" for no box at all).
TEST_F(PackagingResultTest, ToolFailuresAreExplained) {
  const struct {
    int exitCode;
    const char* output;
    std::u16string shown;
  } cases[] = {
      {2, "no such file icons/a.png\r\nusage: ZPK -package ...\n", u"缺少文件或无法打开文件。\n(icons/a.png)"},
      {2, "unknown option -q\nusage: ZPK\n", u"用法错误（错误的参数）。\nunknown option -q\nusage: ZPK\n"},
      {12, "/作品/应用/app-app.xml: error 105: application.id contains invalid characters",
       u"应用程序描述符文件中的属性或元素包含无效的值。\n(application.id)"},
      {0, "warning: icon 48x48 is scaled\n", u"warning: icon 48x48 is scaled\n"},  // success with a warning
      {3, "", u""},                                                                 // unlisted code, no output
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const size_t before = Messages().size();
    ToolAnswers(c.exitCode, c.output);
    RunAndReport(Command());
    if (c.shown.empty()) {
      EXPECT_EQ(Messages().size(), before);
    } else {
      EXPECT_EQ(ErrorShown(before), c.shown);
    }
  }
}

TEST_F(PackagingResultTest, UnexpectedElementDetailAndItsShortForm) {
  EXPECT_EQ(InterpretPackagingResult(DesktopPackage, u"sign", 12, u"x: error 103: foo bar").message,
            u"应用程序描述符文件中存在非预期或未知元素或属性。\n foo bar");
  const PackagingOutcome bare = InterpretPackagingResult(DesktopPackage, u"sign", 12, u"error 103");
  EXPECT_EQ(bare.row, 13) << "an output ending at the marker has no detail to cut";
  EXPECT_EQ(InterpretPackagingResult(DesktopPackage, u"sign", 1, u"error 300 at the start").row, 21);
  EXPECT_EQ(InterpretPackagingResult(DesktopPackage, u"sign", 6, u"error 100").row, 5) << "exit codes first";
}

TEST_F(PackagingResultTest, TimeStampProgressLinesOfASuccessfulRunAreNoWarning) {
  ToolAnswers(0, "time stamp: retrying https://timestamp.corvane.example/tsa in 1.0 s (retry 1): busy\n"
                 "time stamp: granted by https://timestamp.corvane.example/tsa\n");
  RunAndReport(Command());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, u"已创建 ZARO 文件。");
  EXPECT_EQ(InterpretPackagingResult(DesktopPackage, u"sign", 10, u"time stamp: retrying x\nx could not be used\n").row,
            9);
}

TEST_F(PackagingResultTest, TimestampFailureRetriesAsItWas) {
  ToolAnswers(10, "tsa unreachable", 1);
  ToolAnswers(0, "", 2);
  ui_->QueueForm("CTimestampRetryDlg", {FormStep{{}, "Retry", 0, {}}});
  RunAndReport(Command(u"-tsa https://timestamp.corvane.example/tsa \"out.zaro\""));
  EXPECT_EQ(ToolRuns(), 2);
  EXPECT_EQ(ToolArgs(2), ToolArgs(1));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, u"已创建 ZARO 文件。");
}

TEST_F(PackagingResultTest, TimestampFailureCanRunWithoutTimestamp) {
  ToolAnswers(10, "", 1);
  ToolAnswers(0, "", 2);
  ui_->QueueForm("CTimestampRetryDlg", {FormStep{{}, "DisableTimestamp", 0, {}}});
  // The authority's text inside a quoted value is not the option and stays.
  RunAndReport(Command(u"-storepass \"-tsa https://timestamp.corvane.example/tsa\"  "
                       u"-tsa https://timestamp.corvane.example/tsa \"out.zaro\""));
  EXPECT_EQ(ToolArgs(2), (std::vector<std::string>{"-storepass", "-tsa https://timestamp.corvane.example/tsa",
                                                   "-tsa", "none", "out.zaro"}));
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(PackagingResultTest, TimestampFailureCancelledEndsQuietly) {
  ToolAnswers(10, "");
  ui_->QueueForm("CTimestampRetryDlg", {FormStep{{}, "Cancel", 0, {}}});
  RunAndReport(Command(u"-package"));
  EXPECT_EQ(ToolRuns(), 1);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ui_->Failures(), 0);
}

// A window system that takes its time to start, as a real toolkit does, and counts how
// often it was started.
int slowStarts = 0;
std::unique_ptr<UiServices> StartSlowly() {
  ++slowStarts;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return std::make_unique<ScriptedUi>();
}

// Nothing has asked for the window system yet when a launcher fails to start: it is started
// once, on the calling thread, and the worker's "Error" box lands in that one.
TEST_F(PackagingResultTest, AStartFailureBeforeAnyWindowStartsTheWindowSystemOnce) {
  std::unique_ptr<UiServices> fixtureUi = InstallUi(nullptr);
  SetWindowSystemFactory(&StartSlowly);
  slowStarts = 0;
  const PackagingRun run = RunWithProgress(u"\"" + FromUtf8((root_ / "no such launcher").string()) + u"\" -jar x");
  const auto* scripted = dynamic_cast<const ScriptedUi*>(&Ui());
  SetWindowSystemFactory(nullptr);
  ASSERT_NE(scripted, nullptr);
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(slowStarts, 1);
  EXPECT_EQ(std::count_if(scripted->Events().begin(), scripted->Events().end(),
                          [](const UiEvent& event) { return event.kind == "message" && event.title == u"Error"; }),
            1);
  InstallUi(std::move(fixtureUi));
}

TEST_F(PackagingResultTest, WithoutTimestampLeavesOtherCommandsAlone) {
  const std::u16string iphone = u"\"java\" -jar \"mpk.jar\"  -package -target ipa-test \"out.ipa\" ";
  EXPECT_EQ(WithoutTimestamp(iphone), iphone);
  EXPECT_EQ(WithoutTimestamp(u"\"j\" -tsa https://timestamp.corvane.example/tsa \"o\""), u"\"j\" -tsa none \"o\"");
}

}  // namespace
}  // namespace zaro
