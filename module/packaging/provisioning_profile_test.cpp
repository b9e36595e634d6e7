#include "packaging/provisioning_profile.h"

#include <set>

#include "packaging/packaging_test_support.h"
#include "testing/profile_maker.h"

namespace zaro::packaging_testing {
namespace {

TEST(ApplyProfileApplicationId, BringsTheTypedIdIntoLineWithTheProfile) {
  // The profile's identifier, the typed ID, the ID afterwards. An exact identifier, an ID under the wildcard and one
  // sharing nothing with it are the Deployment page tests' cases.
  const std::u16string cases[][3] = {
      {u"*", u"com.mine.game", u"com.mine.game"},          {u"*", u"", u""},
      {u"com.example.*", u"com.example", u"com.example."}, {u"com.example.*", u"com.example.", u"com.example."},
      {u"com.example.*", u"com.other.app", u"com.example.other.app"}, {u"com.example.*", u"", u"com.example."},
  };
  for (const auto& [profile, typed, expected] : cases) {
    std::u16string field = typed;
    ApplyProfileApplicationId(profile, field);
    EXPECT_EQ(field, expected) << ToUtf8(profile) << " on " << ToUtf8(typed);
  }
}

// Profiles lie beside the movie folder, which holds the movie and its descriptor.
class ProfileTest : public PackagingTest {
 protected:
  fs::path Signed(const std::string& identifier, bool indented = true) {
    testing::ProfileContent content;
    content.applicationIdentifier = identifier;
    content.indented = indented;
    const fs::path path = root_ / ("p" + std::to_string(++files_) + ".mobileprovision");
    EXPECT_TRUE(testing::WriteProfile(path, content));
    return path;
  }
  // The field holding "typed" after reading the profile, or "<not found>" when that failed and left it alone.
  std::u16string Read(const fs::path& profile) {
    const std::set<fs::directory_entry> before{fs::directory_iterator(movieFolder_), {}};
    std::u16string identifier = u"typed";
    const bool found = ReadProfileApplicationId(FromUtf8(profile.string()), identifier);
    EXPECT_TRUE((std::set<fs::directory_entry>{fs::directory_iterator(movieFolder_), {}} == before))
        << "a scratch file was left behind";
    return found ? identifier : identifier == u"typed" ? u"<not found>" : u"<changed although not found>";
  }

  int files_ = 0;
};

// The identifier after the team prefix, from a signed profile; the movie's own descriptor stays loaded as it was.
TEST_F(ProfileTest, ReadsTheIdentifierOutOfASignedProfile) {
  ASSERT_EQ(LoadDescriptor(false), 0);
  const std::pair<std::string, std::u16string> cases[] = {
      {"ABCDE12345.com.example.app", u"com.example.app"}, {"ABCDE12345.com.example.*", u"com.example.*"},
      {"ABCDE12345.*", u"*"}, {"ABCDE12345." + std::string(255, 'a'), std::u16string(255, u'a')},
      {"ABCDE12345." + std::string(256, 'a'), u"<not found>"},  // longer than the limit
  };
  for (const auto& [identifier, expected] : cases) EXPECT_EQ(Read(Signed(identifier)), expected) << identifier;
  testing::ProfileContent compact;  // no white space between the elements
  compact.indented = false;
  ASSERT_NE(testing::ProfilePropertyList(compact).find("<key>application-identifier</key><string>"), std::string::npos);
  EXPECT_EQ(Read(Signed("ABCDE12345.com.example.compact", false)), u"com.example.compact");

  EXPECT_TRUE(MovieDescriptor().loaded);
  std::u16string id;
  EXPECT_EQ(GetElementText(MovieDescriptor(), u"id", id), 0);
  EXPECT_EQ(id, u"com.example.demo");
}

TEST_F(ProfileTest, DamagedProfilesOrAnUnwritableMovieFolderLeaveTheFieldUnchanged) {
  const std::string good = testing::ProfilePropertyList({});
  const std::string list = good.substr(good.find("<plist"), good.find("</plist>") - good.find("<plist"));
  const std::string key = "<plist><dict><key>application-identifier</key>";
  const std::pair<const char*, std::string> cases[] = {
      {"no list", "binary\x01\x02 no list here"}, {"unclosed", "xx" + list},
      {"the end marker before the start", "</plist>" + list}, {"no value after the key", key + "</dict></plist>"},
      {"does not parse", key + " <string>ABCDE12345.com.x</dict></plist>"},
      {"no key", "<plist><dict><key>Name</key> <string>ABCDE12345.com.x</string></dict></plist>"},
      {"nothing after the team prefix", key + "\n<string>ABCDE12345.</string></dict></plist>"},
  };
  EXPECT_EQ(Read(root_ / "missing.mobileprovision"), u"<not found>");
  for (const auto& [what, bytes] : cases) {
    WriteText(root_ / what, bytes);
    EXPECT_EQ(Read(root_ / what), u"<not found>") << what;
  }

  // An unwritable movie folder reads nothing.
  const std::u16string profile = FromUtf8(Signed("ABCDE12345.com.example.app").string());
  ::chmod(movieFolder_.c_str(), 0555);
  // The superuser writes anywhere: the reading runs where the folder really refuses writes.
  const bool refused = testing_support::RunWithoutPrivileges([&] {
    std::u16string identifier = u"typed";
    return !ReadProfileApplicationId(profile, identifier) && identifier == u"typed";
  });
  ::chmod(movieFolder_.c_str(), 0755);
  EXPECT_TRUE(refused);
}

TEST_F(PackagingTest, ProfileCommitRefusesAnEmptyOrMissingProfileUnlessWithoutMessages) {
  ProfileListPage page;
  int reloads = 0, changes = 0;
  page.reload = [&] { ++reloads; };
  page.markChanged = [&] { ++changes; };
  EXPECT_EQ(CommitProfilePath(page, true), kProfileEmpty);
  EXPECT_EQ(reloads, 1);
  page.text = FromUtf8((root_ / "gone.mobileprovision").string());
  EXPECT_EQ(CommitProfilePath(page, true), kProfileMissing);
  EXPECT_EQ(reloads, 2);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(std::tuple(Messages()[0].text, Messages()[0].style, Messages()[1].text),
            std::tuple(u"必须选择一个供给配置文件。", 48u, u"指定的供给文件不存在。"));
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"");
  std::u16string last;
  ReadRegistryValue(u"Last IPA Provision", last);
  EXPECT_EQ(last, u"");
  EXPECT_EQ(changes, 0);

  // The stored path with "/" and the last profile are checked with the Deployment page; here the list, a missing file.
  page.text = u"/no/such/dev.mobileprovision";
  page.entries = {u"\\x\\one.mobileprovision", u"\\no\\such\\dev.mobileprovision"};
  EXPECT_EQ(CommitProfilePath(page, false), kProfileAccepted);
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"/no/such/dev.mobileprovision");
  std::vector<std::u16string> recent;
  ReadRegistryList(u"MobileProvisionFiles", recent);
  EXPECT_EQ(recent, page.entries);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Messages().size(), 2u) << "no box without messages";
  EXPECT_EQ(reloads, 2);
}

}  // namespace
}  // namespace zaro::packaging_testing
