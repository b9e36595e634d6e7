// Runs the built iPhone packager on movie folders, keystores and provisioning profiles
// made for each test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "testing/profile_maker.h"

namespace {

namespace fs = std::filesystem;
using zpk::testing::EditZip;
using zpk::testing::Quote;
using zpk::testing::Ran;
using zpk::testing::ReadFile;
using zpk::testing::ReadZipEntry;
using zpk::testing::RunShell;
using zpk::testing::SetEntryMode;
using zpk::testing::ToolRun;
using zpk::testing::WriteFile;

ToolRun RunIpaTool(const std::vector<std::string>& args) {
  std::string command = Quote(MPK_TOOL_PATH);
  for (const std::string& arg : args) command += " " + Quote(arg);
  return RunShell(command);
}

// Adds or replaces the entry `name`; the archive keeps its own copy of `data`.
void Put(zip_t* za, const std::string& name, const std::string& data) {
  void* copy = std::malloc(data.size() + 1);
  std::memcpy(copy, data.data(), data.size());
  ASSERT_GE(zip_file_add(za, name.c_str(), zip_source_buffer(za, copy, data.size(), 1), ZIP_FL_OVERWRITE), 0)
      << zip_strerror(za);
}

class IpaToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp_ / "out");
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

  ToolRun Package(const std::string& target, const std::string& profile, const std::string& output,
                  const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"-package", "-target", target, "-provisioning-profile", profile, "-storetype",
                                     "PKCS12", "-keystore", keystore_, "-storepass", storepass_, output,
                                     movie_ + "/Movie-app.xml", "-C", movie_, "Movie.qmv", "icons/i57.png", "-C",
                                     movie_, "assets/level1.txt"};
    args.insert(args.end(), more.begin(), more.end());
    return RunIpaTool(args);
  }

  // True when an outside reader parses the archive's entry as a property list.
  bool PlistParses(const std::string& archive, const std::string& entry) {
    WriteFile(temp_ / "entry.plist", ReadZipEntry(archive, entry));
    return RunShell("python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1], \"rb\"))' " +
                    Quote(temp_ / "entry.plist"))
               .code == 0;
  }

  // Runs openssl cms -verify on the archive's code signature over its code resources, then `more`.
  ToolRun VerifySignature(const std::string& archive, const std::string& more) {
    WriteFile(temp_ / "res", ReadZipEntry(archive, "Payload/Movie.app/_CodeSignature/CodeResources"));
    WriteFile(temp_ / "sig", ReadZipEntry(archive, "Payload/Movie.app/_CodeSignature/CodeSignature"));
    return RunShell("openssl cms -verify -binary -inform DER -in " + Quote(temp_ / "sig") + " -content " +
                    Quote(temp_ / "res") + " " + more);
  }

  std::vector<std::string> OutputFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp_ / "out")) names.push_back(entry.path().filename());
    return names;
  }

  zpk::testing::TempFolder temp_;
  const std::string movie_ = temp_ / "movie";
  const std::string keystore_ = temp_ / "phone.p12";
  std::string storepass_ = "secret";
  const std::string output_ = temp_ / "out/Movie.ipa";
  const zaro::testing::TestIdentity phone_ = zaro::testing::MakeTestIdentity("Phone Developer");
  zaro::testing::ProfileContent content_;
};

