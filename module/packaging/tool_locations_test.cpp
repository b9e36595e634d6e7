#include "packaging/tool_locations.h"

#include "packaging/packaging_test_support.h"

namespace zaro::packaging_testing {
namespace {

// The Java runtime comes from the common application data folder, the kit's tools from the launch folder and kit name.
TEST_F(PackagingTest, ToolLocations) {
  // The common folder as the system gives it (a final separator gets no second one), and the runtime folder in it.
  const std::pair<const char*, std::u16string> cases[] = {
      {"C:\\ProgramData", u"C:/ProgramData/Corvane/KV5/jre"}, {"C:\\ProgramData\\", u"C:/ProgramData/Corvane/KV5/jre"},
      {"/srv/common data", u"/srv/common data/Corvane/KV5/jre"},
  };
  for (const auto& [common, folder] : cases) {
    ::setenv("TESSEL_COMMON_APPDATA", common, 1);
    EXPECT_EQ(GetJavaRuntimeFolder(), folder) << common;
  }
  EXPECT_TRUE(CheckJavaRuntime()) << "the check passes silently when the folder resolves";
  EXPECT_TRUE(ui_->Events().empty());

  // Without the override the folder lies beside the program folder.
  ::unsetenv("TESSEL_COMMON_APPDATA");
  const std::u16string folder = GetJavaRuntimeFolder();
  EXPECT_TRUE(folder.size() > 1 && folder.front() == u'/') << ToUtf8(folder);
  EXPECT_TRUE(folder.ends_with(u"/ProgramData/Corvane/KV5/jre"));
  EXPECT_EQ(folder.find(u'\\'), std::u16string::npos);

  using Paths = std::vector<std::u16string>;
  const auto paths = [] { return Paths{GetRuntimeKitFolder(), GetPackagingToolPath(), GetIphonePackagerPath()}; };
  SetSetting(keys::kLaunchPath, u"C:/Host/");
  EXPECT_EQ(paths(), (Paths{u"C:/Host/ZSK2.0", u"C:/Host/ZSK2.0/lib/ZPK.jar", u"C:/Host/MPK/lib/mpk.jar"}));
  SetSetting(keys::kKitName, u"ZSK1.5");
  EXPECT_EQ(GetPackagingToolPath(), u"C:/Host/ZSK1.5/lib/ZPK.jar");

  RemoveSetting(keys::kLaunchPath);
  RemoveSetting(keys::kKitName);
  EXPECT_EQ(paths(), (Paths{u"", u"/lib/ZPK.jar", u"MPK/lib/mpk.jar"})) << "unset settings leave only the fixed parts";
}

}  // namespace
}  // namespace zaro::packaging_testing
