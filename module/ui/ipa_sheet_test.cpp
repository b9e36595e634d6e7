// The settings sheet with the iPhone pages: OK commits them without messages, 发布 commits
// them with messages and packages.
#include <gtest/gtest.h>

#include "ui/ipa_deploy_page.h"
#include "ui/page_test_support.h"
#include "ui/ipa_settings_page.h"
#include "ui/settings_sheet.h"

namespace zaro {
namespace {

using namespace testing_support;
using Packaged = std::vector<std::pair<PackageTarget, bool>>;

class IpaSheetTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    UseDescriptor();
    SetSetting(keys::kPubIpa, u"true");
    SetSetting(keys::kExitOk, u"unset");
    MakeFile("bin/MPK/lib/mpk.jar");
  }
  SheetServices Recording() {
    return {[this](PackageTarget target, bool exportFirst) { return packaged.emplace_back(target, exportFirst), 1; },
            [] { return std::u16string(u"/jre"); }};
  }
  Packaged packaged;
  const std::u16string cert_ = MakeFile("keys/dev.p12");
  const std::u16string profile_ = MakeFile("keys/dev.mobileprovision");
};

TEST_F(IpaSheetTest, TheIphoneSheetShowsGeneralDeploymentAndIcons) {
  CSettingsPropSheet sheet(CSettingsPropSheet::kDeploymentPage, Recording());
  ASSERT_NE(sheet.Page(CSettingsPropSheet::kIpaGeneralPage), nullptr);
  ASSERT_NE(sheet.Page(CSettingsPropSheet::kDeploymentPage), nullptr);
  EXPECT_EQ(sheet.Page(CSettingsPropSheet::kIpaGeneralPage)->Caption(), u"常规");
  EXPECT_EQ(sheet.Page(CSettingsPropSheet::kDeploymentPage)->Caption(), u"部署");
  ASSERT_NE(sheet.Page(CSettingsPropSheet::kIpaIconsPage), nullptr);
  EXPECT_EQ(sheet.Page(CSettingsPropSheet::kIpaIconsPage)->FormName(), "Icons");
  sheet.OnShow();
  EXPECT_EQ(sheet.GetField("page").value_or(u""), u"Deployment");
  EXPECT_FALSE(sheet.Page(CSettingsPropSheet::kIpaGeneralPage)->Opened());
  EXPECT_EQ(sheet.GetField("General.destination").value_or(u"?"), u"") << "reading does not fill a page";
  ASSERT_TRUE(sheet.SetField("page", u"General"));
  EXPECT_EQ(sheet.GetField("General.destination").value_or(u""), u"Demo.ipa");
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 57x57"));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kIpaIconsPage);
}

TEST_F(IpaSheetTest, OkCommitsDeploymentQuietlyThenGeneral) {
  CSettingsPropSheet sheet(0, Recording());
  sheet.OnShow();
  Set(sheet, {{"General.version", u"2.0"}, {"Deployment.certpath", WindowsForm(root_ / "keys/typed.p12")}});
  ASSERT_TRUE(sheet.Press("OK"));
  EXPECT_TRUE(sheet.IsClosed());
  EXPECT_TRUE(Messages().empty()) << "OK commits the Deployment page without messages";
  EXPECT_EQ(GetSetting(keys::kExitOk), u"true");
  EXPECT_EQ(GetSetting(keys::kIpaCertPath), Slashes(WindowsForm(root_ / "keys/typed.p12")));
  EXPECT_NE(SavedDescriptor().find("<version>2.0</version>"), std::string::npos);

  SetSetting(keys::kExitOk, u"unset");
  CSettingsPropSheet untouched(0, Recording());
  untouched.OnShow();
  ASSERT_TRUE(untouched.Press("OK"));
  EXPECT_EQ(GetSetting(keys::kExitOk), u"false") << "an opened but unchanged General page";
}

TEST_F(IpaSheetTest, PublishCommitsInFrontAndPackagesTheIpa) {
  CSettingsPropSheet sheet(0, Recording());
  sheet.OnShow();
  Set(sheet, {{"Deployment.certpath", cert_}, {"Deployment.password", u""}, {"Deployment.profile", profile_},
              {"page", u"General"}, {"General.version", u"3.0"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"密码为空。 请输入密码。"});
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage) << "the refusing page stays in front";
  EXPECT_TRUE(packaged.empty());
  EXPECT_EQ(SavedDescriptor().find("3.0"), std::string::npos) << "General is not committed after a refusal";

  Set(sheet, {{"Deployment.password", u"pw"}, {"Deployment.profile", profile_}, {"page", u"General"}});
  ASSERT_TRUE(sheet.Press("Publish"));
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(packaged, (Packaged{{IphonePackage, true}}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kIpaGeneralPage) << "the page in front before comes back";
  EXPECT_NE(SavedDescriptor().find("<version>3.0</version>"), std::string::npos);
  EXPECT_FALSE(sheet.IsClosed());
}

TEST_F(IpaSheetTest, PublishAfterOkStoredAMissingCertificateNamesTheFile) {
  const std::u16string typed = WindowsForm(root_ / "keys/typed.p12");
  {
    CSettingsPropSheet sheet(CSettingsPropSheet::kDeploymentPage, Recording());
    sheet.OnShow();
    Set(sheet, {{"Deployment.certpath", typed}, {"Deployment.password", u"pw"}, {"Deployment.profile", profile_}});
    ASSERT_TRUE(sheet.Press("OK"));
  }
  CSettingsPropSheet sheet(CSettingsPropSheet::kDeploymentPage, Recording());
  sheet.OnShow();
  ASSERT_TRUE(sheet.Press("Publish"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], u"指定的证书不存在。\n" + typed);
  EXPECT_TRUE(packaged.empty());
}

}  // namespace
}  // namespace zaro
