// The desktop settings pages: General, Icons, and Advanced with its file type dialog.
#include <gtest/gtest.h>

#include <array>

#include "descriptor/application_icons.h"
#include "descriptor/descriptor_test_support.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "ui/advanced_settings_page.h"
#include "ui/app_settings_page.h"
#include "ui/file_type_dialog.h"
#include "ui/icon_preview_page.h"
#include "ui/page_test_support.h"
#include "ui/settings_sheet.h"

namespace zaro {
namespace {

using namespace testing_support;
using Items = std::vector<std::u16string>;

std::string Descriptor(const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.zaro.example/2.0\">\n"
         "  <id>com.example.hello</id>\n  <filename>Hello</filename>\n" + inside +
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
  // desktop does not match inside extendedDesktop.
  EXPECT_EQ(Texts(page, {"desktop", "extendedDesktop", "mobileDevice", "windowstyle"}),
            (Items{u"false", u"true", u"true", u"系统镶边"}));
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
  EXPECT_TRUE(Has("<systemChrome>none</systemChrome>") && Has("<transparent>true</transparent>")) << Saved();
  EXPECT_EQ(GetSetting(keys::kWindowType), u"transparent");
}

TEST_F(GeneralPageTest, IncludedFilesRefuseDuplicatesAndRemovingRenumbersTheItems) {
  Include({u"docs/readme.txt", u"", u"/abs/data"});
  Open(Descriptor("  <name>Hello</name>\n"));
  EXPECT_EQ(page.FindField("included")->items,
            (Items{u"Movie.qmv", u"Movie-app.xml", u"docs\\readme.txt", u"\\abs\\data"}));

  ui_->QueueFile(WithBackslashes(GetSetting(keys::kMovieFolder)) + u"a.txt");
  ui_->QueueFolder(u"\\elsewhere\\assets");
  ASSERT_TRUE(page.Press("addfile"));
  ASSERT_TRUE(page.Press("addfolder"));
  EXPECT_EQ(page.FindField("included")->items,
            (Items{u"Movie.qmv", u"Movie-app.xml", u"docs\\readme.txt", u"\\abs\\data", u"a.txt",
                   u"\\elsewhere\\assets"}));
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
  EXPECT_EQ(Settings({keys::kIncludedCount, IncludedItemKey(0), IncludedItemKey(1), IncludedItemKey(2)}),
            (Items{u"2", u"docs/readme.txt", u"a.txt", u""})) << "the old third item is gone";
}

class IconsPageTest : public DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    LoadMovie();
  }
  std::u16string Stored(const char16_t* element) { return ReadAppIcon(MovieDescriptor(), element); }
  static std::u16string Folder() { return WithBackslashes(GetSetting(keys::kMovieFolder)); }

  CIconPreviewDlg page;
};

TEST_F(IconsPageTest, TheTargetChoosesTheSizesAndAStoredPathIsShownTrimmedOrCutButKeptWhole) {
  WriteBytes(movieFolder_ / "icons" / "a.png", "png");
  ASSERT_EQ(WriteAppIcon(MovieDescriptor(), u"image16x16", u"\n  icons/a.png \t"), 0);
  page.Activate();
  EXPECT_EQ(page.FindField("size")->items, (Items{u"图标 16x16", u"图标 32x32", u"图标 48x48", u"图标 128x128"}));
  EXPECT_EQ(page.FindField("path")->label, u"16x16");
  EXPECT_EQ(page.Text("path"), u"icons/a.png");
  EXPECT_EQ(page.Text("preview"), Folder() + u"icons\\a.png");

  const std::u16string longPath = u"icons/" + std::u16string(300, u'x') + u".png";
  ASSERT_EQ(WriteAppIcon(MovieDescriptor(), u"image16x16", longPath), 0);
  CIconPreviewDlg again;
  again.Activate();
  EXPECT_EQ(again.Text("path").size(), CIconPreviewDlg::kMaxIconPath);
  EXPECT_EQ(Stored(u"image16x16"), longPath);

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
  ui_->QueueFile(Folder() + u"icons\\app 16.png");
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(Stored(u"image16x16"), u"icons/app%2016.png");
  EXPECT_EQ(page.Text("path"), u"icons/app 16.png");
  EXPECT_EQ(page.Text("preview"), Folder() + u"icons\\app 16.png");
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

  ui_->QueueFile(platform::ToWindowsForm(outside.string()));
  ui_->QueueButton(kIdOk);
  ASSERT_TRUE(page.Press("browse"));
  EXPECT_EQ(Stored(u"image128x128"), u"AppIconsForPublish/big%20icon.png");
  EXPECT_EQ(ReadBytes(movieFolder_ / "AppIconsForPublish" / "big icon.png"), "png bytes");
  EXPECT_EQ(page.Text("path"), u"AppIconsForPublish/big icon.png");
  EXPECT_EQ(Stored(u"image16x16"), u"") << "only the selected size";
}

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
                          "  <id>a</id>\n";

