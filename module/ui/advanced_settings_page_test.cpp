#include "ui/advanced_settings_page.h"

#include <gtest/gtest.h>

#include "descriptor/descriptor_test_support.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "ui/file_type_dialog.h"
#include "ui/page_test_support.h"
#include "ui/settings_sheet.h"

namespace zaro {
namespace {

using namespace testing_support;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
                          "  <id>a</id>\n";

class AdvancedPageTest : public DescriptorTest {
 protected:
  // Parses `xml` as the movie's descriptor ("" for the template) and opens the page on it.
  void Open(const std::string& xml) {
    LoadMovie(xml);
    page_ = std::make_unique<CAdvancedSettingsDlg>();
    page_->Activate();
  }
  bool Enabled(std::string_view name) {
    const FormField* field = page_->FindField(name);
    return field != nullptr ? field->enabled : page_->FindButton(name)->enabled;
  }
  void Set(const std::vector<std::pair<std::string, std::u16string>>& fields) { testing_support::Set(*page_, fields); }
  std::vector<std::u16string> Messages() const { return MessagesOf(*ui_); }
  // Presses a button of the list, answering the file type dialog it opens with `fields`
  // and OK.
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
  EXPECT_EQ(page_->FindField("filetypes")->items, (std::vector<std::u16string>{u"docA(abc)", u"docB(xyz)"}));
  EXPECT_EQ(page_->FileTypes().size(), 2u);
  EXPECT_EQ(page_->FileTypes().at(u"docB").contentType, u"t/b");
  EXPECT_TRUE(Enabled("removetype"));
  // Trimmed; a text that is not digits alone is not shown. 'FALSE' unchecks, as 'false'
  // does, and nothing else: 'no' and a missing element leave the box checked.
  const std::pair<const char*, std::u16string> shown[] = {
      {"width", u"640"},      {"height", u""},       {"x", u""},           {"y", u"7"},
      {"minwidth", u"200"},   {"minheight", u"100"}, {"maxwidth", u"900"}, {"maxheight", u""},
      {"resizable", u"false"}, {"visible", u"false"}, {"maximizable", u"true"}, {"minimizable", u"true"},
      {"customupdate", u"true"}, {"installfolder", u"Corvane/Hello"}, {"programmenu", u"Games"}};
  for (const auto& [name, text] : shown) EXPECT_EQ(page_->Text(name), text) << name;
  for (const char* limit : {"maxwidth", "maxheight", "minwidth", "minheight"}) EXPECT_FALSE(Enabled(limit)) << limit;
  EXPECT_TRUE(Enabled("width"));

