#include <gtest/gtest.h>

#include "descriptor_check.h"
#include "test_support.h"

namespace zpk {
namespace {

using testing::MakeDescriptor;
using testing::MakeFileType;

struct Checked {
  int code = 0;
  std::string text;
  DescriptorInfo info;
};

Checked Check(const std::string& xml) {
  Checked result;
  Outcome outcome = CheckDescriptor(xml, "C:/work/Movie-app.xml", result.info);
  result.code = outcome.code;
  result.text = outcome.text;
  return result;
}

std::string WithNamespace(const std::string& ns) {
  std::string xml = MakeDescriptor();
  std::string from = "http://ns.corvane.example/zaro/application/2.0";
  xml.replace(xml.find(from), from.size(), ns);
  return xml;
}

TEST(DescriptorCheck, AcceptsTheTemplateAndCollectsWhatPackagingNeeds) {
  Checked c = Check(MakeDescriptor("<image16x16>icons/my%20icon.png</image16x16>", "",
                                   "<installFolder>Corvane\\Movie App</installFolder>"));
  ASSERT_EQ(c.code, 0) << c.text;
  EXPECT_EQ(c.info.id, "com.example.Movie");
  EXPECT_EQ(c.info.filename, "Movie");
  EXPECT_EQ(c.info.content, "Movie.qmv");
  EXPECT_EQ(c.info.installFolder, "Corvane/Movie App");
  ASSERT_EQ(c.info.icons.size(), 1u);
  EXPECT_EQ(c.info.icons[0].path, "icons/my icon.png");
  EXPECT_EQ(c.info.icons[0].size, 16);
  EXPECT_EQ(c.info.icons[0].element, "application.icon.image16x16");
}

TEST(DescriptorCheck, AcceptsEverySupportedNamespaceVersion) {
  for (const char* version : {"1.0", "1.1", "1.5", "2.0"}) {
    Checked c = Check(WithNamespace(std::string(kDescriptorNamespacePrefix) + version));
    EXPECT_EQ(c.code, 0) << version << ": " << c.text;
  }
}

TEST(DescriptorCheck, NamespaceProblemsHaveTheirOwnErrors) {
  Checked none = Check("<application><id>a</id></application>");
  EXPECT_NE(none.text.find("C:/work/Movie-app.xml: error 101: "), std::string::npos) << none.text;
  EXPECT_EQ(none.code, 12);
  EXPECT_NE(Check(WithNamespace("http://example.org/other/2.0")).text.find("error 102: "), std::string::npos);
  EXPECT_NE(Check(WithNamespace(std::string(kDescriptorNamespacePrefix) + "1.0.M6")).text.find("error 102: "),
            std::string::npos);
  EXPECT_NE(Check(WithNamespace(std::string(kDescriptorNamespacePrefix) + "1.2")).text.find("error 102: "),
            std::string::npos);
  for (const char* newer : {"3.0", "2.5", "2.0.1", "10"}) {
    Checked c = Check(WithNamespace(std::string(kDescriptorNamespacePrefix) + newer));
    EXPECT_NE(c.text.find("error 305: "), std::string::npos) << newer << ": " << c.text;
  }
}

TEST(DescriptorCheck, MalformedXmlIsError100WithItsPosition) {
  Checked c = Check("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>x</application>");
  EXPECT_NE(c.text.find("error 100: line 1"), std::string::npos) << c.text;
}

TEST(DescriptorCheck, NothingOutsideTheFileIsLoaded) {
  // An external entity must neither be read nor expanded into the descriptor.
  std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE application [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                    MakeDescriptor().substr(MakeDescriptor().find("<application"));
  xml.replace(xml.find("<name>Movie</name>"), 18, "<name>&x;</name>");
  Checked c = Check(xml);
  EXPECT_EQ(c.code, 12);
  EXPECT_EQ(c.text.find("root:"), std::string::npos) << c.text;
}

TEST(DescriptorCheck, UnknownElementsAndAttributesAreNamed) {
  Checked element = Check(MakeDescriptor("", "", "<colour>red</colour>"));
  EXPECT_NE(element.text.find("error 103: unexpected element application.colour"), std::string::npos) << element.text;
  Checked nested = Check(MakeDescriptor("", "<wobble>1</wobble>"));
  EXPECT_NE(nested.text.find("error 103: unexpected element application.initialWindow.wobble"), std::string::npos);
  std::string attribute = MakeDescriptor();
  attribute.replace(attribute.find("<id>"), 4, "<id kind=\"x\">");
  EXPECT_NE(Check(attribute).text.find("error 103: unexpected attribute kind on application.id"), std::string::npos);
  Checked twice = Check(MakeDescriptor("", "", "<id>again</id>"));
  EXPECT_NE(twice.text.find("error 103: unexpected element application.id (given twice)"), std::string::npos);
  Checked icon = Check(MakeDescriptor("<image20x20>a.png</image20x20>"));
  EXPECT_NE(icon.text.find("error 103: unexpected element application.icon.image20x20"), std::string::npos);
}

TEST(DescriptorCheck, LocalizedNamesAreAccepted) {
  std::string xml = MakeDescriptor();
  xml.replace(xml.find("<name>Movie</name>"), 18,
              "<name><text xml:lang=\"en\">Movie</text><text xml:lang=\"zh\">影片</text></name>");
  EXPECT_EQ(Check(xml).code, 0) << Check(xml).text;
}

TEST(DescriptorCheck, RequiredElementsAreError104) {
  struct Case {
    std::string from, to, named;
  };
  for (const Case& c : std::vector<Case>{{"<id>com.example.Movie</id>", "", "application.id"},
                                         {"<filename>Movie</filename>", "", "application.filename"},
                                         {"<version>1.0</version>", "<version> </version>", "application.version"},
                                         {"<content>Movie.qmv</content>", "", "application.initialWindow.content"}}) {
    std::string xml = MakeDescriptor();
    xml.replace(xml.find(c.from), c.from.size(), c.to);
    Checked checked = Check(xml);
    EXPECT_NE(checked.text.find("error 104: " + c.named + " is required"), std::string::npos) << checked.text;
  }
}

TEST(DescriptorCheck, InvalidValuesAreError105NamingTheElementBeforeContains) {
  std::string badId = MakeDescriptor();
  badId.replace(badId.find("com.example.Movie"), 17, "com/example");
  EXPECT_NE(Check(badId).text.find("error 105: application.id contains invalid characters"), std::string::npos);
  std::string longId = MakeDescriptor();
  longId.replace(longId.find("com.example.Movie"), 17, std::string(213, 'a'));
  EXPECT_NE(Check(longId).text.find("error 105: application.id contains"), std::string::npos);
  std::string badName = MakeDescriptor();
  badName.replace(badName.find("<filename>Movie"), 15, "<filename>a:b");
  EXPECT_NE(Check(badName).text.find("error 105: application.filename contains"), std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("", "<width>wide</width>")).text.find("error 105: application.initialWindow.width contains"),
            std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("", "<minSize>100</minSize>")).text.find("error 105: application.initialWindow.minSize contains"),
            std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("", "", "<installFolder>../outside</installFolder>"))
                .text.find("error 105: application.installFolder contains an invalid path"),
            std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("<image16x16>../x.png</image16x16>")).text.find("error 105: application.icon.image16x16 contains"),
            std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("", "", "<supportedProfiles>desktop tv</supportedProfiles>"))
                .text.find("error 105: application.supportedProfiles contains an unknown profile tv"),
            std::string::npos);
  std::string badBool = MakeDescriptor();
  badBool.replace(badBool.find("<visible>true"), 13, "<visible>yes");
  EXPECT_NE(Check(badBool).text.find("error 105: application.initialWindow.visible contains"), std::string::npos);
  std::string upperBool = MakeDescriptor();
  upperBool.replace(upperBool.find("<visible>true"), 13, "<visible>FALSE");
  EXPECT_EQ(Check(upperBool).code, 0);
}