TEST_F(IpaToolTest, FittingProfileGivesASignedApplicationArchive) {
  const std::string profile = Profile(content_);
  ASSERT_TRUE(zpk::testing::Quiet(Package("ipa-ad-hoc", profile, output_)));

  const ToolRun listing = RunShell("unzip -l " + Quote(output_));
  for (const char* name : {"Payload/Movie.app/Info.plist", "Payload/Movie.app/embedded.mobileprovision",
                           "Payload/Movie.app/_CodeSignature/CodeResources",
                           "Payload/Movie.app/_CodeSignature/CodeSignature", "Payload/Movie.app/Movie.qmv",
                           "Payload/Movie.app/icons/i57.png", "Payload/Movie.app/assets/level1.txt",
                           "Payload/Movie.app/META-INF/ZARO/application.xml"}) {
    EXPECT_TRUE(Ran(listing, 0, name));
  }
  EXPECT_EQ(ReadZipEntry(output_, "Payload/Movie.app/embedded.mobileprovision"), ReadFile(profile));
  const std::string info = ReadZipEntry(output_, "Payload/Movie.app/Info.plist");
  for (const char* fact : {"<key>CFBundleIdentifier</key>\n\t<string>com.example.game</string>",
                           "<key>CFBundleName</key>\n\t<string>Movie</string>",
                           "<key>CFBundleShortVersionString</key>\n\t<string>1.0</string>", "<string>icons/i57.png"}) {
    EXPECT_NE(info.find(fact), std::string::npos) << fact << " in\n" << info;
  }

  // The signature over CodeResources holds for an outside reader, against the certificate.
  WriteFile(temp_ / "phone.pem", phone_.certificatePem);
  EXPECT_TRUE(Ran(VerifySignature(output_, "-CAfile " + Quote(temp_ / "phone.pem") + " -purpose any -out /dev/null"),
                  0));
  EXPECT_NE(ReadFile(temp_ / "res").find("<key>assets/level1.txt</key>"), std::string::npos);
  EXPECT_TRUE(PlistParses(output_, "Payload/Movie.app/Info.plist"));
  EXPECT_TRUE(PlistParses(output_, "Payload/Movie.app/_CodeSignature/CodeResources"));

  EXPECT_TRUE(Ran(RunIpaTool({"-verify", output_}), 0));

  // One byte of one file changed: the digest no longer holds.
  EditZip(output_, [](zip_t* za) { Put(za, "Payload/Movie.app/assets/level1.txt", "level 0ne\n"); });
  EXPECT_TRUE(Ran(RunIpaTool({"-verify", output_}), 1, "assets/level1.txt does not match its digest"));
}

TEST_F(IpaToolTest, ProfileThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
  ASSERT_EQ(Package("ipa-ad-hoc", Profile(content_, "good.mobileprovision"), output_).code, 0);
  const std::string earlier = ReadFile(output_);

  // A profile that differs from the fitting one by `change`.
  auto refused = [&](const char* what, const std::string& target, int code, const std::string& line, auto change) {
    SCOPED_TRACE(what);
    zaro::testing::ProfileContent content = content_;
    change(content);
    const ToolRun run = Package(target, Profile(content), output_);
    EXPECT_TRUE(Ran(run, code, line));
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << "one line";
    EXPECT_EQ(ReadFile(output_), earlier) << "the earlier archive survives";
    EXPECT_EQ(OutputFolder(), std::vector<std::string>{"Movie.ipa"}) << "nothing else written";
  };
  refused("expired", "ipa-ad-hoc", 14, "the provisioning profile expired on 2020-01-02T03:04:05Z",
      [](auto& c) { c.expirationDate = 1577934245; });
  refused("other id", "ipa-ad-hoc", 15,
      "the application id com.example.game of " + movie_ +
          "/Movie-app.xml does not fit the application-identifier ABCDE12345.com.example.other of ",
      [](auto& c) { c.applicationIdentifier = "ABCDE12345.com.example.other"; });
  refused("wildcard elsewhere", "ipa-ad-hoc", 15, "does not fit the application-identifier ABCDE12345.org.*",
      [](auto& c) { c.applicationIdentifier = "ABCDE12345.org.*"; });
  const std::string stranger = zaro::testing::MakeTestIdentity("Someone Else").certificateDer;
  refused("other certificate", "ipa-ad-hoc", 16,
      "the certificate CN=Phone Developer of " + keystore_ + " is not one of the 1 DeveloperCertificate of ",
      [&](auto& c) { c.developerCertificates = {stranger}; });
  refused("ad hoc without devices", "ipa-ad-hoc", 17, "an ipa-ad-hoc build needs a provisioning profile with "
      "ProvisionedDevices; ", [](auto& c) { c.provisionedDevices.clear(); });
  refused("test without devices", "ipa-test", 17, "an ipa-test build needs a provisioning profile with "
      "ProvisionedDevices", [](auto& c) { c.provisionedDevices.clear(); });
  refused("store with devices", "ipa-app-store", 17, "an ipa-app-store build needs a provisioning profile without "
      "ProvisionedDevices; ", [](auto&) {});
  refused("debug without get-task-allow", "ipa-debug", 17, "an ipa-debug build needs get-task-allow true; ",
      [](auto& c) { c.getTaskAllow = false; });
  refused("store with get-task-allow", "ipa-app-store", 17, "an ipa-app-store build needs get-task-allow false; ",
      [](auto& c) {
        c.provisionedDevices.clear();
        c.getTaskAllow = true;
      });

  WriteFile(temp_ / "plain.mobileprovision", zaro::testing::ProfilePropertyList(content_));
  EXPECT_TRUE(Ran(Package("ipa-ad-hoc", temp_ / "plain.mobileprovision", output_), 13,
                  "is not a signed envelope holding a property list"));
  std::string envelope = ReadFile(Profile(content_));
  envelope[envelope.find("com.example.game")] = 'C';  // the content no longer fits its signature
  WriteFile(temp_ / "forged.mobileprovision", envelope);
  EXPECT_TRUE(Ran(Package("ipa-ad-hoc", temp_ / "forged.mobileprovision", output_), 13));
  EXPECT_EQ(ReadFile(output_), earlier);
}

