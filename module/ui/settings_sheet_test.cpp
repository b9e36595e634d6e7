#include "ui/settings_sheet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "testing/profile_maker.h"
#include "ui/ipa_deploy_page.h"
#include "ui/ipa_settings_page.h"
#include "ui/page_test_support.h"
#include "ui/progress_dialog.h"
#include "ui/timestamp_retry_dialog.h"

namespace zaro {
namespace {

using namespace testing_support;
using Packaged = std::vector<std::pair<PackageTarget, bool>>;
using Items = std::vector<std::u16string>;

// A page standing in for one this build does not have yet: it records its commits,
// answers them with `result`, and counts as changed once its field is set.
class StandInPage : public PageState {
 public:
  StandInPage(std::string name, int result) : name_(std::move(name)), result(result) {
    AddField(MakeField("value", FieldKind::Text, u"value:"));
  }
  std::string FormName() const override { return name_; }
  std::u16string Caption() const override { return FromUtf8(name_); }
  int CommitFromSheet(bool showMessages) override { return commits.push_back(showMessages), result; }

  std::string name_;
  int result;
  std::vector<bool> commits;

 protected:
  void OnInitPage() override {}
  void OnButton(std::string_view) override {}
  void OnFieldChanged(std::string_view) override { SetChanged(); }
};

class SettingsSheetTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    SetSetting(keys::kExitOk, u"unset");
  }

  SheetServices Recording() {
    return {[this](PackageTarget target, bool exportFirst) { return packaged.emplace_back(target, exportFirst), 1; },
            [this] { return javaFolder; }};
  }

  // A sheet whose only real page is the Signature page (the General slot left empty).
  std::unique_ptr<CSettingsPropSheet> SignatureOnlySheet(int initialPage) {
    auto sheet = std::make_unique<CSettingsPropSheet>(initialPage, Recording());
    sheet->SetPage(CSettingsPropSheet::kGeneralPage, nullptr);
    return sheet;
  }

  // Puts a stand-in page into a slot and returns it.
  static StandInPage* StandIn(CSettingsPropSheet& sheet, int index, const std::string& name, int result = 0) {
    sheet.SetPage(index, std::make_unique<StandInPage>(name, result));
    return static_cast<StandInPage*>(sheet.Page(index));
  }

  Packaged packaged;
  std::u16string javaFolder = u"/jre";
};

TEST_F(SettingsSheetTest, DesktopSheetShowsItsPagesInTheirSlots) {
  CSettingsPropSheet sheet(1, Recording());
  EXPECT_EQ(sheet.Title(), u"应用程序和安装程序设置");
  std::vector<std::u16string> captions;
  for (int index = 0; index < sheet.PageSlots(); ++index) captions.push_back(sheet.Page(index)->Caption());
  EXPECT_EQ(captions, (Items{u"常规", u"签名", u"图标", u"高级"}));
  EXPECT_EQ(sheet.FindButton("Publish")->label, u"发布");

  sheet.OnShow();
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage);
  EXPECT_EQ(sheet.GetField("page").value_or(u""), u"Signature");
  EXPECT_EQ(sheet.FindField("page")->items, (Items{u"General", u"Signature", u"Icons", u"Advanced"}));
  EXPECT_THAT(sheet.FieldNames(),
              ::testing::IsSupersetOf({"page", "Signature.certpath", "General.appid", "Icons.size"}));
  EXPECT_EQ(sheet.GetField("Signature.usecert").value_or(u""), u"true");
  EXPECT_FALSE(sheet.GetField("General.value").has_value());
  EXPECT_FALSE(sheet.SetField("page", u"Nonexistent"));

  auto withoutGeneral = SignatureOnlySheet(0);
  withoutGeneral->OnShow();
  EXPECT_EQ(withoutGeneral->ActivePage(), CSettingsPropSheet::kSignaturePage) << "the first page present";
}

