// The iPhone settings sheet end to end: a new iPhone document set up entirely through the
// General and Deployment pages of `tessel settings`, published from the sheet with the
// kit's iPhone packager and kept with OK.
#include <gtest/gtest.h>

#include "png_maker.h"
#include "publish_e2e_support.h"
#include "testing/profile_maker.h"

namespace publish_e2e {
namespace {

using tessel::e2e::Contains;

constexpr char kIphoneCreated[] = "iPhone 文件已创建。";

class IphoneSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    const auto document = box_.NewDocument("Game", "iphone");
    ASSERT_TRUE(document) << box_.Error();
    document_ = *document;
    WriteText(box_.WorkFolder() / "Game-app.xml", DescriptorXml("Game", "com.example.placeholder"));
  }

  Sandbox box_;
  fs::path document_;
};

TEST_F(IphoneSettings, AnswersAloneSetUpPublishAndKeepAStorePackage) {
  const zaro::testing::TestIdentity developer = zaro::testing::MakeTestIdentity("Phone Developer");
  ASSERT_FALSE(developer.certificateDer.empty());
  const fs::path keystore = box_.Root() / "keys" / "phone.p12";
  fs::create_directories(keystore.parent_path());
  ASSERT_TRUE(zaro::testing::WriteKeystore(keystore, developer, "phone pw"));
  zaro::testing::ProfileContent store;  // no devices: a store profile
  store.applicationIdentifier = "ABCDE12345.com.example.storegame";
  store.developerCertificates = {developer.certificateDer};
  const fs::path profile = box_.Root() / "profiles" / "store.mobileprovision";
  fs::create_directories(profile.parent_path());
  ASSERT_TRUE(zaro::testing::WriteProfile(profile, store));
  const fs::path extra = box_.WorkFolder() / "levels" / "level1.dat";
  WriteText(extra, "level one");
  WriteText(box_.WorkFolder() / "icons" / "icon57.png", MakePng(57));
  WriteText(box_.WorkFolder() / "icons" / "icon512.png", MakePng(512));

  const RunResult run = box_.Run(
      {"settings", document_.string()},
      WithAnswers({Form("Settings",
                        {Press("Deployment.browsecert"), Press("Deployment.browseprofile"),
                         Set("Deployment.password", "phone pw"), Set("Deployment.store", "true"),
                         Set("General.appname", "Store Game"), Set("General.version", "2.1"),
                         Set("General.aspectratio", "横向"), Set("General.rendering", "GPU"),
                         Press("General.addfile"), Set("Icons.size", "图标 57x57"), Press("Icons.browse"),
                         Set("Icons.size", "图标 512x512"), Press("Icons.browse"), Press("Publish"), Press("OK")}),
                   Json{{"file", WindowsForm(keystore)}}, Json{{"file", WindowsForm(profile)}},
                   Json{{"file", WindowsForm(extra)}},
                   Json{{"file", WindowsForm(box_.WorkFolder() / "icons" / "icon57.png")}},
                   Json{{"file", WindowsForm(box_.WorkFolder() / "icons" / "icon512.png")}}}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (std::vector<std::string>{"file|", "file|", "file|", "file|", "file|", FormLine("CProgressDlg"),
                                                  MessageLine(kIphoneCreated, 64), FormLine("Settings")}))
      << Describe(run);

  // The package carries the pages' values and the packager accepts it.
  const fs::path ipa = box_.WorkFolder() / "Game.ipa";
  ASSERT_TRUE(fs::exists(ipa)) << Describe(run);
  const fs::path outFile = box_.Root() / "verify.out";
  const fs::path packager = StagedBin() / "MPK" / "lib" / "mpk.jar";
  const int code = std::system(
      ("'" + packager.string() + "' -verify '" + ipa.string() + "' > '" + outFile.string() + "' 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 0) << ReadText(outFile);

  const std::string descriptor = ReadText(box_.WorkFolder() / "Game-app.xml");
  EXPECT_TRUE(Contains(descriptor, "<id>com.example.storegame</id>")) << "the ID follows the profile\n" << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<name>Store Game</name>")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<version>2.1</version>")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<aspectRatio>landscape</aspectRatio>")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<renderMode>gpu</renderMode>")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<image57x57>icons/icon57.png</image57x57>")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<image512x512>icons/icon512.png</image512x512>")) << descriptor;
  const fs::path listing = box_.Root() / "listing.out";
  std::system(("unzip -l '" + ipa.string() + "' > '" + listing.string() + "' 2>&1").c_str());
  for (const char* icon : {"icons/icon57.png", "icons/icon512.png"}) {
    EXPECT_TRUE(Contains(ReadText(listing), std::string(".app/") + icon)) << icon << "\n" << ReadText(listing);
  }

  // OK kept the settings in the document and the machine-wide values in the registry.
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.ipaopt").value_or(""), "store");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.ipacertpath").value_or(""), keystore.string());
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.ipaprovision").value_or(""), profile.string());
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.ipadest").value_or(""), "Game.ipa");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.item0").value_or(""), "levels/level1.dat");
  EXPECT_FALSE(Sandbox::DocumentValue(document_, "com.zaro.quessa.ipacertpwd")) << "passwords stay out";
  const std::string registry = ReadText(box_.RegistryFile());
  for (const std::string& part : {std::string("Last IPA Cert"), std::string("Last IPA Provision"),
                                  std::string("IpaCertPath"), std::string("MobileProvisionFiles"), keystore.string(),
                                  profile.string()}) {
    EXPECT_TRUE(Contains(registry, part)) << part << "\n" << registry;
  }

  // A second sheet shows the kept values: the stored certificate and profile are chosen
  // again, the fourth deployment type is selected, and a publish needs only the password.
  const Json kept = {{"expect",
                      {{"General.destination", "Game.ipa"},
                       {"General.appname", "Store Game"},
                       {"General.version", "2.1"},
                       {"General.aspectratio", "横向"},
                       {"General.rendering", "GPU"},
                       {"Deployment.certpath", WindowsForm(keystore)},
                       {"Deployment.profile", WindowsForm(profile)},
                       {"Deployment.appid", "com.example.storegame"},
                       {"Deployment.store", "true"},
                       {"Deployment.test", "false"}}}};
  const RunResult again = box_.Run(
      {"settings", document_.string()},
      WithAnswers({Form("Settings", {kept, Set("Icons.size", "图标 512x512"),
                                     Json{{"expect", {{"Icons.path", "icons/icon512.png"}}}},
                                     Set("Deployment.password", "phone pw"), Press("Publish"), Press("Cancel")})}));
  ASSERT_EQ(again.exitStatus, 0) << Describe(again);
  EXPECT_EQ(Shown(again), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kIphoneCreated, 64),
                                                    FormLine("Settings")}))
      << Describe(again);
}

}  // namespace
}  // namespace publish_e2e
