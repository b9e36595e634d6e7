// The settings sheet's pages end to end: what an author sets is published, saved and read back
// by a second sheet with "expect"; file types reach the desktop through the installer.
#include "publish_e2e_support.h"

namespace {
using namespace publish_e2e;

bool InOrder(const std::string& text, const Lines& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    if ((at = text.find(part, at)) == std::string::npos) return false;
  }
  return true;
}

using FileTypesEndToEnd = PublishTest;

TEST_F(FileTypesEndToEnd, AuthorSetsTypesAndWindowThenTheInstallerRegistersThem) {
  const fs::path document = NewDocument("Viewer"), keystore = Keystore("author.p12", "pass");
  // One icon outside the movie folder (copied in after the question), one inside it.
  const fs::path outside = box_.WriteFile("art/doc16.png", zpk::testing::MakePng(16, 16));
  box_.WriteFile("work/icons/doc32.png", zpk::testing::MakePng(32, 32));
  box_.WriteFile("work/icons/note16.png", zpk::testing::MakePng(16, 16));
  const Json advanced = {{"Advanced.width", "800"}, {"Advanced.height", "600"}, {"Advanced.x", "10"},
                         {"Advanced.y", "20"}, {"Advanced.minwidth", "320"}, {"Advanced.minheight", "240"},
                         {"Advanced.maxwidth", "1024"}, {"Advanced.maxheight", "768"},
                         {"Advanced.maximizable", "false"}, {"Advanced.installfolder", "Corvane/Viewer"},
                         {"Advanced.programmenu", "Viewer Apps"}, {"Advanced.customupdate", "true"}};
  Json typed = advanced;
  typed["Advanced.width"] = " 800 ";
  const Json signing = {{"Signature.usecert", "true"}, {"Signature.certpath", WindowsForm(keystore)},
                        {"Signature.password", "pass"}, {"Signature.rempwd", "true"}, {"Signature.timestamp", "false"}};
  Script("doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\nsettings();\npublish();\n", document,
         {Form("Settings",
               {Set(signing), Press("Advanced.addtype"), Press("Advanced.addtype"), Set(typed), Press("OK")}),
          Form("FileType", {Set({{"name", "viewer.Doc"}, {"extension", "vdoc"}, {"description", "Viewer document"},
                                 {"contenttype", "application/x-viewer-doc"}}),
                            Press("browse16"), Set({{"icon32", "icons\\doc32.png"}}), Press("OK")}),
          File(outside), Message("ok"),  // copy the icon into the movie folder
          Form("FileType", {Set({{"name", "viewer.Note"}, {"extension", "vnote"},
                                 {"contenttype", "application/x-viewer-note"}}),
                            Press("browse16"), Press("OK")}),
          File(Work() / "icons" / "note16.png"), Message("yes")});  // no time stamp
  ASSERT_TRUE(fs::exists(Work() / "FileTypeIconsForZAROPublish" / "doc16.png")) << "copied beside the movie";

  const std::string descriptor = ReadText(Work() / "Viewer-app.xml");
  // The file types follow the dialogs; the read-back below finds the window and application values.
  EXPECT_TRUE(InOrder(descriptor, {"<fileTypes>", "<name>viewer.Doc</name>", "<extension>vdoc</extension>",
                                   "<description>Viewer document</description>",
                                   "<contentType>application/x-viewer-doc</contentType>",
                                   "<image16x16>FileTypeIconsForZAROPublish/doc16.png</image16x16>",
                                   "<image32x32>icons/doc32.png</image32x32>", "<name>viewer.Note</name>",
                                   "<image16x16>icons/note16.png</image16x16>", "</fileTypes>"}))
      << descriptor;
  Json shown = advanced;
  shown["Advanced.resizable"] = "true";
  EXPECT_EQ(Shown(Run({"settings", document.string()}, {Form("Settings", {Expect(shown), Press("Cancel")})})),
            Lines{FormLine("Settings")});

  const fs::path installer = Work() / "Viewer.exe", prefix = box_.Root() / "installed", share = prefix / "share";
  EXPECT_EQ(Verify(installer).code, 0);
  fs::create_directories(prefix);
  ASSERT_EQ(zpk::testing::RunShell("sh '" + installer.string() + "' '" + prefix.string() + "'").code, 0);
  const std::string entry = ReadText(share / "applications" / "Viewer.desktop");
  EXPECT_TRUE(Contains(entry, "MimeType=application/x-viewer-doc;application/x-viewer-note;\n")) << entry;
}

