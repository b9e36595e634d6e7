// "Publish" of an iPhone document end to end: stored iPhone settings, the settings sheet's
// Publish, the kit's real iPhone packager and provisioning profiles made for each test.
#include <gtest/gtest.h>

#include <memory>

#include "publish_e2e_support.h"
#include "testing/profile_maker.h"

namespace publish_e2e {
namespace {

constexpr char kIphoneCreated[] = "iPhone 文件已创建。";

fs::path IphonePackager() { return StagedBin() / "MPK" / "lib" / "mpk.jar"; }

class IphonePublish : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { developer_ = zaro::testing::MakeTestIdentity("Phone Developer"); }

  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    ASSERT_FALSE(developer_.certificateDer.empty());
    // The password of the session is typed on the sheet's Deployment page.
    fs::create_directories(keystore_.parent_path());
    ASSERT_TRUE(zaro::testing::WriteKeystore(keystore_, developer_, "phone pw"));
    const auto document = box_.NewDocument("Game", "iphone");
    ASSERT_TRUE(document) << box_.Error();
    document_ = *document;
    WriteText(box_.WorkFolder() / "Game-app.xml", DescriptorXml("Game", "com.example.game"));
    PutDocumentText(document_, "qmv.folder.path", box_.WorkFolder().string() + "/");
    PutDocumentText(document_, "tessel.qmv.basename", "Game");
    PutDocumentText(document_, "com.zaro.quessa.ipacertpath", keystore_.string());
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

  // Publish with the stored settings: the missing session password opens the sheet, where
  // it is typed on the Deployment page; the sheet's Publish packages, Cancel closes it.
  RunResult Publish(const std::string& deployment, const fs::path& profile) {
    PutDocumentText(document_, "com.zaro.quessa.ipaopt", deployment);
    PutDocumentText(document_, "com.zaro.quessa.ipaprovision", profile.string());
    return box_.Run({"publish", document_.string()},
                    WithAnswers({Form("Settings", {Set("Deployment.password", "phone pw"), Press("Publish"), Press("Cancel")})}));
  }

  ToolRun VerifyIpa(const fs::path& ipa) {
    const fs::path outFile = box_.Root() / "verify.out";
    const int code = std::system(("'" + IphonePackager().string() + "' -verify '" + ipa.string() + "' > '" +
                                  outFile.string() + "' 2>&1")
                                     .c_str());
    return ToolRun{WIFEXITED(code) ? WEXITSTATUS(code) : -1, ReadText(outFile)};
  }

  static zaro::testing::TestIdentity developer_;
  Sandbox box_;
  fs::path keystore_ = box_.Root() / "keys" / "phone.p12";
  fs::path document_;
};

zaro::testing::TestIdentity IphonePublish::developer_;

TEST_F(IphonePublish, EveryDeploymentKindPublishesASignedPackage) {
  struct Kind {
    const char* deployment;
    bool devices;
    bool getTaskAllow;
  };
  const Kind kinds[] = {{"test", true, false}, {"debug", true, true}, {"adhoc", true, false}, {"store", false, false}};
  const fs::path ipa = box_.WorkFolder() / "Game.ipa";
  for (const Kind& kind : kinds) {
    fs::remove(ipa);
    const fs::path profile = Profile(kind.deployment, "ABCDE12345.com.example.*", kind.devices, kind.getTaskAllow);
    const RunResult run = Publish(kind.deployment, profile);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kIphoneCreated, 64),
                                                    FormLine("Settings")}))
        << kind.deployment << "\n" << Describe(run);
    ASSERT_TRUE(fs::exists(ipa)) << kind.deployment;
    const ToolRun verified = VerifyIpa(ipa);
    EXPECT_EQ(verified.exitCode, 0) << kind.deployment << ": " << verified.output;
    EXPECT_NE(verified.output.find("signer: CN=Phone Developer"), std::string::npos) << verified.output;
  }
}

TEST_F(IphonePublish, AProfileForAnotherApplicationShowsThePackagersLineAndWritesNothing) {
  const RunResult run = Publish("adhoc", Profile("other", "ABCDE12345.com.example.other", true, false));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  const std::string line = "the application id com.example.game of " + (box_.WorkFolder() / "Game-app.xml").string() +
                           " does not fit the application-identifier ABCDE12345.com.example.other of " +
                           (box_.Root() / "profiles" / "other.mobileprovision").string() + "\n";
  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"),
                                                  MessageLine(std::string(kCreateFileError) + line, 48),
                                                  FormLine("Settings")}))
      << Describe(run);
  EXPECT_FALSE(fs::exists(box_.WorkFolder() / "Game.ipa"));
  for (const fs::path& made : run.filesMade) EXPECT_NE(made.extension(), ".ipa") << made;
}

}  // namespace
}  // namespace publish_e2e
