// Signed publishing end to end: credentials entered on the settings sheet within one host
// session, the package verified by the kit, the password forgotten or remembered, a wrong
// password, the time-stamp retry dialog, and a self-signed certificate made on the sheet.
#include <gtest/gtest.h>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

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
  // The package verifies, signed by the keystores' author.
  void ExpectSignedPackage() {
    const auto verified = Verify(folder_ / "Hello.zaro");
    EXPECT_EQ(verified.code, 0) << verified.output;
    EXPECT_TRUE(Contains(verified.output, "Ann Author")) << verified.output;
  }

  fs::path folder_, document_;
  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishSigned, SessionCredentialsSignAPackageThatVerifiesAndThePasswordIsForgottenUnlessRemembered) {
  // A password with a double quote and a trailing backslash must reach the tool unchanged.
  const std::string password = "pa\"ss\\";
  const fs::path keystore = Keystore("ann.p12", password);
  // 1: no credentials yet, so the sheet opens; the author browses for the certificate, types
  //    the password and publishes from the sheet.
  // 2: the password was forgotten, so the sheet opens again, on the certificate chosen last;
  //    this time the password is remembered.
  // 3, 4: both publish at once with the remembered password.
  const RunResult run = Script(
      "publish();\npublish();\npublish();\npublish();\n", document_,
      {Form("Settings", {Press("Signature.browse"), Set({{"Signature.password", password}, {"Signature.timestamp", "false"}}),
                         Press("Publish"), Press("OK")}),
       File(keystore), Message("yes"), Message("yes"),
       Form("Settings", {Set({{"Signature.password", password}, {"Signature.rempwd", "true"}}), Press("OK")}),
       Message("yes")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
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
  const RunResult run = Run({"publish", document_.string()},
                            {Form("Settings", {Set({{"Signature.certpath", WindowsForm(keystore)},
                                                    {"Signature.password", "wrong"},
                                                    {"Signature.timestamp", "false"}}),
                                               Press("Publish"), Press("Cancel")}),
                             Message("yes")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
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
  // "重试" runs the same command again; "禁用时间戳" runs it with "-tsa none". The document's
  // time-stamp choice stays, so the next publish asks the authority again; "取消" ends it.
  // The kit's tool retries an authority it cannot reach; shortened retries (a setting for
  // the tool's tests) keep this run quick.
  ::setenv("ZPK_TEST_TSA_TIMING", "budget=300,delay=20,maxdelay=50,connect=200,attempt=200", 1);
  const RunResult run = Script("settings();\npublish();\npublish();\n", document_,
                               {Form("Settings", {Set({{"Signature.certpath", WindowsForm(keystore)},
                                                       {"Signature.password", "secret"},
                                                       {"Signature.timestamp", "true"},
                                                       {"Signature.rempwd", "true"}}),
                                                  Press("OK")}),
                                Form("CTimestampRetryDlg", {Press("Retry")}),
                                Form("CTimestampRetryDlg", {Press("DisableTimestamp")}),
                                Form("CTimestampRetryDlg", {Press("Cancel")})});
  ::unsetenv("ZPK_TEST_TSA_TIMING");
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  const Lines stamped = SignCommand(keystore, "secret", "https://timestamp.corvane.example/tsa");
  EXPECT_EQ(launcher_->Calls(), (std::vector<Lines>{stamped, stamped, SignCommand(keystore, "secret", "none"), stamped}));
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
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
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
  const std::string registry = ReadText(box_.RegistryFile());
  EXPECT_TRUE(Contains(registry, "Last Selected Cert\t" + certificate.string() + "\n")) << registry;
  EXPECT_TRUE(Contains(registry, "DigitalSign\tsign\n")) << registry;
}

}  // namespace
}  // namespace publish_e2e
