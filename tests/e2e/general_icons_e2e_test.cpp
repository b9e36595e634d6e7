// The General and Icons pages end to end: an author sets identity, output, window style,
// profiles, included files and icons on a new document's settings sheet, publishes and
// leaves with OK; a second sheet reads every value back with "expect".
#include <gtest/gtest.h>

#include "png_maker.h"
#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

Json Expect(std::vector<std::pair<std::string, std::string>> fields) {
  Json object = Json::object();
  for (auto& [name, text] : fields) object[name] = text;
  return Json{{"expect", object}};
}

class GeneralAndIcons : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    document_ = NewDocument("My Movies/Hello");
    folder_ = document_.parent_path();
  }

  fs::path folder_;
  fs::path document_;
};

TEST_F(GeneralAndIcons, EverythingSetOnTheSheetIsPublishedSavedAndReadBack) {
  const std::string password = "secret";
  const fs::path keystore = box_.Root() / "keys" / "ann.p12";
  ASSERT_TRUE(MakeKeystore(keystore, password, box_.Root()));
  WriteText(folder_ / "icons" / "app 16.png", MakePng(16));
  WriteText(box_.Root() / "outside" / "big.png", MakePng(128));
  WriteText(folder_ / "readme.txt", "read me");
  WriteText(folder_ / "assets" / "data.txt", "data");

  const std::vector<std::pair<std::string, std::string>> values = {
      {"General.appid", "com.example.hello"},
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
  std::vector<Json> steps;
  for (const auto& [field, text] : values) steps.push_back(Set(field, text));
  for (const Json& step : std::vector<Json>{
           Press("General.addfile"), Press("General.addfolder"), Set("Icons.size", "图标 16x16"), Press("Icons.browse"),
           Set("Icons.size", "图标 128x128"), Press("Icons.browse"), Set("Signature.certpath", WindowsForm(keystore)),
           Set("Signature.password", password), Set("Signature.timestamp", "false"), Press("Publish"), Press("OK")}) {
    steps.push_back(step);
  }
  const RunResult run = box_.Run(
      {"settings", document_.string()},
      WithAnswers({Form("Settings", steps), Json{{"file", WindowsForm(folder_ / "readme.txt")}},
                   Json{{"folder", WindowsForm(folder_ / "assets")}},
                   Json{{"file", WindowsForm(folder_ / "icons" / "app 16.png")}},
                   Json{{"file", WindowsForm(box_.Root() / "outside" / "big.png")}}, Message("ok"), Message("yes"),
                   Message("yes")}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::string descriptor = ReadText(folder_ / "Hello-app.xml");
  for (const char* part : {"<id>com.example.hello</id>", "<name>Hello App</name>", "<version>1.2.3</version>",
                           "<filename>HelloApp</filename>", "<description>First line\nSecond line</description>",
                           "<copyright>© 2026 Ann</copyright>", "<systemChrome>none</systemChrome>",
                           "<transparent>true</transparent>", "<supportedProfiles>desktop extendedDesktop </supportedProfiles>",
                           "<image16x16>icons/app%2016.png</image16x16>",
                           "<image128x128>AppIconsForPublish/big.png</image128x128>"}) {
    EXPECT_NE(descriptor.find(part), std::string::npos) << part << "\n" << descriptor;
  }
  EXPECT_TRUE(fs::exists(folder_ / "AppIconsForPublish" / "big.png"));
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.zarodest"), "Hello.zaro");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.pubexe"), "false");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.count"), "2");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.item0"), "readme.txt");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.item1"), "assets");

  const fs::path package = folder_ / "Hello.zaro";
  const ToolRun verified = Verify(package, box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  const std::string bytes = ReadText(package);
  for (const char* entry : {"icons/app 16.png", "AppIconsForPublish/big.png", "readme.txt", "assets/data.txt"}) {
    EXPECT_NE(bytes.find(entry), std::string::npos) << entry;
  }

  // A second sheet reads every value back from the saved files.
  std::vector<std::pair<std::string, std::string>> shown = values;
  shown.emplace_back("General.destination", "Hello.zaro");
  shown.emplace_back("General.installer", "false");
  shown.emplace_back("Icons.path", "icons/app 16.png");  // the page opens on its first size
  const std::vector<Json> check = {Expect(shown),
                                   Set("Icons.size", "图标 128x128"),
                                   Expect({{"Icons.path", "AppIconsForPublish/big.png"}}),
                                   Set("General.included", "assets"),
                                   Expect({{"General.included", "assets"}}),
                                   Press("Cancel")};
  const RunResult again = box_.Run({"settings", document_.string()}, WithAnswers({Form("Settings", check)}));
  EXPECT_EQ(again.exitStatus, 0) << Describe(again);
  EXPECT_TRUE(again.EventsOf("form-error").empty()) << Describe(again);
}

}  // namespace
}  // namespace publish_e2e
