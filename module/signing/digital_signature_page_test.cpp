#include "signing/digital_signature_page.h"

#include "signing/signature_password_dialog.h"
#include "signing/signing_test_support.h"

namespace zaro::testing_support {
namespace {
using Values = std::vector<std::u16string>;

// What the page shows: the radio choice (1: prepare), the certificate and the box's list,
// the password, the remember and time-stamp boxes, and whether signing controls are enabled.
using PageView = std::tuple<int, std::u16string, Values, std::u16string, bool, bool, bool>;

class SignaturePageTest : public SigningTest {
 protected:
  static std::unique_ptr<CDigitalSigDlg> OpenPage() {
    auto page = std::make_unique<CDigitalSigDlg>();
    page->Activate();
    return page;
  }
  static PageView View(const CDigitalSigDlg& page) {
    return {page.RadioIndex(),     page.Text("certpath"),   page.FindField("certpath")->items,
            page.Text("password"), page.Checked("rempwd"), page.Checked("timestamp"),
            page.FindField("password")->enabled};
  }
  // The stored certificate, password, remember flag and time stamp, then the registry's mode and last certificate.
  static Values Stored() {
    return {GetSetting(keys::kCertPath),  GetSetting(keys::kCertPassword), GetSetting(keys::kRememberPassword),
            GetSetting(keys::kTimestamp), Registry(u"DigitalSign"),        Registry(u"Last Selected Cert")};
  }
};

// Opened in prepare mode, then switched both ways; the sheet tests see the prepare choice mark the change.
TEST_F(SignaturePageTest, RadioButtonsSwitchTheSigningControls) {
  WriteRegistryValue(u"DigitalSign", u"prepare");
  SetSetting(keys::kTimestamp, u"false");
  auto page = OpenPage();
  EXPECT_TRUE(page->Opened());
  EXPECT_EQ(View(*page), (PageView{1, u"", {}, u"", false, true, false})) << "prepare checks the time stamp";
  for (std::string_view control : {"certpath", "password", "rempwd", "timestamp"}) {
    EXPECT_FALSE(page->FindField(control)->enabled) << control;
    EXPECT_FALSE(page->SetField(control, u"true")) << control << " cannot be set while disabled";
  }
  EXPECT_FALSE(page->Press("browse"));
  EXPECT_TRUE(page->Press("moreinfo"));
  EXPECT_FALSE(page->Changed());

  const std::u16string a = MakeFile("keys/a.p12");
  WriteRegistryList(u"CertPath", 10, {a});
  ASSERT_TRUE(page->SetField("usecert", u"true"));
  EXPECT_EQ(View(*page), (PageView{0, a, {a}, u"", false, true, true})) << "the recent list is read again";
  EXPECT_TRUE(page->Changed());
  EXPECT_TRUE(page->SetField("prepare", u"false")) << "already off";
  for (const char16_t* checked : {u"false", u"true"}) {
    ASSERT_TRUE(page->SetField("timestamp", checked));
    EXPECT_EQ(GetSetting(keys::kTimestamp), checked) << "the time-stamp box is stored at once";
  }
  ASSERT_TRUE(page->SetField("prepare", u"true"));
  EXPECT_EQ(View(*page), (PageView{1, a, {a}, u"", false, true, false}));
  EXPECT_FALSE(page->SetField("prepare", u"false")) << "a radio button is not switched off directly";
}

TEST_F(SignaturePageTest, InitialisationFillsStoredCertificatesAndCredentials) {
  const std::u16string a = MakeFile("keys/a.p12"), b = MakeFile("keys/b.pfx");
  WriteRegistryList(u"CertPath", 10, {b, WindowsForm(root_ / "keys/gone.p12"), a, u""});
  WriteRegistryValue(u"Last Selected Cert", Slashes(b));
  SetSetting(keys::kRememberPassword, u"true");
  SetSetting(keys::kCertPassword, u"secret");
  // Existing files only, sorted; the last certificate is found with "\" separators; an empty time stamp counts as on.
  auto page = OpenPage();
  EXPECT_EQ(View(*page), (PageView{0, b, {a, b}, u"secret", true, true, true}));
  EXPECT_GT(page->DropDownWidth(), Ui().MeasureTextWidth(b));

  // An unknown last certificate selects the first entry; a password not remembered is not shown.
  WriteRegistryValue(u"Last Selected Cert", u"/somewhere/else.p12");
  SetSetting(keys::kRememberPassword, u"");
  SetSetting(keys::kTimestamp, u"false");
  EXPECT_EQ(View(*OpenPage()), (PageView{0, a, {a, b}, u"", false, false, true}));
}

TEST_F(SignaturePageTest, ABrowsedCertificateIsStoredWithTheRecentList) {
  const std::u16string old = MakeFile("keys/old.p12"), a = MakeFile("keys/a.p12");
  WriteRegistryList(u"CertPath", 10, {old});
  auto page = OpenPage();
  // Browsing twice for the same file keeps one entry; a cancelled dialog changes nothing.
  for (const auto& chosen : {std::optional(a), std::optional(a), std::optional<std::u16string>()}) {
    ui_->QueueFile(chosen);
    ASSERT_TRUE(page->Press("browse"));
  }
  EXPECT_EQ(View(*page), (PageView{0, a, {a, old}, u"", false, true, true}));
  ASSERT_TRUE(page->SetField("password", u"pw"));
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(Stored(), (Values{Slashes(a), u"pw", u"false", u"true", u"sign", Slashes(a)}));
  EXPECT_EQ(RegistryList(u"CertPath"), (Values{old, a})) << "stored entries do not move";
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(RegistryList(u"CertPath").size(), 2u) << "a path already stored is not written again";
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(SignaturePageTest, CommitWithMessagesRefusesOrAsksAndTypedCertificatesAreOfferedAgain) {
  const std::u16string a = MakeFile("keys/a.p12"), second = MakeFile("keys/z.p12");
  EXPECT_EQ(OpenPage()->CommitSignaturePage(true), CDigitalSigDlg::kMissing);
  EXPECT_EQ(LastMessage()->style, 48u);
  EXPECT_EQ(Registry(u"DigitalSign"), u"sign") << "the mode is written before the checks";

  WriteRegistryList(u"CertPath", 10, {a});
  auto page = OpenPage();
  Set(*page, {{"certpath", u"\\no\\such.p12"}, {"password", u"typed"}});
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kCertificateGone);
  EXPECT_EQ(page->Text("certpath"), a) << "filled again from the stored values";
  EXPECT_EQ(GetSetting(keys::kCertPath), u"") << "nothing stored";

  EXPECT_EQ(OpenPage()->CommitSignaturePage(true), CDigitalSigDlg::kMissing);
  EXPECT_EQ(Stored(), (Values{Slashes(a), u"", u"", u"", u"sign", Slashes(a)}))
      << "the certificate is stored before the password check";
  EXPECT_EQ(Messages(), (Values{u"必须选择证书", u"指定的证书不存在。", u"密码为空。 请输入密码。"}));

  // Turning the time stamp off asks first, and No keeps it on (Yes is the end-to-end suite's case).
  page = OpenPage();
  Set(*page, {{"password", u"pw"}, {"timestamp", u"false"}});
  ui_->QueueButton(kIdNo);
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"true");
  EXPECT_FALSE(page->Checked("timestamp")) << "the box stays as the author left it";
  EXPECT_TRUE(OpenPage()->Checked("timestamp")) << "the next initialisation checks it again";
  EXPECT_EQ(ui_->Failures(), 0);

