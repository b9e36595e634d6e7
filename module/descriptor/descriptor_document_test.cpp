#include "descriptor/application_icons.h"
#include "descriptor/descriptor_test_support.h"
#include "descriptor/file_types.h"

namespace zaro {
namespace {

using namespace testing_support;
using namespace std::string_literals;
using ElementOperationsTest = DescriptorTest;
using FileTypesTest = DescriptorTest;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n  <id>a</id>\n";

// A record with a content type made from the name, and icons by size.
FileTypeRecord Record(const std::string& name, const std::string& extension,
                      const std::map<int, std::u16string>& icons = {}, const std::string& loadedName = "") {
  FileTypeRecord record;
  record.name = name;
  record.extension = extension;
  record.contentType = u"application/x-" + FromUtf8(name);
  record.loadedName = loadedName;
  for (const auto& [size, path] : icons) record.Icon(size) = path;
  return record;
}

std::string Fields(const FileTypeRecord& r) {
  return r.name + "|" + r.extension + "|" + ToUtf8(r.description) + "|" + ToUtf8(r.contentType) + "|" +
         ToUtf8(r.icon16) + "|" + ToUtf8(r.icon32) + "|" + ToUtf8(r.icon48) + "|" + ToUtf8(r.icon128) + "|" +
         r.loadedName;
}

std::string FileTypesPart(const std::string& saved) {
  return saved.substr(std::min(saved.find("<fileTypes>"), saved.size()));
}

// How children are appended, replaced in place and removed is the Advanced page's daily work
// (see its tests); these are the edges it does not reach.
TEST_F(ElementOperationsTest, MissingParentsAndChildrenTextsAttributesAndTheGuardedShorthand) {
  LoadMovie();  // the template
  // Without the parent nothing is created or removed; an absent child is removed quietly.
  EXPECT_EQ(SetChildElementText(Doc(), u"fileTypes", u"fileType", u"x"), 3);
  EXPECT_EQ(RemoveChildElement(Doc(), u"fileTypes", u"fileType"), 3);
  EXPECT_EQ(RemoveChildElement(Doc(), u"application", u"installFolder"), 0);
  EXPECT_FALSE(HasChildElement(Doc(), u"application", u"fileTypes"));
  EXPECT_FALSE(HasChildElement(Doc(), u"description", u"text"));  // the example lives in a comment
  EXPECT_FALSE(HasChildElement(Doc(), u"nothing", u"text"));
  // The guarded shorthand wants both names.
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"", u"width", u"1"), 1);
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"initialWindow", u"", u"1"), 1);
  EXPECT_FALSE(HasChildElement(Doc(), u"initialWindow", u"width"));
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"initialWindow", u"width", u"1"), 0);
  EXPECT_EQ(ElementText(u"width"), u"1");
  EXPECT_EQ(SetChildElementIfReady(Doc(), u"nothing", u"width", u"1"), 3);

  EXPECT_EQ(SetElementText(Doc(), u"copyright", u"  (c) 2024\n"), 0);
  EXPECT_EQ(ElementText(u"copyright"), u"(c) 2024");  // read back trimmed
  EXPECT_EQ(ClearElementText(Doc(), u"copyright"), 0);
  EXPECT_EQ(ElementText(u"copyright"), u"");
  EXPECT_TRUE(HasChildElement(Doc(), u"application", u"copyright"));
  EXPECT_EQ(SetElementText(Doc(), u"installFolder", u"x"), 1);
  EXPECT_EQ(ClearElementText(Doc(), u"installFolder"), 1);
  std::u16string untouched = u"keep";
  EXPECT_EQ(GetElementText(Doc(), u"installFolder", untouched), 1);
  EXPECT_EQ(untouched, u"keep");

  std::string value;
  EXPECT_EQ(SetElementAttribute(Doc(), u"application", u"xmlns", u"urn:新"), 0);
  EXPECT_EQ(GetElementAttribute(Doc(), u"application", u"xmlns", value), 0);
  EXPECT_EQ(value, "urn:新");
  EXPECT_EQ(GetElementAttribute(Doc(), u"id", u"absent", value), 0);
  EXPECT_EQ(value, "");
  EXPECT_EQ(GetElementAttribute(Doc(), u"nothing", u"xmlns", value), 1);
  EXPECT_EQ(SetElementAttribute(Doc(), u"nothing", u"a", u"b"), 1);
  // Names the document cannot hold are refused, not thrown.
  EXPECT_GT(SetElementAttribute(Doc(), u"id", u"bad name", u"b"), 0);
  EXPECT_GT(SetChildElementText(Doc(), u"application", u"bad name", u"b"), 0);
}

