#include <algorithm>
#include <string>
#include <tuple>

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;

const std::string kCurrent = "http://ns.corvane.example/zaro/application/2.0";
const std::string kReason = "Exception message is: ";

std::string Descriptor(const std::string& rootAttributes, const std::string& id = "a") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application" + rootAttributes + ">\n  <id>" + id +
         "</id>\n</application>\n";
}
std::string Versioned(const std::string& version, const std::string& id = "a") {
  return Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/" + version + "\"", id);
}

class ParseDescriptorTest : public DescriptorTest {
 protected:
  // Parses `content` from a file in the movie folder into a fresh instance.
  int Parse(const std::string& content) {
    WriteBytes(movieFolder_ / "x-app.xml", content);
    if (!document_.parser) {
      EXPECT_EQ(InitDescriptorParser(document_), 0);
    }
    return ParseDescriptor(document_, FromUtf8((movieFolder_ / "x-app.xml").string()));
  }
  DescriptorDocument document_;
};

TEST_F(ParseDescriptorTest, ResultCodesAndNamespaceMarkers) {
  // Content, result, legacy marker ("2.0" holds no "1.0"; no xmlns at all reads as an empty
  // value: parsed, current).
  const std::tuple<std::string, int, bool> cases[] = {
      {Versioned("2.0"), 0, false},    {Versioned("1.1"), 0, true},     {Versioned("1.0"), 0, true},
      {Versioned("1.5"), 0, false},    {Descriptor(""), 0, false},      {Versioned("1.0.M5"), 5, false},
      {Versioned("1.0.M6"), 5, false}, {"<?xml version=\"1.0\"?><settings><id>a</id></settings>", 1, false},
  };
  for (const auto& [content, result, legacy] : cases) {
    SCOPED_TRACE(content);
    EXPECT_EQ(Parse(content), result);
    // Not loaded after a failed parse: the document in memory is not the earlier file any more.
    EXPECT_EQ(document_.loaded, result == 0);
    EXPECT_EQ(document_.legacyNamespace, legacy);
  }
  EXPECT_EQ(document_.sourcePath, FromUtf8((movieFolder_ / "x-app.xml").string()));
}

TEST_F(ParseDescriptorTest, UnreadableFilesFailWithTheLibraryMessage) {
  const std::string printed = Printed([&] { EXPECT_EQ(Parse(Versioned("2.0", "a</id><b>")), -1); });
  EXPECT_EQ(printed.rfind(kReason, 0), 0u) << printed;
  EXPECT_EQ(printed.back(), '\n');
  EXPECT_FALSE(document_.loaded);
  const auto parseFile = [&](const std::string& name) {
    return Printed([&] { EXPECT_EQ(ParseDescriptor(document_, FromUtf8((movieFolder_ / name).string())), -1); });
  };
  EXPECT_EQ(parseFile("absent-app.xml").rfind(kReason, 0), 0u);
  // A name with line breaks, or a very long one, still gives one line of bounded length.
  const std::string oneLine = parseFile("two\nlines\r" + std::string(3000, 'x'));
  EXPECT_EQ(oneLine.rfind(kReason, 0), 0u) << oneLine;
  EXPECT_EQ(oneLine.find('\n'), oneLine.size() - 1) << oneLine;
  EXPECT_EQ(oneLine.find('\r'), std::string::npos) << oneLine;
  EXPECT_LT(oneLine.size(), 1100u);
  EXPECT_EQ(Parse(""), -1);

  DescriptorDocument withoutParser;
  EXPECT_EQ(ParseDescriptor(withoutParser, FromUtf8((movieFolder_ / "x-app.xml").string())), -1);
}

using LoadDescriptorTest = DescriptorTest;

TEST_F(LoadDescriptorTest, MissingAndPreReleaseFilesGetTheTemplate) {
  SetMovie("Movie");
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_TRUE(std::filesystem::exists(DescriptorFile("Movie")));
  EXPECT_EQ(ElementText(u"id"), u"Movie");

  WriteBytes(DescriptorFile("Movie"), Versioned("1.0.M6", "old.pre.release"));
  EXPECT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(MessagesShown(), 0);
  EXPECT_EQ(ElementText(u"id"), u"Movie");
  const std::string replaced = ReadBytes(DescriptorFile("Movie"));
  EXPECT_EQ(replaced.rfind(kBom, 0), 0u);
  EXPECT_NE(replaced.find("xmlns=\"" + kCurrent + "\""), std::string::npos);
  EXPECT_TRUE(Doc().loaded);
}

