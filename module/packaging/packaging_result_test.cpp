#include "packaging/packaging_result.h"

#include <chrono>
#include <thread>

#include "packaging/packaging_test_support.h"
#include "settings/messages.h"

namespace zaro::packaging_testing {
namespace {

// What the author is told for the tool's exit code and output: the fake tool runs and the result is reported as the
// desktop package command would; each box shown reads "style text".
TEST_F(PackagingTest, ToolResultsAreExplained) {
  const std::u16string error = u"48 创建文件时出错。\n\n";
  const std::tuple<int, const char*, std::u16string> cases[] = {  // exit code, output, boxes shown
      {2, "unknown option -q\nusage: ZPK\n", error + u"用法错误（错误的参数）。\nunknown option -q\nusage: ZPK\n"},
      {12, "x: error 103: foo bar", error + u"应用程序描述符文件中存在非预期或未知元素或属性。\n foo bar"},
      {12, "error 103", error + LoadMessage(8034) + u"\n"},  // no detail to cut
      {1, "error 300 at the start", error + LoadMessage(8042)},
      {6, "error 100", error + LoadMessage(8056) + u"\nerror 100"},  // exit codes first
      {0, "warning: icon 48x48 is scaled\n", error + u"warning: icon 48x48 is scaled\n"},  // success with a warning
      {3, "", u""},                                                                       // unlisted code, no output
      // Time-stamp progress lines of a successful run are no warning.
      {0, "time stamp: retrying https://timestamp.corvane.example/tsa in 1.0 s (retry 1): busy\n"
          "time stamp: granted by https://timestamp.corvane.example/tsa\n", u"64 已创建 ZARO 文件。"},
  };
  const std::u16string command = u"\"" + FromUtf8((toolDir_ / "java.exe").string()) + u"\" ";
  for (const auto& [exitCode, output, expected] : cases) {
    SCOPED_TRACE(output);
    const size_t before = Messages().size();
    ToolAnswers(exitCode, output);
    const PackagingRun run = RunWithProgress(command);
    ASSERT_FALSE(run.cancelled);
    ReportPackagingResult(DesktopPackage, u"sign", run.exitCode, run.output, command);
    std::u16string shown;
    for (size_t i = before; i < Messages().size(); ++i)
      shown += FromUtf8(std::to_string(Messages()[i].style)) + u" " + Messages()[i].text;
    EXPECT_EQ(shown, expected);
  }
  EXPECT_EQ(InterpretPackagingResult(DesktopPackage, u"sign", 10, u"time stamp: retrying x\nx could not be used\n").row,
            9);

  // Leaving the time stamp out replaces only its option.
  const std::u16string iphone = u"\"java\" -jar \"mpk.jar\"  -package -target ipa-test \"out.ipa\" ";
  EXPECT_EQ(WithoutTimestamp(iphone), iphone);
  EXPECT_EQ(WithoutTimestamp(u"\"j\" -tsa https://timestamp.corvane.example/tsa \"o\""), u"\"j\" -tsa none \"o\"");
  // The authority's text inside a quoted value is not the option and stays.
  EXPECT_EQ(WithoutTimestamp(u"\"j\" -storepass \"-tsa https://timestamp.corvane.example/tsa\"  "
                             u"-tsa https://timestamp.corvane.example/tsa \"out.zaro\""),
            u"\"j\" -storepass \"-tsa https://timestamp.corvane.example/tsa\"  -tsa none \"out.zaro\"");
}

// Nothing has asked for the window system yet when a launcher fails to start: it is started once, on the calling
// thread, and the worker's "Error" box lands in that one. It takes its time to start, as a real toolkit does.
TEST_F(PackagingTest, AStartFailureBeforeAnyWindowStartsTheWindowSystemOnce) {
  std::unique_ptr<UiServices> fixtureUi = InstallUi(nullptr);
  static int starts = 0;
  starts = 0;
  SetWindowSystemFactory(+[]() -> std::unique_ptr<UiServices> {
    ++starts;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return std::make_unique<ScriptedUi>();
  });
  const PackagingRun run = RunWithProgress(u"\"" + FromUtf8((root_ / "no such launcher").string()) + u"\" -jar x");
  const auto* scripted = dynamic_cast<const ScriptedUi*>(&Ui());
  SetWindowSystemFactory(nullptr);
  ASSERT_NE(scripted, nullptr);
  EXPECT_EQ(std::pair(run.exitCode, starts), std::pair(-1, 1)) << "the exit code and the window system's starts";
  EXPECT_EQ(std::ranges::count_if(scripted->Events(),
                                  [](const UiEvent& e) { return e.kind == "message" && e.title == u"Error"; }), 1);
  InstallUi(std::move(fixtureUi));
}

}  // namespace
}  // namespace zaro::packaging_testing
