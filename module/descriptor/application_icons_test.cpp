#include "descriptor/application_icons.h"

#include "descriptor/descriptor_test_support.h"

namespace zaro {
namespace {

using ApplicationIconsTest = testing_support::DescriptorTest;

TEST_F(ApplicationIconsTest, AFileTypesIconIsNeverTakenForTheApplications) {
  LoadMovie("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.zaro.example/2.0\">\n"
            "  <id>a.b</id>\n  <fileTypes>\n    <fileType>\n      <name>doc</name>\n      <icon>\n"
            "        <image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
            "</application>\n");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"");
  EXPECT_EQ(RemoveAppIcon(Doc(), u"image16x16"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image16x16", u"icons/app%2016.png"), 0);
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"icons/app%2016.png");
  // The file type's icon stays; the new one is the application's last child, laid out like its siblings.
  const std::string saved = SavedMovie();
  EXPECT_NE(saved.find("<image16x16>types/doc16.png</image16x16>\n      </icon>\n    </fileType>\n  </fileTypes>\n"
                       "  <icon>\n    <image16x16>icons/app%2016.png</image16x16>\n  </icon>\n</application>"),
            std::string::npos)
      << saved;
}

TEST_F(ApplicationIconsTest, WritingReplacesOrAppendsAndRemovingLeavesTheIconElement) {
  LoadMovie();  // the template, with an empty icon element
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"a.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image16x16", u"b.png"), 0);
  ASSERT_EQ(WriteAppIcon(Doc(), u"image128x128", u"c.png"), 0);
  EXPECT_EQ(ReadAppIcon(Doc(), u"image128x128"), u"c.png");
  EXPECT_EQ(ReadAppIcon(Doc(), u"image16x16"), u"b.png");
  EXPECT_EQ(RemoveAppIcon(Doc(), u"image128x128"), 0);
  EXPECT_EQ(RemoveAppIcon(Doc(), u"image16x16"), 0);
  EXPECT_EQ(ReadAppIcon(Doc(), u"image128x128"), u"");
  const std::string saved = SavedMovie();
  EXPECT_EQ(saved.find("image128x128"), std::string::npos) << saved;
  EXPECT_TRUE(saved.find("<icon/>") != std::string::npos || saved.find("<icon>") != std::string::npos) << saved;
}

}  // namespace
}  // namespace zaro
