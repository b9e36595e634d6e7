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
    UseDescriptor();
    SetSetting(keys::kPubIpa, u"true");
    MakeFile("bin/MPK/lib/mpk.jar");
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
class IpaGeneralPageTest : public IpaSheetTest {
 protected:
  static std::unique_ptr<CIpaSettingsDlg> OpenPage() { return Opened<CIpaSettingsDlg>(); }
  static const Items& Included(const CIpaSettingsDlg& page) { return page.FindField("included")->items; }
};

TEST_F(IpaGeneralPageTest, OpeningShowsTheDescriptorAndStoredValues) {
  Include({u"assets/music.mp3", u"", u"/data/extra"});
  auto page = OpenPage();
  // No stored output: the base name and .ipa; fullScreen trimmed and lower-cased; no autoOrients element.
  EXPECT_EQ(
      Texts(*page, {"destination", "appname", "version", "fullscreen", "autoorients", "aspectratio", "rendering"}),
      (Items{u"Demo.ipa", u"Demo Game", u"1.0", u"true", u"false", u"横向", u"GPU"}));
  EXPECT_TRUE(page->FindField("appname")->enabled);
  EXPECT_EQ(page->FindField("aspectratio")->items, (Items{u"纵向", u"横向"}));
  EXPECT_EQ(page->FindField("rendering")->items, (Items{u"自动", u"CPU", u"GPU"}));
  EXPECT_EQ(Included(*page), (Items{u"Demo.qmv", u"Demo-app.xml", u"assets\\music.mp3", u"\\data\\extra"}))
      << "fixed entries first, empty items skipped";
  EXPECT_EQ(page->ListExtent(), Ui().MeasureTextWidth(u"assets\\music.mp3"));
  EXPECT_EQ(page->DescriptorPath(), platform::ToWindowsForm(DescriptorFile().string()));

  SetSetting(keys::kIpaDestination, u"/out/game.ipa");
  EXPECT_EQ(OpenPage()->Text("destination"), u"/out/game.ipa");
}

TEST_F(IpaGeneralPageTest, OpeningTakesTheSampleNamespaceAndReadsDefaultsWithoutElements) {
  UseDescriptor(
      "<application xmlns=\"http://ns.corvane.example/zaro/application/1.5\"><id>a</id>"
      "<initialWindow><aspectRatio>portrait</aspectRatio><renderMode>CPU</renderMode></initialWindow></application>");
  const std::u16string sample = MakeFile(
      "bin/ZSK2.0/samples/descriptor-sample.xml",
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.5\"><id>s</id></application>");
  ASSERT_FALSE(sample.empty());
  auto page = OpenPage();
  std::string xmlns;
  ASSERT_EQ(GetElementAttribute(MovieDescriptor(), u"application", u"xmlns", xmlns), 0);
  EXPECT_EQ(xmlns, "http://ns.corvane.example/zaro/application/2.5");
  EXPECT_EQ(Texts(*page, {"appname", "aspectratio", "rendering"}), (Items{u"", u"纵向", u"CPU"}));
}

