// "Publish" and "OpenSettingDialog" end to end, mostly in signing mode "prepare" as an author
// meets it in a build script.
#include "publish_e2e_support.h"

namespace {
using namespace publish_e2e;

const Json kPrepare = Form("Settings", {Set({{"Signature.prepare", "true"}}), Press("OK")});
const Json kCancel = Form("Settings", {Press("Cancel")});

// Each sandbox is switched to "prepare" on a sheet of its own first; the launcher records the tool.
class PublishPrepareMode : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    Run({"settings", NewDocument("Setup").string()}, {kPrepare});
    launcher_ = std::make_unique<RecordingLauncher>(box_);
  }
  std::string WorkSlash() { return Work().string() + "/"; }
  RunResult Publish(const fs::path& document) { return Run({"publish", document.string()}, {}); }
  Lines PrepareCommand(const std::string& output, const std::string& baseName, Lines more = {}) {
    Lines args{"-prepare", (Work() / output).string(), (Work() / (baseName + "-app.xml")).string(), "-C", WorkSlash(),
               baseName + ".qmv"};
    args.insert(args.end(), more.begin(), more.end());
    return ToolCommand(args);
  }

  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishPrepareMode, ANewDocumentGetsTheTemplateDescriptorAndAnIntermediateFile) {
  const fs::path document = NewDocument("Hello");
  const RunResult run = Publish(document);
  EXPECT_TRUE(Contains(ReadText(Work() / "Hello-app.xml"), "<content>Hello.qmv</content>"));
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Hello.zaroi", "Hello")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  ExpectVerified(Verify(Work() / "Hello.zaroi"), "this is an unsigned intermediate file", 1);
  EXPECT_EQ(Shown(run), kZaroiPublished);
  EXPECT_EQ(run.filesMade, (std::vector<fs::path>{"Hello-app.xml", "Hello.zaroi"}));
  // Without the sheet nothing is saved into the document.
  EXPECT_EQ(Texts(document, {"qmv.folder.path", "com.corvane.tessel.brisel.output.type"}), (Lines{"-", "zaro"}));
}

// The certificate and its remembered password were chosen earlier in the session; the author
// then switched to intermediate files. The installer is always signed. Without a certificate
// the installer asks for one after the intermediate file, and its tool run never starts.
TEST_F(PublishPrepareMode, WithTheInstallerOptionTheSignedInstallerFollowsTheIntermediateFile) {
  const fs::path keystore = Keystore("installer.p12", "inst-pass");
  const std::string installer = "doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\n";
  EXPECT_EQ(Shown(Script(installer + "publish();\n", NewDocument("Both"))),
            (Lines{kZaroiPublished[0], kZaroiPublished[1], MessageLine("必须选择证书", 48)}));
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Both.zaroi", "Both")});
  EXPECT_FALSE(fs::exists(Work() / "Both.exe"));

  const fs::path document = NewDocument("Setup2");
  const Json signing = {{"Signature.usecert", "true"}, {"Signature.certpath", WindowsForm(keystore)},
                        {"Signature.password", "inst-pass"}, {"Signature.rempwd", "true"},
                        {"Signature.timestamp", "false"}};
  const RunResult run = Script(installer + "settings();\nsettings();\npublish();\n", document,
                               {Form("Settings", {Set(signing), Press("OK")}), Message("yes"), kPrepare});
  EXPECT_EQ(launcher_->Calls(),
            (std::vector<Lines>{PrepareCommand("Setup2.zaroi", "Setup2"),
                                ToolCommand({"-package", "-storetype", "PKCS12", "-keystore", keystore.string(),
                                             "-storepass", "inst-pass", "-tsa", "none", "-target", "native",
                                             (Work() / "Setup2.exe").string(), (Work() / "Setup2-app.xml").string(),
                                             "-C", WorkSlash(), "Setup2.qmv"})}));
  EXPECT_TRUE(IsIntermediateFile(Work() / "Setup2.zaroi"));
  ExpectVerified(Verify(Work() / "Setup2.exe"), "installer: the package starts at byte");
  EXPECT_EQ(Shown(run), (Lines{MessageLine(kNoTimestampQuestion, 308, "yes"), FormLine("Settings"),
                               FormLine("Settings"), kZaroiPublished[0], kZaroiPublished[1], FormLine("CProgressDlg"),
                               MessageLine("Windows 安装文件已创建。", 64)}));
  // The second sheet changed the signing choice and was left with OK: its settings are kept.
  EXPECT_EQ(Texts(document, {"com.zaro.quessa.pubexe", "tessel.qmv.basename", "qmv.folder.path",
                             "com.zaro.quessa.certpwd"}),
            (Lines{"true", "Setup2", WorkSlash(), "-"}));
}

