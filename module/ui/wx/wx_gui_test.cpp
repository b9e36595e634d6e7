// The wx views on a real X server: a private Xvfb, dialogs driven from timers, and
// screenshots of each dialog saved as PNG files; the settings pages (the desktop General,
// Icons and Advanced pages, the file type dialog and the iPhone pages) each filled from a
// descriptor and photographed.
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
namespace {

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
class SampleForm : public FormState {
 public:
  SampleForm() {
    SetTitle(u"示例窗体");
    AddField(MakeField("heading", FieldKind::Label, u"应用程序标识"));
    AddField(MakeField("name", FieldKind::Text, u"名称:", u"甲"));
    AddField(MakeField("secret", FieldKind::Password, u"密码:"));
    AddField(MakeField("fast", FieldKind::Radio, u"快速", u"true", "speed"));
    AddField(MakeField("slow", FieldKind::Radio, u"慢速", u"false", "speed"));
    AddField(MakeField("window", FieldKind::Label, u"窗口", u"", "window"));
    AddField(MakeField("resizable", FieldKind::Check, u"可调整大小", u"false", "window"));
    FormField& mode = AddField(MakeField("mode", FieldKind::Choice, u"模式:", u"none", "window"));
    mode.items = {u"none", u"standard"};
    mode.enabled = false;
    mode.editable = false;
    AddField(MakeField("country", FieldKind::Choice, u"国家或地区:", u"CN")).items = {u"CN", u"DE", u"US"};
    AddField(MakeField("types", FieldKind::List, u"文件类型:")).items = {u"a.txt", u"b.png"};
    AddField(MakeField("icon", FieldKind::Picture, u"图标:"));
    AddButton(MakeButton("fill", u"填写"));
    AddButton(MakeButton("icon", u"icon"));
    AddButton(MakeButton("OK", u"确定", true));
    AddButton(MakeButton("Cancel", u"取消"));
  }
  std::string FormName() const override { return "Sample"; }
  int iconPresses = 0;
  std::u16string nameAtOk;

