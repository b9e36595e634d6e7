#include <string>

#include "descriptor/application_id.h"
#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using testing_support::DescriptorTest;
using testing_support::kBom;
using testing_support::ReadBytes;

class DescriptorTemplateTest : public DescriptorTest {
 protected:
  // Writes the template and returns the file's bytes.
  std::string Written(const std::string& baseName) {
    SetMovie(baseName);
    EXPECT_TRUE(WriteDescriptorTemplate());
    return ReadBytes(DescriptorFile(baseName));
  }
};

TEST_F(DescriptorTemplateTest, BareMovieGivesTheExactTemplate) {
  const std::string expected =
      kBom +
      "<?xml version =\"1.0\" encoding=\"utf-8\" ?><application "
      "xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>Movie</id><version>1.0</version><filename>"
      "Movie</filename><description></description><!-- To localize the description, use the following format "
      "for the description element.<description><text xml:lang=\"en\">English App description goes "
      "here</text><text xml:lang=\"fr\">French App description goes here</text><text xml:lang=\"ja\">Japanese "
      "App description goes here</text></description>--><name>Movie</name><!-- To localize the name, use the "
      "following format for the name element.<name><text xml:lang=\"en\">English App name goes "
      "here</text><text xml:lang=\"fr\">French App name goes here</text><text xml:lang=\"ja\">Japanese App "
      "name goes here</text></name>--><copyright></copyright><initialWindow><content>Movie.qmv</content>"
      "<systemChrome>standard</systemChrome><transparent>false</transparent><visible>true</visible>"
      "<fullScreen>false</fullScreen><aspectRatio>portrait</aspectRatio><renderMode>auto</renderMode>"
      "</initialWindow><icon></icon><customUpdateUI>false</customUpdateUI><allowBrowserInvocation>false"
      "</allowBrowserInvocation></application>";
  EXPECT_EQ(Written("Movie"), expected);
}

TEST_F(DescriptorTemplateTest, SettingsShapeTheValues) {
  // Base name with a space and an underscore, no appid or appname.
  {
    const std::string text = Written("My Movie_1");
    EXPECT_NE(text.find("<id>My-Movie-1</id>"), std::string::npos);
    EXPECT_NE(text.find("<content>My&#37;20Movie_1.qmv</content>"), std::string::npos);
    EXPECT_NE(text.find("<filename>My Movie_1</filename>"), std::string::npos);
    EXPECT_NE(text.find("<name>My Movie_1</name>"), std::string::npos);
  }
  // appid first, then appname; both turned into identifiers the same way.
  SetSetting(keys::kAppName, u"Nice App");
  EXPECT_NE(Written("Movie").find("<id>Nice-App</id><version>1.0</version><filename>Nice App</filename>"),
            std::string::npos);
  SetSetting(keys::kAppId, u"com.example_x");
  EXPECT_NE(Written("Movie").find("<id>com.example-x</id>"), std::string::npos);
  // An identifier the rule refuses (see ApplicationIdTest) gives way to "no-name".
  SetSetting(keys::kAppId, u"com/example");
  EXPECT_NE(Written("Movie").find("<id>no-name</id>"), std::string::npos);
  // Window styles are matched exactly.
  SetSetting(keys::kWindowType, u"Opaque");
  EXPECT_NE(Written("Movie").find("<systemChrome>standard</systemChrome><transparent>false</transparent>"),
            std::string::npos);
  SetSetting(keys::kWindowType, u"opaque");
  EXPECT_NE(Written("Movie").find("<systemChrome>none</systemChrome><transparent>false</transparent>"),
            std::string::npos);
  SetSetting(keys::kWindowType, u"transparent");
  EXPECT_NE(Written("Movie").find("<systemChrome>none</systemChrome><transparent>true</transparent>"),
            std::string::npos);
  // programMenuFolder only when set, between the window and the icon.
  EXPECT_EQ(Written("Movie").find("programMenuFolder"), std::string::npos);
  SetSetting(keys::kProgramMenu, u"Games & Fun");
  EXPECT_NE(Written("Movie").find("</initialWindow><programMenuFolder>Games &amp; Fun</programMenuFolder><icon>"),
            std::string::npos);
  // Character data is escaped; "%" is left alone.
  SetSetting(keys::kDescription, u"Tom & Jerry <3 100%");
  SetSetting(keys::kCopyright, u"© 2024 A&B");
  SetSetting(keys::kVersion, u"2.5");
  SetSetting(keys::kShortName, u"短名");
  const std::string text = Written("Movie");
  EXPECT_NE(text.find("<description>Tom &amp; Jerry &lt;3 100%</description>"), std::string::npos);
  EXPECT_NE(text.find("<copyright>© 2024 A&amp;B</copyright>"), std::string::npos);
  EXPECT_NE(text.find("<version>2.5</version>"), std::string::npos);
  EXPECT_NE(text.find("<name>短名</name>"), std::string::npos);
  EXPECT_EQ(text.back(), '>');
}

