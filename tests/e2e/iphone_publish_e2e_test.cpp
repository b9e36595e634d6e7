// An iPhone document end to end with the kit's real iPhone packager and provisioning
// profiles made for each test: stored iPhone settings published from the sheet, and a new
// document set up entirely through the General and Deployment pages of `tessel settings`.
#include <gtest/gtest.h>

#include "png_maker.h"
#include "publish_e2e_support.h"
#include "testing/profile_maker.h"

namespace publish_e2e {
namespace {

using tessel::e2e::Contains;

constexpr char kIphoneCreated[] = "iPhone 文件已创建。";

class IphonePublish : public PublishTest {
 protected:
  static void SetUpTestSuite() { developer_ = zaro::testing::MakeTestIdentity("Phone Developer"); }

  void SetUp() override {
    PublishTest::SetUp();
    ASSERT_FALSE(developer_.certificateDer.empty());
    fs::create_directories(keystore_.parent_path());
    ASSERT_TRUE(zaro::testing::WriteKeystore(keystore_, developer_, "phone pw"));
    document_ = NewDocument("Game", "iphone");
    WriteText(box_.WorkFolder() / "Game-app.xml", DescriptorXml("Game", "com.example.game"));
  }

  fs::path Profile(const std::string& name, const std::string& identifier, bool devices, bool getTaskAllow) {
    zaro::testing::ProfileContent content;
    content.applicationIdentifier = identifier;
    content.developerCertificates = {developer_.certificateDer};
    if (devices) content.provisionedDevices = {"00008020-0123456789ABCDEF"};
    content.getTaskAllow = getTaskAllow;
    const fs::path file = box_.Root() / "profiles" / (name + ".mobileprovision");
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(zaro::testing::WriteProfile(file, content));
    return file;
  }

  // Publish with stored settings: the missing session password opens the sheet, where it is
  // typed on the Deployment page; the sheet's Publish packages, Cancel closes it.
  RunResult Publish(const std::string& deployment, const fs::path& profile) {
    PutDocumentText(document_, "qmv.folder.path", box_.WorkFolder().string() + "/");
    PutDocumentText(document_, "tessel.qmv.basename", "Game");
    PutDocumentText(document_, "com.zaro.quessa.ipacertpath", keystore_.string());
    PutDocumentText(document_, "com.zaro.quessa.ipaopt", deployment);
    PutDocumentText(document_, "com.zaro.quessa.ipaprovision", profile.string());
    return box_.Run({"publish", document_.string()},
                    WithAnswers({Form("Settings", {Set("Deployment.password", "phone pw"), Press("Publish"), Press("Cancel")})}));
  }

  static zaro::testing::TestIdentity developer_;
  fs::path keystore_ = box_.Root() / "keys" / "phone.p12";
  fs::path document_;
};

zaro::testing::TestIdentity IphonePublish::developer_;

// Every deployment kind publishes a signed package the packager accepts; a profile for
// another application shows the packager's own line and writes no package.
TEST_F(IphonePublish, EveryDeploymentKindPublishesASignedPackageAndAForeignProfileNone) {
  const std::string wildcard = "ABCDE12345.com.example.*", foreign = "ABCDE12345.com.example.other";
  const struct {
    std::string deployment, identifier;
    bool devices, getTaskAllow;
  } kinds[] = {{"test", wildcard, true, false},
               {"debug", wildcard, true, true},
               {"adhoc", wildcard, true, false},
               {"store", wildcard, false, false},
               {"other", foreign, true, false}};
  const fs::path ipa = Work() / "Game.ipa";
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.deployment);
    fs::remove(ipa);
    const fs::path profile = Profile(kind.deployment, kind.identifier, kind.devices, kind.getTaskAllow);
    const RunResult run = Publish(kind.deployment == "other" ? "adhoc" : kind.deployment, profile);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    if (kind.identifier == foreign) {
      const std::string line = "the application id com.example.game of " + (Work() / "Game-app.xml").string() +
                               " does not fit the application-identifier " + foreign + " of " + profile.string() + "\n";
      EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"),
                                                      MessageLine(std::string(kCreateFileError) + line, 48),
                                                      FormLine("Settings")}));
      EXPECT_FALSE(fs::exists(ipa));
      for (const fs::path& made : run.filesMade) EXPECT_NE(made.extension(), ".ipa") << made;
      continue;
    }
    EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kIphoneCreated, 64),
                                                    FormLine("Settings")}));
    const ToolRun verified = VerifyIpa(ipa, box_.Root());
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    EXPECT_NE(verified.output.find("signer: CN=Phone Developer"), std::string::npos) << verified.output;
  }
}

TEST_F(IphonePublish, AnswersAloneSetUpPublishAndKeepAStorePackage) {
  const fs::path& keystore = keystore_;
  const fs::path profile = Profile("store", "ABCDE12345.com.example.storegame", false, false);  // no devices
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
  const ToolRun verified = VerifyIpa(ipa, box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;

  const std::string descriptor = ReadText(box_.WorkFolder() / "Game-app.xml");
  for (const char* part : {"<id>com.example.storegame</id>",  // the ID follows the profile
                           "<name>Store Game</name>", "<version>2.1</version>", "<aspectRatio>landscape</aspectRatio>",
                           "<renderMode>gpu</renderMode>", "<image57x57>icons/icon57.png</image57x57>",
                           "<image512x512>icons/icon512.png</image512x512>"}) {
    EXPECT_TRUE(Contains(descriptor, part)) << part << "\n" << descriptor;
  }
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
