#include <string>
#include <vector>

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

// Each step sets one more setting, writes the template and looks for pieces of it (a
// leading "!" for a piece that must be absent).
TEST_F(DescriptorTemplateTest, SettingsShapeTheValues) {
  const struct {
    std::u16string_view key;
    std::u16string value;
    std::vector<std::string> pieces;
  } steps[] = {
      // A base name with a space and an underscore, no appid or appname.
      {{}, u"", {"<id>My-Movie-1</id>", "<content>My&#37;20Movie_1.qmv</content>", "<filename>My Movie_1</filename>",
                 "<name>My Movie_1</name>", "!programMenuFolder"}},
      // appid first, then appname; both turned into identifiers the same way.
      {keys::kAppName, u"Nice App", {"<id>Nice-App</id><version>1.0</version><filename>Nice App</filename>"}},
      {keys::kAppId, u"com.example_x", {"<id>com.example-x</id>"}},
      // An identifier the rule refuses (see ApplicationIdTest) gives way to "no-name".
      {keys::kAppId, u"com/example", {"<id>no-name</id>"}},
      // Window styles are matched exactly.
      {keys::kWindowType, u"Opaque", {"<systemChrome>standard</systemChrome><transparent>false</transparent>"}},
      {keys::kWindowType, u"opaque", {"<systemChrome>none</systemChrome><transparent>false</transparent>"}},
      {keys::kWindowType, u"transparent", {"<systemChrome>none</systemChrome><transparent>true</transparent>"}},
      // programMenuFolder only when set, between the window and the icon.
      {keys::kProgramMenu, u"Games & Fun",
       {"</initialWindow><programMenuFolder>Games &amp; Fun</programMenuFolder><icon>"}},
      // Character data is escaped; "%" is left alone.
      {keys::kDescription, u"Tom & Jerry <3 100%", {"<description>Tom &amp; Jerry &lt;3 100%</description>"}},
      {keys::kCopyright, u"© 2024 A&B", {"<copyright>© 2024 A&amp;B</copyright>"}},
      {keys::kVersion, u"2.5", {"<version>2.5</version>"}},
      {keys::kShortName, u"短名", {"<name>短名</name>"}},
  };
  for (const auto& step : steps) {
    if (!step.key.empty()) SetSetting(step.key, step.value);
    const std::string text = Written("My Movie_1");
    EXPECT_EQ(text.back(), '>');
    for (const std::string& piece : step.pieces) {
      if (piece[0] == '!') {
        EXPECT_EQ(text.find(piece.substr(1)), std::string::npos) << piece;
      } else {
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
      }
    }
  }
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
