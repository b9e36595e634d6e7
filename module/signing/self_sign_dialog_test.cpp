#include "signing/self_sign_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "signing/digital_signature_page.h"
#include "signing/signing_test_support.h"

namespace zaro {
namespace {

using testing_support::SetAndPress;
using testing_support::SigningTest;

const std::u16string kAllFieldsRequired = u"必须填写所有字段。";
const std::u16string kPasswordsDiffer = u"输入的密码不匹配。请重新输入。";
const std::u16string kCreated = u"已创建自签名的证书。";

class SelfSignTest : public SigningTest {
 protected:
  void Fill(CSelfSignDlg& dialog, const std::u16string& saveAs, const std::u16string& country = u"DE") {
    ASSERT_TRUE(dialog.SetField("publisher", u"Ann Author"));
    ASSERT_TRUE(dialog.SetField("unit", u"Tools"));
    ASSERT_TRUE(dialog.SetField("organization", u"Ann & Co"));
    ASSERT_TRUE(dialog.SetField("country", country));
    ASSERT_TRUE(dialog.SetField("password", u"pw1"));
    ASSERT_TRUE(dialog.SetField("confirm", u"pw1"));
    ASSERT_TRUE(dialog.SetField("saveas", saveAs));
  }

  // The staged kit: the Java launcher in the application data folder and the packaging
  // tool under the host folder.
  bool UseStagedKit() {
    const char* stage = std::getenv("ZARO_STAGE");
    if (stage == nullptr) return false;
    const std::filesystem::path root = stage;
    ::setenv("TESSEL_COMMON_APPDATA", (root / "ProgramData").c_str(), 1);
    SetSetting(keys::kLaunchPath, FromUtf8((root / "bin").string() + "/"));
    SetSetting(keys::kKitName, u"ZSK2.0");
    return std::filesystem::exists(root / "ProgramData/Corvane/KV5/jre/bin/java.exe") &&
           std::filesystem::exists(root / "bin/ZSK2.0/lib/ZPK.jar");
  }
};

TEST_F(SelfSignTest, CountryCodesShowSorted) {
  CSelfSignDlg dialog;
  EXPECT_EQ(dialog.Title(), u"创建自签名的数字证书");
  const FormField* country = dialog.FindField("country");
  EXPECT_EQ(country->text, u"US");
  EXPECT_TRUE(country->editable);
  std::vector<std::u16string> sorted = CountryCodes();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(country->items, sorted);
  EXPECT_EQ(dialog.Text("keytype"), u"1024-RSA");
  EXPECT_FALSE(dialog.SetField("keytype", u"4096-RSA")) << "a drop-down list takes only its entries";
  EXPECT_TRUE(dialog.SetField("country", u"XX")) << "any country text can be typed";
}

TEST_F(SelfSignTest, ArgumentsAndTheKeystoreExtensionRule) {
  CSelfSignDlg dialog;
  Fill(dialog, u"C:\\certs\\me");
  ASSERT_TRUE(dialog.SetField("keytype", u"2048-RSA"));
  EXPECT_EQ(dialog.BuildCertificateArguments().value_or(u"?"),
            u" -cn \"Ann Author\" -ou \"Tools\" -o \"Ann & Co\" -c \"DE\" 2048-RSA \"C:\\certs\\me.p12\" \"pw1\"");
  EXPECT_EQ(dialog.Text("saveas"), u"C:\\certs\\me.p12") << "the field shows the new path";

  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\certs\\me.PFX", u"C:\\certs\\me.PFX"},
      {u"C:\\certs.old\\me", u"C:\\certs.old\\me.p12"},
      {u"me.p12", u"me.p12"},
      {u"me.p12x", u"me.p12x.p12"},
  };
  for (const auto& [typed, expected] : cases) {
    ASSERT_TRUE(dialog.SetField("saveas", typed));
    ASSERT_TRUE(dialog.BuildCertificateArguments().has_value());
    EXPECT_EQ(dialog.Text("saveas"), expected);
  }
  ASSERT_TRUE(dialog.SetField("saveas", u"C:\\certs\\me.p12"));
  ASSERT_TRUE(dialog.SetField("password", u"a\"b\\"));
  EXPECT_EQ(dialog.BuildCertificateArguments().value_or(u"?"),
            u" -cn \"Ann Author\" -ou \"Tools\" -o \"Ann & Co\" -c \"DE\" 2048-RSA \"C:\\certs\\me.p12\" \"a\\\"b\\\\\"")
      << "a double quote or a final backslash in a value must not end its argument";
}

TEST_F(SelfSignTest, CommandLineRunsThePackagingToolThroughTheJavaLauncher) {
  SetSetting(keys::kLaunchPath, u"C:/Host/");
  SetSetting(keys::kKitName, u"ZSK2.0");
  CSelfSignDlg dialog([] { return std::u16string(u"C:/ProgramData/Corvane/KV5/jre"); });
  EXPECT_EQ(dialog.CertificateCommandLine(u" -cn \"A\""),
            u"\"C:/ProgramData/Corvane/KV5/jre/bin/java.exe\" -jar \"C:/Host/ZSK2.0/lib/ZPK.jar\" -certificate  -cn \"A\"");
}

TEST_F(SelfSignTest, RefusalsComeInTheirOrder) {
  CSelfSignDlg dialog;
  ASSERT_TRUE(dialog.SetField("publisher", u"Ann"));
  ASSERT_TRUE(dialog.SetField("unit", u"U"));
  ASSERT_TRUE(dialog.SetField("organization", u"O"));
  ASSERT_TRUE(dialog.SetField("saveas", u"C:\\me"));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages().back(), kAllFieldsRequired) << "the password is read last";
  EXPECT_EQ(dialog.Text("saveas"), u"C:\\me.p12") << "the extension rule ran before the password check";

