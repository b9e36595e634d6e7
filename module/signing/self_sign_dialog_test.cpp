#include "signing/self_sign_dialog.h"

#include <cstdlib>

#include "signing/signing_test_support.h"

namespace zaro::testing_support {
namespace {

// Making the certificate with the kit's tool from the Signature page, and its command line, are end-to-end cases.
class SelfSignTest : public SigningTest {
 protected:
  static void Fill(CSelfSignDlg& dialog, const std::u16string& saveAs, const std::u16string& country = u"DE") {
    Set(dialog, {{"publisher", u"Ann Author"}, {"unit", u"Tools"}, {"organization", u"Ann & Co"}, {"country", country},
                 {"password", u"pw1"}, {"confirm", u"pw1"}, {"saveas", saveAs}});
  }
};

TEST_F(SelfSignTest, TheFormBuildsQuotedArgumentsAndKeepsTheKeystoreExtension) {
  CSelfSignDlg dialog;
  std::vector<std::u16string> sorted = CountryCodes();
  std::sort(sorted.begin(), sorted.end());
  const FormField* country = dialog.FindField("country");
  EXPECT_EQ(std::tie(country->text, country->editable, country->items), std::tuple(u"US", true, sorted));
  EXPECT_EQ(std::tuple(dialog.Title(), dialog.Text("keytype")), std::tuple(u"创建自签名的数字证书", u"1024-RSA"));
  EXPECT_FALSE(dialog.SetField("keytype", u"4096-RSA")) << "a drop-down list takes only its entries";
  EXPECT_TRUE(dialog.SetField("country", u"XX")) << "any country text can be typed";

  Fill(dialog, u"C:\\certs\\me");
  ASSERT_TRUE(dialog.SetField("keytype", u"2048-RSA"));
  const std::u16string subject =
      u" -cn \"Ann Author\" -ou \"Tools\" -o \"Ann & Co\" -c \"DE\" 2048-RSA \"C:\\certs\\me.p12\" ";
  EXPECT_EQ(dialog.BuildCertificateArguments().value_or(u"?"), subject + u"\"pw1\"");
  EXPECT_EQ(dialog.Text("saveas"), u"C:\\certs\\me.p12") << "the field shows the new path";

  std::vector<std::u16string> shown;
  for (const char16_t* typed : {u"C:\\certs\\me.PFX", u"C:\\certs.old\\me", u"me.p12", u"me.p12x"}) {
    ASSERT_TRUE(dialog.SetField("saveas", typed));
    ASSERT_TRUE(dialog.BuildCertificateArguments().has_value());
    shown.push_back(dialog.Text("saveas"));
  }
  EXPECT_EQ(shown, (decltype(shown){u"C:\\certs\\me.PFX", u"C:\\certs.old\\me.p12", u"me.p12", u"me.p12x.p12"}));
  ASSERT_TRUE(dialog.SetField("saveas", u"C:\\certs\\me.p12"));
  ASSERT_TRUE(dialog.SetField("password", u"a\"b\\"));
  EXPECT_EQ(dialog.BuildCertificateArguments().value_or(u"?"), subject + u"\"a\\\"b\\\\\"")
      << "a double quote or a final backslash in a value must not end its argument";
}

TEST_F(SelfSignTest, RefusalsComeInTheirOrder) {
  CSelfSignDlg dialog;
  Set(dialog, {{"publisher", u"Ann"}, {"unit", u"U"}, {"organization", u"O"}, {"saveas", u"C:\\me"}});
  ASSERT_TRUE(dialog.Press("OK"));  // the password is read last
  EXPECT_EQ(dialog.Text("saveas"), u"C:\\me.p12") << "the extension rule ran before the password check";
  ASSERT_TRUE(dialog.SetField("password", u"pw"));
  ASSERT_TRUE(dialog.Press("OK"));  // an empty confirmation is a mismatch, not a missing field
  ASSERT_TRUE(dialog.SetField("confirm", u"PW"));
  ASSERT_TRUE(dialog.Press("OK"));  // passwords compare exactly
  EXPECT_EQ(LastMessage()->style, 48u);
  EXPECT_FALSE(dialog.PasswordsMatch());
  ASSERT_TRUE(dialog.SetField("confirm", u"pw"));
  EXPECT_TRUE(dialog.PasswordsMatch());
  ASSERT_TRUE(dialog.SetField("country", u""));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages(), (std::vector<std::u16string>{u"必须填写所有字段。", u"输入的密码不匹配。请重新输入。",
                                                      u"输入的密码不匹配。请重新输入。", u"必须填写所有字段。"}));
  EXPECT_FALSE(dialog.IsClosed());
}

TEST_F(SelfSignTest, BrowseHelpAndCancel) {
  CSelfSignDlg dialog;
  ui_->QueueFolder(u"D:\\keys");
  ui_->QueueFolder(std::nullopt);
  ASSERT_TRUE(dialog.Press("browse"));
  EXPECT_EQ(dialog.Text("saveas"), u"D:\\keys\\mycert.p12");
  ASSERT_TRUE(dialog.Press("browse"));
  EXPECT_EQ(dialog.Text("saveas"), u"D:\\keys\\mycert.p12") << "cancelling changes nothing";
  EXPECT_EQ(ui_->Events()[0].text, u"选择一个文件夹以保存您的自签名证书");
  ASSERT_TRUE(dialog.Press("Help"));
  EXPECT_EQ(std::tie(ui_->Events().back().kind, ui_->Events().back().text), std::tuple("link", LoadMessage(8104)));
  ASSERT_TRUE(dialog.Press("Cancel"));
  EXPECT_EQ(dialog.Result(), kIdCancel);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
}

// Refusals before the kit's tool and its failures (the staged launcher and ZPK.jar): never reported as created, the
// dialog stays open, no certificate is stored. Declining to overwrite a file runs neither the Java check nor the tool.
TEST_F(SelfSignTest, ToolFailuresAreNeverReportedAsCreated) {
  const std::filesystem::path stage = std::getenv("ZARO_STAGE") ? std::getenv("ZARO_STAGE") : "";
  ASSERT_TRUE(std::filesystem::exists(stage / "ProgramData/Corvane/KV5/jre/bin/java.exe") &&
              std::filesystem::exists(stage / "bin/ZSK2.0/lib/ZPK.jar"))
      << "the staged Java launcher and ZPK.jar are needed (build the kit targets)";
  SetSetting(keys::kLaunchPath, FromUtf8((stage / "bin").string() + "/"));
  SetSetting(keys::kKitName, u"ZSK2.0");
  const std::u16string staged = FromUtf8((stage / "ProgramData/Corvane/KV5/jre").string());
  // Java folder, file, country, the last box's text (or its title) and style.
  const std::tuple<std::u16string, std::u16string, std::u16string, std::u16string, unsigned> cases[] = {
      {u"", MakeFile("certs/me.p12", "old"), u"DE", LoadMessage(8008), 49},  // answered with Cancel
      {u"", WindowsForm(root_ / "me.p12"), u"DE", u"无法找到 JVM 路径。", 48},
      {staged, WindowsForm(root_ / "xx.p12"), u"XX", u"创建自签名的证书失败:国家/地区代码无效 - XX", 48},
      {staged, WindowsForm(root_ / "no-such-folder" / "me.p12"), u"DE", u"创建自签名证书时出错。", 48},  // exit code 11
      {u"/no/such/jre", WindowsForm(root_ / "me.p12"), u"DE", u"Error", 0},  // the launcher cannot be started
  };
  for (const auto& [java, saveAs, country, shown, style] : cases) {
    SCOPED_TRACE(ToUtf8(shown));
    CSelfSignDlg dialog([java] { return java; });
    Fill(dialog, saveAs, country);
    if (style == 49) ui_->QueueButton(kIdCancel);
    ASSERT_TRUE(dialog.Press("OK"));
    EXPECT_EQ(shown == u"Error" ? LastMessage()->title : LastMessage()->text, shown);
    EXPECT_EQ(LastMessage()->style, style);
    EXPECT_FALSE(dialog.IsClosed());
  }
  EXPECT_EQ(Messages().size(), 5u) << "one box each, none saying the certificate was created";
  EXPECT_EQ(ui_->Failures(), 0);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
}

}  // namespace
}  // namespace zaro::testing_support
