#include "host/publish_commands.h"

#include <gtest/gtest.h>

#include "packaging/packaging_test_support.h"

namespace zaro {
namespace {

using namespace packaging_testing;

class PublishFromSettingsTest : public PackagingTest {
 protected:
  void SetUp() override {
    PackagingTest::SetUp();
    SetSetting(keys::kPubIpa, u"true");
    SetSetting(keys::kIpaOption, u"adhoc");
    WriteText(root_ / "profiles/dev.mobileprovision", "profile");
    WriteText(root_ / "certs/phone.p12", "keystore");
    SetSetting(keys::kIpaProvision, FromUtf8((root_ / "profiles/dev.mobileprovision").string()));
    SetSetting(keys::kIpaCertPath, FromUtf8((root_ / "certs/phone.p12").string()));
  }
};

TEST_F(PublishFromSettingsTest, IphoneWithAStoredCertificateThatIsGoneNamesItAndRunsNothing) {
  SetSetting(keys::kIpaCertPassword, u"phonepw");
  SetSetting(keys::kIpaCertPath, u"/certs/typed.p12");
  EXPECT_TRUE(PublishFromSettings());
  EXPECT_EQ(ToolRuns(), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages().back().text, u"指定的证书不存在。\n\\certs\\typed.p12");
}

TEST_F(PublishFromSettingsTest, IphoneWithStoredCredentialsRunsTheIphonePackager) {
  SetSetting(keys::kIpaCertPassword, u"phonepw");
  EXPECT_TRUE(PublishFromSettings());
  ASSERT_EQ(ToolRuns(), 1);
  const std::vector<std::string> args = ToolArgs();
  ASSERT_GE(args.size(), 5u);
  EXPECT_EQ(args[1], ToUtf8(GetSetting(keys::kLaunchPath)) + "MPK/lib/mpk.jar");
  EXPECT_EQ(args[4], "ipa-ad-hoc");
  EXPECT_EQ(Messages().back().text, u"iPhone 文件已创建。");
}

TEST_F(PublishFromSettingsTest, IphoneWithoutItsPasswordOpensTheSheetInstead) {
  ui_->QueueForm("Settings", {FormStep{{}, "Cancel", 0, {}}});
  EXPECT_TRUE(PublishFromSettings());
  EXPECT_EQ(ToolRuns(), 0);
  ASSERT_FALSE(ui_->Events().empty());
  EXPECT_EQ(ui_->Events().front().kind, "form");
  EXPECT_EQ(ui_->Events().front().text, u"Settings");
}

}  // namespace
}  // namespace zaro