TEST_F(IpaToolTest, WildcardsAndEveryDeploymentKind) {
  content_.applicationIdentifier = "ABCDE12345.com.example.*";
  EXPECT_EQ(Package("ipa-test", Profile(content_), output_).code, 0);
  content_.applicationIdentifier = "ABCDE12345.*";
  EXPECT_EQ(Package("ipa-ad-hoc", Profile(content_), output_).code, 0);
  content_.getTaskAllow = true;
  EXPECT_EQ(Package("ipa-debug", Profile(content_), output_).code, 0);
  content_.getTaskAllow = false;
  content_.provisionedDevices.clear();
  EXPECT_TRUE(Ran(Package("ipa-app-store", Profile(content_), output_), 0));
  EXPECT_EQ(RunIpaTool({"-verify", output_}).code, 0);
}

TEST_F(IpaToolTest, CommandLineKeystoreAndOutputFailures) {
  ToolRun run = Package("ipa-ad-hoc", temp_ / "none.mobileprovision", temp_ / "Movie.ipa");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.output.rfind("no such file " + (temp_ / "none.mobileprovision") + "\r\nusage:", 0), 0u) << run.output;

  EXPECT_TRUE(Ran(Package("ipa-enterprise", Profile(content_), temp_ / "Movie.ipa"), 2,
                  "unknown target ipa-enterprise"));
  EXPECT_TRUE(Ran(Package("ipa-ad-hoc", Profile(content_), temp_ / "missing/Movie.ipa"), 6));
  storepass_ = "wrong";
  EXPECT_TRUE(Ran(Package("ipa-test", Profile(content_), temp_ / "Movie.ipa"), 7, "password may be incorrect"));
  storepass_ = "secret";

  WriteFile(movie_ + "/Movie-app.xml", "<application>");
  EXPECT_TRUE(Ran(Package("ipa-ad-hoc", Profile(content_), temp_ / "Movie.ipa"), 12,
                  movie_ + "/Movie-app.xml: error 10"));
  EXPECT_FALSE(fs::exists(temp_ / "Movie.ipa"));
}

