#include "ui/settings_sheet.h"

#include <gtest/gtest.h>

#include <utility>

#include "ui/page_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;
using Packaged = std::vector<std::pair<PackageTarget, bool>>;

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
  EXPECT_EQ(sheet.PageSlots(), 4);
  std::vector<std::u16string> captions;
  for (int index = 0; index < sheet.PageSlots(); ++index) captions.push_back(sheet.Page(index)->Caption());
  EXPECT_EQ(captions, (std::vector<std::u16string>{u"常规", u"签名", u"图标", u"高级"}));
  EXPECT_EQ(sheet.FindButton("Publish")->label, u"发布");

  sheet.OnShow();
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage);
  EXPECT_EQ(sheet.GetField("page").value_or(u""), u"Signature");
  EXPECT_EQ(sheet.FindField("page")->items,
            (std::vector<std::u16string>{u"General", u"Signature", u"Icons", u"Advanced"}));
  const std::vector<std::string> names = sheet.FieldNames();
  for (const char* name : {"page", "Signature.certpath", "General.appid", "Icons.size"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
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
  EXPECT_FALSE(general->Opened());
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
    if (prepare) {
      ASSERT_TRUE(sheet->SetField("Signature.prepare", u"true"));
    }
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
  {
    CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage, Recording());
    StandIn(sheet, CSettingsPropSheet::kAdvancedPage, "Advanced", 1);
    StandIn(sheet, CSettingsPropSheet::kIconsPage, "Icons");
    sheet.OnShow();
    ASSERT_TRUE(sheet.Press("OK"));
    EXPECT_FALSE(sheet.IsClosed());
    ASSERT_TRUE(sheet.SetField("page", u"Icons"));
    ASSERT_TRUE(sheet.Press("Publish"));
    EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kAdvancedPage) << "Publish brings the refusing page forward";
    EXPECT_TRUE(packaged.empty());
  }
  {
    CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage, Recording());
    StandInPage* general = StandIn(sheet, CSettingsPropSheet::kGeneralPage, "General", 1);
    sheet.OnShow();
    ASSERT_TRUE(sheet.Press("OK"));
    EXPECT_FALSE(sheet.IsClosed());
    general->result = 0;
    ASSERT_TRUE(sheet.Press("OK"));
    EXPECT_TRUE(sheet.IsClosed());
  }
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false");
  SetSetting(keys::kExitOk, u"unset");
  {
    CSettingsPropSheet sheet(0, Recording());
    sheet.OnShow();
    ASSERT_TRUE(sheet.SetField("Signature.prepare", u"true"));
    ASSERT_TRUE(sheet.Press("Cancel"));
    EXPECT_EQ(sheet.Result(), kIdCancel);
    EXPECT_EQ(GetSetting(keys::kExitOk), u"unset");
    EXPECT_EQ(Registry(u"DigitalSign"), u"prepare") << "nothing committed";
  }
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
  ASSERT_EQ(Messages(), std::vector<std::u16string>{u"无法找到 JVM 路径。"});
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
  const std::u16string certificate = MakeFile("keys/a.p12");
  SetSetting(keys::kPubExe, u"true");
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage, Recording());
  StandInPage* general = StandIn(sheet, CSettingsPropSheet::kGeneralPage, "General");
  sheet.OnShow();
  ASSERT_EQ(sheet.ActivePage(), CSettingsPropSheet::kGeneralPage);
  Set(sheet, {{"Signature.certpath", certificate}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"密码为空。 请输入密码。"});
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage) << "the refusing page stays in front";
  EXPECT_TRUE(packaged.empty());

  general->commits.clear();
  Set(sheet, {{"Signature.password", u"pw"}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(packaged, (Packaged{{DesktopPackage, true}, {NativeInstaller, false}}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kGeneralPage) << "the page in front comes back";
  EXPECT_EQ(general->commits, (std::vector<bool>{true, true})) << "committed before each package";
  EXPECT_EQ(GetSetting(keys::kCertPath), Slashes(certificate));
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"pw");
  EXPECT_EQ(Messages().size(), 1u) << "no box the second time";
}

// Packaging forgets a password the author did not ask to remember; the installer that
// follows must still be signed with the one on the page.
TEST_F(SettingsSheetTest, TheInstallerGetsThePasswordTheFirstPackageForgot) {
  const std::u16string certificate = MakeFile("keys/a.p12");
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
  Set(sheet, {{"Signature.certpath", certificate}, {"Signature.password", u"pw"}, {"Signature.rempwd", u"false"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(passwordsSeen, (std::vector<std::u16string>{u"pw", u"pw"}));
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
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
  EXPECT_EQ(publish(PressStep("OK"), "OK"), kIdOk);
  EXPECT_EQ(packaged, (Packaged{{DesktopPackage, true}})) << "an empty password is accepted";
  EXPECT_EQ(ui_->Failures(), 0);
  {
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
}

TEST_F(SettingsSheetTest, PublishForIphoneNeedsThePackager) {
  SetSetting(keys::kPubIpa, u"true");
  CSettingsPropSheet sheet(1, Recording());
  StandIn(sheet, CSettingsPropSheet::kDeploymentPage, "Deployment");
  sheet.OnShow();
  ASSERT_TRUE(sheet.Press("Publish"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], LoadMessage(8088));
  EXPECT_EQ(LastMessage()->style, 64u);
  EXPECT_TRUE(packaged.empty());

  MakeFile("bin/MPK/lib/mpk.jar");
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(packaged, (Packaged{{IphonePackage, true}}));
  ASSERT_TRUE(sheet.Press("OK"));
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false");
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

}  // namespace
}  // namespace zaro
