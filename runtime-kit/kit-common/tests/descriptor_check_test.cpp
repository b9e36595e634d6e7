#include <gtest/gtest.h>

#include <tuple>

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
  const Outcome outcome = CheckDescriptor(xml, "C:/work/Movie-app.xml", result.info);
  return {outcome.code, outcome.text, result.info};
}

std::string WithNamespace(const std::string& ns) {
  std::string xml = MakeDescriptor();
  const std::string from = "http://ns.corvane.example/zaro/application/2.0";
  return xml.replace(xml.find(from), from.size(), ns);
}

TEST(DescriptorCheck, AcceptsTheTemplateAndCollectsWhatPackagingNeeds) {
  Checked c = Check(MakeDescriptor("<image16x16>icons/my%20icon.png</image16x16>", "",
                                   "<installFolder>Corvane\\Movie App</installFolder>"));
  ASSERT_EQ(c.code, 0) << c.text;
  EXPECT_EQ(std::tie(c.info.id, c.info.filename, c.info.content, c.info.installFolder),
            std::make_tuple("com.example.Movie", "Movie", "Movie.qmv", "Corvane/Movie App"));
  ASSERT_EQ(c.info.icons.size(), 1u);
  EXPECT_EQ(std::tie(c.info.icons[0].path, c.info.icons[0].size, c.info.icons[0].element),
            std::make_tuple("icons/my icon.png", 16, "application.icon.image16x16"));
}

// `xml` with its first `from` replaced by `to`.
std::string Edited(std::string xml, const std::string& from, const std::string& to) {
  return xml.replace(xml.find(from), from.size(), to);
}

// XML 1.1 lets a descriptor carry control characters as references.
std::string AsXml11(const std::string& xml) { return Edited(xml, "version=\"1.0\"", "version=\"1.1\""); }

TEST(DescriptorCheck, RefusalsNameTheirErrorAndWhatItConcerns) {
  const std::string ns = kDescriptorNamespacePrefix, d = MakeDescriptor();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<application xmlns=\"" + ns + "2.0\"><id>x</application>", "error 100: line 1"},
      {"<application><id>a</id></application>", "C:/work/Movie-app.xml: error 101: "},
      {WithNamespace("http://example.org/other/2.0"), "error 102: "},
      {WithNamespace(ns + "1.0.M6"), "error 102: "},
      {WithNamespace(ns + "1.2"), "error 102: "},
      {WithNamespace(ns + "3.0"), "error 305: "},
      {WithNamespace(ns + "2.5"), "error 305: "},
      {WithNamespace(ns + "2.0.1"), "error 305: "},
      {WithNamespace(ns + "10"), "error 305: "},
      {MakeDescriptor("", "", "<colour>red</colour>"), "error 103: unexpected element application.colour"},
      {MakeDescriptor("", "<wobble>1</wobble>"), "error 103: unexpected element application.initialWindow.wobble"},
      {Edited(d, "<id>", "<id kind=\"x\">"), "error 103: unexpected attribute kind on application.id"},
      {MakeDescriptor("", "", "<id>again</id>"), "error 103: unexpected element application.id (given twice)"},
      {MakeDescriptor("<image20x20>a.png</image20x20>"), "error 103: unexpected element application.icon.image20x20"},
      {Edited(d, "<id>com.example.Movie</id>", ""), "error 104: application.id is required"},
      {Edited(d, "<filename>Movie</filename>", ""), "error 104: application.filename is required"},
      {Edited(d, "<version>1.0</version>", "<version> </version>"), "error 104: application.version is required"},
      {Edited(d, "<content>Movie.qmv</content>", ""), "error 104: application.initialWindow.content is required"},
      {Edited(d, "com.example.Movie", "com/example"), "error 105: application.id contains invalid characters"},
      {Edited(d, "com.example.Movie", std::string(213, 'a')), "error 105: application.id contains"},
      {Edited(d, "<filename>Movie", "<filename>a:b"), "error 105: application.filename contains"},
      {MakeDescriptor("", "<width>wide</width>"), "error 105: application.initialWindow.width contains"},
      {MakeDescriptor("", "<minSize>100</minSize>"), "error 105: application.initialWindow.minSize contains"},
      {MakeDescriptor("", "", "<installFolder>../outside</installFolder>"),
       "error 105: application.installFolder contains an invalid path"},
      {MakeDescriptor("<image16x16>../x.png</image16x16>"), "error 105: application.icon.image16x16 contains"},
      {MakeDescriptor("", "", "<supportedProfiles>desktop tv</supportedProfiles>"),
       "error 105: application.supportedProfiles contains an unknown profile tv"},
      {Edited(d, "<visible>true", "<visible>yes"), "error 105: application.initialWindow.visible contains"},
      {AsXml11(Edited(d, "<name>Movie", "<name>Mo&#x1;vie")),
       "error 105: application.name contains the character U+0001, which XML 1.0 cannot hold"},
      {AsXml11(MakeDescriptor("", "", "<fileTypes><fileType><name>a.Doc</name><extension>adoc</extension>"
                                      "<description>x&#x1F;</description><contentType>application/x-a</contentType>"
                                      "</fileType></fileTypes>")),
       "application.fileTypes.fileType.description contains the character U+001F"},
      {AsXml11(Edited(d, "<description></description>",
                      "<description><text xml:lang=\"en\">a&#x7;</text></description>")),
       "application.description.text contains the character U+0007"},
      {Edited(d, "<transparent>false", "<transparent>true"), "error 106: "},
      {MakeDescriptor("", "<minSize>800 600</minSize><maxSize>640 700</maxSize>"), "error 107: "},
      {MakeDescriptor("", "<minSize>600 800</minSize><maxSize>640 700</maxSize>"), "error 107: "},
  };
  for (const auto& [xml, error] : cases) {
    SCOPED_TRACE(error);
    Checked c = Check(xml);
    EXPECT_EQ(c.code, 12);
    EXPECT_NE(c.text.find(error), std::string::npos) << c.text;
  }
}

