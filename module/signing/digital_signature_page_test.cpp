#include "signing/digital_signature_page.h"

#include <gtest/gtest.h>

#include "signing/signature_password_dialog.h"
#include "signing/signing_test_support.h"

namespace zaro {
namespace {

using testing_support::SetAndPress;
using testing_support::SigningTest;

const std::u16string kChooseCertificate = u"必须选择证书";
const std::u16string kCertificateMissing = u"指定的证书不存在。";
const std::u16string kPasswordEmpty = u"密码为空。 请输入密码。";

class SignaturePageTest : public SigningTest {
 protected:
  // A page as the sheet shows it: filled from the stored values.
  std::unique_ptr<CDigitalSigDlg> OpenPage() {
    auto page = std::make_unique<CDigitalSigDlg>();
    page->Activate();
    return page;
  }
  bool Enabled(const CDigitalSigDlg& page, std::string_view name) {
    const FormField* field = page.FindField(name);
    return field != nullptr && field->enabled;
  }
};

TEST_F(SignaturePageTest, PrepareModeOpensOnTheSecondRadioWithSigningControlsOff) {
  WriteRegistryValue(u"DigitalSign", u"prepare");
  SetSetting(keys::kTimestamp, u"false");
  auto page = OpenPage();
  EXPECT_TRUE(page->Opened());
  EXPECT_EQ(page->RadioIndex(), 1);
  EXPECT_TRUE(page->Checked("timestamp")) << "prepare checks the time stamp whatever is stored";
  for (std::string_view control : {"certpath", "password", "rempwd", "timestamp"}) {
    EXPECT_FALSE(Enabled(*page, control)) << control;
    EXPECT_FALSE(page->SetField(control, u"true")) << control << " cannot be set while disabled";
  }
  EXPECT_FALSE(page->Press("browse"));
  EXPECT_TRUE(page->Press("moreinfo"));
  EXPECT_FALSE(page->Changed());
}

TEST_F(SignaturePageTest, InitialisationFillsStoredCertificatesAndCredentials) {
  const std::u16string a = MakeFile("keys/a.p12");
  const std::u16string b = MakeFile("keys/b.pfx");
  WriteRegistryList(u"CertPath", 10, {b, WindowsForm(root_ / "keys/gone.p12"), a, u""});
  WriteRegistryValue(u"Last Selected Cert", Slashes(b));
  SetSetting(keys::kRememberPassword, u"true");
  SetSetting(keys::kCertPassword, u"secret");

  auto page = OpenPage();
  EXPECT_EQ(page->RadioIndex(), 0);
  const FormField* box = page->FindField("certpath");
  EXPECT_EQ(box->items, (std::vector<std::u16string>{a, b})) << "existing files only, sorted";
  EXPECT_EQ(box->text, b) << "the last selected certificate, found with \"\\\" separators";
  EXPECT_TRUE(page->Checked("rempwd"));
  EXPECT_EQ(page->Text("password"), u"secret");
  EXPECT_TRUE(page->Checked("timestamp")) << "an empty time-stamp setting counts as on";
  EXPECT_TRUE(Enabled(*page, "certpath"));
  EXPECT_GT(page->DropDownWidth(), Ui().MeasureTextWidth(b));

  WriteRegistryValue(u"Last Selected Cert", u"/somewhere/else.p12");
  SetSetting(keys::kRememberPassword, u"");
  SetSetting(keys::kTimestamp, u"false");
  page = OpenPage();
  EXPECT_EQ(page->Text("certpath"), a) << "an unknown last certificate selects the first entry";
  EXPECT_EQ(page->Text("password"), u"") << "a password not remembered is not shown";
  EXPECT_FALSE(page->Checked("rempwd"));
  EXPECT_FALSE(page->Checked("timestamp"));
}

TEST_F(SignaturePageTest, RadioButtonsSwitchTheSigningControlsAndMarkTheChange) {
  const std::u16string a = MakeFile("keys/a.p12");
  auto page = OpenPage();
  EXPECT_EQ(page->Text("certpath"), u"") << "no recent certificates yet";
  ASSERT_TRUE(page->SetField("prepare", u"true"));
  EXPECT_EQ(page->RadioIndex(), 1);
  EXPECT_FALSE(Enabled(*page, "password"));
  EXPECT_TRUE(page->Changed());
  EXPECT_FALSE(page->SetField("prepare", u"false")) << "a radio button is not switched off directly";

  WriteRegistryList(u"CertPath", 10, {a});
  ASSERT_TRUE(page->SetField("usecert", u"true"));
  EXPECT_EQ(page->RadioIndex(), 0);
  EXPECT_EQ(page->Text("certpath"), a) << "the recent list is read again and its first entry selected";
  EXPECT_TRUE(Enabled(*page, "password"));
  EXPECT_TRUE(page->SetField("prepare", u"false")) << "already off";

  // The time-stamp box is stored at once.
  ASSERT_TRUE(page->SetField("timestamp", u"false"));
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"false");
  ASSERT_TRUE(page->SetField("timestamp", u"true"));
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"true");
}

