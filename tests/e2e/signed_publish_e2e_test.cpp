// Signed publishing end to end, packages verified by the kit; iPhone documents with the kit's
// real iPhone packager and provisioning profiles made for each test.
#include "publish_e2e_support.h"
#include "testing/profile_maker.h"

namespace {
using namespace publish_e2e;

const std::string kNoTimestamp = MessageLine(kNoTimestampQuestion, 308, "yes");
const std::string kProgress = FormLine("CProgressDlg");
const std::string kCreated = MessageLine(kZaroCreated, 64);

class PublishSigned : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    // A folder with a space, so that every path argument is quoted for real.
    document_ = NewDocument("My Movies/Hello");
    folder_ = document_.parent_path();
    launcher_ = std::make_unique<RecordingLauncher>(box_);
  }
  Lines SignCommand(const fs::path& keystore, const std::string& password, const std::string& tsa) {
    return ToolCommand({"-package", "-storetype", "PKCS12", "-keystore", keystore.string(), "-storepass", password,
                        "-tsa", tsa, (folder_ / "Hello.zaro").string(), (folder_ / "Hello-app.xml").string(), "-C",
                        folder_.string() + "/", "Hello.qmv"});
  }
  void ExpectSignedPackage() { ExpectVerified(Verify(folder_ / "Hello.zaro"), "Ann Author"); }

  fs::path folder_, document_;
  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishSigned, SessionCredentialsSignAPackageThatVerifiesAndThePasswordIsForgottenUnlessRemembered) {
  // A password with a double quote and a trailing backslash must reach the tool unchanged.
  const std::string password = "pa\"ss\\";
  const fs::path keystore = Keystore("ann.p12", password);
  // 1: no credentials, so the sheet opens: browse, type the password, publish from the sheet.
  // 2: the password was forgotten: the sheet opens on the last certificate, the password is kept.
  // 3, 4: both publish at once with the remembered password.
  const RunResult run = Script(
      "publish();\npublish();\npublish();\npublish();\n", document_,
      {Form("Settings", {Press("Signature.browse"),
                         Set({{"Signature.password", password}, {"Signature.timestamp", "false"}}),
                         Press("Publish"), Press("OK")}),
       File(keystore), Message("yes"), Message("yes"),
       Form("Settings", {Set({{"Signature.password", password}, {"Signature.rempwd", "true"}}), Press("OK")}),
       Message("yes")});
  const Lines signing = SignCommand(keystore, password, "none");
  EXPECT_EQ(launcher_->Calls(), (std::vector<Lines>{signing, signing, signing}));
  ExpectSignedPackage();
  EXPECT_EQ(Shown(run), (Lines{"file|", kNoTimestamp, kProgress, kCreated, kNoTimestamp, FormLine("Settings"),  // 1
                               kNoTimestamp, FormLine("Settings"),                                              // 2
                               kProgress, kCreated, kProgress, kCreated}));                                     // 3, 4
  // Credentials never go into the document.
  EXPECT_EQ(Texts(document_, {"com.zaro.quessa.certpwd", "com.zaro.quessa.certpath"}), (Lines{"-", "-"}));
}

TEST_F(PublishSigned, AWrongPasswordReportsTheInaccessibleCertificate) {
  const fs::path keystore = Keystore("ann.p12", "right");
  const Json credentials = {{"Signature.certpath", WindowsForm(keystore)}, {"Signature.password", "wrong"},
                            {"Signature.timestamp", "false"}};
  const RunResult run = Run({"publish", document_.string()},
                            {Form("Settings", {Set(credentials), Press("Publish"), Press("Cancel")}), Message("yes")});
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{SignCommand(keystore, "wrong", "none")});
  // Exit code 7 has its own row, ahead of the "password may be incorrect" text row.
  const std::string toolText = keystore.string() + ": the keystore cannot be opened; the password may be incorrect\n";
  EXPECT_EQ(Shown(run), (Lines{kNoTimestamp, kProgress,
                               MessageLine(std::string(kCreateFileError) + "无法访问数字证书。\n" + toolText, 48),
                               FormLine("Settings")}));
  EXPECT_FALSE(fs::exists(folder_ / "Hello.zaro"));
  EXPECT_EQ(Texts(document_, {"qmv.folder.path"}), Lines{"-"});  // left with Cancel
}

