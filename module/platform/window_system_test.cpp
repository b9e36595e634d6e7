#include "platform/window_system.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/platform_test_support.h"
#include "testing/scratch.h"
#include "testing/xvfb_server.h"
#include "ui/form_state.h"

namespace zaro {
namespace {

using testing::ScopedEnvironment;

bool MapsToolkit() {
  const std::string maps = testing::ReadText("/proc/self/maps");
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

TEST(WindowSystem, WithoutADisplayNothingIsOpened) {
  ScopedEnvironment environment({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_FALSE(DisplayNamed());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadWindowSystemFrom(ZARO_WINDOW_SYSTEM_LIBRARY), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no display is no failure";
}

TEST(WindowSystem, AMissingViewsLibraryIsNamedAndLeavesTheConsole) {
  ScopedEnvironment environment({{"DISPLAY", ":97"}});
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

TEST(WindowSystem, TheViewsLibraryIsFoundBesideTheExtension) {
  const std::string path = WindowSystemLibraryPath();
  ASSERT_GE(path.size(), sizeof kWindowSystemLibrary);
  EXPECT_EQ(path.substr(path.size() - (sizeof kWindowSystemLibrary - 1)), kWindowSystemLibrary);
  EXPECT_EQ(path.front(), '/') << "an absolute path: the loader searches nothing";
}

// The toolkit is mapped only once the views library is opened, and its first window runs
// a form of this side through the real event loop.
TEST(WindowSystem, TheFirstWindowOpensThroughTheViewsLibrary) {
  const test_display::XServer& server = test_display::XServer::Get();
  ZARO_SKIP_WITHOUT_X_SERVER(server);
  testing::ScratchFolder home("zaro-first-window");
  ScopedEnvironment environment({{"HOME", home.Path()}, {"XDG_CONFIG_HOME", home.Path() / "config"},
                                 {"XDG_CACHE_HOME", home.Path() / "cache"}, {"XDG_DATA_HOME", home.Path() / "data"},
                                 {"NO_AT_BRIDGE", "1"}, {"GDK_BACKEND", "x11"}, {"WAYLAND_DISPLAY", std::nullopt},
                                 {"DISPLAY", server.Display()}});

  ASSERT_FALSE(MapsToolkit()) << "this test program links no toolkit";
  std::unique_ptr<UiServices> ui = LoadWindowSystemFrom(ZARO_WINDOW_SYSTEM_LIBRARY);
  ASSERT_NE(ui, nullptr);
  EXPECT_TRUE(MapsToolkit());

  TickingForm form;
  EXPECT_EQ(ui->RunModal(form), kIdOk);
  EXPECT_GE(form.ticks, 3);
  EXPECT_GT(ui->MeasureTextWidth(u"确定确定"), ui->MeasureTextWidth(u"确定")) << "the dialog font measures";
}

}  // namespace
}  // namespace zaro
