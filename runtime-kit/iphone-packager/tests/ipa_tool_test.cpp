// Runs the built iPhone packager on movie folders, keystores and provisioning profiles
// made for each test.
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "testing/profile_maker.h"

namespace {

namespace fs = std::filesystem;
using zpk::testing::ReadFile;
using zpk::testing::ReadZipEntry;
using zpk::testing::ToolRun;
using zpk::testing::WriteFile;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

ToolRun RunIpaTool(const std::vector<std::string>& args) {
  std::string command = Quoted(MPK_TOOL_PATH);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  return zpk::testing::RunShell(command);
}

class IpaToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string descriptor = zpk::testing::MakeDescriptor("<image57x57>icons/i57.png</image57x57>");
    zpk::testing::MakeMovieFolder(movie_, Replace(descriptor, "com.example.Movie", "com.example.game"));
    WriteFile(movie_ + "/icons/i57.png", zpk::testing::MakePng(57, 57));
    WriteFile(movie_ + "/assets/level1.txt", "level one\n");
    ASSERT_FALSE(phone_.certificateDer.empty());
    ASSERT_TRUE(zaro::testing::WriteKeystore(keystore_, phone_, "secret"));
    content_.applicationIdentifier = "ABCDE12345.com.example.game";
    content_.developerCertificates = {phone_.certificateDer};
    content_.provisionedDevices = {"0123456789abcdef0123456789abcdef01234567"};
  }

  static std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
  }

  std::string Profile(const zaro::testing::ProfileContent& content, const std::string& name = "p.mobileprovision") {
    EXPECT_TRUE(zaro::testing::WriteProfile(temp_ / name, content));
    return temp_ / name;
  }

  ToolRun Package(const std::string& target, const std::string& profile, const std::string& output) {
    return RunIpaTool({"-package", "-target", target, "-provisioning-profile", profile, "-storetype", "PKCS12",
                       "-keystore", keystore_, "-storepass", "secret", output, movie_ + "/Movie-app.xml", "-C",
                       movie_, "Movie.qmv", "icons/i57.png", "-C", movie_, "assets/level1.txt"});
  }

  std::vector<std::string> OutputFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp_ / "out")) names.push_back(entry.path().filename());
    return names;
  }

  zpk::testing::TempFolder temp_;
  const std::string movie_ = temp_ / "movie";
  const std::string keystore_ = temp_ / "phone.p12";
  const std::string output_ = temp_ / "out/Movie.ipa";
  const zaro::testing::TestIdentity phone_ = zaro::testing::MakeTestIdentity("Phone Developer");
  zaro::testing::ProfileContent content_;
};