TEST_F(PublishSigned, AnUnreachableAuthorityOffersRetryAndPublishingWithoutATimeStamp) {
  const fs::path keystore = Keystore("ann.p12", "secret");
  // "重试" runs the same command again; "禁用时间戳" runs it with "-tsa none". The document's time-stamp
  // choice stays, so the next publish asks the authority again; "取消" ends it. The tool retries an
  // authority it cannot reach; shortened retries (a setting for the tool's tests) keep this quick.
  ::setenv("ZPK_TEST_TSA_TIMING", "budget=300,delay=20,maxdelay=50,connect=200,attempt=200", 1);
  const Json credentials = {{"Signature.certpath", WindowsForm(keystore)}, {"Signature.password", "secret"},
                            {"Signature.timestamp", "true"}, {"Signature.rempwd", "true"}};
  auto retryDialog = [](const std::string& button) { return Form("CTimestampRetryDlg", {Press(button)}); };
  const RunResult run = Script("settings();\npublish();\npublish();\n", document_,
                               {Form("Settings", {Set(credentials), Press("OK")}), retryDialog("Retry"),
                                retryDialog("DisableTimestamp"), retryDialog("Cancel")});
  ::unsetenv("ZPK_TEST_TSA_TIMING");
  const Lines stamped = SignCommand(keystore, "secret", "https://timestamp.corvane.example/tsa"),
              unstamped = SignCommand(keystore, "secret", "none");
  EXPECT_EQ(launcher_->Calls(), (std::vector<Lines>{stamped, stamped, unstamped, stamped}));
  ExpectSignedPackage();
  const std::string retry = FormLine("CTimestampRetryDlg");
  EXPECT_EQ(Shown(run), (Lines{FormLine("Settings"), kProgress, retry, kProgress, retry, kProgress, kCreated,
                               kProgress, retry}));
}

// The settings command alone, as a build server would run it: a self-signed certificate
// made on the Signature page, a signed package published from the sheet, and OK.
TEST_F(PublishSigned, TheSheetMakesACertificatePublishesASignedPackageAndKeepsTheSettings) {
  const fs::path certificate = box_.Root() / "keys" / "me.p12";
  fs::create_directories(certificate.parent_path());
  const RunResult run = Run(
      {"settings", document_.string()},
      {Form("Settings", {Set({{"Signature.usecert", "true"}}), Press("Signature.create"),
                         Set({{"Signature.password", "s3cret"}, {"Signature.timestamp", "false"}}), Press("Publish"),
                         Press("OK")}),
       Form("SelfSign", {Set({{"publisher", "Ann Author"}, {"unit", "Publishing"}, {"organization", "Example"},
                              {"country", "DE"}, {"password", "s3cret"}, {"confirm", "s3cret"},
                              {"saveas", WindowsForm(box_.Root() / "keys" / "me")}}),
                         Press("OK")}),
       Message("yes"), Message("yes")});
  EXPECT_EQ(launcher_->Calls(),
            (std::vector<Lines>{ToolCommand({"-certificate", "-cn", "Ann Author", "-ou", "Publishing", "-o", "Example",
                                             "-c", "DE", "1024-RSA", WindowsForm(certificate), "s3cret"}),
                                SignCommand(certificate, "s3cret", "none")}));
  ASSERT_TRUE(fs::exists(certificate));
  ExpectSignedPackage();
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;
  EXPECT_EQ(Shown(run), (Lines{MessageLine("已创建自签名的证书。", 64), FormLine("SelfSign"), kNoTimestamp, kProgress,
                               kCreated, kNoTimestamp, FormLine("Settings")}));
  // OK kept the document settings; the certificate is remembered machine-wide, "/" separated.
  EXPECT_EQ(Texts(document_, {"qmv.folder.path", "tessel.qmv.basename", "tessel.tsd.filepath",
                              "com.zaro.quessa.pubzaro", "com.zaro.quessa.certpwd"}),
            (Lines{folder_.string() + "/", "Hello", document_.string(), "true", "-"}));
  ExpectHolds(ReadText(box_.RegistryFile()),
              {"Last Selected Cert\t" + certificate.string() + "\n", "DigitalSign\tsign\n"});
}

const Lines kIphonePublished{FormLine("CProgressDlg"), MessageLine("iPhone 文件已创建。", 64), FormLine("Settings")};

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
  Json PasswordAndPublish(std::vector<Json> steps = {}) {
    steps.insert(steps.end(), {Set({{"Deployment.password", "phone pw"}}), Press("Publish"), Press("Cancel")});
    return Form("Settings", steps);
  }

  inline static zaro::testing::TestIdentity developer_;
  fs::path keystore_ = box_.Root() / "keys" / "phone.p12";
  fs::path document_;
};


