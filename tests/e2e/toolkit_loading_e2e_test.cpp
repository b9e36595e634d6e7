// A command that shows no window loads no toolkit: terminal and answers-file runs map
// neither the window views nor any wx or GTK library, whatever DISPLAY says; and a terminal
// run that needs a dialog fails.
#include <gtest/gtest.h>

#include <cstdlib>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

class ToolkitLoading : public PublishTest {
 protected:

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

  int runs_ = 0;
};

// At a terminal without a display a dialog cannot be shown: the run says so and fails.
// A run that needs no dialog succeeds without answers, progress and all.
TEST_F(ToolkitLoading, RunsWithoutAWindowMapNoToolkitAndFailWhenTheyNeedADialog) {
  const auto document = box_.NewDocument("Hello");
  ASSERT_TRUE(document) << box_.Error();
  std::string maps;
  // Publish without a certificate opens the sheet instead of building: the same.
  for (const std::string verb : {"settings", "publish"}) {
    const RunResult refused = Recorded({verb, document->string()}, {}, maps);
    EXPECT_EQ(refused.exitStatus, 1) << Describe(refused);
    EXPECT_NE(refused.err.find("the dialog Settings needs a display"), std::string::npos) << refused.err;
    ExpectNoToolkit(maps, "the terminal " + verb + " run");
  }
  EXPECT_FALSE(fs::exists(box_.WorkFolder() / "Hello.zaro"));

  // A scripted settings run, with a display named: answers files never open a window.
  tessel::e2e::RunOptions scripted =
      WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})});
  scripted.keepDisplay = true;
  scripted.environment["DISPLAY"] = ":979";
  const RunResult settings = Recorded({"settings", document->string()}, scripted, maps);
  ASSERT_EQ(settings.exitStatus, 0) << Describe(settings);
  ExpectNoToolkit(maps, "the scripted settings run");

  const RunResult publish = Recorded({"publish", document->string()}, {}, maps);
  ASSERT_EQ(publish.exitStatus, 0) << Describe(publish);
  EXPECT_NE(publish.err.find(kZaroiCreated), std::string::npos) << publish.err;
  EXPECT_TRUE(IsIntermediateFile(box_.WorkFolder() / "Hello.zaroi"));
  ExpectNoToolkit(maps, "the terminal publish");
}

}  // namespace
}  // namespace publish_e2e
