// The wx views on a real X server: a private Xvfb, dialogs driven from timers, and
// screenshots of each dialog saved as PNG files.
#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/settings.h>
#include <wx/bookctrl.h>
#include <wx/listbox.h>
#include <wx/propdlg.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/valtext.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/wake_signal.h"
#include "descriptor/application_icons.h"
#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "platform/files.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "signing/self_sign_dialog.h"
#include "signing/signature_password_dialog.h"
#include "ui/form_state.h"
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

// ---- style decoding, no display needed ----

TEST(WxMessageBoxStyle, DecodesIconButtonsAndDefault) {
  const MessageBoxLook error = DecodeMessageBoxStyle(48);
  EXPECT_EQ(error.icon, BoxIcon::Exclamation);
  EXPECT_EQ(error.buttons, std::vector<int>{kIdOk});
  EXPECT_EQ(error.defaultButton, kIdOk);
  EXPECT_EQ(error.escapeButton, kIdOk);

  const MessageBoxLook overwrite = DecodeMessageBoxStyle(49);
  EXPECT_EQ(overwrite.icon, BoxIcon::Exclamation);
  EXPECT_EQ(overwrite.buttons, (std::vector<int>{kIdOk, kIdCancel}));
  EXPECT_EQ(overwrite.defaultButton, kIdOk);
  EXPECT_EQ(overwrite.escapeButton, kIdCancel);

  const MessageBoxLook info = DecodeMessageBoxStyle(64);
  EXPECT_EQ(info.icon, BoxIcon::Information);
  EXPECT_EQ(info.buttons, std::vector<int>{kIdOk});

  // 308 = exclamation + Yes/No + second button default: No answers Enter, nothing Escape.
  const MessageBoxLook question = DecodeMessageBoxStyle(308);
  EXPECT_EQ(question.icon, BoxIcon::Exclamation);
  EXPECT_EQ(question.buttons, (std::vector<int>{kIdYes, kIdNo}));
  EXPECT_EQ(question.defaultButton, kIdNo);
  EXPECT_EQ(question.escapeButton, 0);

  const MessageBoxLook stop = DecodeMessageBoxStyle(kMbIconStop | kMbAbortRetryIgnore | kMbDefButton3);
  EXPECT_EQ(stop.icon, BoxIcon::Stop);
  EXPECT_EQ(stop.buttons, (std::vector<int>{kIdAbort, kIdRetry, kIdIgnore}));
  EXPECT_EQ(stop.defaultButton, kIdIgnore);
  EXPECT_EQ(DecodeMessageBoxStyle(kMbIconQuestion | kMbYesNoCancel).escapeButton, kIdCancel);
  EXPECT_EQ(DecodeMessageBoxStyle(0).icon, BoxIcon::None);
  EXPECT_EQ(MessageBoxButtonLabel(kIdNo), u"否");
}

TEST(WxFileFilter, BecomesCaseFreeWildcard) {
  EXPECT_EQ(WildcardFromFilter(u"P12 文件 (*.p12)|*.p12|PFX 文件 (*.pfx)|*.pfx||"),
            ToWx(u"P12 文件 (*.p12)|*.[pP]12|PFX 文件 (*.pfx)|*.[pP][fF][xX]"));
  EXPECT_EQ(WildcardFromFilter(u"Images (*.png;*.jpg)|*.png;*.jpg||"),
            wxString("Images (*.png;*.jpg)|*.[pP][nN][gG];*.[jJ][pP][gG]"));
  EXPECT_EQ(WildcardFromFilter(u"All (*.*)|*.*|"), wxString("All (*.*)|*.*"));
  EXPECT_EQ(WildcardFromFilter(u""), wxString("*"));
}

TEST(WxDialogLook, FileDialogsAndMessageBoxesLookNative) {
  FileDialogRequest open;
  EXPECT_EQ(FileDialogTitle(open), u"打开");
  FileDialogRequest save;
  save.save = true;
  EXPECT_EQ(FileDialogTitle(save), u"另存为");
  save.title = u"选择证书";
  EXPECT_EQ(FileDialogTitle(save), u"选择证书");
  // Never minimise, maximise or resize; a close button only where closing answers the box.
  for (unsigned style : {0u, 48u, 49u, 64u, 308u}) {
    const long window = MessageBoxWindowStyle(DecodeMessageBoxStyle(style));
    EXPECT_EQ(window & (wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxRESIZE_BORDER), 0) << style;
    EXPECT_EQ((window & wxCLOSE_BOX) != 0, style != 308u) << style;
  }
}

TEST(WxStart, NoDisplayLeavesTheConsole) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(CreateWxUi(), nullptr);
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

// ---- the display ----

// A private X server, started once for the test program.
class XServer {
 public:
  static XServer& Get() {
    static XServer server;
    return server;
  }
  bool Ready() const { return ready_; }
  const std::string& Reason() const { return reason_; }