// Each change leaves every signed byte as it was; -verify must still see it.
TEST_F(IpaToolTest, VerifierRefusesWhatTheSignatureDoesNotCover) {
  ASSERT_EQ(Package("ipa-ad-hoc", Profile(content_), output_).code, 0);
  const std::string app = "Payload/Movie.app/";
  // The same code resources signed by someone the embedded profile does not list.
  const zaro::testing::TestIdentity stranger = zaro::testing::MakeTestIdentity("Someone Else");
  WriteFile(temp_ / "CodeResources", ReadZipEntry(output_, app + "_CodeSignature/CodeResources"));
  WriteFile(temp_ / "stranger.pem", stranger.certificatePem);
  WriteFile(temp_ / "stranger.key", stranger.keyPem);
  ASSERT_TRUE(Ran(RunShell("openssl cms -sign -binary -outform DER -in " + Quote(temp_ / "CodeResources") +
                           " -signer " + Quote(temp_ / "stranger.pem") + " -inkey " + Quote(temp_ / "stranger.key") +
                           " -out " + Quote(temp_ / "stranger.der")),
                  0));
  const std::string strangerSignature = ReadFile(temp_ / "stranger.der");
  struct Case {
    const char* what;
    std::string line;
    std::function<void(zip_t*)> change;
    std::string patchFrom = "";  // then replaced in the archive's bytes by patchTo
    std::string patchTo = "";
    size_t directoryField = 0;  // else this byte of level1.txt's central directory record
    char value = 0;             // is given this value (or'ed in),
    size_t localField = 0;      // and this byte of its local header too
  };
  const std::vector<Case> cases = {
      {"an added empty folder", "extra/ is a folder the code resources do not list",
       [&](zip_t* za) { ASSERT_GE(zip_dir_add(za, (app + "extra").c_str(), 0), 0); }},
      {"a folder entry carrying data", app + "assets/ is a folder that carries data",
       [&](zip_t* za) { Put(za, app + "assets/", "hidden"); }},
      {"a nested application folder", app + "Other.app/ is an application folder inside " + app,
       [&](zip_t* za) { ASSERT_GE(zip_dir_add(za, (app + "Other.app").c_str(), 0), 0); }},
      {"a file turned into a link", app + "Movie.qmv is not a regular file or folder (a symbolic link)",
       [&](zip_t* za) { SetEntryMode(za, app + "Movie.qmv", S_IFLNK | 0777); }},
      {"Info.plist made executable", app + "Info.plist is marked executable",
       [&](zip_t* za) { SetEntryMode(za, app + "Info.plist", S_IFREG | 0755); }},
      {"a set-id bit", app + "Movie.qmv carries a set-id or sticky bit",
       [&](zip_t* za) { SetEntryMode(za, app + "Movie.qmv", S_IFREG | 04755); }},
      {"a listed file removed", "assets/level1.txt is listed in the code resources but missing",
       [&](zip_t* za) { ASSERT_EQ(zip_delete(za, zip_name_locate(za, (app + "assets/level1.txt").c_str(), 0)), 0); }},
      {"an unlisted file", "notes.txt is not listed in the code resources",
       [&](zip_t* za) { Put(za, app + "notes.txt", "added"); }},
      {"an entry outside", "Library/x lies outside the application folder",
       [&](zip_t* za) { Put(za, "Library/x", "x"); }},
      {"a second application folder", "more than one application folder (Payload/Movie.app/, Payload/Twin.app/)",
       [&](zip_t* za) { Put(za, "Payload/Twin.app/x", "x"); }},
      {"a signer the profile does not list", "the embedded provisioning profile does not list the signer "
       "CN=Someone Else", [&](zip_t* za) { Put(za, app + "_CodeSignature/CodeSignature", strangerSignature); }},
      {"an entry given twice", "an entry is present twice",
       [&](zip_t* za) { Put(za, app + "assets/level2.txt", "level one\n"); }, "level2.txt", "level1.txt"},
      {"a later zip version needed", app + "assets/level1.txt asks for a later zip version than the packager writes",
       [](zip_t*) {}, "", "", 6, 63},
      {"an encrypted entry", app + "assets/level1.txt is encrypted", [](zip_t*) {}, "", "", 8, 1, 6},
      {"flags the local header does not share", app + "assets/level1.txt has a local header that does not match "
       "its directory record", [](zip_t*) {}, "", "", 8, 8},
      {"an unknown compression method", app + "assets/level1.txt is compressed by a method the kit does not write",
       [](zip_t*) {}, "", "", 10, 99, 8},
  };
  const std::string path = temp_ / "changed.ipa";
  for (const Case& c : cases) {
    fs::copy_file(output_, path, fs::copy_options::overwrite_existing);
    SCOPED_TRACE(c.what);
    EditZip(path, c.change);
    std::string bytes = ReadFile(path);
    if (!c.patchFrom.empty()) {
      for (size_t at; (at = bytes.find(c.patchFrom)) != std::string::npos;)
        bytes.replace(at, c.patchTo.size(), c.patchTo);
    }
    if (c.directoryField != 0) {
      const size_t record = bytes.rfind(app + "assets/level1.txt") - 46;  // the directory follows the data
      ASSERT_EQ(bytes.compare(record, 4, "PK\1\2"), 0);
      bytes[record + c.directoryField] = static_cast<char>(bytes[record + c.directoryField] | c.value);
      const size_t local = bytes.find(app + "assets/level1.txt") - 30;
      if (c.localField != 0) bytes[local + c.localField] = static_cast<char>(bytes[local + c.localField] | c.value);
    }
    WriteFile(path, bytes);
    EXPECT_TRUE(Ran(RunIpaTool({"-verify", path}), 1, "verification failed: " + c.line + "\n"));
  }
}

