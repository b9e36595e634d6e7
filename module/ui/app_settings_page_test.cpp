#include "ui/app_settings_page.h"

#include <array>

#include "descriptor/descriptor_test_support.h"
#include "packaging/path_utilities.h"
#include "settings/messages.h"
#include "ui/page_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;

std::string Descriptor(const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.zaro.example/2.0\">\n"
         "  <id>com.example.hello</id>\n  <filename>Hello</filename>\n" +
         inside +
         "  <version>1.0</version>\n  <description>first line\nsecond line</description>\n  <copyright></copyright>\n"
         "  <initialWindow>\n    <content>Movie.qmv</content>\n  </initialWindow>\n</application>\n";
}

class GeneralPageTest : public DescriptorTest {
 protected:
  // Parses a descriptor for the movie "Movie" and opens the page on it.
  void Open(const std::string& content) {
    LoadMovie(content);
    page.Activate();
  }
  std::string Saved() { return ReadBytes(DescriptorFile("Movie")); }
  bool Has(const std::string& text) { return Saved().find(text) != std::string::npos; }

  CAppSettingsDlg page;
};

TEST_F(GeneralPageTest, ALocalisedNameDisablesItsFieldAndStaysUntouched) {
  Open(Descriptor("  <name>\n    <text xml:lang=\"en\">Hello</text>\n    <text xml:lang=\"fr\">Bonjour</text>\n"
                  "  </name>\n"));
  EXPECT_EQ(page.Text("appname"), u"");
  EXPECT_FALSE(page.FindField("appname")->enabled);
  EXPECT_FALSE(page.SetField("appname", u"Other"));
  ASSERT_TRUE(page.SetField("version", u"2.0"));
  EXPECT_EQ(page.Commit(), CAppSettingsDlg::kAccepted);
  EXPECT_TRUE(Has("<text xml:lang=\"fr\">Bonjour</text>")) << Saved();
  EXPECT_TRUE(Has("<version>2.0</version>")) << Saved();
}

TEST_F(GeneralPageTest, AnUnsuitableIdentifierIsRefusedAndNothingIsWritten) {
  Open(Descriptor("  <name>Hello</name>\n"));
  const std::string before = Saved();
  Set(page, {{"appid", u"my_app"}, {"appname", u"Changed"}, {"installer", u"true"}});
  EXPECT_EQ(page.Commit(), CAppSettingsDlg::kInvalidId);
  ASSERT_EQ(ui_->Events().size(), 1u);
  EXPECT_EQ(ui_->Events()[0].text, LoadMessage(8061) + LoadMessage(8062));
  EXPECT_EQ(ui_->Events()[0].style, 48u);
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(GetSetting(keys::kPubExe), u"");
  EXPECT_FALSE(page.Changed());
  ASSERT_TRUE(page.SetField("appid", u""));
  EXPECT_EQ(page.Commit(), CAppSettingsDlg::kInvalidId) << "an empty identifier too";
}

TEST_F(GeneralPageTest, UneditedTextsStayByteForByteAndEditedOnesAreWrittenWithLineFeeds) {
  const std::string longName(600, 'n');
  Open(Descriptor("  <name>" + longName + "</name>\n"));
  EXPECT_EQ(page.Text("appname").size(), CAppSettingsDlg::kMaxElementText);
  EXPECT_EQ(page.Text("description"), u"first line\r\nsecond line");
  EXPECT_EQ(page.Commit(), 0);
  EXPECT_TRUE(Has("<name>" + longName + "</name>")) << "an unedited long name keeps its full text";
  EXPECT_TRUE(Has("<description>first line\nsecond line</description>"));

  Set(page, {{"description", u"one\r\ntwo\r\nthree"}, {"copyright", u"© 2026"}});
  EXPECT_EQ(page.Commit(), 0);
  EXPECT_TRUE(Has("<description>one\ntwo\nthree</description>")) << Saved();
  EXPECT_FALSE(Has("\r"));
  EXPECT_TRUE(Has("<copyright>© 2026</copyright>"));
}

TEST_F(GeneralPageTest, OutputFileFallsBackToTheMovieNameWhenItsFolderIsGone) {
  EXPECT_EQ(ShownOutputFile(u"D:/gone/out.zaro", u"Movie"), u"Movie.zaro");
  EXPECT_EQ(ShownOutputFile(u"out", u"Movie"), u"out.zaro");
  EXPECT_EQ(ShownOutputFile(u"", u"Movie"), u"Movie.zaro");
  EXPECT_EQ(ShownOutputFile(u"OUT.ZAROI", u"Movie"), u"OUT.ZAROI");
  const std::u16string existing = FromUtf8(movieFolder_.string()) + u"/pkg.zaro";
  EXPECT_EQ(ShownOutputFile(existing, u"Movie"), WithBackslashes(existing)) << "its folder exists";

  SetSetting(keys::kZaroDestination, u"D:/gone/out.zaro");
  Open(Descriptor("  <name>Hello</name>\n"));
  EXPECT_EQ(page.Text("destination"), u"Movie.zaro");
  EXPECT_EQ(page.Commit(), 0);
  EXPECT_EQ(GetSetting(keys::kZaroDestination), u"Movie.zaro");
  EXPECT_TRUE(page.Changed());
}