 private:
  XServer() { Start(); }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  void Start() {
    std::string binary;
    if (const char* path = std::getenv("PATH")) {
      std::string list = path;
      size_t start = 0;
      while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string candidate = list.substr(start, end - start) + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) {
          binary = candidate;
          break;
        }
        start = end + 1;
      }
    }
    if (binary.empty()) {
      reason_ = "the Xvfb program is not installed";
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
      reason_ = "no pipe for Xvfb";
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) {
        dup2(devnull, 1);
        dup2(devnull, 2);
      }
      // Xvfb picks a free display number itself and writes it to the pipe.
      const std::string fd = std::to_string(fds[1]);
      execl(binary.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      reason_ = "Xvfb cannot be started";
      return;
    }
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    while (poll(&wait, 1, 10000) > 0) {
      char c = 0;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) {
      reason_ = "Xvfb did not start";
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return;
    }
    display_ = ":" + number;
    ready_ = true;
  }

  pid_t pid_ = -1;
  bool ready_ = false;
  std::string display_;
  std::string reason_;

 public:
  const std::string& Display() const { return display_; }
};

fs::path ScreenshotDir() { return fs::path(ZARO_SCREENSHOT_DIR); }

// Copies a dialog as it is on the screen into a PNG file. The source is the dialog's own
// window: a screen-wide source is read back once by the toolkit and then kept, so later
// pictures would repeat the first one.
bool SaveScreenshot(wxWindow* window, const std::string& name) {
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

// A screenshot shows a drawn dialog: a real PNG file with text and frames in it.
void ExpectScreenshot(const std::string& name) {
  const fs::path path = ScreenshotDir() / name;
  ASSERT_TRUE(fs::exists(path)) << path;
  EXPECT_GT(fs::file_size(path), 1500u) << path;
  wxImage image;
  ASSERT_TRUE(image.LoadFile(wxString::FromUTF8(path.string()), wxBITMAP_TYPE_PNG)) << path;
  std::set<unsigned> colours;
  const unsigned char* data = image.GetData();
  for (int i = 0; i < image.GetWidth() * image.GetHeight(); ++i) {
    colours.insert(unsigned(data[3 * i]) << 16 | unsigned(data[3 * i + 1]) << 8 | data[3 * i + 2]);
  }
  EXPECT_GT(colours.size(), 8u) << path << " looks blank";
}

template <typename T>
T* Find(wxWindow* dialog, const std::string& name) {
  return dynamic_cast<T*>(wxWindow::FindWindowByName(wxString::FromUTF8(name), dialog));
}

// Clicks a push button as the author would.
bool Click(wxWindow* dialog, const std::string& name) {
  auto* button = Find<wxButton>(dialog, name);
  if (button == nullptr || !button->IsEnabled()) return false;
  wxCommandEvent event(wxEVT_BUTTON, button->GetId());
  event.SetEventObject(button);
  button->ProcessWindowEvent(event);
  return true;
}

// One dialog the driver waits for: its window name, the screenshot to take, what to do.
struct Step {
  std::string dialog;
  std::string screenshot;
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

  std::vector<std::string> problems;
  size_t Done() const { return next_; }

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
    if (!step.screenshot.empty() && !SaveScreenshot(dialog, step.screenshot)) {
      problems.push_back("no screenshot of " + step.dialog);
    }
    auto action = std::make_shared<wxTimer>();
    actions_.push_back(action);
    action->Bind(wxEVT_TIMER, [dialog, &step](wxTimerEvent&) { step.action(dialog); });
    action->StartOnce(10);
  }

  std::vector<Step> steps_;
  wxTimer poll_;
  std::vector<std::shared_ptr<wxTimer>> actions_;
  size_t next_ = 0;
  int seen_ = 0;
  int ticks_ = 0;
};

FormField SampleField(std::string name, FieldKind kind, std::u16string label, std::u16string text = {},
                    std::string group = {}, std::vector<std::u16string> items = {}) {
  FormField field;
  field.name = std::move(name);
  field.kind = kind;
  field.label = std::move(label);
  field.text = std::move(text);
  field.group = std::move(group);
  field.items = std::move(items);
  return field;
}

FormButton SampleButton(std::string name, std::u16string label, bool isDefault = false) {
  FormButton button;
  button.name = std::move(name);
  button.label = std::move(label);
  button.isDefault = isDefault;
  return button;
}