TEST_F(IpaToolTest, PackagedEmptyFolderIsListedAndVerifies) {
  fs::create_directories(movie_ + "/saves");
  ASSERT_EQ(Package("ipa-ad-hoc", Profile(content_), output_, {"saves"}).code, 0);
  const std::string resources = "Payload/Movie.app/_CodeSignature/CodeResources";
  EXPECT_NE(ReadZipEntry(output_, resources).find("<key>folders</key>\n\t<array>\n\t\t<string>saves/</string>"),
            std::string::npos);
  EXPECT_TRUE(PlistParses(output_, resources));
  EXPECT_EQ(RunIpaTool({"-verify", output_}).code, 0);

  EditZip(output_, [](zip_t* za) { ASSERT_EQ(zip_delete(za, zip_name_locate(za, "Payload/Movie.app/saves/", 0)), 0); });
  EXPECT_TRUE(Ran(RunIpaTool({"-verify", output_}), 1, "saves/ is listed in the code resources but missing"));
}

TEST_F(IpaToolTest, WhatCannotGoIntoTheBundleIsRefusedBeforeAnythingIsWritten) {
  const std::string profile = Profile(content_);
  WriteFile(movie_ + "/_CodeSignature", "mine");
  WriteFile(movie_ + "/Plugins.app/run", "x");
  WriteFile(movie_ + "/odd\xef\xbf\xbe.txt", "x");
  // A reserved name, a nested bundle and a name XML 1.0 cannot hold.
  for (const auto& [name, line] : std::vector<std::pair<std::string, std::string>>{
           {"_CodeSignature", "_CodeSignature: this name is reserved"},
           {"Plugins.app", "Plugins.app/run: an application folder cannot hold another one"},
           {"odd\xef\xbf\xbe.txt", "(it contains the character U+FFFE, which XML 1.0 cannot hold)"}}) {
    EXPECT_TRUE(Ran(Package("ipa-ad-hoc", profile, output_, {name}), 2, line));
    EXPECT_TRUE(OutputFolder().empty()) << name;
  }

  // A descriptor declared XML 1.1 may carry a control character that Info.plist cannot.
  std::string descriptor = ReadFile(movie_ + "/Movie-app.xml");
  WriteFile(movie_ + "/Movie-app.xml",
            Replace(Replace(descriptor, "version=\"1.0\"", "version=\"1.1\""), "<name>Movie", "<name>Mo&#x1;vie"));
  EXPECT_TRUE(Ran(Package("ipa-ad-hoc", profile, output_), 12,
                  "error 105: application.name contains the character U+0001, which XML 1.0 cannot hold"));
  EXPECT_TRUE(OutputFolder().empty());
  WriteFile(movie_ + "/Movie-app.xml", descriptor);

  // A profile past 2 GiB (sparse) is refused from its size, without reading it.
  const std::string huge = temp_ / "huge.mobileprovision";
  zpk::testing::WriteSparseFile(huge, (1LL << 31) + 5);
  const ToolRun run = Package("ipa-ad-hoc", huge, output_);
  EXPECT_TRUE(Ran(run, 13, "(larger than 1024 KiB)"));
  EXPECT_LT(run.maxRssKb, 64 * 1024);
  EXPECT_TRUE(OutputFolder().empty());
}

// Under SOURCE_DATE_EPOCH the same inputs give the same archive, byte for byte, whatever the
// file times and whenever the packager runs; its fixed signing time still verifies.
TEST_F(IpaToolTest, SameInputsGiveTheSameArchiveUnderSourceDateEpoch) {
  const std::string profile = Profile(content_);
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  EXPECT_TRUE(Ran(Package("ipa-test", profile, output_), 0));
  const std::string first = ReadFile(output_);
  sleep(1);  // a signing time taken from the clock would differ
  RunShell("touch -d 2001-02-03 " + Quote(movie_) + "/assets/* " + Quote(movie_ + "/Movie.qmv"));
  EXPECT_TRUE(Ran(Package("ipa-test", profile, output_), 0));
  unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_FALSE(first.empty());
  EXPECT_TRUE(first == ReadFile(output_));
  EXPECT_EQ(RunIpaTool({"-verify", output_}).code, 0);
  EXPECT_TRUE(Ran(VerifySignature(output_, "-noverify -out /dev/null && openssl cms -cmsout -print -inform DER -in " +
                                                Quote(temp_ / "sig")), 0, "UTCTIME:Nov 14 22:13:20 2023 GMT"));
}

}  // namespace