class AdvancedPageTest : public DescriptorTest {
 protected:
  // Parses `xml` as the movie's descriptor ("" for the template) and opens the page on it.
  void Open(const std::string& xml) {
    LoadMovie(xml);
    page_ = Opened<CAdvancedSettingsDlg>();
  }
  bool Enabled(std::string_view name) {
    const FormField* field = page_->FindField(name);
    return field != nullptr ? field->enabled : page_->FindButton(name)->enabled;
  }
  void Set(const std::vector<std::pair<std::string, std::u16string>>& fields) { testing_support::Set(*page_, fields); }
  std::vector<std::u16string> Messages() const { return MessagesOf(*ui_); }
  // Presses a button of the list, answering the file type dialog it opens with `fields` and OK.
  void Press(const char* button, const std::vector<std::pair<std::string, std::u16string>>& fields) {
    ui_->QueueForm("FileType", {SetAndPress(fields, "OK")});
    ASSERT_TRUE(page_->Press(button));
  }
  void AddType(std::u16string name, std::u16string extension, std::u16string type = u"text/x") {
    Press("addtype", {{"name", name}, {"extension", extension}, {"contenttype", type}});
  }
  // Selects an entry of the list and presses a button on it.
  void OnEntry(const std::u16string& entry, const char* button) {
    ASSERT_TRUE(page_->SetField("filetypes", entry));
    ASSERT_TRUE(page_->Press(button));
  }

  std::unique_ptr<CAdvancedSettingsDlg> page_;
};

TEST_F(AdvancedPageTest, OpeningShowsWhatTheDescriptorHolds) {
  Open(kHead +
       "  <initialWindow><content>M.qmv</content><width> 640 </width><height>4x0</height><x>-5</x><y>7</y>"
       "<minSize>200  100</minSize><maxSize> 900 x</maxSize><resizable> FALSE </resizable>"
       "<visible>false</visible><maximizable>no</maximizable></initialWindow>\n"
       "  <installFolder>Corvane/Hello</installFolder><programMenuFolder>Games</programMenuFolder>\n"
       "  <customUpdateUI> True </customUpdateUI>\n"
       "  <fileTypes><fileType><name>docA</name><extension>abc</extension><contentType>t/a</contentType></fileType>"
       "<fileType><name>docB</name><extension>xyz</extension><contentType>t/b</contentType></fileType></fileTypes>\n"
       "</application>\n");
  EXPECT_EQ(page_->FindField("filetypes")->items, (Items{u"docA(abc)", u"docB(xyz)"}));
  EXPECT_EQ(page_->FileTypes().size(), 2u);
  EXPECT_EQ(page_->FileTypes().at(u"docB").contentType, u"t/b");
  EXPECT_TRUE(Enabled("removetype"));
  // Trimmed; a text that is not digits alone is not shown. 'FALSE' unchecks, as 'false'
  // does, and nothing else: 'no' and a missing element leave the box checked.
  EXPECT_EQ(Texts(*page_, {"width", "height", "x", "y", "minwidth", "minheight", "maxwidth", "maxheight", "resizable",
                           "visible", "maximizable", "minimizable", "customupdate", "installfolder", "programmenu"}),
            (Items{u"640", u"", u"", u"7", u"200", u"100", u"900", u"", u"false", u"false", u"true", u"true", u"true",
                   u"Corvane/Hello", u"Games"}));
  for (const char* limit : {"maxwidth", "maxheight", "minwidth", "minheight"}) EXPECT_FALSE(Enabled(limit)) << limit;
  EXPECT_TRUE(Enabled("width"));

  ASSERT_TRUE(page_->SetField("resizable", u"true"));
  EXPECT_TRUE(Enabled("minwidth"));
  EXPECT_FALSE(page_->SetField("filetypes", u"docC(q)")) << "the list only selects its entries";
}

