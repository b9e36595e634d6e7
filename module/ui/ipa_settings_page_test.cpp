#include "ui/ipa_settings_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;
using Items = std::vector<std::u16string>;

class IpaGeneralPageTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    UseDescriptor();
  }
  static std::unique_ptr<CIpaSettingsDlg> OpenPage() { return Opened<CIpaSettingsDlg>(); }
  static const Items& Included(const CIpaSettingsDlg& page) { return page.FindField("included")->items; }
};

TEST_F(IpaGeneralPageTest, OpeningShowsTheDescriptorAndStoredValues) {
  SetSetting(keys::kIncludedCount, u"3");
  SetSetting(IncludedItemKey(0), u"assets/music.mp3");
  SetSetting(IncludedItemKey(2), u"/data/extra");
  auto page = OpenPage();
  // No stored output: the base name and .ipa; fullScreen trimmed and lower-cased; no
  // autoOrients element.
  EXPECT_EQ(
      Texts(*page, {"destination", "appname", "version", "fullscreen", "autoorients", "aspectratio", "rendering"}),
            (Items{u"Demo.ipa", u"Demo Game", u"1.0", u"true", u"false", u"横向", u"GPU"}));
  EXPECT_TRUE(page->FindField("appname")->enabled);
  EXPECT_EQ(page->FindField("aspectratio")->items, (Items{u"纵向", u"横向"}));
  EXPECT_EQ(page->FindField("rendering")->items, (Items{u"自动", u"CPU", u"GPU"}));
  EXPECT_EQ(Included(*page), (Items{u"Demo.qmv", u"Demo-app.xml", u"assets\\music.mp3", u"\\data\\extra"}))
      << "fixed entries first, empty items skipped";
  EXPECT_EQ(page->ListExtent(), Ui().MeasureTextWidth(u"assets\\music.mp3"));
  EXPECT_EQ(page->DescriptorPath(), platform::ToWindowsForm(DescriptorFile().string()));

  SetSetting(keys::kIpaDestination, u"/out/game.ipa");
  EXPECT_EQ(OpenPage()->Text("destination"), u"/out/game.ipa");
}

TEST_F(IpaGeneralPageTest, OpeningTakesTheSampleNamespaceAndReadsDefaultsWithoutElements) {
  UseDescriptor(
      "<application xmlns=\"http://ns.corvane.example/zaro/application/1.5\"><id>a</id>"
      "<initialWindow><aspectRatio>portrait</aspectRatio><renderMode>CPU</renderMode></initialWindow></application>");
  const std::u16string sample = MakeFile(
      "bin/ZSK2.0/samples/descriptor-sample.xml",
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.5\"><id>s</id></application>");
  ASSERT_FALSE(sample.empty());
  auto page = OpenPage();
  std::string xmlns;
  ASSERT_EQ(GetElementAttribute(MovieDescriptor(), u"application", u"xmlns", xmlns), 0);
  EXPECT_EQ(xmlns, "http://ns.corvane.example/zaro/application/2.5");
  EXPECT_EQ(Texts(*page, {"appname", "aspectratio", "rendering"}), (Items{u"", u"纵向", u"CPU"}));
}

