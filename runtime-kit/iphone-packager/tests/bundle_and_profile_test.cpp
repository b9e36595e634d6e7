// The packager's own rules, each at its edges: the property lists it writes and reads, the
// names it keeps for itself, the dates and identifiers of provisioning profiles.
#include <gtest/gtest.h>

#include <string>

#include "app_bundle.h"
#include "profile_check.h"
#include "property_list.h"

namespace mpk {
namespace {

TEST(PropertyList, WhatTheWriterWritesTheReaderReadsBack) {
  CodeResources resources;
  resources.files = {{"a&b<c>.txt", std::string("\x00\x01\xff", 3)}, {"icons/i57.png", std::string(32, 'd')}};
  resources.folders = {"empty/", "levels/none/"};
  CodeResources read;
  ASSERT_TRUE(ParseCodeResources(BuildCodeResources(resources), read));
  EXPECT_EQ(read.files, resources.files);
  EXPECT_EQ(read.folders, resources.folders);

  // Without folders the list keeps the form earlier archives have.
  resources.folders.clear();
  EXPECT_EQ(BuildCodeResources(resources).find("folders"), std::string::npos);
  ASSERT_TRUE(ParseCodeResources(BuildCodeResources(resources), read));
  EXPECT_TRUE(read.folders.empty());

  for (const char* bad : {"<dict><key>files</key><dict><key>a</key><string>x</string></dict></dict>",
                          "<dict><key>files</key><array/></dict>",
                          "<dict><key>files</key><dict><key>a/</key><data>AA==</data></dict></dict>",
                          "<dict><key>files</key><dict/><key>folders</key><dict/></dict>",
                          "<dict><key>files</key><dict/><key>folders</key><array><string>a</string></array></dict>"}) {
    EXPECT_FALSE(ParseCodeResources(PropertyListDocument(bad), read)) << bad;
  }
}

TEST(PropertyList, ReaderAcceptsOnlyTheSubsetItKnows) {
  const std::optional<PlistValue> value = ParsePropertyList(PropertyListDocument(
      "<dict><key>k</key><string>first</string><key>k</key><string>second</string>"
      "<key>d</key><data>\n\tYWJj\n\tZA==\n</data><key>n</key><array><integer>7</integer><true/></array></dict>"));
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Find("k")->text, "first");
  EXPECT_EQ(value->Find("d")->text, "abcd");
  ASSERT_EQ(value->Find("n")->items.size(), 2u);
  EXPECT_TRUE(value->Find("n")->items[1].flag);
  EXPECT_EQ(value->Find("missing"), nullptr);