TEST_F(DescriptorTemplateTest, TemplateParsesBackToItsValues) {
  SetMovie("A&B Movie");
  SetSetting(keys::kDescription, u"x < y & z");
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(MessagesShown(), 0);
  std::u16string text;
  ASSERT_EQ(GetElementText(MovieDescriptor(), u"content", text), 0);
  EXPECT_EQ(text, u"A&B%20Movie.qmv");
  ASSERT_EQ(GetElementText(MovieDescriptor(), u"description", text), 0);
  EXPECT_EQ(text, u"x < y & z");
  EXPECT_FALSE(MovieDescriptor().legacyNamespace);
}

TEST_F(DescriptorTemplateTest, NamespaceComesFromTheKitSample) {
  // The kit's own sample carries the current namespace.
  InstallSample(ReadBytes(testing_support::SourceSample()));
  std::string descriptorNamespace;
  ASSERT_EQ(ReadSampleNamespace(descriptorNamespace), 0);
  EXPECT_EQ(descriptorNamespace, "http://ns.corvane.example/zaro/application/2.0");

  InstallSample("<?xml version=\"1.0\"?><application xmlns=\"urn:kit/ns/2.5\"><id>s</id></application>");
  EXPECT_NE(Written("Movie").find("<application xmlns=\"urn:kit/ns/2.5\">"), std::string::npos);

  // Unusable samples leave the default in place.
  const std::string fallback = "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">";
  InstallSample("<application xmlns=\"urn:kit/1.0.M6\"/>");
  EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), -1);
  EXPECT_NE(Written("Movie").find(fallback), std::string::npos);
  InstallSample("<application xmlns=\"urn:" + std::string(124, 'n') + "\"/>");
  EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), -1);
  EXPECT_NE(Written("Movie").find(fallback), std::string::npos);
  InstallSample("<application xmlns=\"urn:" + std::string(123, 'n') + "\"/>");
  EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), 0);
  EXPECT_EQ(descriptorNamespace.size(), 127u);
  InstallSample("<application xmlns=\"urn:broken\">");
  EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), -1);
  std::filesystem::remove(root_ / "bin" / "ZSK2.0" / "samples" / "descriptor-sample.xml");
  EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), -1);
  EXPECT_NE(Written("Movie").find(fallback), std::string::npos);
}

TEST(ApplicationIdTest, AcceptsOnlyTheRuleCharactersAndLengths) {
  EXPECT_TRUE(IsValidApplicationId(u"a"));
  EXPECT_TRUE(IsValidApplicationId(u"com.Example-App.09"));
  EXPECT_TRUE(IsValidApplicationId(std::u16string(212, u'Z')));
  EXPECT_FALSE(IsValidApplicationId(u""));
  EXPECT_FALSE(IsValidApplicationId(std::u16string(213, u'Z')));
  for (const char16_t* id : {u"a_b", u"a b", u"a/b", u"a%b", u"é", u"应用"}) {
    EXPECT_FALSE(IsValidApplicationId(id)) << ToUtf8(id);
  }
}

}  // namespace
}  // namespace zaro
