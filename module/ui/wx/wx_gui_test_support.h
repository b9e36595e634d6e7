// Shared by the wx GUI tests: a private Xvfb, dialogs driven from timers, screenshots of
// each dialog saved as PNG files, and the fixture that starts the window system once.
#pragma once

#include <gtest/gtest.h>

#include <wx/wx.h>
#include <wx/bookctrl.h>
#include <wx/propdlg.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/wake_signal.h"
#include "testing/xvfb_server.h"
#include "descriptor/application_icons.h"
#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "platform/files.h"
#include "platform/platform_test_support.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "signing/self_sign_dialog.h"
#include "signing/signature_password_dialog.h"
#include "ui/form_state.h"
#include "ui/page_test_support.h"
#include "ui/progress_dialog.h"
#include "ui/settings_sheet.h"
#include "ui/timestamp_retry_dialog.h"
#include "ui/wx/form_view.h"
#include "ui/wx/wx_services.h"
#include "ui/wx/wx_text.h"
#include "ui/wx/wx_ui.h"

namespace zaro::wxui {

namespace fs = std::filesystem;
using zaro::test_display::XServer;
using Items = std::vector<std::u16string>;

inline fs::path ScreenshotDir() { return fs::path(ZARO_SCREENSHOT_DIR); }

// Copies a dialog as it is on the screen into a PNG file. The source is the dialog's own
// window: a screen-wide source is read back once by the toolkit and then kept, so later
// pictures would repeat the first one.
inline bool SaveScreenshot(wxWindow* window, const std::string& name) {
  window->Update();
  const wxSize size = window->GetSize();
  if (size.GetWidth() <= 0 || size.GetHeight() <= 0) return false;
  wxBitmap bitmap(size.GetWidth(), size.GetHeight(), 24);
  {
    wxMemoryDC memory(bitmap);
    wxWindowDC screen(window);
    memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, 0, 0);
  }
  std::error_code ignored;
  fs::create_directories(ScreenshotDir(), ignored);
  return bitmap.SaveFile(wxString::FromUTF8((ScreenshotDir() / name).string()), wxBITMAP_TYPE_PNG);
}

// A side x side PNG icon that shows in a screenshot: a blue square with an amber disc.
inline bool WriteIcon(const fs::path& path, int side) {
  wxImage image(side, side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const bool disc = (x - side / 2) * (x - side / 2) + (y - side / 2) * (y - side / 2) < side * side / 6;
      image.SetRGB(x, y, disc ? 240 : 40 + 180 * x / side, disc ? 160 : 90, disc ? 30 : 230 - 150 * y / side);
    }
  }
  return image.SaveFile(wxString::FromUTF8(path.string()), wxBITMAP_TYPE_PNG);
}

// A screenshot shows a drawn dialog: a real PNG file with text and frames in it.
inline void ExpectScreenshot(const std::string& name) {
  const fs::path path = ScreenshotDir() / name;
  ASSERT_TRUE(fs::exists(path)) << path;
  EXPECT_GT(fs::file_size(path), 1500u) << path;
  wxImage image;
  ASSERT_TRUE(image.LoadFile(wxString::FromUTF8(path.string()), wxBITMAP_TYPE_PNG)) << path;
  std::set<unsigned> colours;
  const unsigned char* data = image.GetData();
  for (int i = 0; i < image.GetWidth() * image.GetHeight(); ++i)
    colours.insert(unsigned(data[3 * i]) << 16 | unsigned(data[3 * i + 1]) << 8 | data[3 * i + 2]);
  EXPECT_GT(colours.size(), 8u) << path << " looks blank";
}

template <typename T>
T* Find(wxWindow* dialog, const std::string& name) {
  return dynamic_cast<T*>(wxWindow::FindWindowByName(wxString::FromUTF8(name), dialog));
}

// The control named `name`; a failure when the dialog has none.
template <typename T>
T* Get(wxWindow* dialog, const std::string& name) {
  T* found = Find<T>(dialog, name);
  EXPECT_NE(found, nullptr) << "no " << name;
  return found;
}

// Sends a control the command event the toolkit sends when the author uses it.
inline void Fire(wxWindow* control, wxEventType type, int value = 0) {
  wxCommandEvent event(type, control->GetId());
  event.SetEventObject(control);
  event.SetInt(value);
  control->ProcessWindowEvent(event);
}

// Clicks a push button as the author would.
inline bool Click(wxWindow* dialog, const std::string& name) {
  auto* button = Find<wxButton>(dialog, name);
  if (button == nullptr || !button->IsEnabled()) return false;
  Fire(button, wxEVT_BUTTON);
  return true;
}

inline void ChooseRadio(wxRadioButton* radio) {
  radio->SetValue(true);
  Fire(radio, wxEVT_RADIOBUTTON, 1);
}

