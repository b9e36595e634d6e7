// A command that shows no window loads no toolkit: terminal and answers-file runs map
// neither the window views nor any wx or GTK library, whatever DISPLAY says; a terminal run
// that needs a dialog fails, and one that needs none shows its progress line at the terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>

#include <cstdlib>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

class ToolkitLoading : public PublishTest {
 protected:
  // The environment that preloads the recorder; the libraries a run had mapped when it ended
  // are then in the file.
  std::map<std::string, std::string> Recording(const fs::path& file) {
    // A sanitizer build wants its runtime first; the recorder may come before it here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {{"LD_PRELOAD", ZARO_MAPS_RECORDER},
            {"ZARO_MAPS_FILE", file.string()},
            {"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"}};
  }
  RunResult Recorded(const Lines& arguments, tessel::e2e::RunOptions options, std::string& maps) {
    const fs::path file = box_.Root() / ("maps-" + std::to_string(++runs_));
    for (const auto& [name, value] : Recording(file)) options.environment[name] = value;
    RunResult run = box_.Run(arguments, options);
    maps = ReadText(file);
    return run;
  }
  static void ExpectNoToolkit(const std::string& maps, const std::string& what) {
    ASSERT_TRUE(Contains(maps, "libzaropublish.so")) << what << ": the module was not recorded";
    for (const char* toolkit : {"libzaropublish_wx.so", "libwx_", "libgtk-3", "libgdk-3", "libgdk_pixbuf"}) {
      EXPECT_FALSE(Contains(maps, toolkit)) << what << " mapped " << toolkit;
    }
  }
  int runs_ = 0;
};

TEST_F(ToolkitLoading, RunsWithoutAWindowMapNoToolkitAndFailWhenTheyNeedADialog) {
  const fs::path document = NewDocument("Hello");
  std::string maps;
  // Publish without a certificate opens the sheet instead of building: the same.
  for (const std::string verb : {"settings", "publish"}) {
    const RunResult refused = Recorded({verb, document.string()}, {}, maps);
    EXPECT_EQ(refused.exitStatus, 1) << Describe(refused);
    EXPECT_TRUE(Contains(refused.err, "the dialog Settings needs a display")) << refused.err;
    ExpectNoToolkit(maps, "the terminal " + verb + " run");
  }
  EXPECT_FALSE(fs::exists(Work() / "Hello.zaro"));

  // A scripted settings run, with a display named: answers files never open a window.
  tessel::e2e::RunOptions scripted = WithAnswers({Form("Settings", {Set({{"Signature.prepare", "true"}}), Press("OK")})});
  scripted.keepDisplay = true;
  scripted.environment["DISPLAY"] = ":979";
  const RunResult settings = Recorded({"settings", document.string()}, scripted, maps);
  ASSERT_EQ(settings.exitStatus, 0) << Describe(settings);
  ExpectNoToolkit(maps, "the scripted settings run");

  // At a terminal without a display the progress line shows its words beside the spinner
  // and is wiped when the tool ends, so the result box starts on a clean line.
  RecordingLauncher launcher(box_);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "TESSEL_ANSWERS", "TESSEL_UI_LOG"}) unsetenv(name);
    auto environment = Recording(box_.Root() / "maps");
    environment["TESSEL_REGISTRY_FILE"] = box_.RegistryFile();
    environment["TESSEL_COMMON_APPDATA"] = box_.CommonAppData();
    environment["XDG_CONFIG_HOME"] = box_.Root() / "home" / ".config";
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const std::string tessel = Sandbox::Tessel().string();
    execl(tessel.c_str(), tessel.c_str(), "publish", document.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  close(master);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  const size_t words = shown.find("| 正在发布... 0.");
  const size_t box = shown.find(std::string("[Corvane Tessel KV5] information: ") + kZaroiCreated);
  ASSERT_NE(box, std::string::npos) << shown;
  const size_t wiped = shown.rfind("\r\033[K", box);
  ASSERT_NE(wiped, std::string::npos) << shown;
  EXPECT_LT(words, wiped) << shown;
  EXPECT_EQ(shown.find("正在发布", wiped), std::string::npos) << "nothing of the line is left after it is wiped";
  EXPECT_EQ(launcher.Calls().size(), 1u);
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  ExpectNoToolkit(ReadText(box_.Root() / "maps"), "the terminal publish");
}

}  // namespace
}  // namespace publish_e2e