TEST_F(AdvancedPageTest, TemplateDescriptorGetsTheNewElementsInTheirPlaces) {
  Open("");
  EXPECT_EQ(page_->FindField("filetypes")->items, Items{u"<无>"});
  EXPECT_FALSE(Enabled("removetype"));
  EXPECT_FALSE(Enabled("edittype"));
  Set({{"width", u" 400 "}, {"height", u"300"}, {"x", u"10"}, {"y", u"20"}, {"minwidth", u"100"},
       {"minheight", u"50"}, {"maxwidth", u"1000"}, {"maxheight", u"800"}, {"installfolder", u"Corvane/Hello"},
       {"programmenu", u"Games/Fun"}, {"minimizable", u"false"}, {"customupdate", u"true"}});
  AddType(u"docA", u"abc");
  ASSERT_TRUE(page_->Commit());
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(GetSetting(keys::kProgramMenu), u"Games/Fun");

  const std::string saved = SavedMovie();
  auto at = [&](const std::string& text) {
    const size_t place = saved.find(text);
    EXPECT_NE(place, std::string::npos) << text << " in\n" << saved;
    return place;
  };
  // The window elements follow renderMode in this order; visible stays where it was.
  const std::vector<std::string> window = {
      "<visible>true</visible>",       "<renderMode>auto</renderMode>", "<width>400</width>",
      "<height>300</height>",          "<x>10</x>",                     "<y>20</y>",
      "<minSize>100 50</minSize>",     "<maxSize>1000 800</maxSize>",   "<maximizable>true</maximizable>",
      "<minimizable>false</minimizable>", "<resizable>true</resizable>", "</initialWindow>"};
  for (size_t i = 1; i < window.size(); ++i) EXPECT_LT(at(window[i - 1]), at(window[i])) << window[i];
  // customUpdateUI is updated in place; the folders and the file types follow allowBrowserInvocation.
  const std::vector<std::string> application = {
      "<customUpdateUI>true</customUpdateUI>", "<allowBrowserInvocation>false</allowBrowserInvocation>",
      "<installFolder>Corvane/Hello</installFolder>", "<programMenuFolder>Games/Fun</programMenuFolder>",
      "<fileTypes>", "</application>"};
  for (size_t i = 1; i < application.size(); ++i) EXPECT_LT(at(application[i - 1]), at(application[i]));
}