  ASSERT_TRUE(dialog.SetField("password", u"pw"));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages().back(), kPasswordsDiffer) << "an empty confirmation is a mismatch, not a missing field";
  ASSERT_TRUE(dialog.SetField("confirm", u"PW"));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages().back(), kPasswordsDiffer) << "passwords compare exactly";
  EXPECT_EQ(LastMessage()->style, 48u);
  EXPECT_FALSE(dialog.PasswordsMatch());
  ASSERT_TRUE(dialog.SetField("confirm", u"pw"));
  EXPECT_TRUE(dialog.PasswordsMatch());

  ASSERT_TRUE(dialog.SetField("country", u""));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages().back(), kAllFieldsRequired);
  EXPECT_FALSE(dialog.IsClosed());
}

TEST_F(SelfSignTest, DecliningToOverwriteRunsNothing) {
  const std::u16string existing = MakeFile("certs/me.p12", "old");
  CSelfSignDlg dialog([]() -> std::u16string { return u""; });
  Fill(dialog, existing);
  ui_->QueueButton(kIdCancel);
  ASSERT_TRUE(dialog.Press("OK"));
  ASSERT_EQ(Messages().size(), 1u) << "no Java check, no tool after the refusal";
  EXPECT_EQ(Messages().back(), LoadMessage(8008));
  EXPECT_EQ(LastMessage()->style, 49u);
  EXPECT_FALSE(dialog.IsClosed());
  EXPECT_EQ(ui_->Failures(), 0);
}

TEST_F(SelfSignTest, MissingJavaRuntimeStopsBeforeTheTool) {
  CSelfSignDlg dialog([]() -> std::u16string { return u""; });
  Fill(dialog, WindowsForm(root_ / "me.p12"));
  ASSERT_TRUE(dialog.Press("OK"));
  EXPECT_EQ(Messages().back(), u"无法找到 JVM 路径。");
  EXPECT_FALSE(dialog.IsClosed());
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
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
  EXPECT_EQ(ui_->Events().back().kind, "link");
  EXPECT_EQ(ui_->Events().back().text, LoadMessage(8104));
  ASSERT_TRUE(dialog.Press("Cancel"));
  EXPECT_EQ(dialog.Result(), kIdCancel);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
}

TEST_F(SelfSignTest, KitToolCreatesARealCertificateThroughThePage) {
  ASSERT_TRUE(UseStagedKit()) << "the staged Java launcher and ZPK.jar are needed (build the kit targets)";
  const std::filesystem::path made = root_ / "made" / "mine";
  std::filesystem::create_directories(made.parent_path());

  CDigitalSigDlg page;
  page.Activate();
  ui_->QueueForm("SelfSign", {SetAndPress({{"publisher", u"Ann Author"},
                                          {"unit", u"Tools"},
                                          {"organization", u"Ann Co"},
                                          {"country", u"DE"},
                                          {"password", u"pw1"},
                                          {"confirm", u"pw1"},
                                          {"keytype", u"2048-RSA"},
                                          {"saveas", WindowsForm(made)}}, "OK")});
  ASSERT_TRUE(page.Press("create"));
  EXPECT_EQ(ui_->Failures(), 0);
  ASSERT_EQ(Messages(), std::vector<std::u16string>{kCreated});
  EXPECT_EQ(LastMessage()->style, 64u);

  const std::filesystem::path keystore = made.string() + ".p12";
  EXPECT_TRUE(std::filesystem::exists(keystore)) << "its content is the kit's concern (checked end to end)";
  EXPECT_EQ(GetSetting(keys::kCertPath), FromUtf8(keystore.string())) << "stored with \"/\" separators";
  EXPECT_EQ(page.Text("certpath"), WindowsForm(keystore)) << "the page shows the new certificate";
  EXPECT_EQ(page.FindField("certpath")->items, std::vector<std::u16string>{WindowsForm(keystore)});
}

TEST_F(SelfSignTest, ToolFailuresAreNeverReportedAsCreated) {
  ASSERT_TRUE(UseStagedKit()) << "the staged Java launcher and ZPK.jar are needed (build the kit targets)";
  {
    CSelfSignDlg dialog;
    Fill(dialog, WindowsForm(root_ / "xx.p12"), u"XX");
    ASSERT_TRUE(dialog.Press("OK"));
    EXPECT_EQ(Messages().back(), u"创建自签名的证书失败:国家/地区代码无效 - XX") << "with the typed code";
    EXPECT_EQ(LastMessage()->style, 48u);
    EXPECT_FALSE(dialog.IsClosed());
  }
  {
    CSelfSignDlg dialog;
    Fill(dialog, WindowsForm(root_ / "no-such-folder" / "me.p12"));
    ASSERT_TRUE(dialog.Press("OK"));
    EXPECT_EQ(Messages().back(), u"创建自签名证书时出错。") << "exit code 11";
    EXPECT_FALSE(dialog.IsClosed());
  }
  {
    CSelfSignDlg dialog([] { return std::u16string(u"/no/such/jre"); });
    Fill(dialog, WindowsForm(root_ / "me.p12"));
    ASSERT_TRUE(dialog.Press("OK"));
    EXPECT_EQ(LastMessage()->title, u"Error") << "the launcher cannot be started";
    EXPECT_FALSE(dialog.IsClosed());
  }
  for (const std::u16string& text : Messages()) EXPECT_NE(text, kCreated);
  EXPECT_EQ(GetSetting(keys::kCertPath), u"");
}

}  // namespace
}  // namespace zaro