TEST_F(SignaturePageTest, BrowsingTwiceForTheSameFileKeepsOneEntry) {
  const std::u16string a = MakeFile("keys/a.p12");
  auto page = OpenPage();
  ui_->QueueFile(a);
  ui_->QueueFile(a);
  ui_->QueueFile(std::nullopt);
  ASSERT_TRUE(page->Press("browse"));
  ASSERT_TRUE(page->Press("browse"));
  ASSERT_TRUE(page->Press("browse"));
  EXPECT_EQ(page->FindField("certpath")->items, std::vector<std::u16string>{a});
  EXPECT_EQ(page->Text("certpath"), a) << "a cancelled dialog changes nothing";
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(SignaturePageTest, CommitWithMessagesRefusesAndFillsThePageAgain) {
  const std::u16string a = MakeFile("keys/a.p12");
  {
    auto page = OpenPage();
    EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kMissing);
    EXPECT_EQ(LastMessage()->text, kChooseCertificate);
    EXPECT_EQ(LastMessage()->style, 48u);
    EXPECT_EQ(Registry(u"DigitalSign"), u"sign") << "the mode is written before the checks";
  }
  {
    WriteRegistryList(u"CertPath", 10, {a});
    auto page = OpenPage();
    ASSERT_TRUE(page->SetField("certpath", u"\\no\\such.p12"));
    ASSERT_TRUE(page->SetField("password", u"typed"));
    EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kCertificateGone);
    EXPECT_EQ(LastMessage()->text, kCertificateMissing);
    EXPECT_EQ(page->Text("certpath"), a) << "filled again from the stored values";
    EXPECT_EQ(GetSetting(keys::kCertPath), u"") << "nothing stored";
  }
  {
    auto page = OpenPage();
    EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kMissing);
    EXPECT_EQ(LastMessage()->text, kPasswordEmpty);
    EXPECT_EQ(GetSetting(keys::kCertPath), Slashes(a)) << "the certificate is stored before the password check";
    EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
  }
  EXPECT_EQ(Messages().size(), 3u);
}

TEST_F(SignaturePageTest, CommitWithoutMessagesStoresWhatItHas) {
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("rempwd", u"true"));
  EXPECT_EQ(page->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
  EXPECT_EQ(Registry(u"Last Selected Cert"), u"");
  EXPECT_TRUE(RegistryList(u"CertPath").empty()) << "an empty list writes nothing";
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"true");
  EXPECT_EQ(GetSetting(keys::kRememberPassword), u"true");

  ASSERT_TRUE(page->SetField("certpath", u"\\no\\such.p12"));
  EXPECT_EQ(page->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"/no/such.p12") << "a missing file is stored too";
}