TEST_F(AdvancedPageTest, CommitChecksPairsFirstThenValuesInOrder) {
  Open(kHead + "  <initialWindow><content>M.qmv</content><maxSize>1024 768</maxSize></initialWindow>\n</application>\n");
  // One minimum filled: 8070 before anything else, even before an invalid width.
  Set({{"width", u"wide"}, {"minwidth", u"800"}, {"maxwidth", u"640"}, {"maxheight", u""}});
  EXPECT_FALSE(page_->Commit());
  Set({{"minheight", u"400"}});
  EXPECT_FALSE(page_->Commit());  // the maximum pair is incomplete
  Set({{"maxheight", u"480"}});
  EXPECT_FALSE(page_->Commit());  // the width is no number
  Set({{"width", u""}});
  EXPECT_FALSE(page_->Commit());  // minimum width 800 over maximum 640; the heights fit
  EXPECT_EQ(Messages(), (Items{u"请指定最小宽度和最小高度。", u"请指定最大宽度和最大高度。", u"应用程序描述符文件中的属性或元素包含无效的值。\nwide",
                               u"application.initialWindow.minSize 大于 application.initialWindow.maxSize "}));
  EXPECT_EQ(ElementText(u"maxSize"), u"1024 768") << "8038 leaves maxSize alone";
  EXPECT_EQ(ElementText(u"minSize"), u"800 400") << "steps before the failing one stay done";

  Set({{"maxwidth", u"900"}, {"minheight", u"0600"}, {"maxheight", u"599"}});
  EXPECT_FALSE(page_->Commit()) << "heights compare as numbers too";
  Set({{"maxheight", u"12345678901234567890"}});
  EXPECT_TRUE(page_->Commit()) << "numbers of any length";
  EXPECT_EQ(ElementText(u"maxSize"), u"900 12345678901234567890");

  // All four limits empty: both elements go, the rest is still written.
  Set({{"minwidth", u""}, {"minheight", u""}, {"maxwidth", u""}, {"maxheight", u""}, {"height", u"5 6"}});
  EXPECT_FALSE(page_->Commit());
  EXPECT_EQ(Messages().back(), u"应用程序描述符文件中的属性或元素包含无效的值。\n5 6");
  Set({{"height", u"56"}});
  EXPECT_TRUE(page_->Commit());
  EXPECT_EQ(ElementText(u"minSize"), u"<missing>");
  EXPECT_EQ(ElementText(u"maxSize"), u"<missing>");
  EXPECT_EQ(ElementText(u"height"), u"56");
  EXPECT_EQ(ElementText(u"resizable"), u"true");
}

TEST_F(AdvancedPageTest, OverlongDescriptorTextsAreShownCutAndKeptUntilEdited) {
  const std::string digits(300, '7');
  const std::string folder(600, 'f');
  Open(kHead + "  <initialWindow><content>M.qmv</content><width>" + digits + "</width><minSize>" + digits + " 5" +
       "</minSize></initialWindow>\n  <installFolder>" + folder + "</installFolder>\n</application>\n");
  EXPECT_EQ(page_->Text("width"), FromUtf8(digits.substr(0, 255)));
  EXPECT_EQ(page_->Text("installfolder").size(), 511u);
  EXPECT_EQ(page_->Text("minwidth"), u"") << "the blank lies beyond the limit: no pair to show";
  EXPECT_EQ(page_->Text("minheight"), u"");
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ElementText(u"width"), FromUtf8(digits)) << "not rewritten while unedited";
  EXPECT_EQ(ElementText(u"installFolder"), FromUtf8(folder));
  EXPECT_EQ(ElementText(u"minSize"), FromUtf8(digits + " 5")) << "an empty pair removes it only once edited";

  Set({{"width", u"640"}, {"installfolder", u"Short"}});
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ElementText(u"width"), u"640");
  EXPECT_EQ(ElementText(u"installFolder"), u"Short");
  Set({{"minwidth", u"1"}, {"minheight", u"2"}});
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ElementText(u"minSize"), u"1 2");
}