TEST_F(SettingsSheetTest, InitialPageAndPageFieldsOpenOnlyThePagesShown) {
  CSettingsPropSheet sheet(1, Recording());
  StandInPage* general = StandIn(sheet, CSettingsPropSheet::kGeneralPage, "General");
  StandInPage* icons = StandIn(sheet, CSettingsPropSheet::kIconsPage, "Icons");
  sheet.OnShow();
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage) << "opened by Publish on the signing page";
  EXPECT_TRUE(sheet.GetField("General.value").has_value());
  EXPECT_FALSE(general->Opened()) << "reading a field does not open its page";
  ASSERT_TRUE(sheet.SetField("General.value", u"x"));
  EXPECT_TRUE(general->Opened());
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kGeneralPage);
  ASSERT_TRUE(sheet.SetField("page", u"Icons"));
  EXPECT_TRUE(icons->Opened());
  EXPECT_FALSE(icons->Changed());
}

TEST_F(SettingsSheetTest, OkKeepsDocumentSettingsOnlyWhenACountedPageChanged) {
  for (const bool prepare : {false, true}) {  // an untouched Signature page, then a changed one
    auto sheet = SignatureOnlySheet(0);
    sheet->OnShow();
    ASSERT_TRUE(!prepare || sheet->SetField("Signature.prepare", u"true"));
    ASSERT_TRUE(sheet->Press("OK"));
    EXPECT_TRUE(sheet->IsClosed());
    EXPECT_EQ(sheet->Result(), kIdOk);
    EXPECT_EQ(GetSetting(keys::kExitOk), prepare ? u"true" : u"false");
    EXPECT_EQ(Registry(u"DigitalSign"), prepare ? u"prepare" : u"sign") << "committed with messages off";
    EXPECT_TRUE(Messages().empty());
  }
  // Only the changed page opened: the Icons page counts (it has no commit of its own), the
  // Advanced page's changes do not.
  const std::tuple<int, std::string, std::u16string, std::vector<bool>> onlyOpened[] = {
      {CSettingsPropSheet::kIconsPage, "Icons", u"true", {}},
      {CSettingsPropSheet::kAdvancedPage, "Advanced", u"false", {true}}};
  for (const auto& [slot, name, exitOk, commits] : onlyOpened) {
    WriteRegistryValue(u"DigitalSign", u"sign");
    auto sheet = SignatureOnlySheet(slot);
    StandInPage* page = StandIn(*sheet, slot, name);
    sheet->OnShow();
    ASSERT_TRUE(sheet->SetField(name + ".value", u"changed"));
    ASSERT_TRUE(sheet->Press("OK"));
    EXPECT_EQ(GetSetting(keys::kExitOk), exitOk) << name;
    EXPECT_EQ(page->commits, commits) << name;
    EXPECT_FALSE(sheet->Page(CSettingsPropSheet::kSignaturePage)->Opened()) << name;
  }
}

TEST_F(SettingsSheetTest, RefusingPagesKeepTheSheetOpenAndCancelKeepsNothing) {
  WriteRegistryValue(u"DigitalSign", u"prepare");
  CSettingsPropSheet refusing(CSettingsPropSheet::kAdvancedPage, Recording());
  StandIn(refusing, CSettingsPropSheet::kAdvancedPage, "Advanced", 1);
  StandIn(refusing, CSettingsPropSheet::kIconsPage, "Icons");
  refusing.OnShow();
  ASSERT_TRUE(refusing.Press("OK"));
  EXPECT_FALSE(refusing.IsClosed());
  ASSERT_TRUE(refusing.SetField("page", u"Icons"));
  ASSERT_TRUE(refusing.Press("Publish"));
  EXPECT_EQ(refusing.ActivePage(), CSettingsPropSheet::kAdvancedPage) << "Publish brings the refusing page forward";
  EXPECT_TRUE(packaged.empty());

  CSettingsPropSheet second(CSettingsPropSheet::kGeneralPage, Recording());
  StandInPage* general = StandIn(second, CSettingsPropSheet::kGeneralPage, "General", 1);
  second.OnShow();
  ASSERT_TRUE(second.Press("OK"));
  EXPECT_FALSE(second.IsClosed());
  general->result = 0;
  ASSERT_TRUE(second.Press("OK"));
  EXPECT_TRUE(second.IsClosed());
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false");
  SetSetting(keys::kExitOk, u"unset");

  CSettingsPropSheet cancelled(0, Recording());
  cancelled.OnShow();
  ASSERT_TRUE(cancelled.SetField("Signature.prepare", u"true"));
  ASSERT_TRUE(cancelled.Press("Cancel"));
  EXPECT_EQ(cancelled.Result(), kIdCancel);
  EXPECT_EQ(GetSetting(keys::kExitOk), u"unset");
  EXPECT_EQ(Registry(u"DigitalSign"), u"prepare") << "nothing committed";
}

