// The General and Icons pages end to end: an author sets identity, output, window style,
// profiles, included files and icons on a new document's settings sheet, publishes and
// leaves with OK; a second sheet reads every value back with "expect".
#include <gtest/gtest.h>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

using GeneralAndIcons = PublishTest;

TEST_F(GeneralAndIcons, EverythingSetOnTheSheetIsPublishedSavedAndReadBack) {
  const fs::path document = NewDocument("My Movies/Hello"), folder = document.parent_path();
  const fs::path keystore = Keystore("ann.p12", "secret");
  WriteText(folder / "icons" / "app 16.png", zpk::testing::MakePng(16, 16));
  WriteText(box_.Root() / "outside" / "big.png", zpk::testing::MakePng(128, 128));
  WriteText(folder / "readme.txt", "read me");
  WriteText(folder / "assets" / "data.txt", "data");
  const Json values = {{"General.appid", "com.example.hello"},
                       {"General.appname", "Hello App"},
                       {"General.version", "1.2.3"},
                       {"General.filename", "HelloApp"},
                       {"General.description", "First line\r\nSecond line"},
                       {"General.copyright", "© 2026 Ann"},
                       {"General.windowstyle", "自定义镶边（透明）"},
                       {"General.desktop", "true"},
                       {"General.mobileDevice", "false"},
                       {"General.extendedDesktop", "true"},
                       {"General.extendedMobileDevice", "false"}};
  const RunResult run = Run(
      {"settings", document.string()},
      {Form("Settings", {Set(values), Press("General.addfile"), Press("General.addfolder"),
                         Set({{"Icons.size", "图标 16x16"}}), Press("Icons.browse"), Set({{"Icons.size", "图标 128x128"}}),
                         Press("Icons.browse"),
                         Set({{"Signature.certpath", WindowsForm(keystore)}, {"Signature.password", "secret"},
                              {"Signature.timestamp", "false"}}),
                         Press("Publish"), Press("OK")}),
       File(folder / "readme.txt"), Json{{"folder", WindowsForm(folder / "assets")}}, File(folder / "icons" / "app 16.png"),
       File(box_.Root() / "outside" / "big.png"), Message("ok"), Message("yes"), Message("yes")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::string descriptor = ReadText(folder / "Hello-app.xml");
  for (const char* part : {"<id>com.example.hello</id>", "<name>Hello App</name>", "<version>1.2.3</version>",
                           "<filename>HelloApp</filename>", "<description>First line\nSecond line</description>",
                           "<copyright>© 2026 Ann</copyright>", "<systemChrome>none</systemChrome>",
                           "<transparent>true</transparent>",
                           "<supportedProfiles>desktop extendedDesktop </supportedProfiles>",
                           "<image16x16>icons/app%2016.png</image16x16>",
                           "<image128x128>AppIconsForPublish/big.png</image128x128>"}) {
    EXPECT_TRUE(Contains(descriptor, part)) << part << "\n" << descriptor;
  }
  EXPECT_TRUE(fs::exists(folder / "AppIconsForPublish" / "big.png"));
  EXPECT_EQ(Texts(document, {"com.zaro.quessa.zarodest", "com.zaro.quessa.pubexe", "com.zaro.quessa.included.count",
                             "com.zaro.quessa.included.item0", "com.zaro.quessa.included.item1"}),
            (Lines{"Hello.zaro", "false", "2", "readme.txt", "assets"}));
  const auto verified = Verify(folder / "Hello.zaro");
  EXPECT_EQ(verified.code, 0) << verified.output;
  const std::string bytes = ReadText(folder / "Hello.zaro");
  for (const char* entry : {"icons/app 16.png", "AppIconsForPublish/big.png", "readme.txt", "assets/data.txt"}) {
    EXPECT_TRUE(Contains(bytes, entry)) << entry;
  }

  // A second sheet reads every value back from the saved files.
  Json shown = values;
  shown.update({{"General.destination", "Hello.zaro"}, {"General.installer", "false"},
                {"Icons.path", "icons/app 16.png"}});  // the page opens on its first size
  const RunResult again =
      Run({"settings", document.string()},
          {Form("Settings", {Expect(shown), Set({{"Icons.size", "图标 128x128"}}),
                             Expect({{"Icons.path", "AppIconsForPublish/big.png"}}),
                             Set({{"General.included", "assets"}}), Expect({{"General.included", "assets"}}),
                             Press("Cancel")})});
  EXPECT_EQ(again.exitStatus, 0) << Describe(again);
  EXPECT_TRUE(again.EventsOf("form-error").empty()) << Describe(again);
}

}  // namespace
}  // namespace publish_e2e