TEST_F(LoadDescriptorTest, UnparsableFileShowsTheMessage) {
  SetMovie("Movie");
  WriteBytes(DescriptorFile("Movie"), "<application xmlns=\"urn:a\"><id>a</id>");
  EXPECT_NE(Printed([] { EXPECT_EQ(LoadDescriptor(true), -1); }).find(kReason), std::string::npos);
  EXPECT_TRUE(ShowedUnparsableOnce());
  EXPECT_FALSE(Doc().loaded);
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), "<application xmlns=\"urn:a\"><id>a</id>");

  WriteBytes(DescriptorFile("Movie"), "<settings/>");
  EXPECT_EQ(LoadDescriptor(false), 1);
  EXPECT_EQ(MessagesShown(), 2);
}

TEST_F(LoadDescriptorTest, WithoutForceTheSameFileIsParsedOnceUntilItIsGone) {
  SetMovie("Movie");
  WriteBytes(DescriptorFile("Movie"), Versioned("2.0", "first"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(ElementText(u"id"), u"first");
  // The file changes on disk; the parsed document is kept, also when the same folder is
  // written with "\".
  WriteBytes(DescriptorFile("Movie"), Versioned("2.0", "second"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(ElementText(u"id"), u"first");
  std::u16string folder = FromUtf8(movieFolder_.string() + "/");
  std::replace(folder.begin(), folder.end(), u'/', u'\\');
  SetSetting(keys::kMovieFolder, folder);
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(ElementText(u"id"), u"first");
  // Forced, it is parsed again.
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(ElementText(u"id"), u"second");
  // A deleted file is written from the template and parsed again.
  std::filesystem::remove(DescriptorFile("Movie"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(ElementText(u"id"), u"Movie");
  // Another movie is another file.
  SetMovie("Other");
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(ElementText(u"id"), u"Other");
  EXPECT_EQ(MessagesShown(), 0);
}

TEST_F(LoadDescriptorTest, RefreshCarriesADescriptorOverToTheMovie) {
  SetMovie("My Movie");
  WriteBytes(DescriptorFile("My Movie"), "<application xmlns=\"" + kCurrent +
                                             "\">\n  <id>old.id</id>\n  <filename>Old</filename>\n  <initialWindow>\n"
                                             "    <content>Old.qmv</content>\n  </initialWindow>\n</application>\n");
  EXPECT_TRUE(RefreshDescriptorForMovie());
  EXPECT_EQ(Doc().parser, nullptr);  // released after the save
  EXPECT_EQ(ReadBytes(DescriptorFile("My Movie")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"" + kCurrent +
                "\">\n  <id>old.id</id>\n  <filename>My Movie</filename>\n  <initialWindow>\n"
                "    <content>My Movie.qmv</content>\n  </initialWindow>\n  <name>My Movie</name>\n</application>\n");

  WriteBytes(DescriptorFile("My Movie"), "<application><id>");
  Printed([] { EXPECT_FALSE(RefreshDescriptorForMovie()); });
  EXPECT_TRUE(ShowedUnparsableOnce());
}

class UpgradeNamespaceTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    InstallSample(ReadBytes(SourceSample()));
  }
  // Writes `content` as the movie's descriptor and upgrades that file.
  bool Upgrade(const std::string& content) {
    WriteBytes(DescriptorFile("Movie"), content);
    return UpgradeDescriptorNamespace(FromUtf8(DescriptorFile("Movie").string()));
  }
};

// A hand-laid-out descriptor in the serialiser's own declaration form, so that every
// byte but the namespace must come back unchanged.
std::string HandWritten(const std::string& ns) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"" + ns + "\">\n"
         "\t<id>com.example.app</id>\n    <!-- keep me -->\n  <name>\n      <text xml:lang=\"en\">App</text>\n"
         "  </name>\n\n\n  <initialWindow>   <content>App.qmv</content>\n"
         "        <unknownToTheModule a=\"1\">x</unknownToTheModule>   </initialWindow>\n</application>\n";
}

TEST_F(UpgradeNamespaceTest, LegacyNamespaceIsReplacedAndOtherFilesAreLeftAlone) {
  EXPECT_TRUE(Upgrade(HandWritten("http://ns.corvane.example/zaro/application/1.1")));
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), HandWritten(kCurrent));
  EXPECT_EQ(UpgradeDescriptor().parser, nullptr);
  // Current namespace: not rewritten at all.
  const std::string current = "<application xmlns=\"" + kCurrent + "\"><id>a</id></application>";
  EXPECT_TRUE(Upgrade(current));
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), current);
  // Legacy, but the kit has no sample: nothing to upgrade to.
  InstallSample("");
  const std::string legacy = "<application xmlns=\"urn:zaro/application/1.0\"><id>a</id></application>";
  EXPECT_TRUE(Upgrade(legacy));
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), legacy);
  EXPECT_EQ(MessagesShown(), 0);
  // Unparsable: message 8031 and false.
  Printed([&] { EXPECT_FALSE(Upgrade("<application")); });
  EXPECT_TRUE(ShowedUnparsableOnce());
  // The movie's own instance is not touched by any of this.
  EXPECT_EQ(Doc().parser, nullptr);
}

}  // namespace
}  // namespace zaro