TEST_F(AdvancedPageTest, FileTypesAreAddedEditedAndRemovedThroughTheDialog) {
  Open(kHead +
       "  <fileTypes>\n    <fileType><name>docA</name><extension>abc</extension><contentType>t/a</contentType>"
       "<icon/></fileType>\n  </fileTypes>\n</application>\n");
  // A cancelled or incomplete dialog adds nothing.
  ui_->QueueForm("FileType", {PressStep("Cancel")});
  ASSERT_TRUE(page_->Press("addtype"));
  AddType(u"docB", u"xyz");
  AddType(u"docB", u"XYZ");  // the same type again: one entry, the new extension
  AddType(u"docB", u"xyz");
  EXPECT_EQ(page_->FindField("filetypes")->items, (Items{u"docA(abc)", u"docB(xyz)"}));
  AddType(u"DOCB", u"xyz");  // a name in another case is a type of its own, shown
  OnEntry(u"DOCB(xyz)", "removetype");

  // Rename docA: the dialog opens on a copy of its record.
  ASSERT_TRUE(page_->SetField("filetypes", u"docA(abc)"));
  Press("edittype", {{"name", u"docRenamed"}});
  EXPECT_EQ(page_->FindField("filetypes")->items, (Items{u"docB(xyz)", u"docRenamed(abc)"}));
  EXPECT_EQ(page_->FileTypes().count(u"docA"), 0u);

  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ListFileTypes(MovieDescriptor()), u";docRenamed(abc);docB(xyz)") << "renamed in place";
  // A second commit (OK after Publish, or after another page refused) adds nothing twice.
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ListFileTypes(MovieDescriptor()), u";docRenamed(abc);docB(xyz)");

  // Removing one and adding a type of the same name again updates its element.
  OnEntry(u"docB(xyz)", "removetype");
  AddType(u"docB", u"new", u"t/new");
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ListFileTypes(MovieDescriptor()), u";docRenamed(abc);docB(new)");

  // Renaming onto another type replaces it: one type of each name.
  ASSERT_TRUE(page_->SetField("filetypes", u"docRenamed(abc)"));
  Press("edittype", {{"name", u"docB"}});
  EXPECT_EQ(page_->FindField("filetypes")->items, Items{u"docB(abc)"});
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ListFileTypes(MovieDescriptor()), u";docB(abc)");

  // Removing every type shows the placeholder and removes the whole group.
  OnEntry(u"docB(abc)", "removetype");
  EXPECT_EQ(page_->FindField("filetypes")->items, Items{u"<无>"});
  EXPECT_FALSE(page_->Press("removetype")) << "disabled";
  EXPECT_FALSE(page_->Press("edittype"));
  ASSERT_TRUE(page_->Commit());
  EXPECT_FALSE(HasChildElement(MovieDescriptor(), u"application", u"fileTypes"));
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(AdvancedPageTest, SheetSavesTheDescriptorWhenTheGeneralPageIsNotThere) {
  LoadMovie();
  int packaged = 0;
  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage,
                           SheetServices{[&](PackageTarget, bool) { return ++packaged; }, [] { return u"/jre"; }});
  sheet.SetPage(CSettingsPropSheet::kGeneralPage, nullptr);
  sheet.OnShow();
  ASSERT_NE(dynamic_cast<CAdvancedSettingsDlg*>(sheet.Page(CSettingsPropSheet::kAdvancedPage)), nullptr);
  ASSERT_TRUE(sheet.SetField("Advanced.minwidth", u"1"));
  ASSERT_TRUE(sheet.Press("OK"));
  EXPECT_FALSE(sheet.IsClosed()) << "a refusing Advanced page keeps the sheet open";
  ASSERT_TRUE(sheet.SetField("Advanced.minheight", u"2"));
  ASSERT_TRUE(sheet.Press("OK"));
  EXPECT_TRUE(sheet.IsClosed());
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false") << "the Advanced page changes no document settings";
  EXPECT_NE(ReadBytes(DescriptorFile("Movie")).find("<minSize>1 2</minSize>"), std::string::npos);
}

// The file type dialog the page's buttons open.
const std::u16string kRequired = u"请提供文件类型名称、扩展名和内容类型。 这些参数是必需的。";