 protected:
  void OnButton(std::string_view name) override {
    if (name == "fill") {
      SetText("name", u"乙");
      FindField("country")->items.push_back(u"JP");
      SetText("country", u"JP");
      SetEnabled("secret", false);
    }
    if (name == "icon") ++iconPresses;
    if (name == "OK") nameAtOk = Text("name");
    if (name == "OK" || name == "Cancel") Close(name == "OK" ? kIdOk : kIdCancel);
  }
  void OnFieldChanged(std::string_view name) override {
    if (name == "resizable") SetEnabled("mode", Checked("resizable"));
  }
};

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

bool HasIcon(wxWindow* box) {
  const wxWindowList& children = box->GetChildren();
  return std::any_of(children.begin(), children.end(),
                     [](wxWindow* child) { return dynamic_cast<wxStaticBitmap*>(child) != nullptr; });
}

TEST(WxMessageBoxStyle, DecodesIconButtonsAndDefaultAndKeepsTheWindowFixed) {
  // The style, then the icon, the buttons, the default and the answer of Escape.
  const std::pair<unsigned, MessageBoxLook> cases[] = {
      {48, {BoxIcon::Exclamation, {kIdOk}, kIdOk, kIdOk}},
      {49, {BoxIcon::Exclamation, {kIdOk, kIdCancel}, kIdOk, kIdCancel}},
      {64, {BoxIcon::Information, {kIdOk}, kIdOk, kIdOk}},
      // Exclamation + Yes/No + second button default: No answers Enter, nothing Escape.
      {308, {BoxIcon::Exclamation, {kIdYes, kIdNo}, kIdNo, 0}},
      {kMbIconStop | kMbAbortRetryIgnore | kMbDefButton3,
       {BoxIcon::Stop, {kIdAbort, kIdRetry, kIdIgnore}, kIdIgnore, 0}},
      {kMbIconQuestion | kMbYesNoCancel, {BoxIcon::Question, {kIdYes, kIdNo, kIdCancel}, kIdYes, kIdCancel}},
      {0, {BoxIcon::None, {kIdOk}, kIdOk, kIdOk}},
  };
  for (const auto& [style, expected] : cases) {
    const MessageBoxLook look = DecodeMessageBoxStyle(style);
    EXPECT_EQ(std::tie(look.icon, look.buttons, look.defaultButton, look.escapeButton),
              std::tie(expected.icon, expected.buttons, expected.defaultButton, expected.escapeButton)) << style;
  }
  EXPECT_EQ(MessageBoxButtonLabel(kIdNo), u"否");
  // Never minimise, maximise or resize; a close button only where closing answers the box.
  for (unsigned style : {0u, 48u, 49u, 64u, 308u}) {
    const long window = MessageBoxWindowStyle(DecodeMessageBoxStyle(style));
    EXPECT_EQ(window & (wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxRESIZE_BORDER), 0) << style;
    EXPECT_EQ((window & wxCLOSE_BOX) != 0, style != 308u) << style;
  }
}

TEST(WxFileDialog, FiltersBecomeCaseFreeWildcardsAndTitlesAreNative) {
  EXPECT_EQ(WildcardFromFilter(u"P12 文件 (*.p12)|*.p12|PFX 文件 (*.pfx)|*.pfx||"),
            ToWx(u"P12 文件 (*.p12)|*.[pP]12|PFX 文件 (*.pfx)|*.[pP][fF][xX]"));
  EXPECT_EQ(WildcardFromFilter(u"Images (*.png;*.jpg)|*.png;*.jpg||"),
            wxString("Images (*.png;*.jpg)|*.[pP][nN][gG];*.[jJ][pP][gG]"));
  EXPECT_EQ(WildcardFromFilter(u"All (*.*)|*.*|"), wxString("All (*.*)|*.*"));
  EXPECT_EQ(WildcardFromFilter(u""), wxString("*"));
  FileDialogRequest open;
  EXPECT_EQ(FileDialogTitle(open), u"打开");
  FileDialogRequest save;
  save.save = true;
  EXPECT_EQ(FileDialogTitle(save), u"另存为");
  save.title = u"选择证书";
  EXPECT_EQ(FileDialogTitle(save), u"选择证书");
}

TEST(WxStart, NoDisplayLeavesTheConsole) {
  testing::ScopedEnvironment environment({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  EXPECT_EQ(CreateWxUi(), nullptr);
}

// A Yes/No box, an OK/Cancel box, and a short box as wide as its title.
TEST_F(WxGui, MessageBoxesShowTheirStyle) {
  DialogDriver driver({
      {"message-box", "message-box-308.png",
       [](wxDialog* box) {
         EXPECT_EQ(box->GetTitle(), "Corvane Tessel KV5");
         EXPECT_TRUE(HasIcon(box));
         EXPECT_TRUE(!box->Close() && box->IsModal()) << "a Yes/No box has no Cancel: its close box does nothing";
         auto* defaultButton = dynamic_cast<wxWindow*>(box->GetDefaultItem());
         EXPECT_EQ(defaultButton != nullptr ? defaultButton->GetName() : "", "no");
         if (auto* yes = Get<wxButton>(box, "yes")) { EXPECT_EQ(yes->GetLabel(), ToWx(u"是")); }
         Click(box, "yes");
       }},
      {"message-box", "message-box-49.png", [](wxDialog* box) { Click(box, "cancel"); }},
      {"message-box", "message-box-short.png",
       [](wxDialog* box) {
         const wxFont caption = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Bold();
         int titleWidth = 0, height = 0;
         box->GetTextExtent(box->GetTitle(), &titleWidth, &height, nullptr, nullptr, &caption);
         EXPECT_GT(box->GetSize().GetWidth(), titleWidth);
         EXPECT_TRUE(box->GetMinSize() == box->GetMaxSize() && box->GetMinSize() == box->GetSize()) << "fixed size";
         Click(box, "ok");
       }},
  });
  const std::u16string title = u"Corvane Tessel KV5";
  EXPECT_EQ(ui_->ShowMessageBox(u"如果 ZARO 应用程序没有时间戳，则当数字证书过期时它将无法安装。\n\n是否确定要禁用时间戳？", title, 308),
            kIdYes);
  EXPECT_EQ(ui_->ShowMessageBox(u"证书文件存在。是否覆盖它？", title, 49), kIdCancel);
  EXPECT_EQ(ui_->ShowMessageBox(u"已创建 ZAROI 文件。", title, 64), kIdOk);
  driver.ExpectDone();
}

TEST_F(WxGui, FormStateIsMirroredBothWays) {
  SampleForm form;
  EXPECT_EQ(Drive(*ui_, form, {{"Sample", "form-state.png", [](wxDialog* dialog) {
                          auto* name = Get<wxTextCtrl>(dialog, "name");
                          auto* resizable = Get<wxCheckBox>(dialog, "resizable");
                          auto* mode = Get<wxChoice>(dialog, "mode");
                          auto* slow = Get<wxRadioButton>(dialog, "slow");
                          auto* icon = Get<PictureButton>(dialog, "icon");
                          auto* country = Get<wxComboBox>(dialog, "country");
                          auto* secret = Get<wxTextCtrl>(dialog, "secret");
                          if (!name || !resizable || !mode || !slow || !icon || !country || !secret) {
                            Click(dialog, "Cancel");
                            return;
                          }
                          // State shown at start: the choice follows the check box.
                          EXPECT_FALSE(mode->IsEnabled());
                          resizable->SetValue(true);
                          Fire(resizable, wxEVT_CHECKBOX, 1);
                          EXPECT_TRUE(mode->IsEnabled());
                          ChooseRadio(slow);
                          // Typing reaches the form; a button's changes come back.
                          name->SetValue(wxString::FromUTF8("丙"));
                          Click(dialog, "fill");
                          EXPECT_EQ(name->GetValue(), ToWx(u"乙"));
                          EXPECT_EQ(country->GetValue(), "JP");
                          EXPECT_EQ(country->GetCount(), 4u);
                          EXPECT_FALSE(secret->IsEnabled());
                          wxMouseEvent enter(wxEVT_ENTER_WINDOW);
                          icon->ProcessWindowEvent(enter);
                          EXPECT_TRUE(icon->IsHighlighted());
                          wxMouseEvent up(wxEVT_LEFT_UP);
                          icon->ProcessWindowEvent(up);
                          name->SetValue(wxString::FromUTF8("丁"));
                          Click(dialog, "OK");
                        }}}), kIdOk);
  EXPECT_EQ(form.nameAtOk, u"丁");
  EXPECT_EQ(testing_support::Texts(form, {"resizable", "slow", "fast"}), (Items{u"true", u"true", u"false"}));
  EXPECT_EQ(form.iconPresses, 1);
}

// The progress dialog with a timer too slow to matter: only the worker's wake-up can close
// it within the test's time limit.
class UnhurriedProgressDlg : public CProgressDlg {
 public:
  int TimerIntervalMs() const override { return IsClosed() ? 0 : 3600 * 1000; }
};

// The run ends (seen by the timer), the author cancels, and the worker wakes the dialog.
TEST_F(WxGui, ProgressDialogClosesWhenTheRunEndsOrIsCancelled) {
  std::atomic<unsigned char> flag{0};
  DialogDriver driver({{"CProgressDlg", "progress.png",
                        [&](wxDialog* dialog) {
                          EXPECT_NE(Find<wxGauge>(dialog, "progress"), nullptr) << "a pulsing bar";
                          flag.store(1);  // the worker's end of the run
                        }},
                       {"CProgressDlg", "", [](wxDialog* dialog) { Click(dialog, "Cancel"); }}});
  CProgressDlg progress;
  progress.SetFlag(&flag);
  EXPECT_EQ(ui_->RunModal(progress), 0);
  EXPECT_FALSE(progress.Cancelled());
  std::atomic<unsigned char> second{0};
  CProgressDlg cancelled;
  cancelled.SetFlag(&second);
  EXPECT_EQ(ui_->RunModal(cancelled), kIdCancel);
  EXPECT_EQ(second.load(), 1);
  driver.ExpectDone();

  std::atomic<unsigned char> third{0};
  WakeSignal ended;
  UnhurriedProgressDlg woken;
  woken.SetFlag(&third, &ended);
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    third.store(1);
    ended.Notify();
  });
  EXPECT_EQ(ui_->RunModal(woken), 0);
  worker.join();
  EXPECT_FALSE(woken.Cancelled());
}

// The retry box answers its buttons; Escape presses a form's Cancel.
TEST_F(WxGui, SmallDialogsAnswerTheirButtonsAndEscape) {
  DialogDriver driver({{"CTimestampRetryDlg", "timestamp-retry.png",
                        [](wxDialog* dialog) { Click(dialog, "DisableTimestamp"); }},
                       {"SignaturePassword", "signature-password.png", [](wxDialog* dialog) {
                          if (auto* password = Get<wxTextCtrl>(dialog, "password")) password->SetValue("typed");
                          wxKeyEvent escape(wxEVT_CHAR_HOOK);
                          escape.m_keyCode = WXK_ESCAPE;
                          dialog->ProcessWindowEvent(escape);
                        }}});
  CTimestampRetryDlg retry;
  EXPECT_EQ(ui_->RunModal(retry), CTimestampRetryDlg::kDisableTimestamp);
  CSignaturePasswordDlg prompt;
  EXPECT_EQ(ui_->RunModal(prompt), kIdCancel);
  EXPECT_TRUE(prompt.IsClosed());
  driver.ExpectDone();
}

// A desktop where no browser opens links: the toolkit's complaint is dropped.
class NoBrowserUi : public WxUi {
 protected:
  bool LaunchBrowser(const wxString& url) override {
    wxLogError("Failed to open URL \"%s\" in default browser.", url);
    return false;
  }
};

TEST_F(WxGui, AHelpLinkWithoutABrowserIsShownToCopy) {
  NoBrowserUi ui;
  const std::u16string link = u"https://help.corvane.example/zaro/publish";
  DialogDriver driver({{"message-box", "help-link.png", [&](wxDialog* box) {
                          EXPECT_EQ(box->GetTitle(), "Corvane Tessel KV5");
                          EXPECT_TRUE(HasIcon(box));
                          if (auto* text = Get<wxTextCtrl>(box, "text")) {
                            text->SetSelection(-1, -1);
                            EXPECT_EQ(text->GetStringSelection(), ToWx(link));
                          }
                          Click(box, "ok");
                        }}});
  EXPECT_FALSE(ui.OpenLink(link));
  wxLog::FlushActive();  // a box of the toolkit's own would come up here
  driver.ExpectDone();
}

// One editable drop-down of recent entries, and a button that picks another one.
class RecentForm : public FormState {
 public:
  RecentForm() {
    SetTitle(u"证书");
    AddField(MakeField("certpath", FieldKind::Choice, u"证书:", u"\\keys\\b.p12")).items = {
        u"\\keys\\a.p12", u"\\keys\\b.p12", u"\\keys\\c.p12"};
    AddButton(MakeButton("last", u"最后"));
    AddButton(MakeButton("OK", u"确定", true));
  }
  std::string FormName() const override { return "Recent"; }

