// The iPhone General and Deployment pages, each opened on the sample descriptor.
#include <gtest/gtest.h>

#include "testing/profile_maker.h"
#include "ui/ipa_deploy_page.h"
#include "ui/ipa_settings_page.h"
#include "ui/page_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;
using Items = std::vector<std::u16string>;

class IpaSheetTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    UseIphone();
  }
  const std::u16string cert_ = MakeFile("keys/dev.p12");
  const std::u16string profile_ = MakeFile("keys/dev.mobileprovision");
};

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
}  // namespace
}  // namespace zaro