// A test form with one field of every kind, a group box and a picture button.
class SampleForm : public FormState {
 public:
  SampleForm() {
    SetTitle(u"示例窗体");
    AddField(SampleField("heading", FieldKind::Label, u"应用程序标识"));
    AddField(SampleField("name", FieldKind::Text, u"名称:", u"甲"));
    AddField(SampleField("secret", FieldKind::Password, u"密码:"));
    AddField(SampleField("fast", FieldKind::Radio, u"快速", u"true", "speed"));
    AddField(SampleField("slow", FieldKind::Radio, u"慢速", u"false", "speed"));
    AddField(SampleField("window", FieldKind::Label, u"窗口", u"", "window"));
    AddField(SampleField("resizable", FieldKind::Check, u"可调整大小", u"false", "window"));
    FormField& mode = AddField(SampleField("mode", FieldKind::Choice, u"模式:", u"none", "window", {u"none", u"standard"}));
    mode.enabled = false;
    mode.editable = false;
    AddField(SampleField("country", FieldKind::Choice, u"国家或地区:", u"CN", "", {u"CN", u"DE", u"US"}));
    AddField(SampleField("types", FieldKind::List, u"文件类型:", u"", "", {u"a.txt", u"b.png"}));
    AddField(SampleField("icon", FieldKind::Picture, u"图标:"));
    AddButton(SampleButton("fill", u"填写"));
    AddButton(SampleButton("icon", u"icon"));
    AddButton(SampleButton("OK", u"确定", true));
    AddButton(SampleButton("Cancel", u"取消"));
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
    } else if (name == "icon") {
      ++iconPresses;
    } else if (name == "OK") {
      nameAtOk = Text("name");
      Close(kIdOk);
    } else if (name == "Cancel") {
      Close(kIdCancel);
    }
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
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home_ / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
    setenv("TESSEL_REGISTRY_FILE", (home_ / "registry").c_str(), 1);
    setenv("TESSEL_COMMON_APPDATA", (home_ / "appdata").c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GDK_BACKEND", "x11", 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", server.Display().c_str(), 1);
    ui_ = CreateWxUi();
    if (ui_ == nullptr) reason_ = "wx could not open the display " + server.Display();
  }
  static void TearDownTestSuite() {
    ui_.reset();
    std::error_code ignored;
    if (!home_.empty()) fs::remove_all(home_, ignored);
  }

  // False, after saying why, when there is no display to test on.
  bool HaveDisplay() {
    if (!XServer::Get().Ready()) {
      std::cout << "[ SKIPPED ] no X server for the GUI test: " << XServer::Get().Reason() << std::endl;
      return false;
    }
    EXPECT_NE(ui_, nullptr) << reason_;
    return ui_ != nullptr;
  }

  static inline std::unique_ptr<UiServices> ui_;
  static inline fs::path home_;
  static inline std::string reason_;
};

TEST_F(WxGui, MessageBoxesShowTheirStyle) {
  if (!HaveDisplay()) return;
  wxString defaultName;
  wxString yesLabel;
  wxString title;
  bool hasIcon = false;
  bool refusedClose = false;
  DialogDriver driver({
      {"message-box", "message-box-308.png",
       [&](wxDialog* box) {
         title = box->GetTitle();
         // A Yes/No box has no Cancel: its close box does nothing.
         refusedClose = !box->Close() && box->IsModal();
         if (auto* button = dynamic_cast<wxWindow*>(box->GetDefaultItem())) defaultName = button->GetName();
         if (auto* yes = Find<wxButton>(box, "yes")) yesLabel = yes->GetLabel();
         for (wxWindow* child : box->GetChildren()) hasIcon |= dynamic_cast<wxStaticBitmap*>(child) != nullptr;
         Click(box, "yes");
       }},
      {"message-box", "message-box-49.png", [](wxDialog* box) { Click(box, "cancel"); }},
  });
  EXPECT_EQ(ui_->ShowMessageBox(u"如果 ZARO 应用程序没有时间戳，则当数字证书过期时它将无法安装。\n\n是否确定要禁用时间戳？",
                                u"Corvane Tessel KV5", 308),
            kIdYes);
  EXPECT_EQ(ui_->ShowMessageBox(u"证书文件存在。是否覆盖它？", u"Corvane Tessel KV5", 49), kIdCancel);
  EXPECT_EQ(title, "Corvane Tessel KV5");
  EXPECT_TRUE(refusedClose);
  EXPECT_EQ(defaultName, "no");
  EXPECT_EQ(yesLabel, ToWx(u"是"));
  EXPECT_TRUE(hasIcon);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("message-box-308.png");
  ExpectScreenshot("message-box-49.png");
}