// The sheet saves where the movie lives and the output file its General page showed, "Old.zaro";
// after "Save as" New.tsd (document and data copied, the movie compiled under the new name) the
// copy keeps it, so the new movie's intermediate file gets that name. No OK, no saved base name.
TEST_F(PublishPrepareMode, ADocumentSavedUnderANewNameKeepsItsOutputFile) {
  const fs::path old = NewDocument("Old"), renamed = Work() / "New.tsd";
  Run({"settings", old.string()}, {kPrepare});
  fs::copy_file(old, renamed);
  fs::copy_file(Movie(old), Movie(renamed));
  EXPECT_EQ(Shown(Publish(renamed)), kZaroiPublished);
  EXPECT_EQ(Texts(renamed, {"com.zaro.quessa.zarodest", "tessel.qmv.basename"}), (Lines{"Old.zaro", "Old"}));
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Old.zaroi", "New")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Old.zaroi"));
}

// Missing icons are listed in order (the application's, then the file types') and stop the command
// before the tool. The tool's own reports reach the box: the module finds "100%25.png" but the
// command drops its "%", so the tool misses it; an invalid application ID is named by its element.
TEST_F(PublishPrepareMode, ChecksBeforeAndResultsOfTheToolAreShown) {
  WriteText(Work() / "icons" / "a48.png", "png");
  WriteText(Work() / "icons" / "100%25.png", "png");
  const struct { std::string name, id, descriptorExtra, shown; std::vector<Lines> calls; } cases[] = {
      {"Icons", "com.example.checks",
       "  <icon><image16x16>icons/a16.png</image16x16><image48x48>icons/a48.png</image48x48>"
       "<image128x128>icons/a%20128.png</image128x128></icon>\n"
       "  <fileTypes><fileType><name>doc</name><extension>hdoc</extension>"
       "<icon><image32x32>icons/t32.png</image32x32></icon></fileType></fileTypes>\n",
       "缺少图标文件。\nicons/a 128.png\nicons/a16.png\nicons/t32.png", {}},
      {"Pct", "com.example.pct", "  <icon><image16x16>icons/100%25.png</image16x16></icon>\n",
       std::string(kCreateFileError) + "缺少文件或无法打开文件。\n(icons/10025.png)",
       {PrepareCommand("Pct.zaroi", "Pct", {"icons/10025.png"})}},
      {"BadId", "bad id!", "", std::string(kCreateFileError) + "应用程序描述符文件中的属性或元素包含无效的值。\n(application.id)",
       {PrepareCommand("BadId.zaroi", "BadId")}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path document = NewDocument(c.name);
    WriteText(Work() / (c.name + "-app.xml"), DescriptorXml(c.name, c.id, c.descriptorExtra));
    const RunResult run = Publish(document);
    Lines shown{MessageLine(c.shown, 48)};
    if (!c.calls.empty()) shown.insert(shown.begin(), FormLine("CProgressDlg"));
    EXPECT_EQ(Shown(run), shown);
    EXPECT_EQ(launcher_->Calls(), c.calls);
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{});
  }
}