TEST_F(IpaGeneralPageTest, LocalisedNameDisablesTheFieldAndCommitLeavesIt) {
  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id>"
                "<name><text xml:lang=\"en\">Hello</text><text xml:lang=\"zh\">你好</text></name><version>2</version>"
                "<initialWindow><content>Demo.qmv</content></initialWindow></application>");
  auto page = OpenPage();
  EXPECT_FALSE(page->FindField("appname")->enabled);
  EXPECT_EQ(page->Text("appname"), u"");
  EXPECT_FALSE(page->SetField("appname", u"Other"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  const std::string saved = SavedDescriptor();
  EXPECT_NE(saved.find("<text xml:lang=\"zh\">你好</text>"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Other"), std::string::npos);
}

TEST_F(IpaGeneralPageTest, CommitWritesTheWindowElementsAndRenderings) {
  const std::pair<std::u16string, std::u16string> renderings[] = {{u"GPU", u"gpu"}, {u"CPU", u"cpu"}, {u"自动", u"auto"}};
  for (const auto& [choice, stored] : renderings) {
    auto page = OpenPage();
    Set(*page, {{"rendering", choice}, {"aspectratio", u"纵向"}, {"fullscreen", u"false"}, {"autoorients", u"true"}});
    ASSERT_EQ(page->CommitIpaGeneral(), 0);
    const std::string saved = SavedDescriptor();
    EXPECT_NE(saved.find("<renderMode>" + ToUtf8(stored) + "</renderMode>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<aspectRatio>portrait</aspectRatio>"), std::string::npos);
    EXPECT_NE(saved.find("<fullScreen>false</fullScreen>"), std::string::npos);
    EXPECT_NE(saved.find("<autoOrients>true</autoOrients>"), std::string::npos) << "created when missing";
  }
  auto page = OpenPage();
  EXPECT_FALSE(page->SetField("rendering", u"gpu")) << "a drop-down list takes only its own entries";
  EXPECT_FALSE(page->SetField("aspectratio", u"landscape"));

  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id></application>");
  ASSERT_EQ(OpenPage()->CommitIpaGeneral(), 0);
  EXPECT_EQ(SavedDescriptor().find("renderMode"), std::string::npos) << "no initialWindow: no window elements";
}

TEST_F(IpaGeneralPageTest, CommitStoresVersionAndOutputButNotEmptyFieldsAndBrowsingAsksForAnIpa) {
  auto page = OpenPage();
  Set(*page, {{"appname", u"New Name"}, {"version", u""}, {"destination", u"/out/new.ipa"}});
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_TRUE(page->Changed()) << "a new output file";
  EXPECT_EQ(Element(u"name"), u"New Name");
  EXPECT_EQ(Element(u"version"), u"1.0") << "an empty field leaves the element";
  EXPECT_EQ(GetSetting(keys::kIpaDestination), u"/out/new.ipa");
  page = OpenPage();
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_FALSE(page->Changed()) << "the same output file again";

  ui_->QueueFile(u"\\out\\My Game.ipa");
  ASSERT_TRUE(page->Press("browse"));
  EXPECT_EQ(page->Text("destination"), u"/out/My Game.ipa") << "stored with slashes";
  EXPECT_EQ(ui_->Events().back().text, u"选择文件目标");
  ui_->QueueFile(std::nullopt);
  ASSERT_TRUE(page->Press("browse"));
  EXPECT_EQ(page->Text("destination"), u"/out/My Game.ipa");
}

TEST_F(IpaGeneralPageTest, LongDescriptorValuesAreShownCutAndKeptUnlessEdited) {
  const std::string longName(600, 'n');
  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id><name>" + longName +
                "</name><version>1</version></application>");
  auto page = OpenPage();
  EXPECT_EQ(page->Text("appname").size(), kElementTextLimit);
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(ToUtf8(Element(u"name")), longName) << "the whole value stays";
  page = OpenPage();
  ASSERT_TRUE(page->SetField("appname", page->Text("appname") + u"!"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(Element(u"name").size(), kElementTextLimit + 1) << "an edited value is written as shown";
}

TEST_F(IpaGeneralPageTest, IncludedListAddsRefusesAndRemoves) {
  const std::u16string inside = MakeFile("movies/assets/level1.dat");
  const std::u16string outside = MakeFile("elsewhere/movies/notes.txt");
  auto page = OpenPage();
  // Refused: a path that begins an existing entry, and the same file in other letters.
  for (const std::u16string& file : {inside, WindowsForm(root_ / "movies/assets/level1"),
                                     WindowsForm(root_ / "movies/ASSETS/LEVEL1.DAT"), outside}) {
    ui_->QueueFile(file);
    ASSERT_TRUE(page->Press("addfile"));
  }
  for (int twice = 0; twice < 2; ++twice) {
    ui_->QueueFolder(WindowsForm(root_ / "movies/sounds"));
    ASSERT_TRUE(page->Press("addfolder"));
  }
  EXPECT_TRUE(page->Changed());
  EXPECT_EQ(Included(*page), (Items{u"Demo.qmv", u"Demo-app.xml", u"assets\\level1.dat", outside, u"sounds", u"sounds"}))
      << "a file inside the movie folder is relative; the same folder twice is listed twice";
  EXPECT_EQ(ui_->Events().back().text, u"选择一个要包含在包中的文件夹");

  // As on the desktop page: the remove button is enabled only while an extra entry is selected.
  EXPECT_FALSE(page->FindButton("remove")->enabled) << "nothing selected";
  EXPECT_FALSE(page->Press("remove"));
  for (const std::u16string fixed : {u"Demo.qmv", u"Demo-app.xml"}) {
    ASSERT_TRUE(page->SetField("included", fixed));
    EXPECT_FALSE(page->FindButton("remove")->enabled) << "a fixed entry is selected";
    EXPECT_FALSE(page->Press("remove"));
  }
  EXPECT_EQ(Included(*page).size(), 6u) << "the fixed entries stay";
  ASSERT_TRUE(page->SetField("included", u"sounds"));
  EXPECT_TRUE(page->FindButton("remove")->enabled);
  ASSERT_TRUE(page->Press("remove"));
  EXPECT_EQ(Included(*page).size(), 5u);
  EXPECT_FALSE(page->FindButton("remove")->enabled) << "the removed entry was the selection";

  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(Settings({keys::kIncludedCount, IncludedItemKey(0), IncludedItemKey(1), IncludedItemKey(2)}),
            (Items{u"3", u"assets/level1.dat", Slashes(outside), u"sounds"}));
}

TEST_F(IpaGeneralPageTest, OnlyFixedEntriesLeaveTheCountAndRemoveItsItems) {
  Include({u"a.txt"});
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("included", u"a.txt"));
  ASSERT_TRUE(page->Press("remove"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(Settings({keys::kIncludedCount, IncludedItemKey(0)}), (Items{u"1", u""}));
  EXPECT_EQ(Included(*OpenPage()).size(), 2u);
}

const std::u16string kProfileMissing = u"指定的供给文件不存在。";

class DeploymentPageTest : public IpaSheetTest {
 protected:
  static std::unique_ptr<CFaiDeployDlg> OpenPage() { return Opened<CFaiDeployDlg>(); }
  // Sets one value of a filled page and commits it with messages: refused with `result`
  // after a warning box with `message`.
  std::unique_ptr<CFaiDeployDlg> Refused(const char* field, const std::u16string& value, int result,
                                         const std::u16string& message) {
    auto page = FilledPage();
    EXPECT_TRUE(page->SetField(field, value)) << field;
    EXPECT_EQ(page->CommitIpaDeployment(true), result) << field;
    EXPECT_EQ(Messages().back(), message) << field;
    EXPECT_EQ(LastMessage()->style, 48u) << field;
    return page;
  }
  // A page whose every value is filled and names existing files.
  std::unique_ptr<CFaiDeployDlg> FilledPage() {
    auto page = OpenPage();
    Set(*page, {{"certpath", cert_}, {"password", u"pw"}, {"profile", profile_}, {"appid", u"com.example.demo"}});
    return page;
  }
};

TEST_F(DeploymentPageTest, TheStoredTypeSelectsItsRadioButtonExactlyAndAChoiceIsStoredAtOnce) {
  const std::pair<std::u16string, int> cases[] = {{u"store", 3}, {u"adhoc", 2}, {u"debug", 1}, {u"test", 0},
                                                  {u"STORE", 0}, {u"", 0},     {u"Store", 0}};
  for (const auto& [stored, index] : cases) {
    SetSetting(keys::kIpaOption, stored);
    EXPECT_EQ(OpenPage()->DeploymentIndex(), index) << ToUtf8(stored);
  }
  auto page = OpenPage();
  EXPECT_FALSE(page->Changed());
  ASSERT_TRUE(page->SetField("adhoc", u"true"));
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"adhoc");
  EXPECT_TRUE(page->Changed());
  EXPECT_FALSE(page->Checked("test"));
  EXPECT_FALSE(page->SetField("adhoc", u"false")) << "switched off only by another button";
  ASSERT_TRUE(page->SetField("store", u"true"));
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store");
  EXPECT_EQ(page->DeploymentIndex(), 3);
}

TEST_F(DeploymentPageTest, OpeningFillsTheListsAndPrefersExistingStoredPaths) {
  const std::u16string other = MakeFile("keys/other.p12");
  const std::u16string gone = WindowsForm(root_ / "keys/gone.p12");
  WriteRegistryList(u"IpaCertPath", 10, {other, gone, u"", other});
  SetSetting(keys::kIpaCertPath, Slashes(cert_));
  SetSetting(keys::kIpaProvision, Slashes(WindowsForm(root_ / "keys/gone.mobileprovision")));
  WriteRegistryList(u"MobileProvisionFiles", 10, {profile_});
  SetSetting(keys::kIpaRememberPassword, u"true");
  SetSetting(keys::kIpaCertPassword, u"secret");

  auto page = OpenPage();
  EXPECT_EQ(page->FindField("certpath")->items, (Items{cert_, other})) << "the stored certificate on top";
  // A stored profile naming no file is not shown.
  EXPECT_EQ(Texts(*page, {"certpath", "profile", "password", "rempwd", "appid"}),
            (Items{cert_, profile_, u"secret", u"true", u"com.example.demo"}));
  EXPECT_EQ(page->CertificateListWidth(), Ui().MeasureTextWidth(other) + Ui().MeasureTextWidth(u"0"));

  SetSetting(keys::kIpaCertPath, u"");
  WriteRegistryValue(u"Last IPA Cert", Slashes(other));
  SetSetting(keys::kIpaRememberPassword, u"false");
  page = OpenPage();
  // The last certificate committed; a password not remembered is not shown.
  EXPECT_EQ(Texts(*page, {"certpath", "password"}), (Items{other, u""}));
}

// Each case clears or breaks one value of a filled page; the checks run in this order and
// what was checked before the refusing value is stored.
TEST_F(DeploymentPageTest, CommitWithMessagesStopsAtTheFirstMissingValue) {
  using Page = CFaiDeployDlg;
  EXPECT_EQ(Refused("certpath", u"", Page::kMissing, u"必须选择证书")->Text("password"), u"")
      << "the page was filled again from the stored values";
  Refused("certpath", WindowsForm(root_ / "keys/none.p12"), Page::kFileGone, u"指定的证书不存在。");
  EXPECT_EQ(GetSetting(keys::kIpaCertPath), u"");
  EXPECT_EQ(Refused("password", u"", Page::kMissing, u"密码为空。 请输入密码。")->Text("certpath"), cert_);
  EXPECT_EQ(GetSetting(keys::kIpaCertPath), Slashes(cert_)) << "the certificate was stored before";
  EXPECT_EQ(Registry(u"Last IPA Cert"), Slashes(cert_));
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"") << "nothing after the password";
  Refused("profile", u"", Page::kMissing, u"必须选择一个供给配置文件。");
  Refused("profile", WindowsForm(root_ / "keys/none.mobileprovision"), Page::kFileGone, kProfileMissing);
  EXPECT_EQ(Refused("appid", u"", Page::kMissing, LoadMessage(8061) + LoadMessage(8062))->Text("appid"),
            u"com.example.demo");
  EXPECT_EQ(Messages().size(), 6u);
}

TEST_F(DeploymentPageTest, AcceptedCommitStoresEverythingAndRemembersTheFiles) {
  SetSetting(keys::kIpaOption, u"debug");
  auto page = FilledPage();
  Set(*page, {{"appid", u"com.example.other"}, {"rempwd", u"true"}});
  ASSERT_EQ(page->CommitIpaDeployment(true), CFaiDeployDlg::kAccepted);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(page->Changed());
  EXPECT_EQ(Settings({keys::kIpaCertPath, keys::kIpaCertPassword, keys::kIpaRememberPassword, keys::kIpaProvision,
                      keys::kIpaOption}),
            (Items{Slashes(cert_), u"pw", u"true", Slashes(profile_), u"debug"}));
  EXPECT_EQ(Registry(u"Last IPA Provision"), Slashes(profile_));
  EXPECT_NE(SavedDescriptor().find("<id>com.example.other</id>"), std::string::npos)
      << "the file holds the new ID even when the General page is never committed";

  auto again = OpenPage();
  ASSERT_EQ(again->CommitIpaDeployment(true), CFaiDeployDlg::kAccepted) << "reopened on the stored files";
  EXPECT_FALSE(again->Changed()) << "nothing new for the document";
}

TEST_F(DeploymentPageTest, CommitWithoutMessagesStoresWhatItCan) {
  const std::u16string missingCert = WindowsForm(root_ / "keys/typed.p12");
  SetSetting(keys::kIpaCertPassword, u"old");
  auto page = OpenPage();
  Set(*page, {{"certpath", missingCert}, {"appid", u""}});
  ASSERT_EQ(page->CommitIpaDeployment(false), CFaiDeployDlg::kAccepted);
  EXPECT_TRUE(Messages().empty());
  // The certificate stored as if it existed; an empty password stores nothing.
  EXPECT_EQ(Settings({keys::kIpaCertPath, keys::kIpaCertPassword, keys::kIpaProvision, keys::kIpaOption}),
            (Items{Slashes(missingCert), u"old", u"", u"test"}));
  EXPECT_EQ(Element(u"id"), u"com.example.demo");
  EXPECT_EQ(OpenPage()->Text("certpath"), u"") << "a stored path naming no file is not shown";
}

TEST_F(DeploymentPageTest, PublishingWithoutTheSheetNamesAStoredFileThatIsGone) {
  EXPECT_TRUE(CheckStoredIphoneFiles()) << "nothing stored: the packaging steps report it";
  SetSetting(keys::kIpaCertPath, Slashes(cert_));
  SetSetting(keys::kIpaProvision, u"/nowhere/dev.mobileprovision");
  EXPECT_FALSE(CheckStoredIphoneFiles());
  EXPECT_EQ(Messages(), Items{kProfileMissing + u"\n\\nowhere\\dev.mobileprovision"});
  SetSetting(keys::kIpaProvision, Slashes(profile_));
  EXPECT_TRUE(CheckStoredIphoneFiles());
}

TEST_F(DeploymentPageTest, BrowsingAddsNewFilesOnce) {
  auto page = OpenPage();
  ui_->QueueFile(cert_);
  ui_->QueueFile(cert_);
  ASSERT_TRUE(page->Press("browsecert"));
  ASSERT_TRUE(page->Press("browsecert"));
  EXPECT_EQ(page->FindField("certpath")->items, Items{cert_});
  ui_->QueueFile(profile_);
  ASSERT_TRUE(page->Press("browseprofile"));
  EXPECT_EQ(page->FindField("profile")->items, Items{profile_});
  EXPECT_EQ(page->Text("profile"), profile_);
  EXPECT_GT(page->ProfileListWidth(), Ui().MeasureTextWidth(profile_));
  ASSERT_TRUE(page->Press("moreinfo"));
  EXPECT_EQ(ui_->Events().back().kind, "link");
  EXPECT_NE(ui_->Events().back().text.find(u"/go/learn_mpk_tessel_cn"), std::u16string::npos);
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(DeploymentPageTest, ChoosingAProfileBringsTheApplicationIdInLine) {
  testing::ProfileContent profile;
  profile.applicationIdentifier = "ABCDE12345.com.example.*";
  ASSERT_TRUE(testing::WriteProfile(root_ / "keys/wild.mobileprovision", profile));
  profile.applicationIdentifier = "ABCDE12345.org.sample.game";
  ASSERT_TRUE(testing::WriteProfile(root_ / "keys/exact.mobileprovision", profile));
  const std::u16string wild = WindowsForm(root_ / "keys/wild.mobileprovision");

  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("appid", u"com.example.game"));
  ui_->QueueFile(wild);
  ASSERT_TRUE(page->Press("browseprofile"));
  EXPECT_EQ(page->Text("appid"), u"com.example.game") << "a typed ID under the wildcard stays";
  ASSERT_TRUE(page->SetField("appid", u"com.other.app"));
  ui_->QueueFile(WindowsForm(root_ / "keys/exact.mobileprovision"));
  ASSERT_TRUE(page->Press("browseprofile"));
  EXPECT_EQ(page->Text("appid"), u"org.sample.game");
  ASSERT_TRUE(page->SetField("profile", wild));
  EXPECT_EQ(page->Text("appid"), u"com.example.org.sample.game") << "a choice from the list is read too";
  Set(*page, {{"appid", u"com.other.app"}, {"profile", WindowsForm(root_ / "keys/typed")}});
  EXPECT_EQ(page->Text("appid"), u"com.other.app") << "typing a path reads nothing";
  EXPECT_FALSE(std::filesystem::exists(movies_ / "temp_xml_provision_file.xml"));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DeploymentPageTest, LongApplicationIdIsShownCutAndKeptUnlessEdited) {
  const std::string longId(600, 'a');
  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>" + longId + "</id></application>");
  auto page = FilledPage();
  ASSERT_TRUE(page->SetField("appid", OpenPage()->Text("appid")));
  EXPECT_EQ(page->Text("appid").size(), kElementTextLimit);
  ASSERT_EQ(page->CommitIpaDeployment(true), CFaiDeployDlg::kAccepted);
  EXPECT_EQ(ToUtf8(Element(u"id")), longId);
}

// The dialogs shown while a package is made: the progress and the time stamp retry.
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