TEST_F(GeneralPageTest, ProfilesAndWindowStyleAreWrittenAsTheRuntimeReadsThem) {
  Open(Descriptor("  <name>Hello</name>\n  <supportedProfiles>extendedDesktop mobileDevice</supportedProfiles>\n"));
  EXPECT_EQ(page.Text("desktop"), u"false") << "desktop does not match inside extendedDesktop";
  EXPECT_EQ(page.Text("extendedDesktop"), u"true");
  EXPECT_EQ(page.Text("mobileDevice"), u"true");
  EXPECT_EQ(page.Text("windowstyle"), u"系统镶边");
  EXPECT_FALSE(page.SetField("windowstyle", u"透明")) << "no such entry";
  ASSERT_TRUE(page.SetField("windowstyle", u"自定义镶边（透明）"));
  // The profiles checked, and the element written (none: removed, with all four or none).
  const char* const names[] = {"desktop", "extendedDesktop", "mobileDevice", "extendedMobileDevice"};
  const std::pair<std::array<const char16_t*, 4>, std::string> profiles[] = {
      {{u"true", u"false", u"false", u"false"}, "<supportedProfiles>desktop </supportedProfiles>"},
      {{u"true", u"true", u"true", u"true"}, ""},
      {{u"true", u"false", u"true", u"true"},
       "<supportedProfiles>desktop mobileDevice extendedMobileDevice</supportedProfiles>"},
      {{u"false", u"false", u"false", u"false"}, ""}};
  for (const auto& [checked, element] : profiles) {
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(page.SetField(names[i], checked[i])) << names[i];
    EXPECT_EQ(page.Commit(), 0);
    EXPECT_EQ(Has(element.empty() ? "supportedProfiles" : element), !element.empty()) << Saved();
  }
  EXPECT_TRUE(Has("<systemChrome>none</systemChrome>")) << Saved();
  EXPECT_TRUE(Has("<transparent>true</transparent>"));
  EXPECT_EQ(GetSetting(keys::kWindowType), u"transparent");
}

TEST_F(GeneralPageTest, IncludedFilesRefuseDuplicatesAndRemovingRenumbersTheItems) {
  Include({u"docs/readme.txt", u"", u"/abs/data"});
  Open(Descriptor("  <name>Hello</name>\n"));
  const std::u16string folder = WithBackslashes(GetSetting(keys::kMovieFolder));
  EXPECT_EQ(page.FindField("included")->items,
            (std::vector<std::u16string>{u"Movie.qmv", u"Movie-app.xml", u"docs\\readme.txt", u"\\abs\\data"}));

  ui_->QueueFile(folder + u"a.txt");
  ui_->QueueFile(folder + u"A.TXT");  // the same file again
  ui_->QueueFolder(u"\\elsewhere\\assets");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(page.Press("addfile"));
  ASSERT_TRUE(page.Press("addfolder"));
  EXPECT_EQ(page.FindField("included")->items,
            (std::vector<std::u16string>{u"Movie.qmv", u"Movie-app.xml", u"docs\\readme.txt", u"\\abs\\data",
                                         u"a.txt", u"\\elsewhere\\assets"}));
  EXPECT_TRUE(page.Changed());

  EXPECT_FALSE(page.Press("remove")) << "nothing selected";
  for (const char16_t* fixed : {u"Movie.qmv", u"Movie-app.xml"}) {
    ASSERT_TRUE(page.SetField("included", fixed));
    EXPECT_FALSE(page.FindButton("remove")->enabled) << "the fixed entries stay";
  }
  EXPECT_FALSE(page.SetField("included", u"nothing.txt"));
  ASSERT_TRUE(page.SetField("included", u"\\abs\\data"));
  ASSERT_TRUE(page.Press("remove"));
  ASSERT_TRUE(page.SetField("included", u"\\elsewhere\\assets"));
  ASSERT_TRUE(page.Press("remove"));
  EXPECT_EQ(page.Commit(), 0);
  EXPECT_EQ(GetSetting(keys::kIncludedCount), u"2");
  const std::u16string stored[] = {u"docs/readme.txt", u"a.txt", u""};  // the old third item is gone
  for (long index = 0; index < 3; ++index) EXPECT_EQ(GetSetting(IncludedItemKey(index)), stored[index]) << index;
}

}  // namespace
}  // namespace zaro
