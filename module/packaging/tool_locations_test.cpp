#include "packaging/tool_locations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/scripted_ui.h"
#include "settings/settings_store.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

class ToolLocations : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* value = std::getenv("TESSEL_COMMON_APPDATA")) saved = value;
  }
  void TearDown() override {
    if (saved) ::setenv("TESSEL_COMMON_APPDATA", saved->c_str(), 1);
    else ::unsetenv("TESSEL_COMMON_APPDATA");
    RemoveSetting(keys::kLaunchPath);
    RemoveSetting(keys::kKitName);
  }
  static void CommonFolder(const char* folder) { ::setenv("TESSEL_COMMON_APPDATA", folder, 1); }

  std::optional<std::string> saved;
  testing::ScopedScriptedUi ui;
};

TEST_F(ToolLocations, JavaRuntimeComesFromTheCommonApplicationDataFolder) {
  CommonFolder("C:\\ProgramData");
  EXPECT_EQ(GetJavaRuntimeFolder(), u"C:/ProgramData/Corvane/KV5/jre");
  EXPECT_EQ(GetJavaLauncherPath(), u"C:/ProgramData/Corvane/KV5/jre/bin/java.exe");

  CommonFolder("C:\\ProgramData\\");
  EXPECT_EQ(GetJavaRuntimeFolder(), u"C:/ProgramData/Corvane/KV5/jre") << "no second separator";

  CommonFolder("/srv/common data");
  EXPECT_EQ(GetJavaLauncherPath(), u"/srv/common data/Corvane/KV5/jre/bin/java.exe");
}

TEST_F(ToolLocations, WithoutTheOverrideTheFolderLiesBesideTheProgramFolder) {
  ::unsetenv("TESSEL_COMMON_APPDATA");
  const std::u16string folder = GetJavaRuntimeFolder();
  ASSERT_GT(folder.size(), 1u);
  EXPECT_EQ(folder.front(), u'/');
  EXPECT_TRUE(folder.ends_with(u"/ProgramData/Corvane/KV5/jre"));
  EXPECT_EQ(folder.find(u'\\'), std::u16string::npos);
}

TEST_F(ToolLocations, KitToolsAreBuiltFromTheLaunchFolderAndKitName) {
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

TEST_F(ToolLocations, UnsetSettingsLeaveOnlyTheFixedParts) {
  EXPECT_EQ(GetRuntimeKitFolder(), u"");
  EXPECT_EQ(GetPackagingToolPath(), u"/lib/ZPK.jar");
  EXPECT_EQ(GetIphonePackagerPath(), u"MPK/lib/mpk.jar");
}

TEST_F(ToolLocations, TheRuntimeCheckPassesSilentlyWhenTheFolderResolves) {
  CommonFolder("C:\\ProgramData");
  EXPECT_TRUE(CheckJavaRuntime());
  EXPECT_TRUE(static_cast<ScriptedUi&>(Ui()).Events().empty());
}

}  // namespace
}  // namespace zaro