 protected:
  void OnButton(std::string_view name) override {
    if (name == "last") SetText("certpath", u"\\keys\\c.p12");
    if (name == "OK") Close(kIdOk);
  }
};

TEST_F(WxGui, TheDropDownOpensOnTheCurrentEntry) {
  RecentForm form;
  EXPECT_EQ(Drive(*ui_, form, {{"Recent", "recent-certificates.png", [](wxDialog* dialog) {
                          if (auto* combo = Get<wxComboBox>(dialog, "certpath")) {
                            EXPECT_EQ(combo->GetSelection(), 1) << "as shown";
                            Click(dialog, "last");
                            EXPECT_EQ(combo->GetSelection(), 2) << "set by the form";
                            combo->ChangeValue("\\keys\\a.p12");  // typed
                            Fire(combo, wxEVT_COMBOBOX_DROPDOWN);
                            EXPECT_EQ(combo->GetSelection(), 0) << "opened on the typed entry";
                          }
                          Click(dialog, "OK");
                        }}}), kIdOk);
}

const std::string kDemo =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.demo</id>"
    "<name>示例游戏</name><version>1.0.2</version><initialWindow><content>Demo.qmv</content>"
    "<renderMode>gpu</renderMode><fullScreen>true</fullScreen></initialWindow></application>";

// The sheet's pages run their sub-dialogs through the module's Ui(): the wx one here.
class WxPages : public WxGui {
 protected:
  void SetUp() override {
    WxGui::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    SetSetting(keys::kPubIpa, u"false");
    InstallUi(CreateWxUi());
  }
  void TearDown() override {
    if (ui_ == nullptr) return;
    InstallUi(nullptr);
    ReleaseDescriptor(MovieDescriptor());
    SetSetting(keys::kPubIpa, u"");
    setenv("TESSEL_REGISTRY_FILE", (home_ / "registry").c_str(), 1);
  }
  // Makes home_/folder the movie folder of `base` and parses its descriptor `xml` (none: the template).
  fs::path Movie(const std::string& folder, const std::u16string& base, const std::string& xml = {}) {
    const fs::path path = home_ / folder;
    fs::create_directories(path / "icons");
    if (!xml.empty()) std::ofstream(path / (ToUtf8(base) + "-app.xml")) << xml;
    SetSetting(keys::kMovieFolder, platform::ToWindowsForm(path.string() + "/"));
    SetSetting(keys::kMovieBaseName, base);
    EXPECT_EQ(LoadDescriptor(true), 0);
    return path;
  }
};

TEST_F(WxPages, SheetOnTheSignaturePageOpensTheSelfSignedDialog) {
  CSettingsPropSheet sheet(CSettingsPropSheet::kSignaturePage);
  bool selfSignShown = false;
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-signature.png",
       [&](wxDialog* dialog) {
         EXPECT_EQ(dialog->GetTitle(), ToWx(u"应用程序和安装程序设置"));
         // The buttons stand left to right in the sheet's order, whatever the desktop's habit.
         std::vector<int> lefts;
         for (const char* name : {"OK", "Cancel", "Publish", "Help"})
           if (auto* button = Get<wxButton>(dialog, name)) lefts.push_back(button->GetScreenPosition().x);
         EXPECT_TRUE(std::adjacent_find(lefts.begin(), lefts.end(), std::greater_equal<>()) == lefts.end());
         Get<wxComboBox>(dialog, "certpath");
         if (auto* password = Get<wxTextCtrl>(dialog, "password")) password->SetValue(wxString::FromUTF8("秘密"));
         EXPECT_TRUE(Click(dialog, "create"));  // runs the self-signed dialog inside
         EXPECT_TRUE(selfSignShown);
         Click(dialog, "Cancel");
       }},
      {"SelfSign", "self-sign.png",
       [&](wxDialog* dialog) {
         selfSignShown = true;
         if (auto* country = Get<wxComboBox>(dialog, "country")) {
           EXPECT_EQ(country->GetValue(), "US");
           EXPECT_EQ(country->GetCount(), CountryCodes().size());
         }
         Click(dialog, "Cancel");
       },
       // Filled fields put typed Chinese text into the screenshot.
       [](wxDialog* dialog) {
         for (const auto& [name, text] : {std::pair{"publisher", "张三"}, {"unit", "发布部"},
                                          {"organization", "示例公司"}, {"saveas", "\\tmp\\mycert.p12"}})
           if (auto* field = Get<wxTextCtrl>(dialog, name)) field->SetValue(wxString::FromUTF8(text));
       }},
  }), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage);
  EXPECT_EQ(sheet.GetField("Signature.password"), u"秘密");
}

