// Signed publishing end to end: credentials entered on the settings sheet within one host
// session, the package verified by the kit, the password forgotten or remembered, a wrong
// password, the time-stamp retry dialog, and a self-signed certificate made on the sheet.
#include <gtest/gtest.h>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

class PublishSigned : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    // A folder with a space, so that every path argument is quoted for real.
    document_ = NewDocument("My Movies/Hello");
    folder_ = document_.parent_path();
    launcher_ = std::make_unique<RecordingLauncher>(box_);
  }
  // The sheet's Signature page with a certificate and its password, left with OK.
  Json SheetWithCredentials(const fs::path& keystore, const std::string& password, bool timestamp, bool remember) {
    return Form("Settings", {Set("Signature.certpath", WindowsForm(keystore)), Set("Signature.password", password),
                             Set("Signature.timestamp", timestamp ? "true" : "false"),
                             Set("Signature.rempwd", remember ? "true" : "false"), Press("OK")});
  }
  std::vector<std::string> SignCommand(const fs::path& keystore, const std::string& password, const std::string& tsa,
                                       const std::string& output = "Hello.zaro") {
    return ToolCommand({"-package", "-storetype", "PKCS12", "-keystore", keystore.string(), "-storepass", password,
                        "-tsa", tsa, (folder_ / output).string(), (folder_ / "Hello-app.xml").string(), "-C",
                        folder_.string() + "/", "Hello.qmv"});
  }

  fs::path folder_;
  fs::path document_;
  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishSigned, SessionCredentialsSignAPackageThatVerifiesAndThePasswordIsForgottenUnlessRemembered) {
  // A password with a double quote and a trailing backslash must reach the tool unchanged.
  const std::string password = "pa\"ss\\";
  const fs::path keystore = box_.Root() / "keys" / "ann.p12";
  ASSERT_TRUE(MakeKeystore(keystore, password, box_.Root()));

  // 1: no credentials yet, so the sheet opens; the author browses for the certificate, types
  //    the password and publishes from the sheet.
  // 2: the password was forgotten, so the sheet opens again, on the certificate chosen last;
  //    this time the password is remembered.
  // 3, 4: both publish at once with the remembered password.
  const RunResult run = Script(
      "publish();\npublish();\npublish();\npublish();\n", document_,
      {Form("Settings", {Press("Signature.browse"), Set("Signature.password", password),
                         Set("Signature.timestamp", "false"), Press("Publish"), Press("OK")}),
       Json{{"file", WindowsForm(keystore)}}, Message("yes"), Message("yes"),
       Form("Settings", {Set("Signature.password", password), Set("Signature.rempwd", "true"), Press("OK")}),
       Message("yes")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::vector<std::string> signing = SignCommand(keystore, password, "none");
  EXPECT_EQ(launcher_->Calls(), (std::vector<std::vector<std::string>>{signing, signing, signing}));
  const ToolRun verified = Verify(folder_ / "Hello.zaro", box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_NE(verified.output.find("Ann Author"), std::string::npos) << verified.output;

  const std::string question = MessageLine(kNoTimestampQuestion, 308, "yes");
  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            "file|", question, FormLine("CProgressDlg"), MessageLine(kZaroCreated, 64), question,
                            FormLine("Settings"),                      // 1
                            question, FormLine("Settings"),            // 2
                            FormLine("CProgressDlg"), MessageLine(kZaroCreated, 64),   // 3
                            FormLine("CProgressDlg"), MessageLine(kZaroCreated, 64)}));  // 4
  // Credentials never go into the document.
  EXPECT_FALSE(Sandbox::DocumentValue(document_, "com.zaro.quessa.certpwd"));
  EXPECT_FALSE(Sandbox::DocumentValue(document_, "com.zaro.quessa.certpath"));
}

TEST_F(PublishSigned, AWrongPasswordReportsTheInaccessibleCertificate) {
  const fs::path keystore = box_.Root() / "keys" / "ann.p12";
  ASSERT_TRUE(MakeKeystore(keystore, "right", box_.Root()));
  const RunResult run = box_.Run(
      {"publish", document_.string()},
      WithAnswers({Form("Settings", {Set("Signature.certpath", WindowsForm(keystore)), Set("Signature.password", "wrong"),
                                     Set("Signature.timestamp", "false"), Press("Publish"), Press("Cancel")}),
                   Message("yes")}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{SignCommand(keystore, "wrong", "none")});
  // Exit code 7 has its own row, ahead of the "password may be incorrect" text row.
  const std::string toolText = keystore.string() + ": the keystore cannot be opened; the password may be incorrect\n";
  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                       MessageLine(kNoTimestampQuestion, 308, "yes"), FormLine("CProgressDlg"),
                       MessageLine(std::string(kCreateFileError) + kCertificateInaccessible + "\n" + toolText, 48),
                       FormLine("Settings")}));
  EXPECT_FALSE(fs::exists(folder_ / "Hello.zaro"));
  EXPECT_FALSE(Sandbox::DocumentValue(document_, "qmv.folder.path"));  // left with Cancel
}