TEST(DescriptorCheck, AcceptsWhatTheRulesAllow) {
  const std::string ns = kDescriptorNamespacePrefix, d = MakeDescriptor();
  for (const std::string& xml : {
           WithNamespace(ns + "1.0"), WithNamespace(ns + "1.1"), WithNamespace(ns + "1.5"), WithNamespace(ns + "2.0"),
           Edited(d, "<name>Movie</name>",
                  "<name><text xml:lang=\"en\">Movie</text><text xml:lang=\"zh\">影片</text></name>"),
           Edited(d, "<visible>true", "<visible>FALSE"),
           Edited(Edited(d, "<transparent>false", "<transparent>true"), "<systemChrome>standard", "<systemChrome>none"),
           MakeDescriptor("", "<minSize>640 480</minSize><maxSize>640 480</maxSize>"),
           // What XML 1.0 allows: tab, line breaks, CJK, characters beyond the basic plane.
           AsXml11(Edited(d, "<name>Movie", "<name>\u5f71&#x9;&#xA;\U0001F3AC"))}) {
    SCOPED_TRACE(xml);
    Checked c = Check(xml);
    EXPECT_EQ(c.code, 0) << c.text;
  }
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
  const FileTypeInfo& a = c.info.fileTypes[0];
  EXPECT_EQ(std::tie(a.name, a.extension, a.description, a.contentType),
            std::make_tuple("my.Type2", "abc", "A & B", "application/x-doca"));
  ASSERT_EQ(a.icons.size(), 2u);
  EXPECT_EQ(a.icons[1].size, 128);
  EXPECT_EQ(c.info.fileTypes[1].icons.size(), 0u);
  ASSERT_EQ(c.info.icons.size(), 2u) << "file type icons are checked with the others";
  EXPECT_EQ(c.info.icons[0].element, "application.fileTypes.fileType.icon.image16x16");
}

TEST(DescriptorCheck, FileTypeValuesThatAreMissingOrInvalidHaveTheirErrors) {
  const std::string type = "error 105: application.fileTypes.fileType.";
  const std::string need = "error 104: application.fileTypes.fileType.";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {MakeFileType("docA", "abc", ""), need + "contentType is required"},
      {MakeFileType("", "abc", "a/b"), need + "name is required"},
      {MakeFileType("docA", "", "a/b"), need + "extension is required"},
      {"<fileType><name>docA</name><extension>abc</extension></fileType>", need + "contentType is required"},
      {"<fileType><name>doc</name></fileType>", need + "extension is required"},
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

TEST(DescriptorCheck, UrlEscapesAndSafePaths) {
  std::string decoded;
  EXPECT_TRUE(DecodeUrlEscapes("My%20Movie%2Eqmv", decoded) && decoded == "My Movie.qmv") << decoded;
  EXPECT_FALSE(DecodeUrlEscapes("bad%2", decoded) || DecodeUrlEscapes("bad%zz", decoded));
  EXPECT_TRUE(IsSafeRelativePath("a/b.png"));
  for (const char* unsafe : {"", "/etc/passwd", "a/../b", "..", "C:/x", "a//b", "a\\b", "./a"})
    EXPECT_FALSE(IsSafeRelativePath(unsafe)) << unsafe;
}

}  // namespace
}  // namespace zpk
