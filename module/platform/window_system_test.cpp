#include "platform/window_system.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "testing/scratch.h"
#include "testing/xvfb_server.h"
#include "ui/form_state.h"

namespace zaro {
namespace {

std::string Mappings() {
  std::ifstream in("/proc/self/maps");
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool MapsToolkit(const std::string& maps) {
  return maps.find("libwx_") != std::string::npos || maps.find("libgtk-3") != std::string::npos ||
         maps.find(kWindowSystemLibrary) != std::string::npos;
}

// A form with a timer that closes itself after a few ticks: the ticks come from the wx
// view's event loop only, so they show that a real window ran.
class TickingForm : public FormState {
 public:
  TickingForm() {
    SetTitle(u"第一个窗口");
    AddField(MakeField("note", FieldKind::Label, u"正在打开第一个窗口"));
    AddButton(MakeButton("Cancel", u"取消"));
  }
  std::string FormName() const override { return "FirstWindow"; }
  int TimerIntervalMs() const override { return 20; }
  void OnTimer() override {
    if (++ticks >= 3) Close(kIdOk);
  }
  int ticks = 0;

 protected:
  void OnButton(std::string_view name) override {
    if (name == "Cancel") Close(kIdCancel);
  }
};

// Saves and restores the display variables the loader reads.
class WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(WindowSystemTest, WithoutADisplayNothingIsOpened) {
  unsetenv("DISPLAY");
  setenv("WAYLAND_DISPLAY", "", 1);
  EXPECT_FALSE(DisplayNamed());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadWindowSystemFrom(ZARO_WINDOW_SYSTEM_LIBRARY), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no display is no failure";
}

TEST_F(WindowSystemTest, AMissingViewsLibraryIsNamedAndLeavesTheConsole) {
  setenv("DISPLAY", ":97", 1);
  testing::ScratchFolder folder("zaro-views");
  const std::string missing = (folder.Path() / kWindowSystemLibrary).string();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadWindowSystemFrom(missing), nullptr);
  const std::string message = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("the window views " + missing + " cannot be loaded"), std::string::npos) << message;
  EXPECT_NE(message.find("dialogs are shown on the terminal"), std::string::npos) << message;

  // A file that is no views library is refused the same way.
  std::ofstream(missing) << "not a shared object";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadWindowSystemFrom(missing), nullptr);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(missing), std::string::npos);
}

TEST_F(WindowSystemTest, TheViewsLibraryIsFoundBesideTheExtension) {
  const std::string path = WindowSystemLibraryPath();
  ASSERT_GE(path.size(), sizeof kWindowSystemLibrary);
  EXPECT_EQ(path.substr(path.size() - (sizeof kWindowSystemLibrary - 1)), kWindowSystemLibrary);
  EXPECT_EQ(path.front(), '/') << "an absolute path: the loader searches nothing";
}

// The toolkit is mapped only once the views library is opened, and its first window runs
// a form of this side through the real event loop.
TEST_F(WindowSystemTest, TheFirstWindowOpensThroughTheViewsLibrary) {
  const test_display::XServer& server = test_display::XServer::Get();
  ZARO_SKIP_WITHOUT_X_SERVER(server);
  testing::ScratchFolder home("zaro-first-window");
  setenv("HOME", home.Path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home.Path() / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home.Path() / "cache").c_str(), 1);
  setenv("XDG_DATA_HOME", (home.Path() / "data").c_str(), 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("DISPLAY", server.Display().c_str(), 1);

  ASSERT_FALSE(MapsToolkit(Mappings())) << "this test program links no toolkit";
  std::unique_ptr<UiServices> ui = LoadWindowSystemFrom(ZARO_WINDOW_SYSTEM_LIBRARY);
  ASSERT_NE(ui, nullptr);
  EXPECT_TRUE(MapsToolkit(Mappings()));

  TickingForm form;
  EXPECT_EQ(ui->RunModal(form), kIdOk);
  EXPECT_GE(form.ticks, 3);
  EXPECT_GT(ui->MeasureTextWidth(u"确定确定"), ui->MeasureTextWidth(u"确定")) << "the dialog font measures";
}

}  // namespace
}  // namespace zaro