// XML 1.1 lets a descriptor carry control characters as references; no generated file could hold them.
TEST(DescriptorCheck, TextThatXml10CannotHoldIsRefusedNamingElementAndCharacter) {
  auto asXml11 = [](std::string xml) {
    xml.replace(xml.find("version=\"1.0\""), 13, "version=\"1.1\"");
    return xml;
  };
  std::string name = asXml11(MakeDescriptor());
  name.replace(name.find("<name>Movie"), 11, "<name>Mo&#x1;vie");
  Checked c = Check(name);
  EXPECT_EQ(c.code, 12);
  EXPECT_NE(c.text.find("error 105: application.name contains the character U+0001, which XML 1.0 cannot hold"),
            std::string::npos) << c.text;
  std::string typeText = asXml11(MakeDescriptor("", "", "<fileTypes><fileType><name>a.Doc</name><extension>adoc</extension>"
      "<description>x&#x1F;</description><contentType>application/x-a</contentType></fileType></fileTypes>"));
  EXPECT_NE(Check(typeText).text.find("application.fileTypes.fileType.description contains the character U+001F"),
            std::string::npos);
  std::string localized = asXml11(MakeDescriptor());
  localized.replace(localized.find("<description></description>"), 27,
                    "<description><text xml:lang=\"en\">a&#x7;</text></description>");
  EXPECT_NE(Check(localized).text.find("application.description.text contains the character U+0007"), std::string::npos);
  // What XML 1.0 allows passes: tab, line breaks, CJK, characters beyond the basic plane.
  std::string fine = asXml11(MakeDescriptor());
  fine.replace(fine.find("<name>Movie"), 11, "<name>\u5f71&#x9;&#xA;\U0001F3AC");
  EXPECT_EQ(Check(fine).code, 0) << Check(fine).text;
}

std::string WithTypes(const std::string& types) {
  return MakeDescriptor("", "", "<fileTypes>" + types + "</fileTypes>");
}

