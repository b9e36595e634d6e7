// An iPhone document end to end with the kit's real iPhone packager and provisioning
// profiles made for each test: stored iPhone settings published from the sheet, and a new
// document set up entirely through the General and Deployment pages of `tessel settings`.
#include <gtest/gtest.h>

#include "publish_e2e_support.h"
#include "testing/profile_maker.h"

namespace publish_e2e {
namespace {

constexpr char kIphoneCreated[] = "iPhone 文件已创建。";
const Lines kIphonePublished{FormLine("CProgressDlg"), MessageLine(kIphoneCreated, 64), FormLine("Settings")};

class IphonePublish : public PublishTest {
 protected:
  static void SetUpTestSuite() { developer_ = zaro::testing::MakeTestIdentity("Phone Developer"); }

  void SetUp() override {
    PublishTest::SetUp();
    ASSERT_FALSE(developer_.certificateDer.empty());
    fs::create_directories(keystore_.parent_path());
    ASSERT_TRUE(zaro::testing::WriteKeystore(keystore_, developer_, "phone pw"));
    document_ = NewDocument("Game", "iphone");
    WriteText(Work() / "Game-app.xml", DescriptorXml("Game", "com.example.game"));
  }

  fs::path Profile(const std::string& name, const std::string& identifier, bool devices, bool getTaskAllow = false) {
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
  // The sheet's Deployment page takes the session password; its Publish packages, and the
  // sheet is then left with `close`.
  Json PasswordAndPublish(const std::string& close, const std::vector<Json>& before = {}) {
    std::vector<Json> steps = before;
    steps.insert(steps.end(), {Set({{"Deployment.password", "phone pw"}}), Press("Publish"), Press(close)});
    return Form("Settings", steps);
  }

  static zaro::testing::TestIdentity developer_;
  fs::path keystore_ = box_.Root() / "keys" / "phone.p12";
  fs::path document_;
};

zaro::testing::TestIdentity IphonePublish::developer_;

// Publish with stored settings: the missing session password opens the sheet. Every
// deployment kind publishes a signed package the packager accepts; a profile for another
// application shows the packager's own line and writes no package.
TEST_F(IphonePublish, EveryDeploymentKindPublishesASignedPackageAndAForeignProfileNone) {
  const std::string wildcard = "ABCDE12345.com.example.*", foreign = "ABCDE12345.com.example.other";
  const struct {
    std::string deployment, identifier;
    bool devices, getTaskAllow;
  } kinds[] = {{"test", wildcard, true, false},
               {"debug", wildcard, true, true},
               {"adhoc", wildcard, true, false},
               {"store", wildcard, false, false},
               {"adhoc", foreign, true, false}};
  const fs::path ipa = Work() / "Game.ipa";
  PutDocumentText(document_, "qmv.folder.path", Work().string() + "/");
  PutDocumentText(document_, "tessel.qmv.basename", "Game");
  PutDocumentText(document_, "com.zaro.quessa.ipacertpath", keystore_.string());
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.deployment + " " + kind.identifier);
    fs::remove(ipa);
    const fs::path profile =
        Profile(kind.identifier == foreign ? "other" : kind.deployment, kind.identifier, kind.devices, kind.getTaskAllow);
    PutDocumentText(document_, "com.zaro.quessa.ipaopt", kind.deployment);
    PutDocumentText(document_, "com.zaro.quessa.ipaprovision", profile.string());
    const RunResult run = Run({"publish", document_.string()}, {PasswordAndPublish("Cancel")});
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    if (kind.identifier == foreign) {
      const std::string line = "the application id com.example.game of " + (Work() / "Game-app.xml").string() +
                               " does not fit the application-identifier " + foreign + " of " + profile.string() + "\n";
      EXPECT_EQ(Shown(run), (Lines{FormLine("CProgressDlg"), MessageLine(std::string(kCreateFileError) + line, 48),
                                   FormLine("Settings")}));
      EXPECT_FALSE(fs::exists(ipa));
      for (const fs::path& made : run.filesMade) EXPECT_NE(made.extension(), ".ipa") << made;
      continue;
    }
    EXPECT_EQ(Shown(run), kIphonePublished);
    const auto verified = VerifyIpa(ipa);
    EXPECT_EQ(verified.code, 0) << verified.output;
    EXPECT_TRUE(Contains(verified.output, "signer: CN=Phone Developer")) << verified.output;
  }
}

TEST_F(IphonePublish, AnswersAloneSetUpPublishAndKeepAStorePackage) {
  const fs::path profile = Profile("store", "ABCDE12345.com.example.storegame", false);  // no devices
  const fs::path extra = Work() / "levels" / "level1.dat", icons = Work() / "icons";
  WriteText(extra, "level one");
  WriteText(icons / "icon57.png", zpk::testing::MakePng(57, 57));
  WriteText(icons / "icon512.png", zpk::testing::MakePng(512, 512));
  const RunResult run = Run(
      {"settings", document_.string()},
      {Form("Settings", {Press("Deployment.browsecert"), Press("Deployment.browseprofile"),
                         Set({{"Deployment.password", "phone pw"}, {"Deployment.store", "true"},
                              {"General.appname", "Store Game"}, {"General.version", "2.1"},
                              {"General.aspectratio", "横向"}, {"General.rendering", "GPU"}}),
                         Press("General.addfile"), Set({{"Icons.size", "图标 57x57"}}), Press("Icons.browse"),
                         Set({{"Icons.size", "图标 512x512"}}), Press("Icons.browse"), Press("Publish"), Press("OK")}),
       File(keystore_), File(profile), File(extra), File(icons / "icon57.png"), File(icons / "icon512.png")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (Lines{"file|", "file|", "file|", "file|", "file|", kIphonePublished[0], kIphonePublished[1],
                               kIphonePublished[2]}));

  // The package carries the pages' values and the packager accepts it.
  const fs::path ipa = Work() / "Game.ipa";
  const auto verified = VerifyIpa(ipa);
  EXPECT_EQ(verified.code, 0) << verified.output;
  const std::string descriptor = ReadText(Work() / "Game-app.xml");
  for (const char* part : {"<id>com.example.storegame</id>",  // the ID follows the profile
                           "<name>Store Game</name>", "<version>2.1</version>", "<aspectRatio>landscape</aspectRatio>",
                           "<renderMode>gpu</renderMode>", "<image57x57>icons/icon57.png</image57x57>",
                           "<image512x512>icons/icon512.png</image512x512>"}) {
    EXPECT_TRUE(Contains(descriptor, part)) << part << "\n" << descriptor;
  }
  const std::string listing = zpk::testing::RunShell("unzip -l '" + ipa.string() + "'").output;
  EXPECT_TRUE(Contains(listing, ".app/icons/icon57.png") && Contains(listing, ".app/icons/icon512.png")) << listing;

  // OK kept the settings in the document (passwords stay out) and the machine-wide values in
  // the registry.
  EXPECT_EQ(Texts(document_, {"com.zaro.quessa.ipaopt", "com.zaro.quessa.ipacertpath", "com.zaro.quessa.ipaprovision",
                              "com.zaro.quessa.ipadest", "com.zaro.quessa.included.item0", "com.zaro.quessa.ipacertpwd"}),
            (Lines{"store", keystore_.string(), profile.string(), "Game.ipa", "levels/level1.dat", "-"}));
  const std::string registry = ReadText(box_.RegistryFile());
  for (const std::string& part : {std::string("Last IPA Cert"), std::string("Last IPA Provision"),
                                  std::string("IpaCertPath"), std::string("MobileProvisionFiles"), keystore_.string(),
                                  profile.string()}) {
    EXPECT_TRUE(Contains(registry, part)) << part << "\n" << registry;
  }

  // A second sheet shows the kept values: the stored certificate and profile are chosen
  // again, the fourth deployment type is selected, and a publish needs only the password.
  const RunResult again = Run(
      {"settings", document_.string()},
      {PasswordAndPublish("Cancel", {Expect({{"General.destination", "Game.ipa"},
                                             {"General.appname", "Store Game"},
                                             {"General.version", "2.1"},
                                             {"General.aspectratio", "横向"},
                                             {"General.rendering", "GPU"},
                                             {"Deployment.certpath", WindowsForm(keystore_)},
                                             {"Deployment.profile", WindowsForm(profile)},
                                             {"Deployment.appid", "com.example.storegame"},
                                             {"Deployment.store", "true"},
                                             {"Deployment.test", "false"}}),
                                     Set({{"Icons.size", "图标 512x512"}}), Expect({{"Icons.path", "icons/icon512.png"}})})});
  ASSERT_EQ(again.exitStatus, 0) << Describe(again);
  EXPECT_EQ(Shown(again), kIphonePublished) << Describe(again);
}

}  // namespace
}  // namespace publish_e2e
