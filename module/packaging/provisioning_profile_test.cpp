#include "packaging/provisioning_profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_test_support.h"
#include "platform/text.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "testing/profile_maker.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(ApplyProfileApplicationId, BringsTheTypedIdIntoLineWithTheProfile) {
  struct Case {
    std::u16string profile, typed, expected;
  };
  const Case cases[] = {
      {u"*", u"com.mine.game", u"com.mine.game"},
      {u"*", u"", u""},
      {u"com.example.app", u"com.mine.game", u"com.example.app"},
      {u"com.example.*", u"com.example.game", u"com.example.game"},
      {u"com.example.*", u"com.example", u"com.example."},
      {u"com.example.*", u"com.example.", u"com.example."},
      {u"com.example.*", u"com.other.app", u"com.example.other.app"},
      {u"com.example.*", u"", u"com.example."},
      {u"com.example.*", u"org.test", u"com.example.org.test"},
  };
  for (const Case& c : cases) {
    std::u16string field = c.typed;
    ApplyProfileApplicationId(c.profile, field);
    EXPECT_EQ(field, c.expected) << ToUtf8(c.profile) << " on " << ToUtf8(c.typed);
  }
}

class ProfileReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    ::setenv("TESSEL_REGISTRY_FILE", (root_ / "registry").c_str(), 1);
    testing::ClearSettings();
    fs::create_directories(movie_);
    SetSetting(keys::kMovieFolder, FromUtf8(movie_.string() + "/"));
  }

  std::u16string Profile(const std::string& name, const testing::ProfileContent& content) {
    EXPECT_TRUE(testing::WriteProfile(root_ / name, content));
    return FromUtf8((root_ / name).string());
  }
  std::u16string RawFile(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
    return FromUtf8((root_ / name).string());
  }
  // Reads the profile into a field that holds "typed" and returns the field afterwards.
  std::u16string Read(const std::u16string& path, bool* found = nullptr) {
    const std::vector<fs::path> before = MovieFolderContent();
    std::u16string identifier = u"typed";
    const bool ok = ReadProfileApplicationId(path, identifier);
    if (found) *found = ok;
    EXPECT_EQ(MovieFolderContent(), before) << "a scratch file was left behind";
    return identifier;
  }
  std::vector<fs::path> MovieFolderContent() const {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(movie_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::ScratchFolder scratch_{"profile-test"};
  const fs::path root_ = scratch_.Path();
  const fs::path movie_ = root_ / "movie";
};

TEST_F(ProfileReaderTest, ReadsTheIdentifierOutOfASignedProfile) {
  std::ofstream(movie_ / "Hello.qmv") << "QMV";
  testing::ProfileContent content;
  content.applicationIdentifier = "ABCDE12345.com.example.app";
  EXPECT_EQ(Read(Profile("exact.mobileprovision", content)), u"com.example.app");

  content.applicationIdentifier = "ABCDE12345.com.example.*";
  EXPECT_EQ(Read(Profile("wild.mobileprovision", content)), u"com.example.*");
  content.applicationIdentifier = "ABCDE12345.*";
  EXPECT_EQ(Read(Profile("any.mobileprovision", content)), u"*");
  content.applicationIdentifier = "ABCDE12345.com.example.compact";
  content.indented = false;  // no white space between the elements
  ASSERT_NE(testing::ProfilePropertyList(content).find("<key>application-identifier</key><string>"),
            std::string::npos);
  EXPECT_EQ(Read(Profile("compact.mobileprovision", content)), u"com.example.compact");

  // Typed ids through the whole road: read, then apply.
  std::u16string identifier;
  ASSERT_TRUE(ReadProfileApplicationId(FromUtf8((root_ / "any.mobileprovision").string()), identifier));
  std::u16string field = u"com.mine.game";
  ApplyProfileApplicationId(identifier, field);
  EXPECT_EQ(field, u"com.mine.game");
}

TEST_F(ProfileReaderTest, LeavesTheMoviesDescriptorAlone) {
  std::ofstream(movie_ / "Hello-app.xml")
      << "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a.b</id></application>";
  SetSetting(keys::kMovieBaseName, u"Hello");
  ASSERT_EQ(LoadDescriptor(false), 0);
  std::u16string identifier;
  ASSERT_TRUE(ReadProfileApplicationId(Profile("p.mobileprovision", {}), identifier));
  EXPECT_TRUE(MovieDescriptor().loaded);
  std::u16string id;
  EXPECT_EQ(GetElementText(MovieDescriptor(), u"id", id), 0);
  EXPECT_EQ(id, u"a.b");
  ReleaseDescriptor(MovieDescriptor());
}

TEST_F(ProfileReaderTest, DamagedProfilesLeaveTheFieldUnchanged) {
  const std::string good = testing::ProfilePropertyList({});
  const std::string body = good.substr(good.find("<plist"));
  const std::string list = body.substr(0, body.find("</plist>"));
  const std::string key = "<plist><dict><key>application-identifier</key>";
  const std::pair<const char*, std::string> cases[] = {
      {"no list", "binary\x01\x02 no list here"},
      {"unclosed", "xx" + list},
      {"the end marker before the start", "</plist>" + list},
      {"does not parse", key + " <string>ABCDE12345.com.x</dict></plist>"},
      {"no key", "<plist><dict><key>Name</key> <string>ABCDE12345.com.x</string></dict></plist>"},
      {"nothing after the team prefix", key + "\n<string>ABCDE12345.</string></dict></plist>"},
      {"no value after the key", key + "</dict></plist>"},
  };
  bool found = true;
  EXPECT_EQ(Read(FromUtf8((root_ / "missing.mobileprovision").string()), &found), u"typed");
  EXPECT_FALSE(found);
  int n = 0;
  for (const auto& [what, bytes] : cases) {
    found = true;
    EXPECT_EQ(Read(RawFile("damaged" + std::to_string(n++), bytes), &found), u"typed") << what;
    EXPECT_FALSE(found) << what;
  }
}

TEST_F(ProfileReaderTest, IdentifierLongerThanTheLimitIsRefused) {
  testing::ProfileContent content;
  content.applicationIdentifier = "ABCDE12345." + std::string(255, 'a');
  EXPECT_EQ(Read(Profile("fits.mobileprovision", content)), std::u16string(255, u'a'));
  content.applicationIdentifier += "b";
  bool found = true;
  EXPECT_EQ(Read(Profile("long.mobileprovision", content), &found), u"typed");
  EXPECT_FALSE(found);
}

TEST_F(ProfileReaderTest, UnwritableMovieFolderReadsNothing) {
  const std::u16string profile = Profile("p.mobileprovision", {});
  ::chmod(movie_.c_str(), 0555);
  // The superuser writes anywhere: the reading runs where the folder really refuses writes.
  const bool refused = testing_support::RunWithoutPrivileges([&] {
    std::u16string identifier = u"typed";
    return !ReadProfileApplicationId(profile, identifier) && identifier == u"typed";
  });
  ::chmod(movie_.c_str(), 0755);
  EXPECT_TRUE(refused);
}

class ProfileCommitTest : public ProfileReaderTest {
 protected:
  void SetUp() override {
    ProfileReaderTest::SetUp();
    page_.reload = [this] { ++reloads_; };
    page_.markChanged = [this] { ++changes_; };
  }
  std::vector<UiEvent> Messages() const { return ui_->Events(); }

  testing::ScopedScriptedUi ui_;
  ProfileListPage page_;
  int reloads_ = 0;
  int changes_ = 0;
};

TEST_F(ProfileCommitTest, RefusesAnEmptyOrMissingProfileWithItsMessage) {
  EXPECT_EQ(CommitProfilePath(page_, true), kProfileEmpty);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, u"必须选择一个供给配置文件。");
  EXPECT_EQ(Messages()[0].style, 48u);
  EXPECT_EQ(reloads_, 1);

  page_.text = FromUtf8((root_ / "gone.mobileprovision").string());
  EXPECT_EQ(CommitProfilePath(page_, true), kProfileMissing);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[1].text, u"指定的供给文件不存在。");
  EXPECT_EQ(reloads_, 2);
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"");
  std::u16string last;
  ReadRegistryValue(u"Last IPA Provision", last);
  EXPECT_EQ(last, u"");
  EXPECT_EQ(changes_, 0);
}