TEST_F(SettingsSheetTest, HelpShowsTheSystemCaptionAndOpensTheTargetsLink) {
  const std::pair<const char16_t*, std::u16string> captions[] = {{nullptr, u"帮助"}, {u"?", u"Aiuto"}, {u"Help?", u"Help?"}};
  for (const auto& [system, shown] : captions) {
    CSettingsPropSheet sheet(0, Recording());
    if (system != nullptr) sheet.SetSystemHelpCaption(system);
    sheet.OnShow();
    EXPECT_EQ(sheet.FindButton("Help")->label, shown);
  }
  CSettingsPropSheet desktop(0, Recording());
  ASSERT_TRUE(desktop.Press("Help"));
  EXPECT_EQ(ui_->Events().back().text, u"https://help.corvane.example/go/learn_zaro_using_tessel_kv5_cn");
  SetSetting(keys::kPubIpa, u"true");
  CSettingsPropSheet iphone(0, Recording());
  EXPECT_EQ(iphone.Title(), u"iPhone 设置");
  ASSERT_TRUE(iphone.Press("Help"));
  EXPECT_EQ(ui_->Events().back().text, u"https://help.corvane.example/go/learn_mpk_tessel_cn");
}

TEST_F(SettingsSheetTest, PublishNeedsAJavaRuntimeAndPreparingBuildsTheIntermediateFileOnly) {
  WriteRegistryValue(u"DigitalSign", u"prepare");
  SetSetting(keys::kPubExe, u"true");
  javaFolder.clear();
  CSettingsPropSheet sheet(0, Recording());
  StandInPage* general = StandIn(sheet, CSettingsPropSheet::kGeneralPage, "General");
  sheet.OnShow();
  ASSERT_TRUE(sheet.Press("Publish"));
  ASSERT_EQ(Messages(), Items{u"无法找到 JVM 路径。"});
  EXPECT_EQ(LastMessage()->style, 48u);
  EXPECT_TRUE(packaged.empty());
  EXPECT_TRUE(general->commits.empty()) << "no page was committed";

  javaFolder = u"/jre";
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(packaged, (Packaged{{DesktopPackage, true}})) << "no installer without signing";
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(ui_->Failures(), 0) << "no prompt";
  EXPECT_FALSE(sheet.IsClosed());
  EXPECT_EQ(GetSetting(keys::kExitOk), u"unset") << "Publish never decides what is saved";
}