TEST_F(SignaturePageTest, AcceptedCommitStoresSettingsAndRecentList) {
  const std::u16string old = MakeFile("keys/old.p12");
  WriteRegistryList(u"CertPath", 10, {old});
  const std::u16string a = MakeFile("keys/a.p12");
  auto page = OpenPage();
  ui_->QueueFile(a);
  ASSERT_TRUE(page->Press("browse"));
  ASSERT_TRUE(page->SetField("password", u"pw"));
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(Registry(u"DigitalSign"), u"sign");
  EXPECT_EQ(GetSetting(keys::kCertPath), Slashes(a));
  EXPECT_EQ(Registry(u"Last Selected Cert"), Slashes(a));
  EXPECT_EQ(RegistryList(u"CertPath"), (std::vector<std::u16string>{old, a})) << "stored entries do not move";
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"pw");
  EXPECT_EQ(GetSetting(keys::kRememberPassword), u"false");
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"true");

  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(RegistryList(u"CertPath").size(), 2u) << "a path already stored is not written again";
}

TEST_F(SignaturePageTest, ATypedCertificateIsOfferedAgainByTheNextPage) {
  const std::u16string first = MakeFile("keys/a.p12");
  const std::u16string second = MakeFile("keys/z.p12");
  // Typed once as the system writes it, once with "/".
  for (const std::u16string& typed : {first, Slashes(second)}) {
    auto page = OpenPage();
    ASSERT_TRUE(page->SetField("certpath", typed));
    ASSERT_TRUE(page->SetField("password", u"pw"));
    EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  }
  auto next = OpenPage();
  EXPECT_EQ(next->FindField("certpath")->items, (std::vector<std::u16string>{first, second}))
      << "typed paths are listed in the form browsed ones have, once each";
  EXPECT_EQ(next->Text("certpath"), second) << "the last certificate, not the first entry";
  EXPECT_EQ(next->CommitSignaturePage(false), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kCertPath), Slashes(second)) << "a later OK keeps the certificate";
}

TEST_F(SignaturePageTest, DisablingTheTimeStampAsksAndNoKeepsItOn) {
  const std::u16string a = MakeFile("keys/a.p12");
  WriteRegistryList(u"CertPath", 10, {a});
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("password", u"pw"));
  ASSERT_TRUE(page->SetField("timestamp", u"false"));
  ui_->QueueButton(kIdNo);
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  ASSERT_NE(LastMessage(), nullptr);
  EXPECT_EQ(LastMessage()->style, 308u);
  EXPECT_EQ(LastMessage()->text, LoadMessage(8053));
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"true");
  EXPECT_FALSE(page->Checked("timestamp")) << "the box stays as the author left it";
  EXPECT_TRUE(OpenPage()->Checked("timestamp")) << "the next initialisation checks it again";

  ui_->QueueButton(kIdYes);
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(GetSetting(keys::kTimestamp), u"false");
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(SignaturePageTest, PrepareCommitStoresOnlyTheModeAndRememberFlag) {
  SetSetting(keys::kCertPath, u"/kept.p12");
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("rempwd", u"true"));
  ASSERT_TRUE(page->SetField("prepare", u"true"));
  EXPECT_EQ(page->CommitSignaturePage(true), CDigitalSigDlg::kAccepted);
  EXPECT_EQ(Registry(u"DigitalSign"), u"prepare");
  EXPECT_EQ(GetSetting(keys::kCertPath), u"/kept.p12");
  EXPECT_EQ(GetSetting(keys::kRememberPassword), u"true");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SignaturePageTest, PasswordPromptAcceptsAnEmptyPasswordAndCancelChangesNothing) {
  SetSetting(keys::kCertPassword, u"before");
  {
    CSignaturePasswordDlg prompt;
    EXPECT_EQ(prompt.Title(), u"数字签名密码");
    ui_->QueueForm("SignaturePassword", {SetAndPress({{"password", u"typed"}}, "Cancel")});
    EXPECT_EQ(Ui().RunModal(prompt), kIdCancel);
    EXPECT_EQ(GetSetting(keys::kCertPassword), u"before");
    EXPECT_EQ(GetSetting(keys::kRememberPassword), u"");
  }
  {
    CSignaturePasswordDlg prompt;
    ui_->QueueForm("SignaturePassword", {SetAndPress({{"remember", u"true"}}, "OK")});
    EXPECT_EQ(Ui().RunModal(prompt), kIdOk);
    EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
    EXPECT_EQ(GetSetting(keys::kRememberPassword), u"true");
  }
  EXPECT_EQ(ui_->Failures(), 0);
}

}  // namespace
}  // namespace zaro