TEST_F(ProfileCommitTest, StoresTheProfileWithForwardSlashes) {
  Profile("a.mobileprovision", {});
  const std::string posix = (root_ / "a.mobileprovision").string();
  std::u16string windowsForm = FromUtf8(posix);
  std::replace(windowsForm.begin(), windowsForm.end(), u'/', u'\\');
  page_.text = windowsForm;
  page_.entries = {u"\\x\\one.mobileprovision", windowsForm};
  EXPECT_EQ(CommitProfilePath(page_, true), kProfileAccepted);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(GetSetting(keys::kIpaProvision), FromUtf8(posix));
  EXPECT_EQ(changes_, 1);
  std::u16string last;
  ReadRegistryValue(u"Last IPA Provision", last);
  EXPECT_EQ(last, FromUtf8(posix));
  std::vector<std::u16string> recent;
  ReadRegistryList(u"MobileProvisionFiles", recent);
  EXPECT_THAT(recent, ElementsAre(u"\\x\\one.mobileprovision", windowsForm));

  EXPECT_EQ(CommitProfilePath(page_, true), kProfileAccepted);
  EXPECT_EQ(changes_, 1) << "the same profile again changes nothing";
}

TEST_F(ProfileCommitTest, WithoutMessagesNothingIsRefused) {
  EXPECT_EQ(CommitProfilePath(page_, false), kProfileAccepted);
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"") << "an empty profile stores nothing";
  page_.text = u"/no/such/dev.mobileprovision";
  EXPECT_EQ(CommitProfilePath(page_, false), kProfileAccepted);
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"/no/such/dev.mobileprovision");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(reloads_, 0);
}

}  // namespace
}  // namespace zaro