TEST_F(WxGui, FormStateIsMirroredBothWays) {
  if (!HaveDisplay()) return;
  SampleForm form;
  std::vector<std::string> seen;
  DialogDriver driver({{"Sample", "form-state.png", [&](wxDialog* dialog) {
                          auto* name = Find<wxTextCtrl>(dialog, "name");
                          auto* resizable = Find<wxCheckBox>(dialog, "resizable");
                          auto* mode = Find<wxChoice>(dialog, "mode");
                          auto* slow = Find<wxRadioButton>(dialog, "slow");
                          auto* icon = Find<PictureButton>(dialog, "icon");
                          if (!name || !resizable || !mode || !slow || !icon) {
                            seen.push_back("missing controls");
                            Click(dialog, "Cancel");
                            return;
                          }
                          // State shown at start: the choice follows the check box.
                          if (!mode->IsEnabled()) seen.push_back("mode off");
                          resizable->SetValue(true);
                          wxCommandEvent check(wxEVT_CHECKBOX, resizable->GetId());
                          check.SetEventObject(resizable);
                          check.SetInt(1);
                          resizable->ProcessWindowEvent(check);
                          if (mode->IsEnabled()) seen.push_back("mode on");
                          slow->SetValue(true);
                          wxCommandEvent radio(wxEVT_RADIOBUTTON, slow->GetId());
                          radio.SetEventObject(slow);
                          slow->ProcessWindowEvent(radio);
                          // Typing reaches the form; a button's changes come back.
                          name->SetValue(wxString::FromUTF8("丙"));
                          Click(dialog, "fill");
                          if (name->GetValue() == ToWx(u"乙")) seen.push_back("name filled");
                          if (auto* country = Find<wxComboBox>(dialog, "country");
                              country != nullptr && country->GetValue() == "JP" && country->GetCount() == 4) {
                            seen.push_back("country filled");
                          }
                          if (auto* secret = Find<wxTextCtrl>(dialog, "secret"); secret && !secret->IsEnabled()) {
                            seen.push_back("secret off");
                          }
                          wxMouseEvent enter(wxEVT_ENTER_WINDOW);
                          icon->ProcessWindowEvent(enter);
                          if (icon->IsHighlighted()) seen.push_back("icon lit");
                          wxMouseEvent up(wxEVT_LEFT_UP);
                          icon->ProcessWindowEvent(up);
                          name->SetValue(wxString::FromUTF8("丁"));
                          Click(dialog, "OK");
                        }}});
  EXPECT_EQ(ui_->RunModal(form), kIdOk);
  EXPECT_EQ(seen, (std::vector<std::string>{"mode off", "mode on", "name filled", "country filled", "secret off",
                                            "icon lit"}));
  EXPECT_EQ(form.nameAtOk, u"丁");
  EXPECT_EQ(form.Text("resizable"), u"true");
  EXPECT_EQ(form.Text("slow"), u"true");
  EXPECT_EQ(form.Text("fast"), u"false");
  EXPECT_EQ(form.iconPresses, 1);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("form-state.png");
}

TEST_F(WxGui, ProgressDialogClosesWhenTheRunEnds) {
  if (!HaveDisplay()) return;
  std::atomic<unsigned char> flag{0};
  CProgressDlg progress;
  progress.SetFlag(&flag);
  bool pulsing = false;
  DialogDriver driver({{"CProgressDlg", "progress.png", [&](wxDialog* dialog) {
                          pulsing = Find<wxGauge>(dialog, "progress") != nullptr;
                          flag.store(1);  // the worker's end of the run
                        }}});
  EXPECT_EQ(ui_->RunModal(progress), 0);
  EXPECT_TRUE(pulsing);
  EXPECT_FALSE(progress.Cancelled());

  std::atomic<unsigned char> second{0};
  CProgressDlg cancelled;
  cancelled.SetFlag(&second);
  DialogDriver cancel({{"CProgressDlg", "", [](wxDialog* dialog) { Click(dialog, "Cancel"); }}});
  EXPECT_EQ(ui_->RunModal(cancelled), kIdCancel);
  EXPECT_EQ(second.load(), 1);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("progress.png");
}

// The progress dialog with a timer too slow to matter: only the worker's wake-up can close
// it within the test's time limit.
class UnhurriedProgressDlg : public CProgressDlg {
 public:
  int TimerIntervalMs() const override { return IsClosed() ? 0 : 3600 * 1000; }
};

TEST_F(WxGui, ProgressDialogClosesTheMomentTheWorkerWakesIt) {
  if (!HaveDisplay()) return;
  std::atomic<unsigned char> flag{0};
  WakeSignal ended;
  UnhurriedProgressDlg progress;
  progress.SetFlag(&flag, &ended);
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    flag.store(1);
    ended.Notify();
  });
  EXPECT_EQ(ui_->RunModal(progress), 0);
  worker.join();
  EXPECT_FALSE(progress.Cancelled());
}

TEST_F(WxGui, TimestampRetryDialogAnswersItsButtons) {
  if (!HaveDisplay()) return;
  CTimestampRetryDlg retry;
  DialogDriver driver(
      {{"CTimestampRetryDlg", "timestamp-retry.png", [](wxDialog* dialog) { Click(dialog, "DisableTimestamp"); }}});
  EXPECT_EQ(ui_->RunModal(retry), CTimestampRetryDlg::kDisableTimestamp);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("timestamp-retry.png");
}

TEST_F(WxGui, EscapePressesTheFormsCancel) {
  if (!HaveDisplay()) return;
  CSignaturePasswordDlg prompt;
  DialogDriver driver({{"SignaturePassword", "signature-password.png", [](wxDialog* dialog) {
                          if (auto* password = Find<wxTextCtrl>(dialog, "password")) password->SetValue("typed");
                          wxKeyEvent escape(wxEVT_CHAR_HOOK);
                          escape.m_keyCode = WXK_ESCAPE;
                          dialog->ProcessWindowEvent(escape);
                        }}});
  EXPECT_EQ(ui_->RunModal(prompt), kIdCancel);
  EXPECT_TRUE(prompt.IsClosed());
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");  // Cancel keeps the stored password
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("signature-password.png");
}