  // A typed certificate is offered again by the next page: typed as the system writes it, and with "/".
  for (const std::u16string& typed : {a, Slashes(second)}) {
    page = OpenPage();
    Set(*page, {{"certpath", typed}, {"password", u"pw"}});
    EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  }
  // Listed in the form browsed ones have, once each, and the last one, not the first entry.
  page = OpenPage();
  EXPECT_EQ(View(*page), (PageView{0, second, {a, second}, u"", false, true, true}));
  EXPECT_EQ(page->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kCertPath), Slashes(second)) << "a later OK keeps the certificate";
}

TEST_F(SignaturePageTest, PasswordPromptAndCommitWithoutMessagesStoreWhatTheyHave) {
  // The prompt accepts an empty password, and Cancel changes nothing.
  SetSetting(keys::kCertPassword, u"before");
  CSignaturePasswordDlg cancelled, accepted;
  EXPECT_EQ(cancelled.Title(), u"数字签名密码");
  ui_->QueueForm("SignaturePassword", {SetAndPress({{"password", u"typed"}}, "Cancel")});
  EXPECT_EQ(Ui().RunModal(cancelled), kIdCancel);
  EXPECT_EQ(Stored(), (Values{u"", u"before", u"", u"", u"", u""}));
  ui_->QueueForm("SignaturePassword", {SetAndPress({{"remember", u"true"}}, "OK")});
  EXPECT_EQ(Ui().RunModal(accepted), kIdOk);
  EXPECT_EQ(Stored(), (Values{u"", u"", u"true", u"", u"", u""}));
  EXPECT_EQ(ui_->Failures(), 0);

  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("rempwd", u"true"));
  EXPECT_EQ(page->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Stored(), (Values{u"", u"", u"true", u"true", u"sign", u""}));
  EXPECT_TRUE(RegistryList(u"CertPath").empty()) << "an empty list writes nothing";

  ASSERT_TRUE(page->SetField("certpath", u"\\no\\such.p12"));
  EXPECT_EQ(page->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"/no/such.p12") << "a missing file is stored too";
}

}  // namespace
}  // namespace zaro::testing_support