  // What lies before <plist> (a document type naming an outside entity) is never read.
  EXPECT_TRUE(ParsePropertyList("<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                                "<plist><string>&amp;</string></plist>"));
  std::string deep = "<plist>";
  for (int i = 0; i < 40; ++i) deep += "<array>";
  for (int i = 0; i < 40; ++i) deep += "</array>";
  for (const std::string& bad : {deep + "</plist>", std::string("<plist><string>a</string>"),
                                 std::string("<plist><string>a</string><string>b</string></plist>"),
                                 std::string("<plist><dict><key>a</key></dict></plist>"),
                                 std::string("<plist><data>!!</data></plist>"),
                                 std::string("<plist><string>&e;</string></plist>")}) {
    EXPECT_FALSE(ParsePropertyList(bad)) << bad;
  }
}

TEST(PropertyList, DatesHaveExactlyOneForm) {
  EXPECT_EQ(ParsePlistDate("2027-01-31T12:00:00Z"), 1801396800);
  for (const char* bad : {"2027-01-31T12:00:00Zx", "2027-01-31T12:00:00", "2027-01-31T12:00:00+01",
                          "2027-01-31 12:00:00Z", ""}) {
    EXPECT_FALSE(ParsePlistDate(bad)) << bad;
  }
}

TEST(AppBundle, InfoPlistListsTheApplicationIconsOnly) {
  zpk::DescriptorInfo info;
  info.id = "com.example.game";
  info.filename = "Game";
  info.version = "1.2";
  info.name = "Tom & Jerry <2>";
  info.icons = {{"application.icon.image57x57", 57, "icons/i57.png"},
                {"application.fileTypes.fileType.icon.image32x32", 32, "icons/doc32.png"}};
  const std::optional<PlistValue> plist = ParsePropertyList(BuildInfoPlist(info));
  ASSERT_TRUE(plist);
  EXPECT_EQ(plist->Find("CFBundleDisplayName")->text, "Tom & Jerry <2>");
  EXPECT_EQ(plist->Find("CFBundleExecutable")->text, "Game");
  EXPECT_EQ(plist->Find("CFBundleIdentifier")->text, "com.example.game");
  EXPECT_EQ(plist->Find("CFBundleVersion")->text, "1.2");
  const PlistValue* icons = plist->Find("CFBundleIconFiles");
  ASSERT_NE(icons, nullptr);
  ASSERT_EQ(icons->items.size(), 1u);
  EXPECT_EQ(icons->items[0].text, "icons/i57.png");
  info.name.clear();
  EXPECT_EQ(ParsePropertyList(BuildInfoPlist(info))->Find("CFBundleName")->text, "Game");
}

TEST(AppBundle, NamesThePackagerKeepsForItself) {
  for (const char* reserved : {"Info.plist", "embedded.mobileprovision", "META-INF/ZARO/application.xml",
                               "_CodeSignature", "_CodeSignature/CodeResources", "_CodeSignature/other"}) {
    EXPECT_TRUE(IsReservedBundleName(reserved)) << reserved;
  }
  for (const char* free : {"info.plist.txt", "_CodeSignatures", "META-INF/ZARO/other.xml", "Movie.qmv"}) {
    EXPECT_FALSE(IsReservedBundleName(free)) << free;
  }
  for (const char* nested : {"Other.app/", "Other.app/x", "a/B.APP/c", ".app/x"}) {
    EXPECT_TRUE(HoldsNestedBundle(nested)) << nested;
  }
  for (const char* plain : {"", "notes.app", "a/notes.app", "apps/x", "a.apps/x", "app/x"}) {
    EXPECT_FALSE(HoldsNestedBundle(plain)) << plain;
  }
}

TEST(ProfileCheck, ApplicationIdentifierEdges) {
  struct Case {
    const char* identifier;
    const char* id;
    bool fits;
  };
  for (const Case& c : {Case{"ABCDE12345.com.example.game", "com.example.game", true},
                        Case{"ABCDE12345.com.example.game", "com.example.gam", false},
                        Case{"ABCDE12345.com.example.*", "com.example.game", true},
                        Case{"ABCDE12345.com.example.*", "com.example.", false},
                        Case{"ABCDE12345.com.example.*", "com.exampleXgame", false},
                        Case{"ABCDE12345.*", "org.any", true},
                        Case{"ABCDE12345.", "", false},
                        Case{"ABCDE12345", "ABCDE12345", false},
                        Case{"ABCDE12345.com.*.game", "com.x.game", false},
                        Case{"ABCDE12345.com.*x", "com.*yy", false},
                        Case{"ABCDE12345.com.*x", "com.*x", true}}) {
    EXPECT_EQ(ApplicationIdFits(c.identifier, c.id), c.fits) << c.identifier << " / " << c.id;
  }
}

TEST(ProfileCheck, ExpiryIsJudgedToTheSecondAndSizeBeforeReading) {
  ProvisioningProfile profile;
  profile.expirationDate = "2027-01-31T12:00:00Z";
  profile.expiresAt = 1801396800;
  BuildFacts build;
  build.profilePath = "p.mobileprovision";
  build.applicationId = "com.example.game";
  build.now = 1801396800;
  zpk::Outcome outcome = CheckProfileFitsBuild(profile, build);
  EXPECT_EQ(outcome.code, 14) << outcome.text;
  EXPECT_NE(outcome.text.find("expired on 2027-01-31T12:00:00Z (it is now 2027-01-31T12:00:00Z)"), std::string::npos)
      << outcome.text;
  build.now -= 1;
  EXPECT_EQ(CheckProfileFitsBuild(profile, build).code, 15) << "one second before, the next check decides";
  profile.expiresAt.reset();
  EXPECT_EQ(CheckProfileFitsBuild(profile, build).code, 14);

  outcome = ParseProvisioningProfile(std::string(kMaxProfileBytes + 1, '0'), "big.mobileprovision", profile);
  EXPECT_EQ(outcome.code, 13);
  EXPECT_NE(outcome.text.find("(larger than 1024 KiB)"), std::string::npos) << outcome.text;
}

}  // namespace
}  // namespace mpk
