#include "packaging/tool_locations.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/scripted_ui.h"
#include "settings/settings_store.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

class ToolLocations : public ::testing::Test {
 protected:
  void SetUp() override { testing::ClearSettings(); }
  void TearDown() override {
    ::unsetenv("TESSEL_COMMON_APPDATA");
    testing::ClearSettings();
  }

  testing::ScopedScriptedUi ui;
};

TEST_F(ToolLocations, JavaRuntimeComesFromTheCommonApplicationDataFolder) {
  // The common folder as the system gives it, and the runtime folder in it.
  const std::pair<const char*, std::u16string> cases[] = {
      {"C:\\ProgramData", u"C:/ProgramData/Corvane/KV5/jre"},
      {"C:\\ProgramData\\", u"C:/ProgramData/Corvane/KV5/jre"},  // no second separator
      {"/srv/common data", u"/srv/common data/Corvane/KV5/jre"},
  };
  for (const auto& [common, folder] : cases) {
    ::setenv("TESSEL_COMMON_APPDATA", common, 1);
    EXPECT_EQ(GetJavaRuntimeFolder(), folder) << common;
    EXPECT_EQ(GetJavaLauncherPath(), folder + u"/bin/java.exe") << common;
  }
  EXPECT_TRUE(CheckJavaRuntime()) << "the check passes silently when the folder resolves";
  EXPECT_TRUE(ui->Events().empty());

  // Without the override the folder lies beside the program folder.
  ::unsetenv("TESSEL_COMMON_APPDATA");
  const std::u16string folder = GetJavaRuntimeFolder();
  ASSERT_GT(folder.size(), 1u);
  EXPECT_EQ(folder.front(), u'/');
  EXPECT_TRUE(folder.ends_with(u"/ProgramData/Corvane/KV5/jre"));
  EXPECT_EQ(folder.find(u'\\'), std::u16string::npos);
}

TEST_F(ToolLocations, KitToolsAreBuiltFromTheLaunchFolderAndKitName) {
  EXPECT_EQ(GetRuntimeKitFolder(), u"") << "unset settings leave only the fixed parts";
  EXPECT_EQ(GetPackagingToolPath(), u"/lib/ZPK.jar");
  EXPECT_EQ(GetIphonePackagerPath(), u"MPK/lib/mpk.jar");

  SetSetting(keys::kLaunchPath, u"C:/Host/");
  SetSetting(keys::kKitName, u"ZSK2.0");
  EXPECT_EQ(GetRuntimeKitFolder(), u"C:/Host/ZSK2.0");
  EXPECT_EQ(GetPackagingToolPath(), u"C:/Host/ZSK2.0/lib/ZPK.jar");
  EXPECT_EQ(GetIphonePackagerPath(), u"C:/Host/MPK/lib/mpk.jar");
  EXPECT_EQ(GetSampleDescriptorPath(), u"C:/Host//ZSK2.0/samples/descriptor-sample.xml");

  SetSetting(keys::kKitName, u"ZSK1.5");
  EXPECT_EQ(GetPackagingToolPath(), u"C:/Host/ZSK1.5/lib/ZPK.jar");
  EXPECT_EQ(GetSampleDescriptorPath(), u"C:/Host//ZSK2.0/samples/descriptor-sample.xml") << "fixed kit";
}

}  // namespace
}  // namespace zaro
