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
    SetSetting(keys::kIpaProvision, u"/profiles/dev.mobileprovision");
    SetSetting(keys::kIpaCertPath, u"/certs/phone.p12");
  }
};

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
  ui_->QueueForm("Settings", {FormStep{{}, "Cancel", 0}});
  EXPECT_TRUE(PublishFromSettings());
  EXPECT_EQ(ToolRuns(), 0);
  ASSERT_FALSE(ui_->Events().empty());
  EXPECT_EQ(ui_->Events().front().kind, "form");
  EXPECT_EQ(ui_->Events().front().text, u"Settings");
}

}  // namespace
}  // namespace zaro