class FileTypeDialogTest : public DescriptorTest {
 protected:
  std::u16string RootForm() const { return platform::ToWindowsForm(movieFolder_.string() + "/"); }
  // Opens the dialog on the record as the Advanced page does.
  std::unique_ptr<CFileTypeDlg> Open() {
    auto dialog = std::make_unique<CFileTypeDlg>(record_);
    dialog->OnShow();
    return dialog;
  }
  void Fill(CFileTypeDlg& dialog, std::u16string name, std::u16string extension, std::u16string type) {
    Set(dialog, {{"name", name}, {"extension", extension}, {"contenttype", type}});
  }
  std::u16string MakeImage(const std::filesystem::path& path) {
    WriteBytes(path, "png");
    return platform::ToWindowsForm(path.string());
  }
  // Presses a browse button, picking `file` and answering the copy question, if any, with `answer`.
  void Browse(CFileTypeDlg& dialog, int size, const std::u16string& file, int answer = 0) {
    ui_->QueueFile(file);
    if (answer != 0) ui_->QueueButton(answer);
    ASSERT_TRUE(dialog.Press("browse" + std::to_string(size)));
  }
  std::vector<std::u16string> Messages() const { return MessagesOf(*ui_); }

  FileTypeRecord record_;
};

TEST_F(FileTypeDialogTest, ValidationRunsInItsOrderAndKeepsTheDialogOpen) {
  const std::u16string kNameInvalid = LoadMessage(8063) + LoadMessage(8064);  // what is wrong, then the rule
  const std::u16string kExtensionInvalid = LoadMessage(8065) + LoadMessage(8066);
  auto dialog = Open();
  EXPECT_EQ(dialog->RootContentFolder(), RootForm());
  // Name, extension and content type; which names and extensions pass is the descriptor's rule.
  const std::u16string fills[][3] = {{u".doc", u"a.b", u""}, {u"", u"abc", u"text/x"},
                                     {u"my-type", u"a.b", u"text/x"}, {u"my.Type2", u"ab_c", u"text/x"}};
  for (const auto& [name, extension, type] : fills) {
    Fill(*dialog, name, extension, type);
    ASSERT_TRUE(dialog->Press("OK"));
  }
  EXPECT_FALSE(dialog->IsClosed());
  EXPECT_EQ(Messages(), (Items{kRequired, kRequired, kNameInvalid, kExtensionInvalid}))
      << "an empty content type is reported before the name rule";
  EXPECT_EQ(ui_->Events().front().style, 48u);
  EXPECT_TRUE(record_.name.empty()) << "nothing is stored before the checks pass";

  Fill(*dialog, u"my.Type2", u"abc", u"text/x-my");
  ASSERT_TRUE(dialog->Press("OK"));
  EXPECT_TRUE(dialog->IsClosed());
  EXPECT_EQ(dialog->Result(), kIdOk);
  EXPECT_EQ(std::tie(record_.name, record_.extension, record_.description, record_.contentType),
            std::make_tuple("my.Type2", "abc", u"", u"text/x-my")) << "the description may stay empty";

  // Long texts are cut at the record's limit, never inside a character.
  auto again = Open();
  Fill(*again, u"doc", u"abc", u"application/" + std::u16string(300, u'x'));
  ASSERT_TRUE(again->SetField("description", std::u16string(254, u'd') + u"\U0001F600"));
  ASSERT_TRUE(again->Press("OK"));
  EXPECT_EQ(record_.contentType.size(), kFileTypeTextLimit);
  EXPECT_EQ(record_.description, std::u16string(254, u'd'));
}