TEST(ElementOperationsWithoutParserTest, EveryOperationReportsNoParser) {
  DescriptorDocument document;
  std::u16string text;
  std::string value;
  FileTypeRecord record = Record("a", "");
  const auto results = [&] {
    return std::vector<int>{GetElementText(document, u"id", text), SetElementText(document, u"id", u"x"),
                            ClearElementText(document, u"id"),
                            SetChildElementText(document, u"application", u"id", u"x"),
                            RemoveChildElement(document, u"application", u"id"),
                            GetElementAttribute(document, u"application", u"xmlns", value),
                            SetElementAttribute(document, u"application", u"xmlns", u"x"),
                            SaveFileType(document, record), RemoveFileType(document, u"a"),
                            WriteAppIcon(document, u"image16x16", u"a.png"), RemoveAppIcon(document, u"image16x16"),
                            SaveDescriptor(document, u"/tmp/never-written-app.xml")};
  };
  EXPECT_EQ(results(), std::vector<int>(12, -1));
  EXPECT_EQ(SetChildElementIfReady(document, u"application", u"id", u"x"), 1);
  EXPECT_FALSE(HasChildElement(document, u"application", u"id"));
  EXPECT_EQ(ListFileTypes(document), u"");
  EXPECT_FALSE(ReadFileType(document, u"a", record));
  EXPECT_EQ(ReadAppIcon(document, u"image16x16"), u"");
  EXPECT_FALSE(std::filesystem::exists("/tmp/never-written-app.xml"));
  // A parser that has parsed nothing yet behaves the same.
  ASSERT_EQ(InitDescriptorParser(document), 0);
  EXPECT_EQ(results(), std::vector<int>(12, -1));
}

TEST_F(ElementOperationsTest, SaveWritesWhatWasChangedAndStaysStable) {
  LoadMovie();
  EXPECT_EQ(SetChildElementText(Doc(), u"initialWindow", u"width", u"800"), 0);
  EXPECT_EQ(SetElementText(Doc(), u"version", u"3.1"), 0);
  const std::string first = SavedMovie();
  // Parsed again, the values are there; saved again unchanged, the bytes are the same.
  ASSERT_EQ(LoadDescriptor(true), 0);
  EXPECT_EQ(ElementText(u"width"), u"800");
  EXPECT_EQ(ElementText(u"version"), u"3.1");
  EXPECT_EQ(SavedMovie(), first);

  // In a laid-out file a new child is indented like its siblings; a removed one leaves no
  // empty line.
  EXPECT_EQ(SetChildElementText(Doc(), u"initialWindow", u"height", u"600"), 0);
  EXPECT_EQ(RemoveChildElement(Doc(), u"initialWindow", u"visible"), 0);
  EXPECT_EQ(SetChildElementText(Doc(), u"icon", u"image16x16", u"a.png"), 0);
  const std::string second = SavedMovie();
  EXPECT_NE(second.find("\n    <width>800</width>\n    <height>600</height>\n  </initialWindow>\n"), std::string::npos)
      << second;
  EXPECT_EQ(second.find("visible"), std::string::npos);
  EXPECT_NE(second.find("\n  <icon>\n    <image16x16>a.png</image16x16>\n  </icon>\n"), std::string::npos) << second;
  EXPECT_EQ(second.find("\n\n"), std::string::npos);
}

