// File types and the Advanced page end to end: an author sets them through "tessel
// settings", the descriptor holds them, and the installer that "Publish" builds registers
// them with the desktop under the prefix it is installed into and takes them away again.
#include <gtest/gtest.h>

#include <cstdlib>

#include "png_maker.h"
#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

// True when the parts appear in the text in this order.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

using FileTypesEndToEnd = PublishTest;

TEST_F(FileTypesEndToEnd, AuthorSetsTypesAndWindowThenTheInstallerRegistersThem) {
  const fs::path document = NewDocument("Viewer");
  const fs::path keystore = box_.Root() / "keys" / "author.p12";
  ASSERT_TRUE(MakeKeystore(keystore, "pass", box_.Root()));
  // One icon outside the movie folder (copied in after the question), one inside it.
  const fs::path outside = box_.WriteFile("art/doc16.png", MakePng(16));
  box_.WriteFile("work/icons/doc32.png", MakePng(32));
  box_.WriteFile("work/icons/note16.png", MakePng(16));

  const RunResult run = Script(
      "doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\nsettings();\npublish();\n", document,
      {
          Form("Settings",
               {Set("Signature.usecert", "true"), Set("Signature.certpath", WindowsForm(keystore)),
                Set("Signature.password", "pass"), Set("Signature.rempwd", "true"), Set("Signature.timestamp", "false"),
                Press("Advanced.addtype"), Press("Advanced.addtype"), Set("Advanced.width", " 800 "),
                Set("Advanced.height", "600"), Set("Advanced.x", "10"), Set("Advanced.y", "20"),
                Set("Advanced.minwidth", "320"), Set("Advanced.minheight", "240"), Set("Advanced.maxwidth", "1024"),
                Set("Advanced.maxheight", "768"), Set("Advanced.maximizable", "false"),
                Set("Advanced.installfolder", "Corvane/Viewer"), Set("Advanced.programmenu", "Viewer Apps"),
                Set("Advanced.customupdate", "true"), Press("OK")}),
          Form("FileType", {Set("name", "viewer.Doc"), Set("extension", "vdoc"), Set("description", "Viewer document"),
                            Set("contenttype", "application/x-viewer-doc"), Press("browse16"),
                            Set("icon32", "icons\\doc32.png"), Press("OK")}),
          Json{{"file", WindowsForm(outside)}},
          Message("ok"),  // copy the icon into the movie folder
          Form("FileType", {Set("name", "viewer.Note"), Set("extension", "vnote"),
                            Set("contenttype", "application/x-viewer-note"), Press("browse16"), Press("OK")}),
          Json{{"file", WindowsForm(Work() / "icons" / "note16.png")}},
          Message("yes"),  // no time stamp
      });
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  ASSERT_TRUE(fs::exists(Work() / "FileTypeIconsForZAROPublish" / "doc16.png")) << "copied beside the movie";

  const std::string descriptor = ReadText(Work() / "Viewer-app.xml");
  EXPECT_TRUE(InOrder(descriptor, {"<width>800</width>", "<height>600</height>", "<x>10</x>", "<y>20</y>",
                                   "<minSize>320 240</minSize>", "<maxSize>1024 768</maxSize>",
                                   "<maximizable>false</maximizable>", "</initialWindow>",
                                   "<customUpdateUI>true</customUpdateUI>",
                                   "<installFolder>Corvane/Viewer</installFolder>",
                                   "<programMenuFolder>Viewer Apps</programMenuFolder>", "<fileTypes>",
                                   "<name>viewer.Doc</name>", "<extension>vdoc</extension>",
                                   "<description>Viewer document</description>",
                                   "<contentType>application/x-viewer-doc</contentType>",
                                   "<image16x16>FileTypeIconsForZAROPublish/doc16.png</image16x16>",
                                   "<image32x32>icons/doc32.png</image32x32>", "<name>viewer.Note</name>",
                                   "<image16x16>icons/note16.png</image16x16>", "</fileTypes>"}))
      << descriptor;
  // The author opens the sheet again and sees the values and the types as set.
  Json shown = Json::object();
  for (const auto& [field, text] : std::vector<std::pair<std::string, std::string>>{
           {"Advanced.width", "800"}, {"Advanced.height", "600"}, {"Advanced.x", "10"}, {"Advanced.y", "20"},
           {"Advanced.minwidth", "320"}, {"Advanced.minheight", "240"}, {"Advanced.maxwidth", "1024"},
           {"Advanced.maxheight", "768"}, {"Advanced.maximizable", "false"}, {"Advanced.resizable", "true"},
           {"Advanced.installfolder", "Corvane/Viewer"}, {"Advanced.programmenu", "Viewer Apps"},
           {"Advanced.customupdate", "true"}}) {
    shown[field] = text;
  }
  const RunResult again = box_.Run(
      {"settings", document.string()},
      WithAnswers({Form("Settings", {Json{{"expect", shown}}, Set("Advanced.filetypes", "viewer.Note(vnote)"),
                                     Press("Advanced.edittype"), Press("Cancel")}),
                   Form("FileType", {Json{{"expect", Json{{"name", "viewer.Note"},
                                                          {"contenttype", "application/x-viewer-note"},
                                                          {"icon16", "icons/note16.png"}}}},
                                     Press("Cancel")})}));
  EXPECT_EQ(again.exitStatus, 0) << Describe(again);

  const fs::path installer = Work() / "Viewer.exe";
  ASSERT_TRUE(fs::exists(installer)) << Describe(run);
  EXPECT_EQ(Verify(installer, box_.Root()).exitCode, 0);

  const fs::path prefix = box_.Root() / "installed";
  fs::create_directories(prefix);
  ASSERT_EQ(Shell("sh '" + installer.string() + "' '" + prefix.string() + "' >/dev/null"), 0);
  const fs::path share = prefix / "share";
  const std::string mime = ReadText(share / "mime" / "packages" / "Viewer.xml");
  EXPECT_TRUE(InOrder(mime, {"<mime-type type=\"application/x-viewer-doc\">", "<comment>Viewer document</comment>",
                             "<glob pattern=\"*.vdoc\"/>", "<mime-type type=\"application/x-viewer-note\">",
                             "<comment>viewer.Note</comment>", "<glob pattern=\"*.vnote\"/>"}))
      << mime;
  const fs::path entry = share / "applications" / "Viewer.desktop";
  EXPECT_NE(ReadText(entry).find("MimeType=application/x-viewer-doc;application/x-viewer-note;\n"), std::string::npos)
      << ReadText(entry);
  EXPECT_EQ(ReadText(share / "icons" / "hicolor" / "16x16" / "mimetypes" / "application-x-viewer-doc.png"),
            MakePng(16));
  EXPECT_TRUE(fs::exists(share / "icons" / "hicolor" / "32x32" / "mimetypes" / "application-x-viewer-doc.png"));
  EXPECT_TRUE(fs::exists(share / "icons" / "hicolor" / "16x16" / "mimetypes" / "application-x-viewer-note.png"));

  const fs::path target = prefix / "Corvane" / "Viewer";
  ASSERT_EQ(Shell("sh '" + (target / ".zaro-install" / "uninstall.sh").string() + "'"), 0);
  EXPECT_FALSE(fs::exists(prefix / "Corvane"));
  EXPECT_FALSE(fs::exists(share)) << "nothing the installer added is left";
  EXPECT_TRUE(fs::is_empty(prefix));
}

}  // namespace
}  // namespace publish_e2e