inline void SelectEntry(wxListBox* list, int index) {
  list->SetSelection(index);
  Fire(list, wxEVT_LISTBOX, index);
}

// One dialog the driver waits for: its window name, the screenshot to take, what to do.
struct Step {
  std::string dialog, screenshot;
  std::function<void(wxDialog*)> action;
  std::function<void(wxDialog*)> prepare = {};  // runs before the screenshot
};

// Waits for each expected modal dialog in turn, photographs it and runs its action from a
// timer of its own (so a nested dialog it opens is driven too). A dialog that is still
// open long after the steps ran out is closed, so a test never hangs.
class DialogDriver {
 public:
  explicit DialogDriver(std::vector<Step> steps) : steps_(std::move(steps)) {
    poll_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
    poll_.Start(100);
  }
  ~DialogDriver() { poll_.Stop(); }

  // Every step ran, nothing went wrong, and each screenshot the steps named shows a dialog.
  void ExpectDone() const {
    EXPECT_EQ(ran_, steps_.size()) << "dialogs that never came";
    EXPECT_EQ(problems, std::vector<std::string>{});
    for (const Step& step : steps_)
      if (!step.screenshot.empty()) ExpectScreenshot(step.screenshot);
  }

 private:
  static wxDialog* Innermost() {
    wxDialog* found = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(window);
      if (dialog != nullptr && dialog->IsModal() && dialog->IsShownOnScreen()) found = dialog;
    }
    return found;
  }

  void Tick() {
    if (++ticks_ > 150) {  // 15 s: something waits for an answer nobody gives
      if (wxDialog* stuck = Innermost()) {
        problems.push_back("closed the stuck dialog " + stuck->GetName().utf8_string());
        stuck->EndModal(wxID_CANCEL);
      }
      return;
    }
    if (next_ >= steps_.size()) return;
    wxDialog* dialog = Innermost();
    if (dialog == nullptr || dialog->GetName().utf8_string() != steps_[next_].dialog) {
      seen_ = 0;
      return;
    }
    Step& step = steps_[next_];
    if (++seen_ == 3 && step.prepare) step.prepare(dialog);
    if (seen_ < 6) return;  // let it map and paint
    seen_ = 0;
    ++next_;
    if (!step.screenshot.empty() && !SaveScreenshot(dialog, step.screenshot))
      problems.push_back("no screenshot of " + step.dialog);
    auto& action = actions_.emplace_back(std::make_shared<wxTimer>());
    action->Bind(wxEVT_TIMER, [this, dialog, &step](wxTimerEvent&) {
      ++ran_;
      step.action(dialog);
    });
    action->StartOnce(10);
  }

  std::vector<std::string> problems;
  std::vector<Step> steps_;
  wxTimer poll_;
  std::vector<std::shared_ptr<wxTimer>> actions_;
  size_t next_ = 0, ran_ = 0;
  int seen_ = 0, ticks_ = 0;
};

// A test form with one field of every kind, a group box and a picture button.
class WxGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    XServer& server = XServer::Get();
    if (!server.Ready()) return;
    // Nothing may reach the real home folder or the author's registry.
    home_ = fs::temp_directory_path() / ("zaro-wx-" + std::to_string(getpid()));
    fs::create_directories(home_ / "appdata");
    const std::pair<const char*, std::string> environment[] = {
        {"HOME", home_},           {"XDG_CONFIG_HOME", home_ / "config"},   {"XDG_CACHE_HOME", home_ / "cache"},
        {"XDG_DATA_HOME", home_ / "data"}, {"TESSEL_REGISTRY_FILE", home_ / "registry"},
        {"TESSEL_COMMON_APPDATA", home_ / "appdata"}, {"NO_AT_BRIDGE", "1"}, {"GDK_BACKEND", "x11"},
        {"DISPLAY", server.Display()}};
    for (const auto& [name, value] : environment) setenv(name, value.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    ui_ = CreateWxUi();
    if (ui_ == nullptr) reason_ = "wx could not open the display " + server.Display();
  }
  static void TearDownTestSuite() {
    ui_.reset();
    std::error_code ignored;
    if (!home_.empty()) fs::remove_all(home_, ignored);
  }

  // Every GUI test is skipped, with the reason, when there is no display to test on (and
  // fails where a display is required).
  void SetUp() override {
    ZARO_SKIP_WITHOUT_X_SERVER(XServer::Get());
    ASSERT_NE(ui_, nullptr) << reason_;
  }

  // Runs the form through `ui` while a driver takes the steps; they must all have run.
  static int Drive(UiServices& ui, ModalForm& form, std::vector<Step> steps) {
    DialogDriver driver(std::move(steps));
    const int result = ui.RunModal(form);
    driver.ExpectDone();
    return result;
  }

  static inline std::unique_ptr<UiServices> ui_;
  static inline fs::path home_;
  static inline std::string reason_;
};

}  // namespace zaro::wxui