TEST_F(IpaToolTest, FittingProfileGivesASignedApplicationArchive) {
  fs::create_directories(temp_ / "out");
  const std::string profile = Profile(content_);
  const ToolRun run = Package("ipa-ad-hoc", profile, output_);
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output, "");

  const ToolRun listing = zpk::testing::RunShell("unzip -l " + Quoted(output_));
  ASSERT_EQ(listing.code, 0) << listing.output;
  for (const char* name : {"Payload/Movie.app/Info.plist", "Payload/Movie.app/embedded.mobileprovision",
                           "Payload/Movie.app/_CodeSignature/CodeResources",
                           "Payload/Movie.app/_CodeSignature/CodeSignature", "Payload/Movie.app/Movie.qmv",
                           "Payload/Movie.app/icons/i57.png", "Payload/Movie.app/assets/level1.txt",
                           "Payload/Movie.app/META-INF/ZARO/application.xml"}) {
    EXPECT_NE(listing.output.find(name), std::string::npos) << name << " in\n" << listing.output;
  }
  EXPECT_EQ(ReadZipEntry(output_, "Payload/Movie.app/embedded.mobileprovision"), ReadFile(profile));
  const std::string info = ReadZipEntry(output_, "Payload/Movie.app/Info.plist");
  for (const char* fact : {"<key>CFBundleIdentifier</key>\n\t<string>com.example.game</string>",
                           "<key>CFBundleName</key>\n\t<string>Movie</string>",
                           "<key>CFBundleShortVersionString</key>\n\t<string>1.0</string>", "<string>icons/i57.png"}) {
    EXPECT_NE(info.find(fact), std::string::npos) << fact << " in\n" << info;
  }

  // The signature over CodeResources holds for an outside reader, against the certificate.
  WriteFile(temp_ / "CodeResources", ReadZipEntry(output_, "Payload/Movie.app/_CodeSignature/CodeResources"));
  WriteFile(temp_ / "CodeSignature", ReadZipEntry(output_, "Payload/Movie.app/_CodeSignature/CodeSignature"));
  WriteFile(temp_ / "phone.pem", phone_.certificatePem);
  const ToolRun cms = zpk::testing::RunShell(
      "openssl cms -verify -binary -inform DER -in " + Quoted(temp_ / "CodeSignature") + " -content " +
      Quoted(temp_ / "CodeResources") + " -CAfile " + Quoted(temp_ / "phone.pem") + " -purpose any -out /dev/null");
  EXPECT_EQ(cms.code, 0) << cms.output;
  EXPECT_NE(ReadFile(temp_ / "CodeResources").find("<key>assets/level1.txt</key>"), std::string::npos);

  const ToolRun verified = RunIpaTool({"-verify", output_});
  EXPECT_EQ(verified.code, 0) << verified.output;

  // One byte of one file changed: the digest no longer holds.
  int error = 0;
  zip_t* archive = zip_open(output_.c_str(), 0, &error);
  ASSERT_NE(archive, nullptr);
  static const char kChanged[] = "level 0ne\n";
  zip_source_t* source = zip_source_buffer(archive, kChanged, sizeof kChanged - 1, 0);
  ASSERT_GE(zip_file_replace(archive, zip_name_locate(archive, "Payload/Movie.app/assets/level1.txt", 0), source, 0),
            0);
  ASSERT_EQ(zip_close(archive), 0);
  const ToolRun tampered = RunIpaTool({"-verify", output_});
  EXPECT_EQ(tampered.code, 1);
  EXPECT_NE(tampered.output.find("assets/level1.txt does not match its digest"), std::string::npos)
      << tampered.output;
}

TEST_F(IpaToolTest, ProfileThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
  fs::create_directories(temp_ / "out");
  ASSERT_EQ(Package("ipa-ad-hoc", Profile(content_, "good.mobileprovision"), output_).code, 0);
  const std::string earlier = ReadFile(output_);

  struct Case {
    const char* what;
    std::string target;
    zaro::testing::ProfileContent content;
    int code;
    std::string line;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, const std::string& target, int code, const std::string& line, auto change) {
    zaro::testing::ProfileContent content = content_;
    change(content);
    cases.push_back({what, target, content, code, line});
  };
  add("expired", "ipa-ad-hoc", 14, "the provisioning profile expired on 2020-01-02T03:04:05Z",
      [](auto& c) { c.expirationDate = 1577934245; });
  add("other id", "ipa-ad-hoc", 15,
      "the application id com.example.game of " + movie_ +
          "/Movie-app.xml does not fit the application-identifier ABCDE12345.com.example.other of ",
      [](auto& c) { c.applicationIdentifier = "ABCDE12345.com.example.other"; });
  add("wildcard elsewhere", "ipa-ad-hoc", 15, "does not fit the application-identifier ABCDE12345.org.*",
      [](auto& c) { c.applicationIdentifier = "ABCDE12345.org.*"; });
  const std::string stranger = zaro::testing::MakeTestIdentity("Someone Else").certificateDer;
  add("other certificate", "ipa-ad-hoc", 16,
      "the certificate CN=Phone Developer of " + keystore_ + " is not one of the 1 DeveloperCertificate of ",
      [&](auto& c) { c.developerCertificates = {stranger}; });
  add("ad hoc without devices", "ipa-ad-hoc", 17, "an ipa-ad-hoc build needs a provisioning profile with "
      "ProvisionedDevices; ", [](auto& c) { c.provisionedDevices.clear(); });
  add("test without devices", "ipa-test", 17, "an ipa-test build needs a provisioning profile with ProvisionedDevices",
      [](auto& c) { c.provisionedDevices.clear(); });
  add("store with devices", "ipa-app-store", 17, "an ipa-app-store build needs a provisioning profile without "
      "ProvisionedDevices; ", [](auto&) {});
  add("debug without get-task-allow", "ipa-debug", 17, "an ipa-debug build needs get-task-allow true; ",
      [](auto& c) { c.getTaskAllow = false; });
  add("store with get-task-allow", "ipa-app-store", 17, "an ipa-app-store build needs get-task-allow false; ",
      [](auto& c) {
        c.provisionedDevices.clear();
        c.getTaskAllow = true;
      });

  for (const Case& c : cases) {
    const ToolRun run = Package(c.target, Profile(c.content), output_);
    EXPECT_EQ(run.code, c.code) << c.what << ": " << run.output;
    EXPECT_NE(run.output.find(c.line), std::string::npos) << c.what << ": " << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.what << ": one line";
    EXPECT_EQ(ReadFile(output_), earlier) << c.what << ": the earlier archive survives";
    EXPECT_EQ(OutputFolder(), std::vector<std::string>{"Movie.ipa"}) << c.what << ": nothing else written";
  }

  WriteFile(temp_ / "plain.mobileprovision", zaro::testing::ProfilePropertyList(content_));
  ToolRun run = Package("ipa-ad-hoc", temp_ / "plain.mobileprovision", output_);
  EXPECT_EQ(run.code, 13) << run.output;
  EXPECT_NE(run.output.find("is not a signed envelope holding a property list"), std::string::npos);
  std::string envelope = ReadFile(Profile(content_));
  envelope[envelope.find("com.example.game")] = 'C';  // the content no longer fits its signature
  WriteFile(temp_ / "forged.mobileprovision", envelope);
  run = Package("ipa-ad-hoc", temp_ / "forged.mobileprovision", output_);
  EXPECT_EQ(run.code, 13) << run.output;
  EXPECT_EQ(ReadFile(output_), earlier);
}