TEST_F(SettingsSheetTest, PublishSigningCommitsThePagesAndBuildsPackageAndInstaller) {
  SetSetting(keys::kPubExe, u"true");
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage, Recording());
  StandInPage* general = StandIn(sheet, CSettingsPropSheet::kGeneralPage, "General");
  sheet.OnShow();
  ASSERT_EQ(sheet.ActivePage(), CSettingsPropSheet::kGeneralPage);
  Set(sheet, {{"Signature.certpath", MakeFile("keys/a.p12")}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), Items{u"密码为空。 请输入密码。"});
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage) << "the refusing page stays in front";
  EXPECT_TRUE(packaged.empty());

  general->commits.clear();
  Set(sheet, {{"Signature.password", u"pw"}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(packaged, (Packaged{{DesktopPackage, true}, {NativeInstaller, false}}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kGeneralPage) << "the page in front comes back";
  EXPECT_EQ(general->commits, (std::vector<bool>{true, true})) << "committed before each package";
  EXPECT_EQ(Messages().size(), 1u) << "no box the second time";
}

// Packaging forgets a password the author did not ask to remember; the installer that
// follows must still be signed with the one on the page.
TEST_F(SettingsSheetTest, TheInstallerGetsThePasswordTheFirstPackageForgot) {
  SetSetting(keys::kPubExe, u"true");
  std::vector<std::u16string> passwordsSeen;
  SheetServices services = Recording();
  services.package = [&passwordsSeen](PackageTarget, bool) {
    passwordsSeen.push_back(GetSetting(keys::kCertPassword));
    if (!SettingIsTrue(keys::kRememberPassword)) RemoveSetting(keys::kCertPassword);
    return 1;
  };
  CSettingsPropSheet sheet(CSettingsPropSheet::kSignaturePage, std::move(services));
  sheet.OnShow();
  Set(sheet,
      {{"Signature.certpath", MakeFile("keys/a.p12")}, {"Signature.password", u"pw"}, {"Signature.rempwd", u"false"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(passwordsSeen, (Items{u"pw", u"pw"}));
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"") << "and it is forgotten again afterwards";
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SettingsSheetTest, PublishSigningWithoutKnownPasswordPrompts) {
  // A Signature page that accepts without storing a password.
  WriteRegistryValue(u"DigitalSign", u"sign");
  SetSetting(keys::kCertPath, u"/keys/a.p12");
  // Publish, answer the password prompt, then close the sheet with `close`.
  const auto publish = [&](FormStep prompt, const char* close) {
    auto sheet = SignatureOnlySheet(0);
    StandIn(*sheet, CSettingsPropSheet::kSignaturePage, "Signature");
    ui_->QueueForm("Settings", {PressStep("Publish"), PressStep(close)});
    ui_->QueueForm("SignaturePassword", {std::move(prompt)});
    return Ui().RunModal(*sheet);
  };
  EXPECT_EQ(publish(SetAndPress({{"password", u"typed"}}, "Cancel"), "Cancel"), kIdCancel);
  EXPECT_TRUE(packaged.empty()) << "Cancel at the prompt builds nothing";
  EXPECT_EQ(publish(PressStep("OK"), "OK"), kIdOk);
  EXPECT_EQ(packaged, (Packaged{{DesktopPackage, true}})) << "an empty password is accepted";
  EXPECT_EQ(ui_->Failures(), 0);

  packaged.clear();
  SetSetting(keys::kCertPath, u"");
  auto sheet = SignatureOnlySheet(CSettingsPropSheet::kIconsPage);
  StandIn(*sheet, CSettingsPropSheet::kSignaturePage, "Signature");
  StandIn(*sheet, CSettingsPropSheet::kIconsPage, "Icons");
  sheet->OnShow();
  ASSERT_TRUE(sheet->Press("Publish"));
  EXPECT_TRUE(packaged.empty());
  EXPECT_EQ(sheet->ActivePage(), CSettingsPropSheet::kSignaturePage) << "no certificate: the Signature page";
}

TEST_F(SettingsSheetTest, PublishForIphoneNeedsThePackager) {
  SetSetting(keys::kPubIpa, u"true");
  CSettingsPropSheet sheet(1, Recording());
  StandIn(sheet, CSettingsPropSheet::kDeploymentPage, "Deployment");
  sheet.OnShow();
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), Items{LoadMessage(8088)});
  EXPECT_EQ(LastMessage()->style, 64u);
  EXPECT_TRUE(packaged.empty());
}

TEST_F(SettingsSheetTest, OpenSettingsSheetNeedsAParsedDescriptor) {
  std::ofstream(DescriptorFile()) << "<application><broken";
  EXPECT_EQ(OpenSettingsSheet(1), 0);
  for (const UiEvent& event : ui_->Events()) EXPECT_NE(event.kind, "form") << "no sheet was shown";
  EXPECT_EQ(Messages().size(), 1u) << "the descriptor's own message";

  std::ofstream(DescriptorFile(), std::ios::trunc) << kIphoneDescriptor;
  ui_->QueueForm("Settings", {PressStep("Cancel")});
  EXPECT_EQ(OpenSettingsSheet(1), 1);
  EXPECT_EQ(ui_->Events().back().kind, "form");
  EXPECT_EQ(ui_->Events().back().text, u"Settings");
  EXPECT_EQ(ui_->Failures(), 0);
}

// The movie published for the iPhone. The sheet with the iPhone pages: OK commits them
// without messages, 发布 commits them with messages and packages.
class IpaSheetTest : public SettingsSheetTest {
 protected:
  void SetUp() override {
    SettingsSheetTest::SetUp();
    UseIphone();
  }
  const std::u16string cert_ = MakeFile("keys/dev.p12");
  const std::u16string profile_ = MakeFile("keys/dev.mobileprovision");
};

TEST_F(IpaSheetTest, TheIphoneSheetShowsGeneralDeploymentAndIcons) {
  CSettingsPropSheet sheet(CSettingsPropSheet::kDeploymentPage, Recording());
  std::vector<std::u16string> captions;
  for (int index = 0; index < sheet.PageSlots(); ++index) captions.push_back(sheet.Page(index)->Caption());
  EXPECT_EQ(captions, (Items{u"常规", u"部署", u"图标"}));
  EXPECT_EQ(sheet.Page(CSettingsPropSheet::kIpaIconsPage)->FormName(), "Icons");
  sheet.OnShow();
  EXPECT_EQ(sheet.GetField("page").value_or(u""), u"Deployment");
  EXPECT_FALSE(sheet.Page(CSettingsPropSheet::kIpaGeneralPage)->Opened());
  EXPECT_EQ(sheet.GetField("General.destination").value_or(u"?"), u"") << "reading does not fill a page";
  ASSERT_TRUE(sheet.SetField("page", u"General"));
  EXPECT_EQ(sheet.GetField("General.destination").value_or(u""), u"Demo.ipa");
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 57x57"));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kIpaIconsPage);
}

TEST_F(IpaSheetTest, OkCommitsDeploymentQuietlyThenGeneral) {
  CSettingsPropSheet sheet(0, Recording());
  sheet.OnShow();
  Set(sheet, {{"General.version", u"2.0"}, {"Deployment.certpath", WindowsForm(root_ / "keys/typed.p12")}});
  ASSERT_TRUE(sheet.Press("OK"));
  EXPECT_TRUE(sheet.IsClosed());
  EXPECT_TRUE(Messages().empty()) << "OK commits the Deployment page without messages";
  EXPECT_EQ(GetSetting(keys::kExitOk), u"true");
  EXPECT_EQ(GetSetting(keys::kIpaCertPath), Slashes(WindowsForm(root_ / "keys/typed.p12")));
  EXPECT_NE(SavedDescriptor().find("<version>2.0</version>"), std::string::npos);

  SetSetting(keys::kExitOk, u"unset");
  CSettingsPropSheet untouched(0, Recording());
  untouched.OnShow();
  ASSERT_TRUE(untouched.Press("OK"));
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false") << "an opened but unchanged General page";
}

TEST_F(IpaSheetTest, PublishCommitsInFrontAndPackagesTheIpa) {
  CSettingsPropSheet sheet(0, Recording());
  sheet.OnShow();
  Set(sheet, {{"Deployment.certpath", cert_}, {"Deployment.password", u""}, {"Deployment.profile", profile_},
              {"page", u"General"}, {"General.version", u"3.0"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), Items{u"密码为空。 请输入密码。"});
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage) << "the refusing page stays in front";
  EXPECT_TRUE(packaged.empty());
  EXPECT_EQ(SavedDescriptor().find("3.0"), std::string::npos) << "General is not committed after a refusal";

  Set(sheet, {{"Deployment.password", u"pw"}, {"Deployment.profile", profile_}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(packaged, (Packaged{{IphonePackage, true}}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kIpaGeneralPage) << "the page in front before comes back";
  EXPECT_NE(SavedDescriptor().find("<version>3.0</version>"), std::string::npos);
  EXPECT_FALSE(sheet.IsClosed());
}

TEST_F(IpaSheetTest, PublishAfterOkStoredAMissingCertificateNamesTheFile) {
  const std::u16string typed = WindowsForm(root_ / "keys/typed.p12");
  CSettingsPropSheet first(CSettingsPropSheet::kDeploymentPage, Recording());
  first.OnShow();
  Set(first, {{"Deployment.certpath", typed}, {"Deployment.password", u"pw"}, {"Deployment.profile", profile_}});
  ASSERT_TRUE(first.Press("OK"));
  CSettingsPropSheet sheet(CSettingsPropSheet::kDeploymentPage, Recording());
  sheet.OnShow();
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), Items{u"指定的证书不存在。\n" + typed});
  EXPECT_TRUE(packaged.empty());
}


// The iPhone General and Deployment pages on their own.
TEST(ProgressDialog, ClosesOnceTheRunHasEndedAndOffersItsWakeSignalWhileOpen) {
  std::atomic<unsigned char> flag{0};
  WakeSignal ended;
  CProgressDlg dialog;
  EXPECT_EQ(dialog.GetLabel("status").value_or(u""), u"正在发布...") << "the words a view shows beside its bar";
  EXPECT_EQ(dialog.FindButton("Cancel")->label, u"取消");
  EXPECT_EQ(dialog.Title(), u"");
  EXPECT_EQ(dialog.Wakeup(), nullptr) << "without a run the timer alone ticks it";
  dialog.SetFlag(&flag, &ended);
  dialog.OnShow();
  EXPECT_EQ(dialog.Wakeup(), &ended);
  EXPECT_TRUE(dialog.MarqueeRunning());
  EXPECT_EQ(dialog.TimerIntervalMs(), 1000);
  dialog.OnTimer();
  EXPECT_FALSE(dialog.IsClosed());
  flag.store(1);
  dialog.OnTimer();
  EXPECT_TRUE(dialog.IsClosed());
  EXPECT_EQ(dialog.Result(), 0);
  EXPECT_FALSE(dialog.Cancelled());
  EXPECT_EQ(dialog.TimerIntervalMs(), 0) << "the timer stops with the dialog";
  EXPECT_EQ(dialog.Wakeup(), nullptr) << "a closed dialog is no longer woken";
}

TEST(ProgressDialog, CancelSetsTheFlagAndThenLetsGoOfIt) {
  std::atomic<unsigned char> flag{0};
  CProgressDlg dialog;
  dialog.SetFlag(&flag);
  dialog.OnShow();
  ASSERT_TRUE(dialog.Press("Cancel"));
  EXPECT_EQ(flag.load(), 1);
  EXPECT_TRUE(dialog.Cancelled());
  EXPECT_EQ(dialog.Result(), kIdCancel);
  EXPECT_FALSE(dialog.FindField("progress")->visible);
  EXPECT_FALSE(dialog.MarqueeRunning());
  flag.store(0);
  dialog.OnTimer();
  EXPECT_EQ(flag.load(), 0) << "a closed dialog no longer touches the job";
  EXPECT_EQ(dialog.Result(), kIdCancel);
}

TEST(TimestampRetryDialog, ButtonsGiveTheirResults) {
  const std::pair<const char*, int> buttons[] = {{"Retry", 1}, {"Cancel", 2}, {"DisableTimestamp", 12}};
  for (const auto& [button, result] : buttons) {
    CTimestampRetryDlg dialog;
    ASSERT_TRUE(dialog.Press(button));
    EXPECT_TRUE(dialog.IsClosed());
    EXPECT_EQ(dialog.Result(), result) << button;
  }
  CTimestampRetryDlg dialog;
  EXPECT_EQ(dialog.Title(), u"Corvane Tessel KV5");
  EXPECT_EQ(dialog.FindField("message")->label,
            u"连接到时间戳服务器时出错。您可能没有连接到网络，或者服务器本身可能存在问题。");
  EXPECT_EQ(dialog.FindField("warning")->label, u"如果您选择禁用时间戳，则在数字证书过期时 ZARO 应用程序将无法安装。");
  EXPECT_EQ(dialog.FindButton("DisableTimestamp")->label, u"禁用时间戳");
  EXPECT_EQ(dialog.FindButton("Retry")->label, u"重试");
  EXPECT_TRUE(dialog.FindButton("Retry")->isDefault);
  EXPECT_EQ(dialog.FindButton("Cancel")->label, u"取消");
}

}  // namespace
}  // namespace zaro