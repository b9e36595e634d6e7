// The wx views on a real X server: message boxes, the form view, the progress and small
// dialogs, help links and drop-downs, each driven from timers and photographed.
#include "ui/wx/wx_gui_test_support.h"

namespace zaro::wxui {
namespace {

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

}  // namespace
}  // namespace zaro::wxui