// Where a control stands on the screen; a failure and (-1, -1) when the dialog has none.
wxPoint At(wxWindow* dialog, const std::string& name) {
  auto* control = Get<wxWindow>(dialog, name);
  return control != nullptr ? control->GetScreenPosition() : wxPoint(-1, -1);
}

TEST_F(WxPages, GeneralPageShowsItsFieldsAlignedWithTheirPictureButtons) {
  Movie("movie", u"Hello");
  testing_support::Include({u"assets/readme.txt"});
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage);
  EXPECT_EQ(Drive(Ui(), sheet, {{"Settings", "settings-general.png", [](wxDialog* dialog) {
                          EXPECT_EQ(At(dialog, "appname").y, At(dialog, "version").y) << "name and version on one row";
                          EXPECT_EQ(At(dialog, "appname").x, At(dialog, "appid").x) << "one label column";
                          EXPECT_EQ(At(dialog, "appid").x, At(dialog, "copyright").x);
                          EXPECT_LT(At(dialog, "addfile").y, At(dialog, "included").y) << "buttons above the list";
                          if (auto* add = Get<PictureButton>(dialog, "addfile")) { EXPECT_TRUE(add->HasPicture()); }
                          Click(dialog, "Cancel");
                        }}}), kIdCancel);
}

// The 128x128 icon is a 20x20 PNG.
TEST_F(WxPages, IconsPageDrawsASmallIconUnscaledInTheMiddleOfThePreview) {
  const fs::path folder = Movie("movie", u"Hello");
  ASSERT_TRUE(WriteIcon(folder / "icons" / "i20.png", 20));
  WriteAppIcon(MovieDescriptor(), u"image128x128", u"icons/i20.png");
  CSettingsPropSheet sheet(CSettingsPropSheet::kIconsPage);
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 128x128"));
  wxRect drawn;
  wxSize frame;
  EXPECT_EQ(Drive(Ui(), sheet, {{"Settings", "settings-icons.png", [&](wxDialog* dialog) {
                          if (auto* preview = Get<ImagePreview>(dialog, "preview")) {
                            drawn = preview->ImageRect();
                            frame = preview->GetClientSize();
                          }
                          Click(dialog, "Cancel");
                        }}}), kIdCancel);
  EXPECT_EQ(drawn.GetSize(), wxSize(20, 20));
  EXPECT_EQ(drawn.GetPosition(), wxPoint((frame.GetWidth() - 20) / 2, (frame.GetHeight() - 20) / 2));
}