TEST_F(PublishSigned, AnUnreachableAuthorityOffersRetryAndPublishingWithoutATimeStamp) {
  const fs::path keystore = box_.Root() / "keys" / "ann.p12";
  ASSERT_TRUE(MakeKeystore(keystore, "secret", box_.Root()));
  // "重试" runs the same command again; "禁用时间戳" runs it with "-tsa none". The document's
  // time-stamp choice stays, so the next publish asks the authority again; "取消" ends it.
  // The kit's tool retries an authority it cannot reach; shortened retries (a setting for
  // the tool's tests) keep this run quick.
  ::setenv("ZPK_TEST_TSA_TIMING", "budget=300,delay=20,maxdelay=50,connect=200,attempt=200", 1);
  const RunResult run = Script("settings();\npublish();\npublish();\n", document_,
                               {SheetWithCredentials(keystore, "secret", true, true),
                                Form("CTimestampRetryDlg", {Press("Retry")}),
                                Form("CTimestampRetryDlg", {Press("DisableTimestamp")}),
                                Form("CTimestampRetryDlg", {Press("Cancel")})});
  ::unsetenv("ZPK_TEST_TSA_TIMING");
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::vector<std::string> stamped = SignCommand(keystore, "secret", kDefaultAuthority);
  const std::vector<std::string> unstamped = SignCommand(keystore, "secret", "none");
  EXPECT_EQ(launcher_->Calls(), (std::vector<std::vector<std::string>>{stamped, stamped, unstamped, stamped}));
  const ToolRun verified = Verify(folder_ / "Hello.zaro", box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;

  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            FormLine("Settings"), FormLine("CProgressDlg"), FormLine("CTimestampRetryDlg"),
                            FormLine("CProgressDlg"), FormLine("CTimestampRetryDlg"), FormLine("CProgressDlg"),
                            MessageLine(kZaroCreated, 64), FormLine("CProgressDlg"), FormLine("CTimestampRetryDlg")}));
}

// The settings command alone, as a build server would run it: a self-signed certificate
// made on the Signature page, a signed package published from the sheet, and OK.
TEST_F(PublishSigned, TheSheetMakesACertificatePublishesASignedPackageAndKeepsTheSettings) {
  const fs::path certificate = box_.Root() / "keys" / "me.p12";
  fs::create_directories(certificate.parent_path());
  const RunResult run = box_.Run(
      {"settings", document_.string()},
      WithAnswers({Form("Settings", {Set("Signature.usecert", "true"), Press("Signature.create"),
                                     Set("Signature.password", "s3cret"), Set("Signature.timestamp", "false"),
                                     Press("Publish"), Press("OK")}),
                   Form("SelfSign", {Set("publisher", "Ann Author"), Set("unit", "Publishing"),
                                     Set("organization", "Example"), Set("country", "DE"), Set("password", "s3cret"),
                                     Set("confirm", "s3cret"), Set("saveas", WindowsForm(box_.Root() / "keys" / "me")),
                                     Press("OK")}),
                   Message("yes"), Message("yes")}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  ASSERT_TRUE(fs::exists(certificate));
  const std::vector<std::vector<std::string>> calls = launcher_->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], ToolCommand({"-certificate", "-cn", "Ann Author", "-ou", "Publishing", "-o", "Example", "-c",
                                   "DE", "1024-RSA", WindowsForm(certificate), "s3cret"}));
  EXPECT_EQ(calls[1], SignCommand(certificate, "s3cret", "none"));
  const ToolRun verified = Verify(folder_ / "Hello.zaro", box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_NE(verified.output.find("Ann Author"), std::string::npos) << verified.output;
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;

  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            MessageLine(kCertificateCreated, 64), FormLine("SelfSign"),
                            MessageLine(kNoTimestampQuestion, 308, "yes"), FormLine("CProgressDlg"),
                            MessageLine(kZaroCreated, 64), MessageLine(kNoTimestampQuestion, 308, "yes"),
                            FormLine("Settings")}));

  // OK kept the document settings; the certificate is remembered machine-wide, "/" separated.
  EXPECT_EQ(Sandbox::DocumentText(document_, "qmv.folder.path"), folder_.string() + "/");
  EXPECT_EQ(Sandbox::DocumentText(document_, "tessel.qmv.basename"), "Hello");
  EXPECT_EQ(Sandbox::DocumentText(document_, "tessel.tsd.filepath"), document_.string());
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.pubzaro"), "true");
  EXPECT_FALSE(Sandbox::DocumentValue(document_, "com.zaro.quessa.certpwd"));
  const std::string registry = ReadText(box_.RegistryFile());
  EXPECT_NE(registry.find("Last Selected Cert\t" + certificate.string() + "\n"), std::string::npos) << registry;
  EXPECT_NE(registry.find("DigitalSign\tsign\n"), std::string::npos) << registry;
}

}  // namespace
}  // namespace publish_e2e