TEST_F(IpaGeneralPageTest, LocalisedNameDisablesTheFieldAndCommitLeavesIt) {
  UseDescriptor(
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id>"
      "<name><text xml:lang=\"en\">Hello</text><text xml:lang=\"zh\">你好</text></name><version>2</version>"
      "<initialWindow><content>Demo.qmv</content></initialWindow></application>");
  auto page = OpenPage();
  EXPECT_FALSE(page->FindField("appname")->enabled);
  EXPECT_EQ(page->Text("appname"), u"");
  EXPECT_FALSE(page->SetField("appname", u"Other"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  const std::string saved = SavedDescriptor();
  EXPECT_NE(saved.find("<text xml:lang=\"zh\">你好</text>"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Other"), std::string::npos);
}

TEST_F(IpaGeneralPageTest, CommitWritesTheWindowElementsAndRenderings) {
  const std::pair<std::u16string, std::u16string> renderings[] = {{u"GPU", u"gpu"}, {u"CPU", u"cpu"}, {u"自动", u"auto"}};
  for (const auto& [choice, stored] : renderings) {
    auto page = OpenPage();
    Set(*page, {{"rendering", choice}, {"aspectratio", u"纵向"}, {"fullscreen", u"false"}, {"autoorients", u"true"}});
    ASSERT_EQ(page->CommitIpaGeneral(), 0);
    const std::string saved = SavedDescriptor();
    EXPECT_NE(saved.find("<renderMode>" + ToUtf8(stored) + "</renderMode>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<aspectRatio>portrait</aspectRatio>"), std::string::npos);
    EXPECT_NE(saved.find("<fullScreen>false</fullScreen>"), std::string::npos);
    EXPECT_NE(saved.find("<autoOrients>true</autoOrients>"), std::string::npos) << "created when missing";
  }
  auto page = OpenPage();
  EXPECT_FALSE(page->SetField("rendering", u"gpu")) << "a drop-down list takes only its own entries";
  EXPECT_FALSE(page->SetField("aspectratio", u"landscape"));

  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id></application>");
  ASSERT_EQ(OpenPage()->CommitIpaGeneral(), 0);
  EXPECT_EQ(SavedDescriptor().find("renderMode"), std::string::npos) << "no initialWindow: no window elements";
}

TEST_F(IpaGeneralPageTest, CommitStoresNameVersionAndOutputButNotEmptyFields) {
  {
    auto page = OpenPage();
    Set(*page, {{"appname", u"New Name"}, {"version", u""}, {"destination", u"/out/new.ipa"}});
    ASSERT_EQ(page->CommitIpaGeneral(), 0);
    EXPECT_TRUE(page->Changed()) << "a new output file";
  }
  EXPECT_EQ(Element(u"name"), u"New Name");
  EXPECT_EQ(Element(u"version"), u"1.0") << "an empty field leaves the element";
  EXPECT_EQ(GetSetting(keys::kIpaDestination), u"/out/new.ipa");
  auto page = OpenPage();
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_FALSE(page->Changed()) << "the same output file again";
}

TEST_F(IpaGeneralPageTest, LongDescriptorValuesAreShownCutAndKeptUnlessEdited) {
  const std::string longName(600, 'n');
  UseDescriptor("<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>a</id><name>" + longName +
                "</name><version>1</version></application>");
  {
    auto page = OpenPage();
    EXPECT_EQ(page->Text("appname").size(), kElementTextLimit);
    ASSERT_EQ(page->CommitIpaGeneral(), 0);
    EXPECT_EQ(ToUtf8(Element(u"name")), longName) << "the whole value stays";
  }
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("appname", page->Text("appname") + u"!"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(Element(u"name").size(), kElementTextLimit + 1) << "an edited value is written as shown";
}

TEST_F(IpaGeneralPageTest, IncludedListAddsRefusesAndRemoves) {
  const std::u16string inside = MakeFile("movies/assets/level1.dat");
  const std::u16string outside = MakeFile("elsewhere/movies/notes.txt");
  auto page = OpenPage();
  // Refused: a path that begins an existing entry, and the same file in other letters.
  for (const std::u16string& file : {inside, WindowsForm(root_ / "movies/assets/level1"),
                                     WindowsForm(root_ / "movies/ASSETS/LEVEL1.DAT"), outside}) {
    ui_->QueueFile(file);
    ASSERT_TRUE(page->Press("addfile"));
  }
  for (int twice = 0; twice < 2; ++twice) {
    ui_->QueueFolder(WindowsForm(root_ / "movies/sounds"));
    ASSERT_TRUE(page->Press("addfolder"));
  }
  EXPECT_TRUE(page->Changed());
  EXPECT_EQ(Included(*page), (Items{u"Demo.qmv", u"Demo-app.xml", u"assets\\level1.dat", outside, u"sounds", u"sounds"}))
      << "a file inside the movie folder is relative; the same folder twice is listed twice";
  EXPECT_EQ(ui_->Events().back().text, u"选择一个要包含在包中的文件夹");

  // As on the desktop page: the remove button is enabled only while an extra entry is selected.
  EXPECT_FALSE(page->FindButton("remove")->enabled) << "nothing selected";
  EXPECT_FALSE(page->Press("remove"));
  for (const std::u16string fixed : {u"Demo.qmv", u"Demo-app.xml"}) {
    ASSERT_TRUE(page->SetField("included", fixed));
    EXPECT_FALSE(page->FindButton("remove")->enabled) << "a fixed entry is selected";
    EXPECT_FALSE(page->Press("remove"));
  }
  EXPECT_EQ(Included(*page).size(), 6u) << "the fixed entries stay";
  ASSERT_TRUE(page->SetField("included", u"sounds"));
  EXPECT_TRUE(page->FindButton("remove")->enabled);
  ASSERT_TRUE(page->Press("remove"));
  EXPECT_EQ(Included(*page).size(), 5u);
  EXPECT_FALSE(page->FindButton("remove")->enabled) << "the removed entry was the selection";

  SetSetting(keys::kIncludedCount, u"5");
  for (long index = 0; index < 5; ++index) SetSetting(IncludedItemKey(index), u"old");
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(GetSetting(keys::kIncludedCount), u"3");
  const Items stored = {u"assets/level1.dat", Slashes(outside), u"sounds", u""};  // items of the old count are gone
  for (long index = 0; index < 4; ++index) EXPECT_EQ(GetSetting(IncludedItemKey(index)), stored[index]) << index;
}

TEST_F(IpaGeneralPageTest, OnlyFixedEntriesLeaveTheCountAndRemoveItsItems) {
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"a.txt");
  auto page = OpenPage();
  ASSERT_TRUE(page->SetField("included", u"a.txt"));
  ASSERT_TRUE(page->Press("remove"));
  ASSERT_EQ(page->CommitIpaGeneral(), 0);
  EXPECT_EQ(GetSetting(keys::kIncludedCount), u"1");
  EXPECT_EQ(GetSetting(IncludedItemKey(0)), u"");
  EXPECT_EQ(Included(*OpenPage()).size(), 2u);
}

TEST_F(IpaGeneralPageTest, BrowsingTheOutputAsksForAnIpaAndStoresSlashes) {
  auto page = OpenPage();
  ui_->QueueFile(u"\\out\\My Game.ipa");
  ASSERT_TRUE(page->Press("browse"));
  EXPECT_EQ(page->Text("destination"), u"/out/My Game.ipa");
  EXPECT_EQ(ui_->Events().back().text, u"选择文件目标");
  ui_->QueueFile(std::nullopt);
  ASSERT_TRUE(page->Press("browse"));
  EXPECT_EQ(page->Text("destination"), u"/out/My Game.ipa");
}

}  // namespace
}  // namespace zaro