TEST_F(IpaToolTest, WildcardsAndEveryDeploymentKind) {
  fs::create_directories(temp_ / "out");
  content_.applicationIdentifier = "ABCDE12345.com.example.*";
  EXPECT_EQ(Package("ipa-test", Profile(content_), output_).code, 0);
  content_.applicationIdentifier = "ABCDE12345.*";
  EXPECT_EQ(Package("ipa-ad-hoc", Profile(content_), output_).code, 0);
  content_.getTaskAllow = true;
  EXPECT_EQ(Package("ipa-debug", Profile(content_), output_).code, 0);
  content_.getTaskAllow = false;
  content_.provisionedDevices.clear();
  const ToolRun store = Package("ipa-app-store", Profile(content_), output_);
  EXPECT_EQ(store.code, 0) << store.output;
  EXPECT_EQ(RunIpaTool({"-verify", output_}).code, 0);
}

TEST_F(IpaToolTest, CommandLineKeystoreAndOutputFailures) {
  ToolRun run = Package("ipa-ad-hoc", temp_ / "none.mobileprovision", temp_ / "Movie.ipa");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.output.rfind("no such file " + (temp_ / "none.mobileprovision") + "\r\nusage:", 0), 0u) << run.output;

  run = Package("ipa-enterprise", Profile(content_), temp_ / "Movie.ipa");
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.output.find("unknown target ipa-enterprise"), std::string::npos);

  run = RunIpaTool({"-package", "-target", "ipa-test", "-provisioning-profile", Profile(content_), "-storetype",
                    "PKCS12", "-keystore", keystore_, "-storepass", "wrong", temp_ / "Movie.ipa",
                    movie_ + "/Movie-app.xml", "-C", movie_, "Movie.qmv", "icons/i57.png"});
  EXPECT_EQ(run.code, 7);
  EXPECT_NE(run.output.find("password may be incorrect"), std::string::npos) << run.output;

  run = Package("ipa-ad-hoc", Profile(content_), temp_ / "missing/Movie.ipa");
  EXPECT_EQ(run.code, 6) << run.output;

  WriteFile(movie_ + "/Movie-app.xml", "<application>");
  run = Package("ipa-ad-hoc", Profile(content_), temp_ / "Movie.ipa");
  EXPECT_EQ(run.code, 12) << run.output;
  EXPECT_NE(run.output.find(movie_ + "/Movie-app.xml: error 10"), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(temp_ / "Movie.ipa"));
}

}  // namespace