TEST(PreviewPlacement, ASquareOfTheSmallestSideCentred) {
  EXPECT_EQ(PreviewPlacement(wxSize(300, 200), wxSize(160, 160)), wxRect(0, 0, 160, 160));
  EXPECT_EQ(PreviewPlacement(wxSize(64, 32), wxSize(100, 80)), wxRect(34, 24, 32, 32));
}

// The Advanced page filled from a descriptor with one file type, and the file type dialog
// opened on that type from the page's edit picture, its previews showing the real icons.
TEST_F(WxPages, AdvancedPageOpensTheFileTypeDialogWithItsIcons) {
  const fs::path movie = Movie(
      "movie", u"Movie",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.Movie</id>"
      "<filename>Movie</filename><initialWindow><content>Movie.qmv</content>"
      "<width>800</width><height>600</height><maxSize>1024 768</maxSize><minSize>320 240</minSize></initialWindow>"
      "<installFolder>Corvane/Movie</installFolder><programMenuFolder>影片</programMenuFolder><fileTypes><fileType>"
      "<name>docA</name><extension>abc</extension><description>文档</description>"
      "<contentType>application/x-doca</contentType><icon><image16x16>icons/doc16.png</image16x16>"
      "<image32x32>icons/doc32.png</image32x32><image48x48>icons/doc48.png</image48x48>"
      "<image128x128>icons/doc128.png</image128x128></icon></fileType></fileTypes></application>\n");
  for (int size : {128, 48, 32, 16})
    ASSERT_TRUE(WriteIcon(movie / "icons" / ("doc" + std::to_string(size) + ".png"), size));

  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage);
  bool fileTypeShown = false;
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-advanced.png",
       [&](wxDialog* dialog) {
         auto* list = Get<wxListBox>(dialog, "filetypes");
         EXPECT_TRUE(list != nullptr && list->GetCount() == 1 && list->GetString(0) == "docA(abc)");
         if (auto* width = Get<wxTextCtrl>(dialog, "width")) {
           auto* digits = dynamic_cast<wxTextValidator*>(width->GetValidator());
           EXPECT_TRUE(digits != nullptr && digits->HasFlag(wxFILTER_DIGITS) && !digits->IsValid("8a").empty());
           width->SetValue(" 400 ");
           EXPECT_EQ(sheet.GetField("Advanced.width"), u" 400 ") << "pasted text reaches the page as it is";
         }
         // The second fields of the pairs line up under each other.
         EXPECT_EQ(At(dialog, "height").x, At(dialog, "y").x);
         EXPECT_EQ(At(dialog, "y").x, At(dialog, "minheight").x);
         if (list != nullptr) SelectEntry(list, 0);
         if (auto* edit = Get<PictureButton>(dialog, "edittype")) {
           EXPECT_TRUE(edit->HasPicture());
           wxMouseEvent up(wxEVT_LEFT_UP);
           edit->ProcessWindowEvent(up);  // runs the file type dialog inside
           EXPECT_TRUE(fileTypeShown);
         }
         Click(dialog, "Cancel");
       }},
      {"FileType", "file-type.png",
       [&](wxDialog* dialog) {
         fileTypeShown = true;
         EXPECT_EQ(dialog->GetTitle(), ToWx(u"文件类型设置"));
         std::set<int> bottoms;
         for (const auto& [size, width, height] : {std::tuple{128, 130, 130}, std::tuple{48, 52, 52},
                                                   std::tuple{32, 37, 36}, std::tuple{16, 22, 21}}) {
           auto* preview = Get<ImagePreview>(dialog, "preview" + std::to_string(size));
           if (preview == nullptr) continue;
           EXPECT_EQ(preview->GetSize(), dialog->FromDIP(wxSize(width, height))) << size;
           EXPECT_TRUE(preview->HasImage() && preview->ImageRect().GetWidth() > 0) << size;
           bottoms.insert(preview->GetScreenRect().GetBottom());
         }
         EXPECT_EQ(bottoms.size(), 1u) << "the previews stand on one line";
         if (auto* browse = Get<PictureButton>(dialog, "browse16")) { EXPECT_TRUE(browse->HasPicture()); }
         Click(dialog, "Cancel");
       }},
  }), kIdCancel);
}