TEST_F(DescriptorTest, ChildrenAreLookedUpDirectlyInsideTheParent) {
  // A file without its own `name` but with a file type that has one: the application gets
  // a name of its own, the file type's stays.
  LoadMovie("<application xmlns=\"urn:x/2.0\"><id>a</id><fileTypes><fileType><name>doc</name></fileType>"
            "</fileTypes></application>");
  EXPECT_FALSE(HasChildElement(Doc(), u"application", u"name"));
  EXPECT_EQ(SetChildElementText(Doc(), u"application", u"name", u"Movie"), 0);
  EXPECT_EQ(ElementText(u"name"), u"doc");  // the first `name` in document order is still the file type's
  EXPECT_EQ(SavedMovie(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<application xmlns=\"urn:x/2.0\">\n"
            "  <id>a</id>\n  <fileTypes>\n    <fileType>\n      <name>doc</name>\n    </fileType>\n  </fileTypes>\n"
            "  <name>Movie</name>\n</application>\n");
}

TEST_F(ElementOperationsTest, AppIconsAreTheApplicationsOwnAndNeverAFileTypes) {
  LoadMovie("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.zaro.example/2.0\">\n"
            "  <id>a.b</id>\n  <fileTypes>\n    <fileType>\n      <name>doc</name>\n      <icon>\n"
            "        <image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"");
  EXPECT_EQ(RemoveAppIcon(Doc(), u"image16x16"), 0);
  // Writing appends a size or replaces it.
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"a.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image16x16", u"icons/app%2016.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"c.png"), 0);
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"icons/app%2016.png");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image128x128"), u"c.png");
  // The file type's icon stays; the new one is the application's last child, laid out like its siblings.
  const std::string saved = SavedMovie();
  EXPECT_NE(saved.find("<image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
                       "  <icon>\n    <image128x128>c.png</image128x128>\n"
                       "    <image16x16>icons/app%2016.png</image16x16>\n  </icon>\n</application>"),
            std::string::npos)
      << saved;
}

// The dialog's tests try the rules on typical names and extensions; these are the edges.
TEST(FileTypeRules, NamesAndExtensions) {
  EXPECT_TRUE(IsValidFileTypeName(std::u16string(38, u'a')));
  for (const auto& bad : {u""s, u"dok\u00e9"s, u"a b"s}) EXPECT_FALSE(IsValidFileTypeName(bad)) << ToUtf8(bad);
  EXPECT_TRUE(IsValidFileTypeExtension(u"7z"));
  for (const auto& bad : {u""s, u".abc"s}) EXPECT_FALSE(IsValidFileTypeExtension(bad)) << ToUtf8(bad);
}

TEST_F(FileTypesTest, ListAndReadFollowDocumentOrder) {
  LoadMovie(kHead +
            "  <fileTypes>\n"
            "    <fileType><name>docA</name><extension>abc</extension><description>First</description>"
            "<contentType>text/a</contentType><icon><image16x16>i/16.png</image16x16>"
            "<image128x128>i/128.png</image128x128></icon></fileType>\n"
            "    <fileType><name>docB</name><contentType>text/b</contentType><other><image32x32>deep.png</image32x32>"
            "</other></fileType>\n"
            "    <fileType><name>docA</name><extension>second</extension></fileType>\n"
            "  </fileTypes>\n</application>\n");
  EXPECT_EQ(ListFileTypes(Doc()), u";docA(abc);docB;docA(second)");
  // Reading into a record that holds an extension and a description: only the first match is
  // read, a missing element leaves its field alone, images are found anywhere inside the type
  // and names match exactly.
  const auto read = [&](const char16_t* name) {
    FileTypeRecord record = Record("", "old");
    record.description = u"kept";
    return ReadFileType(Doc(), name, record) ? Fields(record) : "<none>";
  };
  EXPECT_EQ(read(u"docA"), "docA|abc|First|text/a|i/16.png|||i/128.png|docA");
  EXPECT_EQ(read(u"docB"), "docB|old|kept|text/b||deep.png|||docB");
  EXPECT_EQ(read(u"docb"), "<none>");
}

TEST_F(FileTypesTest, NewTypesGoIntoTheTemplateInTheirChildOrder) {
  LoadMovie();
  ASSERT_EQ(SaveFileType(Doc(), Record("my.Type2", "abc", {{128, u"FileTypeIconsForZAROPublish/big.png"},
                                                            {16, u"FileTypeIconsForZAROPublish/small.png"}})),
            0);
  ASSERT_EQ(SaveFileType(Doc(), Record("other", "xyz")), 0);
  // The last child of the application; an empty description is an empty element, the icon
  // holds the images in the order 16, 128 and the other type still gets its (empty) icon.
  EXPECT_EQ(FileTypesPart(SavedMovie()),
            "<fileTypes>\n    <fileType>\n      <name>my.Type2</name>\n      <extension>abc</extension>\n"
            "      <description/>\n      <contentType>application/x-my.Type2</contentType>\n      <icon>\n"
            "        <image16x16>FileTypeIconsForZAROPublish/small.png</image16x16>\n"
            "        <image128x128>FileTypeIconsForZAROPublish/big.png</image128x128>\n      </icon>\n    </fileType>\n"
            "    <fileType>\n      <name>other</name>\n      <extension>xyz</extension>\n      <description/>\n"
            "      <contentType>application/x-other</contentType>\n      <icon/>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
}

TEST_F(FileTypesTest, RenamingUpdatesTheElementInPlace) {
  LoadMovie(kHead + "  <fileTypes>\n    <fileType>\n      <name> docA </name>\n      <extension>abc</extension>\n"
                    "      <description>Old</description>\n      <icon>\n        <image32x32>old32.png</image32x32>\n"
                    "        <image48x48>old48.png</image48x48>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
                    "</application>\n");
  // The loaded name is the one read before the name was edited, compared trimmed.
  ASSERT_EQ(SaveFileType(Doc(), Record("docRenamed", "xyz", {{16, u"new16.png"}, {48, u"new48.png"}}, "docA")), 0);
  // A missing element (contentType) is not created on update, an emptied icon loses its
  // element, and sizes are replaced in place with missing ones appended on lines of their own.
  EXPECT_EQ(FileTypesPart(SavedMovie()),
            "<fileTypes>\n    <fileType>\n      <name>docRenamed</name>\n      <extension>xyz</extension>\n"
            "      <description/>\n      <icon>\n        <image48x48>new48.png</image48x48>\n"
            "        <image16x16>new16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
}

TEST_F(FileTypesTest, AnUpdatedTypeWithoutIconGetsOneAndRemovingTheLastTypeRemovesTheGroup) {
  LoadMovie(kHead + "<fileTypes><fileType><name>a</name></fileType></fileTypes></application>");
  ASSERT_EQ(SaveFileType(Doc(), Record("a", "b", {{32, u"x.png"}}, "a")), 0);
  EXPECT_NE(SavedMovie().find("<icon><image32x32>x.png</image32x32></icon>"), std::string::npos);

  EXPECT_EQ(RemoveFileType(Doc(), u"c"), 1);
  EXPECT_EQ(RemoveFileType(Doc(), u"a"), 0);
  EXPECT_EQ(RemoveFileType(Doc(), u"a"), 1);  // no group left
  EXPECT_EQ(SavedMovie().find("fileType"), std::string::npos);
}

}  // namespace
}  // namespace zaro
