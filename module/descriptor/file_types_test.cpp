#include "descriptor/file_types.h"

#include <string>

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using namespace std::string_literals;
using FileTypesTest = testing_support::DescriptorTest;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n  <id>a</id>\n";

FileTypeRecord Record(const std::string& name, const std::string& extension) {
  FileTypeRecord record;
  record.name = name;
  record.extension = extension;
  record.contentType = u"application/x-" + FromUtf8(name);
  return record;
}

// Every field of a record, "|" between them.
std::string Fields(const FileTypeRecord& r) {
  return r.name + "|" + r.extension + "|" + ToUtf8(r.description) + "|" + ToUtf8(r.contentType) + "|" +
         ToUtf8(r.icon16) + "|" + ToUtf8(r.icon32) + "|" + ToUtf8(r.icon48) + "|" + ToUtf8(r.icon128) + "|" +
         r.loadedName;
}

// The saved descriptor from its <fileTypes> element on.
std::string FileTypesPart(const std::string& saved) {
  return saved.substr(std::min(saved.find("<fileTypes>"), saved.size()));
}

TEST(FileTypeRules, NamesAndExtensions) {
  for (const auto& name : {u"my.Type2"s, std::u16string(38, u'a')}) EXPECT_TRUE(IsValidFileTypeName(name));
  for (const auto& bad : {u""s, u".doc"s, u"2doc"s, u"my-type"s, u"dok\u00e9"s, u"a b"s, std::u16string(39, u'a')}) {
    EXPECT_FALSE(IsValidFileTypeName(bad)) << ToUtf8(bad);
  }
  for (const auto& extension : {u"abc"s, u"7z"s}) EXPECT_TRUE(IsValidFileTypeExtension(extension));
  for (const auto& bad : {u""s, u"a.b"s, u"ab_c"s, u".abc"s, std::u16string(39, u'x')}) {
    EXPECT_FALSE(IsValidFileTypeExtension(bad)) << ToUtf8(bad);
  }
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
  // Only the first match is read; an empty element leaves its field alone.
  FileTypeRecord a;
  a.description = u"kept when the element is empty";
  ASSERT_TRUE(ReadFileType(Doc(), u"docA", a));
  EXPECT_EQ(Fields(a), "docA|abc|First|text/a|i/16.png|||i/128.png|docA");
  // A missing element leaves the field alone; images are found anywhere inside the type.
  FileTypeRecord b;
  b.extension = "old";
  ASSERT_TRUE(ReadFileType(Doc(), u"docB", b));
  EXPECT_EQ(Fields(b), "docB|old||text/b||deep.png|||docB");
  EXPECT_FALSE(ReadFileType(Doc(), u"docb", b)) << "names match exactly";
}

TEST_F(FileTypesTest, NewTypesGoIntoTheTemplateInTheirChildOrder) {
  LoadMovie();
  FileTypeRecord record = Record("my.Type2", "abc");
  record.icon128 = u"FileTypeIconsForZAROPublish/big.png";
  record.icon16 = u"FileTypeIconsForZAROPublish/small.png";
  ASSERT_EQ(SaveFileType(Doc(), record), 0);
  ASSERT_EQ(SaveFileType(Doc(), Record("other", "xyz")), 0);
  EXPECT_EQ(ListFileTypes(Doc()), u";my.Type2(abc);other(xyz)");
  // The last child of the application; an empty description is an empty element, the icon
  // holds the images in the order 16, 128 and the other type still gets its (empty) icon.
  const std::string saved = SavedMovie();
  EXPECT_EQ(FileTypesPart(saved),
            "<fileTypes>\n    <fileType>\n      <name>my.Type2</name>\n      <extension>abc</extension>\n"
            "      <description/>\n      <contentType>application/x-my.Type2</contentType>\n      <icon>\n"
            "        <image16x16>FileTypeIconsForZAROPublish/small.png</image16x16>\n"
            "        <image128x128>FileTypeIconsForZAROPublish/big.png</image128x128>\n      </icon>\n    </fileType>\n"
            "    <fileType>\n      <name>other</name>\n      <extension>xyz</extension>\n      <description/>\n"
            "      <contentType>application/x-other</contentType>\n      <icon/>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n")
      << saved;
}

TEST_F(FileTypesTest, RenamingUpdatesTheElementInPlace) {
  LoadMovie(kHead + "  <fileTypes>\n    <fileType>\n      <name> docA </name>\n      <extension>abc</extension>\n"
                    "      <description>Old</description>\n      <icon>\n        <image32x32>old32.png</image32x32>\n"
                    "        <image48x48>old48.png</image48x48>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
                    "</application>\n");
  FileTypeRecord record = Record("docRenamed", "xyz");
  record.loadedName = "docA";  // read before the name was edited; compared trimmed
  record.icon16 = u"new16.png";
  record.icon48 = u"new48.png";
  ASSERT_EQ(SaveFileType(Doc(), record), 0);
  EXPECT_EQ(ListFileTypes(Doc()), u";docRenamed(xyz)") << "no second type";
  // A missing element (contentType) is not created on update, an emptied icon loses its
  // element, and sizes are replaced in place with missing ones appended on lines of their own.
  EXPECT_EQ(FileTypesPart(SavedMovie()),
            "<fileTypes>\n    <fileType>\n      <name>docRenamed</name>\n      <extension>xyz</extension>\n"
            "      <description/>\n      <icon>\n        <image48x48>new48.png</image48x48>\n"
            "        <image16x16>new16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
}

TEST_F(FileTypesTest, AnUpdatedTypeWithoutIconGetsOne) {
  LoadMovie(kHead + "<fileTypes><fileType><name>a</name></fileType></fileTypes></application>");
  FileTypeRecord record = Record("a", "b");
  record.loadedName = "a";
  record.icon32 = u"x.png";
  ASSERT_EQ(SaveFileType(Doc(), record), 0);
  EXPECT_NE(SavedMovie().find("<icon><image32x32>x.png</image32x32></icon>"), std::string::npos);
}

TEST_F(FileTypesTest, RemovingTheLastTypeRemovesTheGroup) {
  LoadMovie();
  ASSERT_EQ(SaveFileType(Doc(), Record("a", "x")), 0);
  ASSERT_EQ(SaveFileType(Doc(), Record("b", "y")), 0);
  EXPECT_EQ(RemoveFileType(Doc(), u"c"), 1);
  EXPECT_EQ(RemoveFileType(Doc(), u"a"), 0);
  EXPECT_EQ(ListFileTypes(Doc()), u";b(y)");
  EXPECT_EQ(RemoveFileType(Doc(), u"b"), 0);
  EXPECT_FALSE(HasChildElement(Doc(), u"application", u"fileTypes"));
  EXPECT_EQ(RemoveFileType(Doc(), u"b"), 1);
  EXPECT_EQ(SavedMovie().find("fileType"), std::string::npos);
}

}  // namespace
}  // namespace zaro