TEST_F(WxPages, IphoneSheetShowsItsGeneralAndDeploymentPages) {
  const fs::path movies = Movie("iphone movies", u"Demo", kDemo);
  fs::create_directories(movies / "keys");
  const fs::path certificate = movies / "keys" / "iphone_developer_certificate.p12";
  const fs::path profile = movies / "keys" / "Demo_Development_Provisioning.mobileprovision";
  std::ofstream(certificate) << "x";
  std::ofstream(profile) << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kIpaOption, u"adhoc");
  testing_support::Include({u"assets/level1.dat", u"sounds"});
  WriteRegistryList(u"IpaCertPath", 10, {platform::ToWindowsForm(certificate.string())});
  WriteRegistryList(u"MobileProvisionFiles", 10, {platform::ToWindowsForm(profile.string())});

  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaGeneralPage);
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-iphone-general.png",
       [](wxDialog* dialog) {
         if (auto* list = Get<wxListBox>(dialog, "included")) { EXPECT_EQ(list->GetCount(), 4u); }
         auto* rendering = Get<wxChoice>(dialog, "rendering");
         EXPECT_EQ(rendering != nullptr ? rendering->GetStringSelection() : "", "GPU");
         dynamic_cast<wxPropertySheetDialog*>(dialog)->GetBookCtrl()->SetSelection(1);
       }},
      {"Settings", "settings-iphone-deployment.png",
       [](wxDialog* dialog) {
         if (auto* certificate = Get<wxComboBox>(dialog, "certpath")) { EXPECT_EQ(certificate->GetCount(), 1u); }
         if (auto* adhoc = Get<wxRadioButton>(dialog, "adhoc")) { EXPECT_TRUE(adhoc->GetValue()); }
         if (auto* store = Get<wxRadioButton>(dialog, "store")) ChooseRadio(store);
         Click(dialog, "Cancel");
       },
       [](wxDialog* dialog) {
         if (auto* password = Get<wxTextCtrl>(dialog, "password")) password->SetValue("secret");
       }},
  }), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage);
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store") << "the radio button stores the type at once";
}

