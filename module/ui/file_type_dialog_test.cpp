#include "ui/file_type_dialog.h"

#include <gtest/gtest.h>

#include "descriptor/descriptor_test_support.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "ui/page_test_support.h"

namespace zaro {
namespace {

using namespace testing_support;

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
  Fill(*dialog, u".doc", u"a.b", u"");
  ASSERT_TRUE(dialog->Press("OK"));
  Fill(*dialog, u"", u"abc", u"text/x");
  ASSERT_TRUE(dialog->Press("OK"));
  for (const std::u16string& bad : std::vector<std::u16string>{u".doc", u"2doc", u"my-type", std::u16string(39, u'n')}) {
    Fill(*dialog, bad, u"a.b", u"text/x");
    ASSERT_TRUE(dialog->Press("OK"));
  }
  for (const std::u16string& bad : std::vector<std::u16string>{u"a.b", u"ab_c", std::u16string(39, u'e')}) {
    Fill(*dialog, u"my.Type2", bad, u"text/x");
    ASSERT_TRUE(dialog->Press("OK"));
  }
  EXPECT_FALSE(dialog->IsClosed());
  EXPECT_EQ(Messages(), (std::vector<std::u16string>{kRequired, kRequired, kNameInvalid, kNameInvalid, kNameInvalid,
                                                     kNameInvalid, kExtensionInvalid, kExtensionInvalid,
                                                     kExtensionInvalid}))
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