TEST_F(WxGui, SheetOnTheSignaturePageOpensTheSelfSignedDialog) {
  if (!HaveDisplay()) return;
  InstallUi(CreateWxUi());  // the page runs its sub-dialog through the module's Ui()
  CSettingsPropSheet sheet(CSettingsPropSheet::kSignaturePage);
  std::vector<std::string> seen;
  DialogDriver driver({
      {"Settings", "settings-signature.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"应用程序和安装程序设置")) seen.push_back("title");
         if (Find<wxWindow>(dialog, "Publish") != nullptr) seen.push_back("publish");
         // The buttons stand left to right in the sheet's order, whatever the desktop's habit.
         std::vector<int> lefts;
         for (const char* name : {"OK", "Cancel", "Publish", "Help"}) {
           if (auto* button = Find<wxButton>(dialog, name)) lefts.push_back(button->GetScreenPosition().x);
         }
         if (lefts.size() == 4 && std::is_sorted(lefts.begin(), lefts.end()) &&
             std::adjacent_find(lefts.begin(), lefts.end()) == lefts.end()) {
           seen.push_back("button order");
         }
         if (Find<wxComboBox>(dialog, "certpath") != nullptr) seen.push_back("certpath");
         if (auto* password = Find<wxTextCtrl>(dialog, "password")) password->SetValue(wxString::FromUTF8("秘密"));
         if (Click(dialog, "create")) seen.push_back("create pressed");  // runs the self-signed dialog inside
         // The second radio button switches the signing controls off.
         if (auto* prepare = Find<wxRadioButton>(dialog, "prepare")) {
           prepare->SetValue(true);
           wxCommandEvent radio(wxEVT_RADIOBUTTON, prepare->GetId());
           radio.SetEventObject(prepare);
           prepare->ProcessWindowEvent(radio);
         }
         auto* certificate = Find<wxComboBox>(dialog, "certpath");
         auto* create = Find<wxButton>(dialog, "create");
         if (certificate && create && !certificate->IsEnabled() && !create->IsEnabled()) seen.push_back("off");
         Click(dialog, "Cancel");
       }},
      {"SelfSign", "self-sign.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"创建自签名的数字证书")) seen.push_back("self-sign title");
         if (auto* country = Find<wxComboBox>(dialog, "country")) {
           if (country->GetValue() == "US" && country->GetCount() == CountryCodes().size()) seen.push_back("US");
         }
         Click(dialog, "Cancel");
       },
       // Filled fields put typed Chinese text into the screenshot.
       [](wxDialog* dialog) {
         if (auto* publisher = Find<wxTextCtrl>(dialog, "publisher")) publisher->SetValue(wxString::FromUTF8("张三"));
         if (auto* unit = Find<wxTextCtrl>(dialog, "unit")) unit->SetValue(wxString::FromUTF8("发布部"));
         if (auto* organization = Find<wxTextCtrl>(dialog, "organization")) {
           organization->SetValue(wxString::FromUTF8("示例公司"));
         }
         if (auto* saveas = Find<wxTextCtrl>(dialog, "saveas")) saveas->SetValue("\\tmp\\mycert.p12");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage);
  EXPECT_EQ(seen, (std::vector<std::string>{"title", "publish", "button order", "certpath", "self-sign title", "US",
                                            "create pressed", "off"}));
  EXPECT_EQ(sheet.GetField("Signature.password"), u"秘密");
  EXPECT_EQ(sheet.GetField("Signature.prepare"), u"true");
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-signature.png");
  ExpectScreenshot("self-sign.png");
  InstallUi(nullptr);
}

TEST_F(WxGui, AShortMessageBoxIsAsWideAsItsTitle) {
  if (!HaveDisplay()) return;
  int width = 0;
  int titleWidth = 0;
  bool fixedSize = false;
  DialogDriver driver({{"message-box", "message-box-short.png", [&](wxDialog* box) {
                          width = box->GetSize().GetWidth();
                          const wxFont caption = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Bold();
                          int height = 0;
                          box->GetTextExtent(box->GetTitle(), &titleWidth, &height, nullptr, nullptr, &caption);
                          fixedSize = box->GetMinSize() == box->GetMaxSize() && box->GetMinSize() == box->GetSize();
                          Click(box, "ok");
                        }}});
  EXPECT_EQ(ui_->ShowMessageBox(u"已创建 ZAROI 文件。", u"Corvane Tessel KV5", 64), kIdOk);
  EXPECT_GT(width, titleWidth);
  EXPECT_TRUE(fixedSize);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("message-box-short.png");
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
  if (!HaveDisplay()) return;
  NoBrowserUi ui;
  const std::u16string link = u"https://help.corvane.example/zaro/publish";
  wxString title;
  wxString shown;
  bool hasIcon = false;
  DialogDriver driver({{"message-box", "help-link.png", [&](wxDialog* box) {
                          title = box->GetTitle();
                          if (auto* text = Find<wxTextCtrl>(box, "text")) {
                            text->SetSelection(-1, -1);
                            shown = text->GetStringSelection();
                          }
                          for (wxWindow* child : box->GetChildren()) {
                            hasIcon |= dynamic_cast<wxStaticBitmap*>(child) != nullptr;
                          }
                          Click(box, "ok");
                        }}});
  EXPECT_FALSE(ui.OpenLink(link));
  wxLog::FlushActive();  // a box of the toolkit's own would come up here
  EXPECT_EQ(title, "Corvane Tessel KV5");
  EXPECT_EQ(shown, ToWx(link));
  EXPECT_TRUE(hasIcon);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("help-link.png");
}

// One editable drop-down of recent entries, and a button that picks another one.
class RecentForm : public FormState {
 public:
  RecentForm() {
    SetTitle(u"证书");
    AddField(SampleField("certpath", FieldKind::Choice, u"证书:", u"\\keys\\b.p12", "",
                         {u"\\keys\\a.p12", u"\\keys\\b.p12", u"\\keys\\c.p12"}));
    AddButton(SampleButton("last", u"最后"));
    AddButton(SampleButton("OK", u"确定", true));
  }
  std::string FormName() const override { return "Recent"; }

 protected:
  void OnButton(std::string_view name) override {
    if (name == "last") SetText("certpath", u"\\keys\\c.p12");
    if (name == "OK") Close(kIdOk);
  }
};

TEST_F(WxGui, TheDropDownOpensOnTheCurrentEntry) {
  if (!HaveDisplay()) return;
  RecentForm form;
  std::vector<int> selected;
  DialogDriver driver({{"Recent", "recent-certificates.png", [&](wxDialog* dialog) {
                          auto* combo = Find<wxComboBox>(dialog, "certpath");
                          if (combo == nullptr) {
                            Click(dialog, "OK");
                            return;
                          }
                          selected.push_back(combo->GetSelection());  // as shown
                          Click(dialog, "last");
                          selected.push_back(combo->GetSelection());  // set by the form
                          combo->ChangeValue("\\keys\\a.p12");      // typed
                          wxCommandEvent open(wxEVT_COMBOBOX_DROPDOWN, combo->GetId());
                          open.SetEventObject(combo);
                          combo->ProcessWindowEvent(open);
                          selected.push_back(combo->GetSelection());
                          Click(dialog, "OK");
                        }}});
  EXPECT_EQ(ui_->RunModal(form), kIdOk);
  EXPECT_EQ(selected, (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("recent-certificates.png");
}

// A movie folder with a parsed descriptor whose 16x16 and 128x128 icons are a real 16x16
// PNG and a 20x20 PNG.
class WxPages : public WxGui {
 protected:
  void SetUp() override {
    if (!XServer::Get().Ready() || ui_ == nullptr) return;
    folder_ = home_ / "movie";
    fs::create_directories(folder_ / "icons");
    for (int side : {16, 20}) {
      wxImage image(side, side);
      image.SetRGB(wxRect(0, 0, side, side), 40, 120, 200);
      image.SetRGB(wxRect(side / 4, side / 4, side / 2, side / 2), 250, 200, 40);
      image.SaveFile(wxString::FromUTF8((folder_ / "icons" / ("i" + std::to_string(side) + ".png")).string()),
                     wxBITMAP_TYPE_PNG);
    }
    SetSetting(keys::kMovieFolder, FromUtf8(folder_.string() + "/"));
    SetSetting(keys::kMovieBaseName, u"Hello");
    SetSetting(keys::kPubIpa, u"false");
    ASSERT_EQ(LoadDescriptor(true), 0);
    WriteAppIcon(MovieDescriptor(), u"image16x16", u"icons/i16.png");
    WriteAppIcon(MovieDescriptor(), u"image128x128", u"icons/i20.png");
    InstallUi(CreateWxUi());
  }
  void TearDown() override {
    if (ui_ == nullptr) return;
    InstallUi(nullptr);
    ReleaseDescriptor(MovieDescriptor());
  }
  fs::path folder_;
};

TEST_F(WxPages, GeneralPageShowsItsFieldsAlignedWithTheirPictureButtons) {
  if (!HaveDisplay()) return;
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"assets/readme.txt");
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage);
  std::vector<std::string> seen;
  DialogDriver driver({{"Settings", "settings-general.png", [&](wxDialog* dialog) {
                          auto* name = Find<wxTextCtrl>(dialog, "appname");
                          auto* version = Find<wxTextCtrl>(dialog, "version");
                          if (name && version && name->GetScreenPosition().y == version->GetScreenPosition().y) {
                            seen.push_back("name and version on one row");
                          }
                          auto* id = Find<wxTextCtrl>(dialog, "appid");
                          auto* copyright = Find<wxTextCtrl>(dialog, "copyright");
                          if (name && id && copyright && name->GetScreenPosition().x == id->GetScreenPosition().x &&
                              id->GetScreenPosition().x == copyright->GetScreenPosition().x) {
                            seen.push_back("one label column");
                          }
                          auto* add = dynamic_cast<PictureButton*>(
                              wxWindow::FindWindowByName("addfile", dialog));
                          auto* list = Find<wxWindow>(dialog, "included");
                          if (add && list && add->HasPicture() &&
                              add->GetScreenPosition().y < list->GetScreenPosition().y) {
                            seen.push_back("picture buttons above the list");
                          }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"name and version on one row", "one label column",
                                            "picture buttons above the list"}));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-general.png");
}

TEST_F(WxPages, IconsPageDrawsASmallIconUnscaledInTheMiddleOfThePreview) {
  if (!HaveDisplay()) return;
  CSettingsPropSheet sheet(CSettingsPropSheet::kIconsPage);
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 128x128"));
  wxRect drawn;
  wxSize frame;
  DialogDriver driver({{"Settings", "settings-icons.png", [&](wxDialog* dialog) {
                          if (auto* preview = dynamic_cast<ImagePreview*>(wxWindow::FindWindowByName("preview", dialog))) {
                            drawn = preview->ImageRect();
                            frame = preview->GetClientSize();
                          }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(drawn.GetSize(), wxSize(20, 20));
  EXPECT_EQ(drawn.GetPosition(), wxPoint((frame.GetWidth() - 20) / 2, (frame.GetHeight() - 20) / 2));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-icons.png");
}

TEST(PreviewPlacement, ASquareOfTheSmallestSideCentred) {
  EXPECT_EQ(PreviewPlacement(wxSize(20, 20), wxSize(160, 160)), wxRect(70, 70, 20, 20));
  EXPECT_EQ(PreviewPlacement(wxSize(300, 200), wxSize(160, 160)), wxRect(0, 0, 160, 160));
  EXPECT_EQ(PreviewPlacement(wxSize(64, 32), wxSize(100, 80)), wxRect(34, 24, 32, 32));
}

// The Advanced page filled from a descriptor with one file type, and the file type dialog
// opened on that type from the page's edit picture, its previews showing the real icons.
TEST_F(WxGui, AdvancedPageOpensTheFileTypeDialogWithItsIcons) {
  if (!HaveDisplay()) return;
  InstallUi(CreateWxUi());
  const fs::path movie = home_ / "movie";
  fs::create_directories(movie / "icons");
  for (int size : {128, 48, 32, 16}) {
    wxImage image(size, size);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const bool ring = (x - size / 2) * (x - size / 2) + (y - size / 2) * (y - size / 2) < size * size / 6;
        image.SetRGB(x, y, ring ? 240 : 40 + 180 * x / size, ring ? 160 : 90, ring ? 30 : 230 - 150 * y / size);
      }
    }
    ASSERT_TRUE(image.SaveFile(wxString::FromUTF8((movie / "icons" / ("doc" + std::to_string(size) + ".png")).string()),
                               wxBITMAP_TYPE_PNG));
  }
  std::ofstream(movie / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
         "  <id>com.example.Movie</id>\n  <filename>Movie</filename>\n"
         "  <initialWindow>\n    <content>Movie.qmv</content>\n    <width>800</width>\n    <height>600</height>\n"
         "    <maxSize>1024 768</maxSize>\n    <minSize>320 240</minSize>\n  </initialWindow>\n"
         "  <installFolder>Corvane/Movie</installFolder>\n  <programMenuFolder>影片</programMenuFolder>\n"
         "  <fileTypes>\n    <fileType>\n      <name>docA</name>\n      <extension>abc</extension>\n"
         "      <description>文档</description>\n      <contentType>application/x-doca</contentType>\n"
         "      <icon>\n        <image16x16>icons/doc16.png</image16x16>\n"
         "        <image32x32>icons/doc32.png</image32x32>\n        <image48x48>icons/doc48.png</image48x48>\n"
         "        <image128x128>icons/doc128.png</image128x128>\n      </icon>\n    </fileType>\n"
         "  </fileTypes>\n</application>\n";
  SetSetting(keys::kMovieFolder, FromWx(wxString::FromUTF8(movie.string() + "/")));
  SetSetting(keys::kMovieBaseName, u"Movie");
  ASSERT_EQ(LoadDescriptor(true), 0);

  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage);
  std::vector<std::string> seen;
  DialogDriver driver({
      {"Settings", "settings-advanced.png",
       [&](wxDialog* dialog) {
         auto* list = Find<wxListBox>(dialog, "filetypes");
         if (list != nullptr && list->GetCount() == 1 && list->GetString(0) == "docA(abc)") seen.push_back("entry");
         auto* width = Find<wxTextCtrl>(dialog, "width");
         auto* digits = width != nullptr ? dynamic_cast<wxTextValidator*>(width->GetValidator()) : nullptr;
         if (digits != nullptr && digits->HasFlag(wxFILTER_DIGITS) && !digits->IsValid("8a").empty()) {
           seen.push_back("digits only");
         }
         if (width != nullptr) width->SetValue(" 400 ");  // pasted text reaches the page as it is
         if (sheet.GetField("Advanced.width") == u" 400 ") seen.push_back("pasted");
         // The second fields of the pairs line up under each other.
         auto* height = Find<wxWindow>(dialog, "height");
         auto* y = Find<wxWindow>(dialog, "y");
         auto* minheight = Find<wxWindow>(dialog, "minheight");
         if (height && y && minheight && height->GetScreenPosition().x == y->GetScreenPosition().x &&
             y->GetScreenPosition().x == minheight->GetScreenPosition().x) {
           seen.push_back("aligned");
         }
         if (list != nullptr) {
           list->SetSelection(0);
           wxCommandEvent select(wxEVT_LISTBOX, list->GetId());
           select.SetEventObject(list);
           select.SetInt(0);
           list->ProcessWindowEvent(select);
         }
         if (auto* edit = Find<PictureButton>(dialog, "edittype"); edit != nullptr && edit->HasPicture()) {
           wxMouseEvent up(wxEVT_LEFT_UP);
           edit->ProcessWindowEvent(up);  // runs the file type dialog inside
           seen.push_back("edited");
         }
         Click(dialog, "Cancel");
       }},
      {"FileType", "file-type.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"文件类型设置")) seen.push_back("dialog title");
         std::set<int> bottoms;
         int withImages = 0;
         for (const auto& [size, width, height] : {std::tuple{128, 130, 130}, std::tuple{48, 52, 52},
                                                   std::tuple{32, 37, 36}, std::tuple{16, 22, 21}}) {
           auto* preview = Find<ImagePreview>(dialog, "preview" + std::to_string(size));
           if (preview == nullptr || preview->GetSize() != dialog->FromDIP(wxSize(width, height))) continue;
           bottoms.insert(preview->GetScreenRect().GetBottom());
           withImages += preview->HasImage() && preview->ImageRect().GetWidth() > 0 ? 1 : 0;
         }
         if (bottoms.size() == 1 && withImages == 4) seen.push_back("previews");
         if (auto* browse = Find<PictureButton>(dialog, "browse16"); browse && browse->HasPicture()) {
           seen.push_back("browse picture");
         }
         Click(dialog, "Cancel");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"entry", "digits only", "pasted", "aligned", "dialog title", "previews",
                                            "browse picture", "edited"}));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-advanced.png");
  ExpectScreenshot("file-type.png");
  ReleaseDescriptor(MovieDescriptor());
}

TEST_F(WxGui, IphoneSheetShowsItsGeneralAndDeploymentPages) {
  if (!HaveDisplay()) return;
  InstallUi(CreateWxUi());
  const fs::path movies = home_ / "iphone movies";
  fs::create_directories(movies / "keys");
  std::ofstream(movies / "Demo-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.demo</id>"
         "<name>示例游戏</name><version>1.0.2</version><initialWindow><content>Demo.qmv</content>"
         "<renderMode>gpu</renderMode><fullScreen>true</fullScreen></initialWindow></application>";
  const fs::path certificate = movies / "keys" / "iphone_developer_certificate.p12";
  const fs::path profile = movies / "keys" / "Demo_Development_Provisioning.mobileprovision";
  std::ofstream(certificate) << "x";
  std::ofstream(profile) << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kMovieFolder, platform::ToWindowsForm(movies.string() + "/"));
  SetSetting(keys::kMovieBaseName, u"Demo");
  SetSetting(keys::kIpaOption, u"adhoc");
  SetSetting(keys::kIncludedCount, u"2");
  SetSetting(IncludedItemKey(0), u"assets/level1.dat");
  SetSetting(IncludedItemKey(1), u"sounds");
  WriteRegistryList(u"IpaCertPath", 10, {platform::ToWindowsForm(certificate.string())});
  WriteRegistryList(u"MobileProvisionFiles", 10, {platform::ToWindowsForm(profile.string())});
  ASSERT_EQ(InitDescriptorParser(MovieDescriptor()), 0);
  ASSERT_EQ(ParseDescriptor(MovieDescriptor(), platform::ToWindowsForm((movies / "Demo-app.xml").string())), kParsed);

  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaGeneralPage);
  std::vector<std::string> seen;
  DialogDriver driver({
      {"Settings", "settings-iphone-general.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"iPhone 设置")) seen.push_back("title");
         if (auto* list = Find<wxListBox>(dialog, "included"); list != nullptr && list->GetCount() == 4) {
           seen.push_back("included");
         }
         if (auto* rendering = Find<wxChoice>(dialog, "rendering"); rendering && rendering->GetStringSelection() == "GPU") {
           seen.push_back("GPU");
         }
         if (auto* book = dynamic_cast<wxPropertySheetDialog*>(dialog)) book->GetBookCtrl()->SetSelection(1);
       }},
      {"Settings", "settings-iphone-deployment.png",
       [&](wxDialog* dialog) {
         auto* certificate = Find<wxComboBox>(dialog, "certpath");
         if (certificate != nullptr && certificate->GetCount() == 1) seen.push_back("certificate");
         if (auto* adhoc = Find<wxRadioButton>(dialog, "adhoc"); adhoc != nullptr && adhoc->GetValue()) {
           seen.push_back("adhoc");
         }
         if (auto* store = Find<wxRadioButton>(dialog, "store")) {
           store->SetValue(true);
           wxCommandEvent radio(wxEVT_RADIOBUTTON, store->GetId());
           radio.SetEventObject(store);
           store->ProcessWindowEvent(radio);
         }
         Click(dialog, "Cancel");
       },
       [](wxDialog* dialog) {
         if (auto* password = Find<wxTextCtrl>(dialog, "password")) password->SetValue("secret");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"title", "included", "GPU", "certificate", "adhoc"}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage);
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store") << "the radio button stores the type at once";
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-iphone-general.png");
  ExpectScreenshot("settings-iphone-deployment.png");
  ReleaseDescriptor(MovieDescriptor());
  SetSetting(keys::kPubIpa, u"");
  InstallUi(nullptr);
}

}  // namespace
}  // namespace zaro::wxui
