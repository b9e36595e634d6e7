#include "descriptor/file_types.h"

#include <string>

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using testing_support::DescriptorTest;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
                          "  <id>a</id>\n";

FileTypeRecord Record(const std::string& name, const std::string& extension) {
  FileTypeRecord record;
  record.name = name;
  record.extension = extension;
  record.contentType = u"application/x-" + FromUtf8(name);
  return record;
}

using FileTypesTest = DescriptorTest;

TEST(FileTypeRules, NamesAndExtensions) {
  EXPECT_TRUE(IsValidFileTypeName(u"my.Type2"));
  EXPECT_TRUE(IsValidFileTypeName(std::u16string(38, u'a')));
  for (std::u16string bad : {u"", u".doc", u"2doc", u"my-type", u"dok\u00e9", u"a b"}) {
    EXPECT_FALSE(IsValidFileTypeName(bad)) << ToUtf8(bad);
  }
  EXPECT_FALSE(IsValidFileTypeName(std::u16string(39, u'a')));
  EXPECT_TRUE(IsValidFileTypeExtension(u"abc"));
  EXPECT_TRUE(IsValidFileTypeExtension(u"7z"));
  for (std::u16string bad : {u"", u"a.b", u"ab_c", u".abc"}) EXPECT_FALSE(IsValidFileTypeExtension(bad)) << ToUtf8(bad);
  EXPECT_FALSE(IsValidFileTypeExtension(std::u16string(39, u'x')));
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

  FileTypeRecord a;
  a.description = u"kept when the element is empty";
  ASSERT_TRUE(ReadFileType(Doc(), u"docA", a));
  EXPECT_EQ(a.extension, "abc") << "only the first match is read";
  EXPECT_EQ(a.description, u"First");
  EXPECT_EQ(a.contentType, u"text/a");
  EXPECT_EQ(a.icon16, u"i/16.png");
  EXPECT_EQ(a.icon128, u"i/128.png");
  EXPECT_EQ(a.icon32, u"");
  EXPECT_EQ(a.loadedName, "docA");

  FileTypeRecord b;
  b.extension = "old";
  ASSERT_TRUE(ReadFileType(Doc(), u"docB", b));
  EXPECT_EQ(b.extension, "old") << "a missing element leaves the field alone";
  EXPECT_EQ(b.icon32, u"deep.png") << "images are found anywhere inside the type";
  EXPECT_FALSE(ReadFileType(Doc(), u"docb", b)) << "names match exactly";
}

TEST_F(FileTypesTest, NewTypesGoIntoTheTemplateInTheirChildOrder) {
  LoadMovie("");
  FileTypeRecord record = Record("my.Type2", "abc");
  record.icon128 = u"FileTypeIconsForZAROPublish/big.png";
  record.icon16 = u"FileTypeIconsForZAROPublish/small.png";
  ASSERT_EQ(SaveFileType(Doc(), record), 0);
  ASSERT_EQ(SaveFileType(Doc(), Record("other", "xyz")), 0);
  EXPECT_EQ(ListFileTypes(Doc()), u";my.Type2(abc);other(xyz)");

  const std::string saved = SavedMovie();
  const size_t fileTypes = saved.find("<fileTypes>");
  ASSERT_NE(fileTypes, std::string::npos);
  EXPECT_LT(saved.find("<allowBrowserInvocation>"), fileTypes) << "fileTypes is the last child of application";
  EXPECT_NE(saved.find("<name>my.Type2</name>"), std::string::npos);
  // An empty description is written as an empty element, and the icon holds the two
  // images in the order 16, 128.
  const size_t description = saved.find("<description/>", fileTypes);
  const size_t small = saved.find("<image16x16>FileTypeIconsForZAROPublish/small.png</image16x16>", fileTypes);
  const size_t big = saved.find("<image128x128>FileTypeIconsForZAROPublish/big.png</image128x128>", fileTypes);
  ASSERT_NE(description, std::string::npos) << saved;
  EXPECT_LT(saved.find("<extension>abc</extension>", fileTypes), description);
  EXPECT_LT(description, saved.find("<contentType>application/x-my.Type2</contentType>", fileTypes));
  ASSERT_NE(small, std::string::npos);
  EXPECT_LT(small, big);
  EXPECT_EQ(saved.find("image32x32", fileTypes), std::string::npos);
  EXPECT_EQ(saved.find("image48x48", fileTypes), std::string::npos);
  // The other type still gets its (empty) icon element.
  EXPECT_NE(saved.find("<contentType>application/x-other</contentType>\n      <icon/>"), std::string::npos) << saved;
}

TEST_F(FileTypesTest, RenamingUpdatesTheElementInPlace) {
  LoadMovie(kHead +
       "  <fileTypes>\n"
       "    <fileType>\n"
       "      <name> docA </name>\n"
       "      <extension>abc</extension>\n"
       "      <description>Old</description>\n"
       "      <icon>\n"
       "        <image32x32>old32.png</image32x32>\n"
       "        <image48x48>old48.png</image48x48>\n"
       "      </icon>\n"
       "    </fileType>\n"
       "  </fileTypes>\n</application>\n");
  FileTypeRecord record = Record("docRenamed", "xyz");
  record.loadedName = "docA";  // read before the name was edited; compared trimmed
  record.icon16 = u"new16.png";
  record.icon48 = u"new48.png";
  ASSERT_EQ(SaveFileType(Doc(), record), 0);
  EXPECT_EQ(ListFileTypes(Doc()), u";docRenamed(xyz)") << "no second type";

  const std::string saved = SavedMovie();
  EXPECT_NE(saved.find("      <name>docRenamed</name>\n      <extension>xyz</extension>\n"
                       "      <description/>\n"),
            std::string::npos)
      << saved;
  EXPECT_EQ(saved.find("contentType"), std::string::npos) << "a missing element is not created on update";
  EXPECT_EQ(saved.find("old32.png"), std::string::npos) << "an emptied icon loses its element";
  EXPECT_NE(saved.find("        <image48x48>new48.png</image48x48>\n        <image16x16>new16.png</image16x16>\n"
                       "      </icon>"),
            std::string::npos)
      << "replaced in place, missing sizes appended on lines of their own:\n"
      << saved;
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
  LoadMovie("");
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