TEST_F(FileTypeDialogTest, BrowsingOutsideTheMovieFolderCopiesAfterAsking) {
  const std::u16string outside = MakeImage(root_ / "elsewhere" / "doc128.png");
  // Cancel on the question: nothing changes.
  auto dialog = Open();
  Browse(*dialog, 128, outside, kIdCancel);
  EXPECT_EQ(dialog->Text("icon128"), u"");
  ASSERT_EQ(ui_->Events().size(), 2u);
  EXPECT_EQ(ui_->Events()[1].style, 49u);
  EXPECT_EQ(ui_->Events()[1].text.substr(0, 7), u"必须将图标复制");
  EXPECT_FALSE(std::filesystem::exists(movieFolder_ / "FileTypeIconsForZAROPublish"));

  Browse(*dialog, 128, outside, kIdOk);
  EXPECT_EQ(dialog->Text("icon128"), u"FileTypeIconsForZAROPublish\\doc128.png");
  EXPECT_TRUE(std::filesystem::exists(movieFolder_ / "FileTypeIconsForZAROPublish" / "doc128.png"));
  EXPECT_EQ(dialog->Text("preview128"), RootForm() + u"FileTypeIconsForZAROPublish\\doc128.png");

  // Inside the movie folder: used where it is, made relative, no question.
  const size_t events = ui_->Events().size();
  Browse(*dialog, 16, MakeImage(movieFolder_ / "art" / "doc16.png"));
  EXPECT_EQ(dialog->Text("icon16"), u"art\\doc16.png");
  EXPECT_EQ(ui_->Events().size(), events + 1) << "only the file dialog";

  // A path holding the movie folder's text further on is not inside it.
  Browse(*dialog, 32, MakeImage(root_ / "mirror" / movieFolder_.relative_path() / "m.png"), kIdOk);
  EXPECT_EQ(dialog->Text("icon32"), u"FileTypeIconsForZAROPublish\\m.png");

  ASSERT_TRUE(dialog->Press("clear32"));
  EXPECT_EQ(dialog->Text("icon32"), u"");
  EXPECT_EQ(dialog->Text("preview32"), u"");
  EXPECT_FALSE(dialog->SetField("preview16", u"/etc/passwd")) << "previews are not fields to set";

  Fill(*dialog, u"doc", u"abc", u"text/x");
  ASSERT_TRUE(dialog->Press("OK"));
  ASSERT_TRUE(dialog->IsClosed());
  EXPECT_EQ((std::vector{record_.icon16, record_.icon32, record_.icon48, record_.icon128}),
            (Items{u"art/doc16.png", u"", u"", u"FileTypeIconsForZAROPublish/doc128.png"})) << "stored with \"/\"";
}

TEST_F(FileTypeDialogTest, OpeningShowsOnlyIconsThatStillExistAndHelpKeepsItOpen) {
  MakeImage(movieFolder_ / "icons" / "t16.png");
  record_.name = "doc";
  record_.extension = "abc";
  record_.description = u"描述";
  record_.contentType = u"text/x";
  record_.icon16 = u"icons/t16.png";
  record_.icon48 = u"icons/gone48.png";
  auto dialog = Open();
  // A missing file is dropped from the form.
  EXPECT_EQ(Texts(*dialog, {"name", "description", "icon16", "preview16", "icon48"}),
            (Items{u"doc", u"描述", u"icons/t16.png", RootForm() + u"icons\\t16.png", u""}));
  EXPECT_EQ(record_.icon48, u"icons/gone48.png") << "but not from the record";

  ASSERT_TRUE(dialog->Press("Help"));
  EXPECT_EQ(ui_->Events().back().kind, "link");
  EXPECT_NE(ui_->Events().back().text.find(u"/go/learn_zaro_using_tessel_kv5_cn"), std::u16string::npos);
  EXPECT_FALSE(dialog->IsClosed());

  // Cancel leaves the record alone.
  ASSERT_TRUE(dialog->SetField("name", u"changed"));
  ASSERT_TRUE(dialog->Press("Cancel"));
  EXPECT_EQ(dialog->Result(), kIdCancel);
  EXPECT_EQ(record_.name, "doc");
}

TEST_F(FileTypeDialogTest, AMissingIconStopsStoringAfterTheSmallerOnes) {
  MakeImage(movieFolder_ / "i16.png");
  auto dialog = Open();
  Fill(*dialog, u"doc", u"abc", u"text/x");
  Set(*dialog, {{"icon16", u"i16.png"}, {"icon32", u"nothing\\here.png"}});
  ASSERT_TRUE(dialog->Press("OK"));
  EXPECT_FALSE(dialog->IsClosed());
  EXPECT_EQ(Messages(), Items{u"无法打开图标文件。\n" + FromUtf8(movieFolder_.string()) + u"/nothing/here.png"});
  EXPECT_EQ(record_.icon16, u"i16.png") << "icons are stored smallest first; those before the failure stay";
  EXPECT_EQ(record_.name, "doc");
}

}  // namespace
}  // namespace zaro
