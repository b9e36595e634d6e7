// A command that shows no window loads no toolkit: terminal and answers-file runs map
// neither the window views nor any wx or GTK library, whatever DISPLAY says.
#include <gtest/gtest.h>

#include <cstdlib>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

class ToolkitLoading : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(box_.Ready()) << box_.Error(); }

  // Runs tessel with the recorder preloaded; the libraries it had mapped when it ended.
  RunResult Recorded(const std::vector<std::string>& arguments, tessel::e2e::RunOptions options,
                     std::string& maps) {
    const fs::path file = box_.Root() / ("maps-" + std::to_string(++runs_));
    options.environment["LD_PRELOAD"] = ZARO_MAPS_RECORDER;
    options.environment["ZARO_MAPS_FILE"] = file.string();
    // A sanitizer build wants its runtime first; the recorder may come before it here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
    RunResult run = box_.Run(arguments, options);
    maps = tessel::e2e::ReadText(file);
    return run;
  }

  static void ExpectNoToolkit(const std::string& maps, const std::string& what) {
    ASSERT_NE(maps.find("libzaropublish.so"), std::string::npos) << what << ": the module was not recorded";
    for (const char* toolkit : {"libzaropublish_wx.so", "libwx_", "libgtk-3", "libgdk-3", "libgdk_pixbuf"}) {
      EXPECT_EQ(maps.find(toolkit), std::string::npos) << what << " mapped " << toolkit;
    }
  }

  Sandbox box_;
  int runs_ = 0;
};

TEST_F(ToolkitLoading, RunsWithoutAWindowMapNoToolkit) {
  const auto document = box_.NewDocument("Hello");
  ASSERT_TRUE(document) << box_.Error();
  const fs::path work = box_.WorkFolder();

  // A scripted settings run, with a display named: answers files never open a window.
  std::string maps;
  tessel::e2e::RunOptions scripted =
      WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})});
  scripted.keepDisplay = true;
  scripted.environment["DISPLAY"] = ":979";
  const RunResult settings = Recorded({"settings", document->string()}, scripted, maps);
  ASSERT_EQ(settings.exitStatus, 0) << Describe(settings);
  ExpectNoToolkit(maps, "the scripted settings run");

  // A terminal publish: the console shows the progress and the result.
  const RunResult publish = Recorded({"publish", document->string()}, {}, maps);
  ASSERT_EQ(publish.exitStatus, 0) << Describe(publish);
  EXPECT_NE(publish.err.find(kZaroiCreated), std::string::npos) << publish.err;
  EXPECT_TRUE(IsIntermediateFile(work / "Hello.zaroi"));
  ExpectNoToolkit(maps, "the terminal publish");

  // A terminal settings run cannot show its sheet: it says so, still without the toolkit.
  const RunResult refused = Recorded({"settings", document->string()}, {}, maps);
  EXPECT_EQ(refused.exitStatus, 1) << Describe(refused);
  ExpectNoToolkit(maps, "the terminal settings run");
}

}  // namespace
}  // namespace publish_e2e