// Something in the movie's place that the host cannot replace.
TEST_F(PublishPrepareMode, AFailedExportStopsTheSheetsPublishButton) {
  const fs::path document = NewDocument("Blocked");
  fs::remove(Work() / "Blocked.qmv");
  WriteText(Work() / "Blocked.qmv" / "keep", "");
  const Json sheet = Form("Settings", {Set({{"Signature.prepare", "true"}}), Press("Publish"), Press("Cancel")});
  const RunResult run = Run({"settings", document.string()}, {sheet});
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;
  EXPECT_EQ(Shown(run), (Lines{MessageLine("导出 QMV 文件时出错。请在编译器错误面板中查看错误。", 64), FormLine("Settings")}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_FALSE(fs::exists(Work() / "Blocked.zaroi"));
  EXPECT_EQ(Texts(document, {"qmv.folder.path"}), Lines{"-"});  // Cancel keeps nothing
}

TEST_F(PublishPrepareMode, APreReleaseDescriptorIsRegeneratedForPublishAndTest) {
  const fs::path document = NewDocument("Early");
  const std::string early = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                            "<application xmlns=\"http://ns.corvane.example/zaro/application/1.0.M6\">\n"
                            "  <id>early.app</id>\n  <name>Early</name>\n</application>\n";
  WriteText(Work() / "Early-app.xml", early);
  EXPECT_EQ(Shown(Publish(document)), kZaroiPublished);
  const std::string descriptor = ReadText(Work() / "Early-app.xml");
  EXPECT_FALSE(Contains(descriptor, "1.0.M6")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<content>Early.qmv</content>")) << descriptor;
  EXPECT_TRUE(IsIntermediateFile(Work() / "Early.zaroi"));

  WriteText(Work() / "Early-app.xml", early);
  const RunResult test = Run({"test", document.string()}, {});
  EXPECT_EQ(Shown(test), Lines{});  // not even the unparsable-descriptor box
  EXPECT_EQ(test.OutputLines("tessel: debugZAROMovie(").size(), 1u) << test.out;
  EXPECT_FALSE(Contains(ReadText(Work() / "Early-app.xml"), "1.0.M6"));
}

// A full path with a trailing separator, then a bare name of a folder beside the movie.
TEST_F(PublishPrepareMode, ADestinationNamingAFolderGetsThePackageNameInside) {
  const fs::path document = NewDocument("Dest");
  for (const std::string folder : {"outdir", "bare"}) {
    fs::create_directories(Work() / folder);
    const std::string destination = folder == "bare" ? folder : WorkSlash() + folder + "/";
    const std::string put = "doc.addDataToDocument('com.zaro.quessa.zarodest', 'string', '" + destination + "');\n";
    EXPECT_EQ(Shown(Script(put + "publish();\n", document)), kZaroiPublished);
    EXPECT_TRUE(IsIntermediateFile(Work() / folder / "Dest.zaroi"));
  }
  EXPECT_FALSE(fs::exists(Work() / "outdir" / ".zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "bare.zaroi"));
}

TEST_F(PublishTest, OnlyPublishUpgradesADescriptorWrittenForRuntime11) {
  const fs::path doc = NewDocument("Legacy");
  std::string legacy = DescriptorXml("Legacy", "legacy.app"), upgraded = legacy.substr(legacy.find("?>") + 2);
  WriteText(Descriptor(doc), legacy.replace(legacy.find("2.0\""), 3, "1.1"));
  EXPECT_EQ(Shown(Run({"settings", doc.string()}, {kCancel}), true), Lines{"form|Settings|cancel"});
  EXPECT_EQ(ReadText(Descriptor(doc)), legacy);
  // No certificate yet: the sheet instead of a package.
  EXPECT_EQ(Shown(Run({"publish", doc.string()}, {kCancel}), true), Lines{"form|Settings|cancel"});
  // Everything after the XML declaration, which the library's writer may spell its own way.
  EXPECT_EQ(ReadText(Descriptor(doc)).substr(ReadText(Descriptor(doc)).find("?>") + 2), upgraded);
}

// A fresh iPhone document and a desktop one saved with output type "ipa" need credentials first:
// Publish opens the sheet. A new document takes its own template, never a stray descriptor.
TEST_F(PublishTest, PublishingForTheIphoneWithoutCredentialsOpensTheSheetAndBuildsNothing) {
  const fs::path fresh = NewDocument("Phone", "iphone"), outputType = NewDocument("Fresh");
  PutDocumentTexts(outputType, {{"com.corvane.tessel.brisel.output.type", "ipa"}});
  WriteText(Work() / "-app.xml", DescriptorXml("Stray", "stray.app"));
  for (const fs::path& doc : {fresh, outputType}) {
    SCOPED_TRACE(doc.stem().string());
    const std::string before = ReadText(doc);
    const RunResult run = Run({"publish", doc.string()}, {kCancel});
    EXPECT_EQ(Shown(run, true), Lines{"form|Settings|cancel"});
    // Only the default descriptor was written; no package, and Cancel kept the document.
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{Descriptor(doc).filename()});
    const std::string descriptor = ReadText(Descriptor(doc));
    EXPECT_TRUE(Contains(descriptor, "<content>" + doc.stem().string() + ".qmv</content>")) << descriptor;
    EXPECT_FALSE(Contains(descriptor, "stray")) << descriptor;
    EXPECT_EQ(ReadText(doc), before);
  }
}

// Preloads the recorder, which writes the libraries a run had mapped when it ended to the file.
std::map<std::string, std::string> RecordingMaps(const fs::path& file) {
  // A sanitizer build wants its runtime first; the recorder may come before it here.
  const char* asan = std::getenv("ASAN_OPTIONS");
  return {{"LD_PRELOAD", ZARO_MAPS_RECORDER}, {"ZARO_MAPS_FILE", file.string()},
          {"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"}};
}

void ExpectNoToolkit(const fs::path& maps, const std::string& what) {
  ASSERT_TRUE(Contains(ReadText(maps), "libzaropublish.so")) << what << ": the module was not recorded";
  for (const char* toolkit : {"libzaropublish_wx.so", "libwx_", "libgtk-3", "libgdk-3", "libgdk_pixbuf"}) {
    EXPECT_FALSE(Contains(ReadText(maps), toolkit)) << what << " mapped " << toolkit;
  }
}

// A command that shows no window loads no toolkit: terminal and answers-file runs map neither the
// window views nor any wx or GTK library, whatever DISPLAY says. A terminal run needing a dialog
// fails; one that needs none shows its progress line at the terminal.
TEST_F(PublishTest, RunsWithoutAWindowMapNoToolkitAndFailWhenTheyNeedADialog) {
  const fs::path document = NewDocument("Hello");
  // Publish without a certificate opens the sheet instead of building: the same.
  for (const std::string verb : {"settings", "publish"}) {
    const RunResult refused =
        box_.Run({verb, document.string()}, {std::nullopt, RecordingMaps(box_.Root() / ("maps-" + verb)), false});
    EXPECT_EQ(refused.exitStatus, 1) << refused.out << refused.err;
    EXPECT_TRUE(Contains(refused.err, "the dialog Settings needs a display")) << refused.err;
    ExpectNoToolkit(box_.Root() / ("maps-" + verb), "the terminal " + verb + " run");
  }
  EXPECT_FALSE(fs::exists(Work() / "Hello.zaro"));
  // A scripted settings run, with a display named: answers files never open a window.
  tessel::e2e::RunOptions scripted{.answers = WithAnswers({kPrepare}).answers,
                                   .environment = RecordingMaps(box_.Root() / "maps-scripted"), .keepDisplay = true};
  scripted.environment["DISPLAY"] = ":979";
  Succeeded(box_.Run({"settings", document.string()}, scripted));
  ExpectNoToolkit(box_.Root() / "maps-scripted", "the scripted settings run");

  // At a terminal without a display the progress line shows its words beside the spinner and is wiped
  // when the tool ends, so the result box starts on a clean line. `script` gives the run a terminal.
  RecordingLauncher launcher(box_);
  std::string preload = "env ";
  for (const auto& [name, value] : RecordingMaps(box_.Root() / "maps-terminal")) preload += name + "='" + value + "' ";
  const std::string command = preload + "'" + Sandbox::Tessel().string() + "' publish '" + document.string() + "'";
  const fs::path atTerminal = box_.WriteFile("terminal", "#!/bin/sh\nexec script -qec \"" + command + "\" /dev/null\n");
  fs::permissions(atTerminal, fs::perms::owner_all);
  box_.UseTessel(atTerminal);
  const std::string shown = Succeeded(box_.Run({})).out;
  const size_t words = shown.find("| 正在发布... 0.");
  const size_t box = shown.find(std::string("[Corvane Tessel KV5] information: ") + kZaroiCreated);
  ASSERT_NE(box, std::string::npos) << shown;
  const size_t wiped = shown.rfind("\r\033[K", box);
  ASSERT_NE(wiped, std::string::npos) << shown;
  EXPECT_LT(words, wiped) << shown;
  EXPECT_EQ(shown.find("正在发布", wiped), std::string::npos) << "nothing of the line is left after it is wiped";
  EXPECT_EQ(launcher.Calls().size(), 1u);
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  ExpectNoToolkit(box_.Root() / "maps-terminal", "the terminal publish");
}

}  // namespace