TEST(DescriptorCheck, FileTypesAreCollectedForTheInstallerWithTheirIcons) {
  Checked c = Check(WithTypes(MakeFileType("my.Type2", "abc", "application/x-doca",
                                       "<image16x16>t/a16.png</image16x16><image128x128>t/a128.png</image128x128>",
                                       "A &amp; B") +
                              MakeFileType("docB", "xyz", "text/x-docb")));
  ASSERT_EQ(c.code, 0) << c.text;
  ASSERT_EQ(c.info.fileTypes.size(), 2u);
  EXPECT_EQ(c.info.fileTypes[0].name, "my.Type2");
  EXPECT_EQ(c.info.fileTypes[0].extension, "abc");
  EXPECT_EQ(c.info.fileTypes[0].description, "A & B");
  EXPECT_EQ(c.info.fileTypes[0].contentType, "application/x-doca");
  ASSERT_EQ(c.info.fileTypes[0].icons.size(), 2u);
  EXPECT_EQ(c.info.fileTypes[0].icons[1].size, 128);
  EXPECT_EQ(c.info.fileTypes[1].icons.size(), 0u);
  ASSERT_EQ(c.info.icons.size(), 2u) << "file type icons are checked with the others";
  EXPECT_EQ(c.info.icons[0].element, "application.fileTypes.fileType.icon.image16x16");
}

TEST(DescriptorCheck, FileTypeValuesThatAreMissingOrInvalidHaveTheirErrors) {
  const std::string type = "error 105: application.fileTypes.fileType.";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {MakeFileType("docA", "abc", ""), "error 104: application.fileTypes.fileType.contentType is required"},
      {MakeFileType("", "abc", "a/b"), "error 104: application.fileTypes.fileType.name is required"},
      {MakeFileType("docA", "", "a/b"), "error 104: application.fileTypes.fileType.extension is required"},
      {"<fileType><name>docA</name><extension>abc</extension></fileType>",
       "error 104: application.fileTypes.fileType.contentType is required"},
      {"<fileType><name>doc</name></fileType>", "error 104: application.fileTypes.fileType.extension is required"},
      {MakeFileType(".doc", "abc", "a/b"), type + "name contains"},
      {MakeFileType("2doc", "abc", "a/b"), type + "name contains"},
      {MakeFileType(std::string(39, 'n'), "abc", "a/b"), type + "name contains"},
      {MakeFileType("doc", "ab_c", "a/b"), type + "extension contains"},
      {MakeFileType("doc", "a.b", "a/b"), type + "extension contains"},
      {MakeFileType("doc", "abc", "text/plain; charset=x"), type + "contentType contains"},
      {MakeFileType("doc", "abc", "/plain"), type + "contentType contains"},
      {MakeFileType("doc", "abc", "a/b", "<image64x64>x.png</image64x64>"),
       "error 103: unexpected element application.fileTypes.fileType.icon.image64x64"},
      {MakeFileType("doc", "abc", "a/b") + MakeFileType("doc", "xyz", "a/c"),
       type + "name contains a name given to another file type"},
      {MakeFileType("doc", "abc", "a/b") + MakeFileType("doc2", "xyz", "a/b"),
       type + "contentType contains a content type given to another"},
  };
  for (const auto& [types, error] : cases) {
    SCOPED_TRACE(types);
    Checked c = Check(WithTypes(types));
    EXPECT_EQ(c.code, 12);
    EXPECT_NE(c.text.find(error), std::string::npos) << c.text;
  }
}

TEST(DescriptorCheck, WindowCombinationsAndSizeLimits) {
  std::string transparent = MakeDescriptor();
  transparent.replace(transparent.find("<transparent>false"), 18, "<transparent>true");
  EXPECT_NE(Check(transparent).text.find("error 106: "), std::string::npos);
  std::string noChrome = transparent;
  noChrome.replace(noChrome.find("<systemChrome>standard"), 22, "<systemChrome>none");
  EXPECT_EQ(Check(noChrome).code, 0);
  EXPECT_NE(Check(MakeDescriptor("", "<minSize>800 600</minSize><maxSize>640 700</maxSize>")).text.find("error 107: "),
            std::string::npos);
  EXPECT_NE(Check(MakeDescriptor("", "<minSize>600 800</minSize><maxSize>640 700</maxSize>")).text.find("error 107: "),
            std::string::npos);
  EXPECT_EQ(Check(MakeDescriptor("", "<minSize>640 480</minSize><maxSize>640 480</maxSize>")).code, 0);
}

TEST(DescriptorCheck, UrlEscapesAndSafePaths) {
  std::string decoded;
  ASSERT_TRUE(DecodeUrlEscapes("My%20Movie%2Eqmv", decoded));
  EXPECT_EQ(decoded, "My Movie.qmv");
  EXPECT_FALSE(DecodeUrlEscapes("bad%2", decoded));
  EXPECT_FALSE(DecodeUrlEscapes("bad%zz", decoded));
  EXPECT_TRUE(IsSafeRelativePath("a/b.png"));
  for (const char* unsafe : {"", "/etc/passwd", "a/../b", "..", "C:/x", "a//b", "a\\b", "./a"})
    EXPECT_FALSE(IsSafeRelativePath(unsafe)) << unsafe;
}

}  // namespace
}  // namespace zpk
