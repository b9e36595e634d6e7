// The wx views on a real X server: a private Xvfb, dialogs driven from timers, and
// screenshots of each dialog saved as PNG files.
#include "ui/wx/wx_gui_test_support.h"

namespace zaro::wxui {
namespace {

namespace fs = std::filesystem;
using namespace gui_testing;

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

TEST_F(WxGui, MessageBoxesShowTheirStyle) {
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
  CTimestampRetryDlg retry;
  DialogDriver driver(
      {{"CTimestampRetryDlg", "timestamp-retry.png", [](wxDialog* dialog) { Click(dialog, "DisableTimestamp"); }}});
  EXPECT_EQ(ui_->RunModal(retry), CTimestampRetryDlg::kDisableTimestamp);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("timestamp-retry.png");
}

TEST_F(WxGui, EscapePressesTheFormsCancel) {
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

}  // namespace
}  // namespace zaro::wxui