// Publish with the Icons page in front and no certificate: the Deployment page is in front
// before the box about its certificate field opens; the General page's remove button is
// greyed while no extra entry is selected.
TEST_F(WxPages, IphonePublishWithoutACertificateShowsTheDeploymentPageFirst) {
  // A hive of its own: no certificate remembered by another test.
  setenv("TESSEL_REGISTRY_FILE", (home_ / "registry-without-certificates").c_str(), 1);
  const fs::path movies = Movie("iphone publish", u"Demo", kDemo);
  fs::create_directories(movies / "kit" / "MPK" / "lib");
  std::ofstream(movies / "kit" / "MPK" / "lib" / "mpk.jar") << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kLaunchPath, platform::ToWindowsForm((movies / "kit").string() + "/"));
  SetSetting(keys::kIpaCertPath, u"");
  testing_support::Include({u"assets/level1.dat"});

  int packaged = 0;
  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaIconsPage,
                           {[&](PackageTarget, bool) { return ++packaged; }, [] { return std::u16string(u"/jre"); }});
  auto book = [](wxWindow* dialog) { return dynamic_cast<wxPropertySheetDialog*>(dialog)->GetBookCtrl(); };
  auto generalRemove = [](wxDialog* dialog) { return Get<wxWindow>(Get<wxWindow>(dialog, "General"), "remove"); };
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "", [&](wxDialog* dialog) {
         EXPECT_EQ(book(dialog)->GetSelection(), CSettingsPropSheet::kIpaIconsPage);
         if (auto* remove = generalRemove(dialog)) { EXPECT_FALSE(remove->IsEnabled()) << "no extra entry selected"; }
         Click(dialog, "Publish");
       }},
      {"message-box", "iphone-no-certificate-box.png", [&](wxDialog* box) {
         if (auto* text = Get<wxStaticText>(box, "text")) { EXPECT_EQ(text->GetLabel(), ToWx(u"必须选择证书")); }
         EXPECT_EQ(book(box->GetParent())->GetSelection(), CSettingsPropSheet::kDeploymentPage) << "under the box";
         SaveScreenshot(box->GetParent(), "iphone-no-certificate-sheet.png");
         Click(box, "ok");
       }},
      {"Settings", "", [&](wxDialog* dialog) {
         // An extra entry selected: the button is enabled, as on the desktop page.
         book(dialog)->SetSelection(CSettingsPropSheet::kIpaGeneralPage);
         if (auto* list = Get<wxListBox>(Get<wxWindow>(dialog, "General"), "included")) SelectEntry(list, 2);
         if (auto* remove = generalRemove(dialog)) { EXPECT_TRUE(remove->IsEnabled()); }
         Click(dialog, "Cancel");
       }},
  }), kIdCancel);
  EXPECT_EQ(packaged, 0);
  ExpectScreenshot("iphone-no-certificate-sheet.png");
}

}  // namespace
}  // namespace zaro::wxui
