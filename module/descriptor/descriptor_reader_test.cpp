#include <string>

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using testing_support::DescriptorTest;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

const std::string kCurrent = "http://ns.corvane.example/zaro/application/2.0";

std::string Descriptor(const std::string& rootAttributes, const std::string& id = "a") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application" + rootAttributes + ">\n  <id>" + id +
         "</id>\n</application>\n";
}

class ParseDescriptorTest : public DescriptorTest {
 protected:
  // Parses `content` from a file in the movie folder into a fresh instance.
  int Parse(const std::string& content, const std::string& name = "x-app.xml") {
    WriteBytes(movieFolder_ / name, content);
    if (!document_.parser) {
      EXPECT_EQ(InitDescriptorParser(document_), 0);
    }
    return ParseDescriptor(document_, FromUtf8((movieFolder_ / name).string()));
  }
  DescriptorDocument document_;
};

TEST_F(ParseDescriptorTest, ResultCodesAndNamespaceMarkers) {
  EXPECT_EQ(Parse(Descriptor(" xmlns=\"" + kCurrent + "\"")), 0);
  EXPECT_TRUE(document_.loaded);
  EXPECT_FALSE(document_.legacyNamespace);  // "2.0" holds no "1.0"
  EXPECT_EQ(document_.sourcePath, FromUtf8((movieFolder_ / "x-app.xml").string()));

  EXPECT_EQ(Parse(Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.1\"")), 0);
  EXPECT_TRUE(document_.legacyNamespace);
  EXPECT_EQ(Parse(Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.0\"")), 0);
  EXPECT_TRUE(document_.legacyNamespace);
  EXPECT_EQ(Parse(Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.5\"")), 0);
  EXPECT_FALSE(document_.legacyNamespace);

  // No xmlns at all reads as an empty value: parsed, current.
  EXPECT_EQ(Parse(Descriptor("")), 0);
  EXPECT_FALSE(document_.legacyNamespace);
  EXPECT_TRUE(document_.loaded);

  EXPECT_EQ(Parse(Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.0.M5\"")), 5);
  EXPECT_EQ(Parse(Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.0.M6\"")), 5);
  EXPECT_EQ(Parse("<?xml version=\"1.0\"?><settings><id>a</id></settings>"), 1);
  // Not loaded after a failed parse: the document in memory is not the earlier file any more.
  EXPECT_FALSE(document_.loaded);
}

TEST_F(ParseDescriptorTest, UnreadableFilesFailWithTheLibraryMessage) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Parse(Descriptor(" xmlns=\"" + kCurrent + "\"", "a</id><b>")), -1);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("Exception message is: ", 0), 0u) << printed;
  EXPECT_EQ(printed.back(), '\n');
  EXPECT_FALSE(document_.loaded);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(ParseDescriptor(document_, FromUtf8((movieFolder_ / "absent-app.xml").string())), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind("Exception message is: ", 0), 0u);
  // A name with line breaks, or a very long one, still gives one line of bounded length.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(ParseDescriptor(document_, FromUtf8((movieFolder_ / ("two\nlines\r" + std::string(3000, 'x'))).string())),
            -1);
  const std::string oneLine = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(oneLine.rfind("Exception message is: ", 0), 0u) << oneLine;
  EXPECT_EQ(oneLine.find('\n'), oneLine.size() - 1) << oneLine;
  EXPECT_EQ(oneLine.find('\r'), std::string::npos) << oneLine;
  EXPECT_LT(oneLine.size(), 1100u);
  EXPECT_EQ(Parse(""), -1);

  DescriptorDocument withoutParser;
  EXPECT_EQ(ParseDescriptor(withoutParser, FromUtf8((movieFolder_ / "x-app.xml").string())), -1);
}

class LoadDescriptorTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    SetMovie("Movie");
  }
  std::u16string Id() { return ElementText(u"id"); }
};

TEST_F(LoadDescriptorTest, MissingAndPreReleaseFilesGetTheTemplate) {
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_TRUE(std::filesystem::exists(DescriptorFile("Movie")));
  EXPECT_EQ(Id(), u"Movie");

  WriteBytes(DescriptorFile("Movie"), Descriptor(" xmlns=\"http://ns.corvane.example/zaro/application/1.0.M6\"",
                                                 "old.pre.release"));
  EXPECT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(MessagesShown(), 0);
  EXPECT_EQ(Id(), u"Movie");
  const std::string replaced = ReadBytes(DescriptorFile("Movie"));
  EXPECT_EQ(replaced.rfind(testing_support::kBom, 0), 0u);
  EXPECT_NE(replaced.find("xmlns=\"" + kCurrent + "\""), std::string::npos);
  EXPECT_TRUE(MovieDescriptor().loaded);
}

TEST_F(LoadDescriptorTest, UnparsableFileShowsTheMessage) {
  WriteBytes(DescriptorFile("Movie"), "<application xmlns=\"urn:a\"><id>a</id>");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(LoadDescriptor(true), -1);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Exception message is: "), std::string::npos);
  EXPECT_TRUE(ShowedUnparsableOnce());
  EXPECT_FALSE(MovieDescriptor().loaded);
  EXPECT_EQ(ReadBytes(DescriptorFile("Movie")), "<application xmlns=\"urn:a\"><id>a</id>");

  WriteBytes(DescriptorFile("Movie"), "<settings/>");
  EXPECT_EQ(LoadDescriptor(false), 1);
  EXPECT_EQ(MessagesShown(), 2);
}