  ASSERT_TRUE(page_->SetField("resizable", u"true"));
  EXPECT_TRUE(Enabled("minwidth"));
  EXPECT_FALSE(page_->SetField("filetypes", u"docC(q)")) << "the list only selects its entries";
}

TEST_F(AdvancedPageTest, TemplateDescriptorGetsTheNewElementsInTheirPlaces) {
  Open("");
  EXPECT_EQ(page_->FindField("filetypes")->items, std::vector<std::u16string>{u"<无>"});
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
  // customUpdateUI is updated in place; the folders and the file types follow
  // allowBrowserInvocation.
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
  EXPECT_EQ(Messages(), (std::vector<std::u16string>{
                            u"请指定最小宽度和最小高度。", u"请指定最大宽度和最大高度。",
                            u"应用程序描述符文件中的属性或元素包含无效的值。\nwide",
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
  EXPECT_EQ(page_->FindField("filetypes")->items, (std::vector<std::u16string>{u"docA(abc)", u"docB(xyz)"}));
  AddType(u"DOCB", u"xyz");  // a name in another case is a type of its own, shown
  OnEntry(u"DOCB(xyz)", "removetype");

  // Rename docA: the dialog opens on a copy of its record.
  ASSERT_TRUE(page_->SetField("filetypes", u"docA(abc)"));
  Press("edittype", {{"name", u"docRenamed"}});
  EXPECT_EQ(page_->FindField("filetypes")->items,
            (std::vector<std::u16string>{u"docB(xyz)", u"docRenamed(abc)"}));
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
  EXPECT_EQ(page_->FindField("filetypes")->items, std::vector<std::u16string>{u"docB(abc)"});
  ASSERT_TRUE(page_->Commit());
  EXPECT_EQ(ListFileTypes(MovieDescriptor()), u";docB(abc)");

  // Removing every type shows the placeholder and removes the whole group.
  OnEntry(u"docB(abc)", "removetype");
  EXPECT_EQ(page_->FindField("filetypes")->items, std::vector<std::u16string>{u"<无>"});
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
  void SetUp() override {
    DescriptorTest::SetUp();
    root_form_ = platform::ToWindowsForm(movieFolder_.string() + "/");
  }
  // Opens the dialog on the record as the Advanced page does.
  std::unique_ptr<CFileTypeDlg> Open() {
    auto dialog = std::make_unique<CFileTypeDlg>(record_);
    dialog->OnShow();
    return dialog;
  }
  void Fill(CFileTypeDlg& dialog, std::u16string name, std::u16string extension, std::u16string type) {
    ASSERT_TRUE(dialog.SetField("name", name));
    ASSERT_TRUE(dialog.SetField("extension", extension));
    ASSERT_TRUE(dialog.SetField("contenttype", type));
  }
  std::u16string MakeImage(const std::filesystem::path& path) {
    WriteBytes(path, "png");
    return platform::ToWindowsForm(path.string());
  }
  std::vector<std::u16string> Messages() const { return MessagesOf(*ui_); }

  FileTypeRecord record_;
  std::u16string root_form_;
};

TEST_F(FileTypeDialogTest, ValidationRunsInItsOrderAndKeepsTheDialogOpen) {
  const std::u16string kNameInvalid = LoadMessage(8063) + LoadMessage(8064);  // what is wrong, then the rule
  const std::u16string kExtensionInvalid = LoadMessage(8065) + LoadMessage(8066);
  auto dialog = Open();
  EXPECT_EQ(dialog->RootContentFolder(), root_form_);
  // Name, extension and content type; which names and extensions pass is the descriptor's rule.
  const std::u16string fills[][3] = {{u".doc", u"a.b", u""},
                                     {u"", u"abc", u"text/x"},
                                     {u"my-type", u"a.b", u"text/x"},
                                     {u"my.Type2", u"ab_c", u"text/x"}};
  for (const auto& [name, extension, type] : fills) {
    Fill(*dialog, name, extension, type);
    ASSERT_TRUE(dialog->Press("OK"));
  }
  EXPECT_FALSE(dialog->IsClosed());
  EXPECT_EQ(Messages(), (std::vector<std::u16string>{kRequired, kRequired, kNameInvalid, kExtensionInvalid}))
      << "an empty content type is reported before the name rule";
  EXPECT_EQ(ui_->Events().front().style, 48u);
  EXPECT_TRUE(record_.name.empty()) << "nothing is stored before the checks pass";

  Fill(*dialog, u"my.Type2", u"abc", u"text/x-my");
  ASSERT_TRUE(dialog->Press("OK"));
  EXPECT_TRUE(dialog->IsClosed());
  EXPECT_EQ(dialog->Result(), kIdOk);
  EXPECT_EQ(record_.name, "my.Type2");
  EXPECT_EQ(record_.extension, "abc");
  EXPECT_EQ(record_.description, u"") << "the description may stay empty";
  EXPECT_EQ(record_.contentType, u"text/x-my");

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
  ui_->QueueFile(outside);
  ui_->QueueButton(kIdCancel);
  ASSERT_TRUE(dialog->Press("browse128"));
  EXPECT_EQ(dialog->Text("icon128"), u"");
  ASSERT_EQ(ui_->Events().size(), 2u);
  EXPECT_EQ(ui_->Events()[1].style, 49u);
  EXPECT_EQ(ui_->Events()[1].text.substr(0, 7), u"必须将图标复制");
  EXPECT_FALSE(std::filesystem::exists(movieFolder_ / "FileTypeIconsForZAROPublish"));

  ui_->QueueFile(outside);
  ui_->QueueButton(kIdOk);
  ASSERT_TRUE(dialog->Press("browse128"));
  EXPECT_EQ(dialog->Text("icon128"), u"FileTypeIconsForZAROPublish\\doc128.png");
  EXPECT_TRUE(std::filesystem::exists(movieFolder_ / "FileTypeIconsForZAROPublish" / "doc128.png"));
  EXPECT_EQ(dialog->Text("preview128"), root_form_ + u"FileTypeIconsForZAROPublish\\doc128.png");

  // Inside the movie folder: used where it is, made relative, no question.
  const size_t events = ui_->Events().size();
  ui_->QueueFile(MakeImage(movieFolder_ / "art" / "doc16.png"));
  ASSERT_TRUE(dialog->Press("browse16"));
  EXPECT_EQ(dialog->Text("icon16"), u"art\\doc16.png");
  EXPECT_EQ(ui_->Events().size(), events + 1) << "only the file dialog";

  // A path holding the movie folder's text further on is not inside it.
  const std::filesystem::path mirror = root_ / "mirror" / movieFolder_.relative_path() / "m.png";
  ui_->QueueFile(MakeImage(mirror));
  ui_->QueueButton(kIdOk);
  ASSERT_TRUE(dialog->Press("browse32"));
  EXPECT_EQ(dialog->Text("icon32"), u"FileTypeIconsForZAROPublish\\m.png");

  ASSERT_TRUE(dialog->Press("clear32"));
  EXPECT_EQ(dialog->Text("icon32"), u"");
  EXPECT_EQ(dialog->Text("preview32"), u"");
  EXPECT_FALSE(dialog->SetField("preview16", u"/etc/passwd")) << "previews are not fields to set";

  Fill(*dialog, u"doc", u"abc", u"text/x");
  ASSERT_TRUE(dialog->Press("OK"));
  ASSERT_TRUE(dialog->IsClosed());
  EXPECT_EQ((std::vector{record_.icon16, record_.icon32, record_.icon48, record_.icon128}),
            (std::vector<std::u16string>{u"art/doc16.png", u"", u"", u"FileTypeIconsForZAROPublish/doc128.png"}))
      << "stored with \"/\"";
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
  EXPECT_EQ(dialog->Text("name"), u"doc");
  EXPECT_EQ(dialog->Text("description"), u"描述");
  EXPECT_EQ(dialog->Text("icon16"), u"icons/t16.png");
  EXPECT_EQ(dialog->Text("preview16"), root_form_ + u"icons\\t16.png");
  EXPECT_EQ(dialog->Text("icon48"), u"") << "a missing file is dropped from the form";
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
  ASSERT_TRUE(dialog->SetField("icon16", u"i16.png"));
  ASSERT_TRUE(dialog->SetField("icon32", u"nothing\\here.png"));
  ASSERT_TRUE(dialog->Press("OK"));
  EXPECT_FALSE(dialog->IsClosed());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], u"无法打开图标文件。\n" + FromUtf8(movieFolder_.string()) + u"/nothing/here.png");
  EXPECT_EQ(record_.icon16, u"i16.png") << "icons are stored smallest first; those before the failure stay";
  EXPECT_EQ(record_.name, "doc");
}

}  // namespace
}  // namespace zaro
