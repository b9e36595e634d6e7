#include <string>
#include <vector>

#include "descriptor/application_id.h"
#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;

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
      EXPECT_EQ(text.find(piece.substr(piece[0] == '!')) == std::string::npos, piece[0] == '!') << piece;
    }
  }
}

TEST_F(DescriptorTemplateTest, TemplateParsesBackToItsValues) {
  SetMovie("A&B Movie");
  SetSetting(keys::kDescription, u"x < y & z");
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(MessagesShown(), 0);
  EXPECT_EQ(ElementText(u"content"), u"A&B%20Movie.qmv");
  EXPECT_EQ(ElementText(u"description"), u"x < y & z");
  EXPECT_FALSE(MovieDescriptor().legacyNamespace);
}

TEST_F(DescriptorTemplateTest, NamespaceComesFromTheKitSample) {
  const std::string fallback = "http://ns.corvane.example/zaro/application/2.0";
  // Each sample ("" for none) and the namespace read from it ("" for a refused sample, which
  // leaves the default in place).
  const std::pair<std::string, std::string> cases[] = {
      {ReadBytes(testing_support::SourceSample()), fallback},  // the kit's own sample carries the current one
      {"<?xml version=\"1.0\"?><application xmlns=\"urn:kit/ns/2.5\"><id>s</id></application>", "urn:kit/ns/2.5"},
      {"<application xmlns=\"urn:kit/1.0.M6\"/>", ""},
      {"<application xmlns=\"urn:" + std::string(124, 'n') + "\"/>", ""},
      {"<application xmlns=\"urn:" + std::string(123, 'n') + "\"/>", "urn:" + std::string(123, 'n')},
      {"<application xmlns=\"urn:broken\">", ""},
      {"", ""},
  };
  for (const auto& [sample, read] : cases) {
    SCOPED_TRACE(sample);
    InstallSample(sample);
    std::string descriptorNamespace;
    EXPECT_EQ(ReadSampleNamespace(descriptorNamespace), read.empty() ? -1 : 0);
    EXPECT_EQ(descriptorNamespace, read);
    EXPECT_NE(Written("Movie").find("<application xmlns=\"" + (read.empty() ? fallback : read) + "\">"),
              std::string::npos);
  }
}

TEST(ApplicationIdTest, AcceptsOnlyTheRuleCharactersAndLengths) {
  using namespace std::string_literals;
  for (const auto& id : {u"a"s, u"com.Example-App.09"s, std::u16string(212, u'Z')}) {
    EXPECT_TRUE(IsValidApplicationId(id)) << ToUtf8(id);
  }
  for (const auto& id : {u""s, std::u16string(213, u'Z'), u"a_b"s, u"a b"s, u"a/b"s, u"a%b"s, u"é"s, u"应用"s}) {
    EXPECT_FALSE(IsValidApplicationId(id)) << ToUtf8(id);
  }
}

}  // namespace
}  // namespace zaro
