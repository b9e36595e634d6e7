#include "ui/icon_preview_page.h"

#include "descriptor/application_icons.h"
#include "descriptor/descriptor_test_support.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"

namespace zaro {
namespace {

using namespace testing_support;

class IconsPageTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    LoadMovie();
    folder_ = WithBackslashes(GetSetting(keys::kMovieFolder));
  }
  std::u16string Stored(const char16_t* element) { return ReadAppIcon(MovieDescriptor(), element); }

  std::u16string folder_;
  CIconPreviewDlg page;
};

TEST_F(IconsPageTest, TheTargetChoosesTheSizes) {
  page.Activate();
  EXPECT_EQ(page.FindField("size")->items,
            (std::vector<std::u16string>{u"图标 16x16", u"图标 32x32", u"图标 48x48", u"图标 128x128"}));
  EXPECT_EQ(page.FindField("path")->label, u"16x16");

  SetSetting(keys::kPubIpa, u"true");
  CIconPreviewDlg iphone;
  iphone.Activate();
  ASSERT_EQ(iphone.FindField("size")->items.size(), 3u);
  ASSERT_TRUE(iphone.SetField("size", u"图标 512x512"));
  EXPECT_EQ(iphone.SelectedSize(), 512);
  EXPECT_EQ(iphone.FindField("path")->label, u"512x512");
  EXPECT_FALSE(iphone.SetField("size", u"图标 16x16")) << "no such entry on the iPhone";
}

TEST_F(IconsPageTest, AnIconInsideTheMovieFolderIsStoredRelativeWithEscapedBlanks) {
  WriteBytes(movieFolder_ / "icons" / "app 16.png", "png");
  page.Activate();
  ui_->QueueFile(folder_ + u"icons\\app 16.png");
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(Stored(u"image16x16"), u"icons/app%2016.png");
  EXPECT_EQ(page.Text("path"), u"icons/app 16.png");
  EXPECT_EQ(page.Text("preview"), folder_ + u"icons\\app 16.png");
  EXPECT_FALSE(page.SetField("path", u"typed.png")) << "the path is read-only";

  ASSERT_TRUE(page.SetField("size", u"图标 32x32"));
  EXPECT_EQ(page.Text("path"), u"");
  ASSERT_TRUE(page.SetField("size", u"图标 16x16"));
  EXPECT_EQ(page.Text("path"), u"icons/app 16.png") << "shown again with its blank";
  EXPECT_FALSE(page.Changed()) << "choosing an icon is no document setting";

  ASSERT_TRUE(page.Press("remove"));
  EXPECT_EQ(Stored(u"image16x16"), u"");
  EXPECT_EQ(page.Text("preview"), u"");
  EXPECT_TRUE(page.Changed());
  EXPECT_TRUE(HasChildElement(MovieDescriptor(), u"application", u"icon")) << "the icon element stays";
}

TEST_F(IconsPageTest, AnIconFromOutsideIsCopiedOnlyAfterOk) {
  const std::filesystem::path outside = root_ / "elsewhere" / "big icon.png";
  WriteBytes(outside, "png bytes");
  page.Activate();
  ASSERT_TRUE(page.SetField("size", u"图标 128x128"));

  ui_->QueueFile(platform::ToWindowsForm(outside.string()));
  ui_->QueueButton(kIdCancel);
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(Stored(u"image128x128"), u"");
  EXPECT_FALSE(std::filesystem::exists(movieFolder_ / "AppIconsForPublish"));

  ui_->QueueFile(platform::ToWindowsForm(outside.string()));
  ui_->QueueButton(kIdOk);
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(ui_->Events().back().style, 49u);
  EXPECT_EQ(Stored(u"image128x128"), u"AppIconsForPublish/big%20icon.png");
  EXPECT_EQ(ReadBytes(movieFolder_ / "AppIconsForPublish" / "big icon.png"), "png bytes");
  EXPECT_EQ(page.Text("path"), u"AppIconsForPublish/big icon.png");
  EXPECT_EQ(Stored(u"image16x16"), u"") << "only the selected size";

  // A path that holds the movie folder's text further along lies outside it: copied, not cut.
  const std::filesystem::path mirror = root_ / "mirror" / movieFolder_.relative_path() / "m.png";
  WriteBytes(mirror, "mirror");
  ui_->QueueFile(platform::ToWindowsForm(mirror.string()));
  ui_->QueueButton(kIdOk);
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(Stored(u"image128x128"), u"AppIconsForPublish/m.png");
}

TEST_F(IconsPageTest, AStoredPathIsShownTrimmedAndAnOverlongOneCutButKeptWhole) {
  WriteBytes(movieFolder_ / "icons" / "a.png", "png");
  ASSERT_EQ(WriteAppIcon(MovieDescriptor(), u"image16x16", u"\n  icons/a.png \t"), 0);
  page.Activate();
  EXPECT_EQ(page.Text("path"), u"icons/a.png");
  EXPECT_EQ(page.Text("preview"), folder_ + u"icons\\a.png");

  const std::u16string longPath = u"icons/" + std::u16string(300, u'x') + u".png";
  ASSERT_EQ(WriteAppIcon(MovieDescriptor(), u"image16x16", longPath), 0);
  CIconPreviewDlg again;
  again.Activate();
  EXPECT_EQ(again.Text("path").size(), CIconPreviewDlg::kMaxIconPath);
  EXPECT_EQ(Stored(u"image16x16"), longPath);
}

}  // namespace
}  // namespace zaro