using GeneralAndIcons = PublishTest;

TEST_F(GeneralAndIcons, EverythingSetOnTheSheetIsPublishedSavedAndReadBack) {
  const fs::path document = NewDocument("My Movies/Hello"), folder = document.parent_path(),
                 keystore = Keystore("ann.p12", "secret");
  WriteText(folder / "icons" / "app 16.png", zpk::testing::MakePng(16, 16));
  WriteText(box_.Root() / "outside" / "big.png", zpk::testing::MakePng(128, 128));
  WriteText(folder / "readme.txt", "read me");
  WriteText(folder / "assets" / "data.txt", "data");
  const Json values = {{"General.appid", "com.example.hello"}, {"General.appname", "Hello App"},
                       {"General.version", "1.2.3"}, {"General.filename", "HelloApp"},
                       {"General.description", "First line\r\nSecond line"}, {"General.copyright", "© 2026 Ann"},
                       {"General.windowstyle", "自定义镶边（透明）"}, {"General.desktop", "true"},
                       {"General.mobileDevice", "false"}, {"General.extendedDesktop", "true"},
                       {"General.extendedMobileDevice", "false"}};
  Run({"settings", document.string()},
      {Form("Settings", {Set(values), Press("General.addfile"), Press("General.addfolder"),
                         Set({{"Icons.size", "图标 16x16"}}), Press("Icons.browse"), Set({{"Icons.size", "图标 128x128"}}),
                         Press("Icons.browse"),
                         Set({{"Signature.certpath", WindowsForm(keystore)}, {"Signature.password", "secret"},
                              {"Signature.timestamp", "false"}}),
                         Press("Publish"), Press("OK")}),
       File(folder / "readme.txt"), Json{{"folder", WindowsForm(folder / "assets")}},
       File(folder / "icons" / "app 16.png"), File(box_.Root() / "outside" / "big.png"), Message("ok"), Message("yes"),
       Message("yes")});

  EXPECT_TRUE(fs::exists(folder / "AppIconsForPublish" / "big.png"));
  EXPECT_EQ(Texts(document, {"com.zaro.quessa.zarodest", "com.zaro.quessa.pubexe", "com.zaro.quessa.included.count",
                             "com.zaro.quessa.included.item0", "com.zaro.quessa.included.item1"}),
            (Lines{"Hello.zaro", "false", "2", "readme.txt", "assets"}));
  ExpectVerified(Verify(folder / "Hello.zaro"), "Ann Author");
  ExpectHolds(ReadText(folder / "Hello.zaro"),
              {"icons/app 16.png", "AppIconsForPublish/big.png", "readme.txt", "assets/data.txt"});

  // How the pages write their elements is their own tests' matter; a second sheet reads it all back.
  Json shown = values;
  shown.update({{"General.destination", "Hello.zaro"}, {"General.installer", "false"},
                {"Icons.path", "icons/app 16.png"}});  // the page opens on its first size
  EXPECT_EQ(Shown(Run({"settings", document.string()},
                      {Form("Settings", {Expect(shown), Set({{"Icons.size", "图标 128x128"}}),
                                         Expect({{"Icons.path", "AppIconsForPublish/big.png"}}),
                                         Set({{"General.included", "assets"}}),
                                         Expect({{"General.included", "assets"}}), Press("Cancel")})})),
            Lines{FormLine("Settings")});
}

}  // namespace