TEST_F(LoadDescriptorTest, WithoutForceTheSameFileIsParsedOnceUntilItIsGone) {
  WriteBytes(DescriptorFile("Movie"), Descriptor(" xmlns=\"" + kCurrent + "\"", "first"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(Id(), u"first");
  // The file changes on disk; the parsed document is kept.
  WriteBytes(DescriptorFile("Movie"), Descriptor(" xmlns=\"" + kCurrent + "\"", "second"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(Id(), u"first");
  // The same folder written with "\" names the same file.
  std::u16string folder = FromUtf8(movieFolder_.string() + "/");
  for (char16_t& c : folder) {
    if (c == u'/') c = u'\\';
  }
  SetSetting(keys::kMovieFolder, folder);
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(Id(), u"first");
  // Forced, it is parsed again.
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(Id(), u"second");
  // A deleted file is written from the template and parsed again.
  std::filesystem::remove(DescriptorFile("Movie"));
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(Id(), u"Movie");
  // Another movie is another file.
  SetMovie("Other");
  ASSERT_EQ(LoadDescriptor(false), 0);
  EXPECT_EQ(Id(), u"Other");
  EXPECT_EQ(MessagesShown(), 0);
}

TEST_F(LoadDescriptorTest, RefreshCarriesADescriptorOverToTheMovie) {
  SetMovie("My Movie");
  WriteBytes(DescriptorFile("My Movie"),
             "<application xmlns=\"" + kCurrent +
                 "\">\n  <id>old.id</id>\n  <filename>Old</filename>\n  <initialWindow>\n"
                 "    <content>Old.qmv</content>\n  </initialWindow>\n</application>\n");
  EXPECT_TRUE(RefreshDescriptorForMovie());
  EXPECT_EQ(MovieDescriptor().parser, nullptr);  // released after the save
  const std::string saved = ReadBytes(DescriptorFile("My Movie"));
  EXPECT_NE(saved.find("<content>My Movie.qmv</content>"), std::string::npos);
  EXPECT_NE(saved.find("<filename>My Movie</filename>"), std::string::npos);
  EXPECT_NE(saved.find("<name>My Movie</name>"), std::string::npos);
  EXPECT_NE(saved.find("<id>old.id</id>"), std::string::npos);

  WriteBytes(DescriptorFile("My Movie"), "<application><id>");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(RefreshDescriptorForMovie());
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ShowedUnparsableOnce());
}

class UpgradeNamespaceTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    InstallSample(ReadBytes(testing_support::SourceSample()));
    path_ = movieFolder_ / "Movie-app.xml";
  }
  std::filesystem::path path_;
};

// A hand-laid-out descriptor in the serialiser's own declaration form, so that every
// byte but the namespace must come back unchanged.
std::string HandWritten(const std::string& ns) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
         "<application xmlns=\"" + ns + "\">\n"
         "\t<id>com.example.app</id>\n"
         "    <!-- keep me -->\n"
         "  <name>\n      <text xml:lang=\"en\">App</text>\n  </name>\n"
         "\n\n"
         "  <initialWindow>   <content>App.qmv</content>\n"
         "        <unknownToTheModule a=\"1\">x</unknownToTheModule>   </initialWindow>\n"
         "</application>\n";
}

TEST_F(UpgradeNamespaceTest, LegacyNamespaceIsReplacedAndEverythingElseKept) {
  testing_support::WriteBytes(path_, HandWritten("http://ns.corvane.example/zaro/application/1.1"));
  EXPECT_TRUE(UpgradeDescriptorNamespace(FromUtf8(path_.string())));
  EXPECT_EQ(ReadBytes(path_), HandWritten(kCurrent));
  EXPECT_EQ(UpgradeDescriptor().parser, nullptr);
  EXPECT_EQ(MessagesShown(), 0);
}

TEST_F(UpgradeNamespaceTest, OtherFilesAreLeftAlone) {
  // Current namespace: not rewritten at all.
  const std::string current = "<application xmlns=\"" + kCurrent + "\"><id>a</id></application>";
  testing_support::WriteBytes(path_, current);
  EXPECT_TRUE(UpgradeDescriptorNamespace(FromUtf8(path_.string())));
  EXPECT_EQ(ReadBytes(path_), current);
  // Legacy, but the kit has no sample: nothing to upgrade to.
  std::filesystem::remove(root_ / "bin" / "ZSK2.0" / "samples" / "descriptor-sample.xml");
  const std::string legacy = "<application xmlns=\"urn:zaro/application/1.0\"><id>a</id></application>";
  testing_support::WriteBytes(path_, legacy);
  EXPECT_TRUE(UpgradeDescriptorNamespace(FromUtf8(path_.string())));
  EXPECT_EQ(ReadBytes(path_), legacy);
  EXPECT_EQ(MessagesShown(), 0);
  // Unparsable: message 8031 and false.
  testing_support::WriteBytes(path_, "<application");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(UpgradeDescriptorNamespace(FromUtf8(path_.string())));
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ShowedUnparsableOnce());
  // The movie's own instance is not touched by any of this.
  EXPECT_EQ(MovieDescriptor().parser, nullptr);
}

}  // namespace
}  // namespace zaro