// Publish with stored settings: the missing session password opens the sheet, where it is typed.
// A debug package (its movie exported with debugging permitted) is signed and accepted by the
// packager; a profile for another application shows the packager's own line and writes no package.
TEST_F(IphonePublish, StoredSettingsPublishASignedPackageAndAForeignProfileNone) {
  const std::string foreign = "ABCDE12345.com.example.other";
  const fs::path ipa = Work() / "Game.ipa";
  PutDocumentTexts(document_, {{"qmv.folder.path", Work().string() + "/"}, {"tessel.qmv.basename", "Game"},
                               {"com.zaro.quessa.ipacertpath", keystore_.string()}, {"com.zaro.quessa.ipaopt", "debug"},
                               {"com.zaro.quessa.ipaprovision",
                                Profile("debug", "ABCDE12345.com.example.*", true, true).string()}});
  EXPECT_EQ(Shown(Run({"publish", document_.string()}, {PasswordAndPublish()})), kIphonePublished);
  ExpectVerified(VerifyIpa(ipa), "signer: CN=Phone Developer");

  fs::remove(ipa);
  const fs::path profile = Profile("other", foreign, true);
  PutDocumentTexts(document_,
                   {{"com.zaro.quessa.ipaopt", "adhoc"}, {"com.zaro.quessa.ipaprovision", profile.string()}});
  const RunResult run = Run({"publish", document_.string()}, {PasswordAndPublish()});
  const std::string line = "the application id com.example.game of " + (Work() / "Game-app.xml").string() +
                           " does not fit the application-identifier " + foreign + " of " + profile.string() + "\n";
  EXPECT_EQ(Shown(run), (Lines{FormLine("CProgressDlg"), MessageLine(std::string(kCreateFileError) + line, 48),
                               FormLine("Settings")}));
  EXPECT_FALSE(fs::exists(ipa));
  for (const fs::path& made : run.filesMade) EXPECT_NE(made.extension(), ".ipa") << made;
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
  EXPECT_EQ(Shown(run), (Lines{"file|", "file|", "file|", "file|", "file|", kIphonePublished[0], kIphonePublished[1],
                               kIphonePublished[2]}));
  // The packager accepts the package; the ID follows the profile. The other elements are the
  // pages' and the packager's tests' matter; the second sheet below reads the values back.
  ExpectVerified(VerifyIpa(Work() / "Game.ipa"), "signer: CN=Phone Developer");
  ExpectHolds(ReadText(Work() / "Game-app.xml"),
              {"<id>com.example.storegame</id>", "<aspectRatio>landscape</aspectRatio>"});

  // OK kept the settings in the document (passwords stay out), the machine-wide ones in the registry.
  EXPECT_EQ(Texts(document_, {"com.zaro.quessa.ipaopt", "com.zaro.quessa.ipacertpath", "com.zaro.quessa.ipaprovision",
                              "com.zaro.quessa.ipadest", "com.zaro.quessa.included.item0",
                              "com.zaro.quessa.ipacertpwd"}),
            (Lines{"store", keystore_.string(), profile.string(), "Game.ipa", "levels/level1.dat", "-"}));
  ExpectHolds(ReadText(box_.RegistryFile()), {"Last IPA Cert", "Last IPA Provision", "IpaCertPath",
                                               "MobileProvisionFiles", keystore_.string(), profile.string()});

  // A second sheet shows the kept values: the stored certificate and profile are chosen
  // again, the fourth deployment type is selected, and a publish needs only the password.
  const Json kept = {{"General.destination", "Game.ipa"}, {"General.appname", "Store Game"}, {"General.version", "2.1"},
                     {"General.aspectratio", "横向"}, {"General.rendering", "GPU"},
                     {"Deployment.certpath", WindowsForm(keystore_)}, {"Deployment.profile", WindowsForm(profile)},
                     {"Deployment.appid", "com.example.storegame"}, {"Deployment.store", "true"},
                     {"Deployment.test", "false"}};
  EXPECT_EQ(Shown(Run({"settings", document_.string()},
                      {PasswordAndPublish({Expect(kept), Set({{"Icons.size", "图标 512x512"}}),
                                           Expect({{"Icons.path", "icons/icon512.png"}})})})),
            kIphonePublished);
}

}  // namespace
