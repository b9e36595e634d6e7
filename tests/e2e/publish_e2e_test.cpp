// "Publish" end to end with signing mode "prepare", as an author meets it in a build script:
// the intermediate file and the installer, a document saved under a new name, pre-release
// descriptors, destinations, the checks that stop before the tool, the tool's results as the
// author sees them, and Cancel during a run.
#include <gtest/gtest.h>

#include <memory>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

// Each test's sandbox is switched to "prepare" through the settings sheet first, as an
// author would (on a document of its own); the Java launcher records the tool's runs.
class PublishPrepareMode : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    const RunResult run = Run({"settings", NewDocument("Setup").string()}, {kPrepare});
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    launcher_ = std::make_unique<RecordingLauncher>(box_);
  }

  std::string WorkSlash() { return Work().string() + "/"; }
  RunResult Publish(const fs::path& document, const std::vector<Json>& answers = {}) {
    return Run({"publish", document.string()}, answers);
  }
  // The tool's arguments for a prepared package of `baseName` in the work folder.
  Lines PrepareCommand(const std::string& output, const std::string& baseName, Lines more = {}) {
    Lines args{"-prepare", (Work() / output).string(), (Work() / (baseName + "-app.xml")).string(), "-C", WorkSlash(),
               baseName + ".qmv"};
    args.insert(args.end(), more.begin(), more.end());
    return ToolCommand(args);
  }

  const Json kPrepare = Form("Settings", {Set({{"Signature.prepare", "true"}}), Press("OK")});
  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishPrepareMode, ANewDocumentGetsTheTemplateDescriptorAndAnIntermediateFile) {
  const fs::path document = NewDocument("Hello");
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_TRUE(Contains(ReadText(Work() / "Hello-app.xml"), "<content>Hello.qmv</content>"));
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Hello.zaroi", "Hello")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  const auto verified = Verify(Work() / "Hello.zaroi");
  EXPECT_EQ(verified.code, 1);
  EXPECT_TRUE(Contains(verified.output, "this is an unsigned intermediate file")) << verified.output;
  EXPECT_EQ(Shown(run), kZaroiPublished);
  EXPECT_EQ(run.filesMade, (std::vector<fs::path>{"Hello-app.xml", "Hello.zaroi"}));
  // Without the sheet nothing is saved into the document.
  EXPECT_EQ(Texts(document, {"qmv.folder.path", "com.corvane.tessel.brisel.output.type"}), (Lines{"-", "zaro"}));
}

TEST_F(PublishPrepareMode, WithTheInstallerOptionTheSignedInstallerFollowsTheIntermediateFile) {
  // The certificate and its remembered password were chosen earlier in the session; the
  // author then switched to intermediate files. The installer is always signed.
  const fs::path keystore = Keystore("installer.p12", "inst-pass");
  const fs::path document = NewDocument("Setup2");
  const RunResult run = Script("doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\n"
                               "settings();\nsettings();\npublish();\n",
                               document,
                               {Form("Settings", {Set({{"Signature.usecert", "true"},
                                                       {"Signature.certpath", WindowsForm(keystore)},
                                                       {"Signature.password", "inst-pass"},
                                                       {"Signature.rempwd", "true"},
                                                       {"Signature.timestamp", "false"}}),
                                                  Press("OK")}),
                                Message("yes"), kPrepare});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(launcher_->Calls(),
            (std::vector<Lines>{PrepareCommand("Setup2.zaroi", "Setup2"),
                                ToolCommand({"-package", "-storetype", "PKCS12", "-keystore", keystore.string(),
                                             "-storepass", "inst-pass", "-tsa", "none", "-target", "native",
                                             (Work() / "Setup2.exe").string(), (Work() / "Setup2-app.xml").string(),
                                             "-C", WorkSlash(), "Setup2.qmv"})}));
  EXPECT_TRUE(IsIntermediateFile(Work() / "Setup2.zaroi"));
  const auto verified = Verify(Work() / "Setup2.exe");
  EXPECT_EQ(verified.code, 0) << verified.output;
  EXPECT_TRUE(Contains(verified.output, "installer: the package starts at byte")) << verified.output;
  EXPECT_EQ(Shown(run), (Lines{MessageLine(kNoTimestampQuestion, 308, "yes"), FormLine("Settings"),
                               FormLine("Settings"), kZaroiPublished[0], kZaroiPublished[1], FormLine("CProgressDlg"),
                               MessageLine("Windows 安装文件已创建。", 64)}));
  // The second sheet changed the signing choice and was left with OK: its settings are kept.
  EXPECT_EQ(Texts(document, {"com.zaro.quessa.pubexe", "tessel.qmv.basename", "qmv.folder.path",
                             "com.zaro.quessa.certpwd"}),
            (Lines{"true", "Setup2", WorkSlash(), "-"}));
}

TEST_F(PublishPrepareMode, ADocumentSavedUnderANewNameCarriesItsDescriptorOver) {
  const fs::path old = NewDocument("Old");
  // The sheet saves where the movie lives; the author then edits the descriptor by hand.
  const RunResult first = Run({"settings", old.string()}, {kPrepare});
  ASSERT_EQ(first.exitStatus, 0) << Describe(first);
  std::string oldDescriptor = ReadText(Work() / "Old-app.xml");
  ASSERT_TRUE(Contains(oldDescriptor, "<id>Old</id>")) << oldDescriptor;
  WriteText(Work() / "Old-app.xml", oldDescriptor.replace(oldDescriptor.find("<id>Old</id>"), 12, "<id>kept</id>"));

  // "Save as" New.tsd: the document with its data, and the movie compiled under the new name.
  const fs::path renamed = Work() / "New.tsd";
  fs::copy_file(old, renamed);
  fs::copy_file(Movie(old), Movie(renamed));
  const RunResult run = Publish(renamed);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_TRUE(Contains(ReadText(Descriptor(renamed)), "<id>kept</id>"));
  // The first sheet's General page stored the output file it showed, "Old.zaro"; the copy
  // keeps it, so the intermediate file of the new movie is written under that name. The
  // base name is not saved without the sheet's OK.
  EXPECT_EQ(Texts(renamed, {"com.zaro.quessa.zarodest", "tessel.qmv.basename"}), (Lines{"Old.zaro", "Old"}));
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Old.zaroi", "New")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Old.zaroi"));
  EXPECT_EQ(Shown(run), kZaroiPublished);
}

// Missing icons are listed in their order (the application's, then the file types'), a
// destination in a folder that does not exist is refused, and a failed export stops the
// sheet's Publish: none reaches the tool. What the tool itself reports reaches the author's
// box: the icon file "100%25.png" is found by the module, but the command carries the name
// with its "%" dropped, which the tool does not find; an invalid application ID is named by
// its element.
TEST_F(PublishPrepareMode, ChecksBeforeAndResultsOfTheToolAreShown) {
  WriteText(Work() / "icons" / "a48.png", "png");
  WriteText(Work() / "icons" / "100%25.png", "png");
  const struct {
    std::string name, id, descriptorExtra, destination, shown;
    Lines toolArguments;
  } cases[] = {
      {"Icons", "com.example.checks",
       "  <icon><image16x16>icons/a16.png</image16x16><image48x48>icons/a48.png</image48x48>"
       "<image128x128>icons/a%20128.png</image128x128></icon>\n"
       "  <fileTypes><fileType><name>doc</name><extension>hdoc</extension>"
       "<icon><image32x32>icons/t32.png</image32x32></icon></fileType></fileTypes>\n",
       "", "缺少图标文件。\nicons/a 128.png\nicons/a16.png\nicons/t32.png"},
      {"Dest", "com.example.checks", "", (box_.Root() / "no-such-folder" / "out.zaro").string(),
       std::string(kCreateFileError) + "无法写入到目标目录。"},
      {"Pct", "com.example.pct", "  <icon><image16x16>icons/100%25.png</image16x16></icon>\n", "",
       std::string(kCreateFileError) + "缺少文件或无法打开文件。\n(icons/10025.png)", {"icons/10025.png"}},
      {"BadId", "bad id!", "", "", std::string(kCreateFileError) + "应用程序描述符文件中的属性或元素包含无效的值。\n(application.id)",
       {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    launcher_->Reset();
    const fs::path document = NewDocument(c.name);
    WriteText(Work() / (c.name + "-app.xml"), DescriptorXml(c.name, c.id, c.descriptorExtra));
    if (!c.destination.empty()) PutDocumentText(document, "com.zaro.quessa.zarodest", c.destination);
    const RunResult run = Publish(document);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    std::vector<Lines> calls;
    Lines shown{MessageLine(c.shown, 48)};
    if (c.name == "Pct" || c.name == "BadId") {  // these reach the tool
      calls.push_back(PrepareCommand(c.name + ".zaroi", c.name, c.toolArguments));
      shown.insert(shown.begin(), FormLine("CProgressDlg"));
    }
    EXPECT_EQ(Shown(run), shown);
    EXPECT_EQ(launcher_->Calls(), calls);
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{});
  }
  EXPECT_FALSE(fs::exists(box_.Root() / "no-such-folder"));

  const fs::path blocked = NewDocument("Blocked");
  fs::remove(Work() / "Blocked.qmv");
  WriteText(Work() / "Blocked.qmv" / "keep", "");  // something in the movie's place the host cannot replace
  launcher_->Reset();
  const RunResult run = Run({"settings", blocked.string()},
                            {Form("Settings", {Set({{"Signature.prepare", "true"}}), Press("Publish"), Press("Cancel")})});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;
  EXPECT_EQ(Shown(run), (Lines{MessageLine("导出 QMV 文件时出错。请在编译器错误面板中查看错误。", 64), FormLine("Settings")}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_FALSE(fs::exists(Work() / "Blocked.zaroi"));
  EXPECT_EQ(Texts(blocked, {"qmv.folder.path"}), Lines{"-"});  // Cancel keeps nothing
}

TEST_F(PublishPrepareMode, CancelKillsALongToolRunAndReportsNothing) {
  const fs::path document = NewDocument("Long");
  launcher_->SleepFirst(20);
  const RunResult run = Publish(document, {Form("CProgressDlg", {Json{{"wait", 1000}}, Press("Cancel")})});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  ASSERT_EQ(launcher_->Calls().size(), 1u);
  const pid_t tool = launcher_->ProcessId("pid"), sleeper = launcher_->ProcessId("sleeper");
  ASSERT_TRUE(tool > 0 && sleeper > 0) << "the tool had not started when Cancel was pressed";
  // Had the command waited for the tool, the tool would have finished its work.
  EXPECT_FALSE(launcher_->Finished());
  EXPECT_TRUE(ProcessGone(tool));
  EXPECT_TRUE(ProcessGone(sleeper));
  EXPECT_EQ(run.filesMade, std::vector<fs::path>{"Long-app.xml"});
  EXPECT_EQ(Shown(run, true), Lines{"form|CProgressDlg|cancel"});
}

TEST_F(PublishPrepareMode, APreReleaseDescriptorIsRegeneratedForPublishAndTest) {
  const fs::path document = NewDocument("Early");
  const std::string early = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                            "<application xmlns=\"http://ns.corvane.example/zaro/application/1.0.M6\">\n"
                            "  <id>early.app</id>\n  <name>Early</name>\n</application>\n";
  WriteText(Work() / "Early-app.xml", early);
  const RunResult publish = Publish(document);
  ASSERT_EQ(publish.exitStatus, 0) << Describe(publish);
  EXPECT_EQ(Shown(publish), kZaroiPublished);
  const std::string descriptor = ReadText(Work() / "Early-app.xml");
  EXPECT_FALSE(Contains(descriptor, "1.0.M6")) << descriptor;
  EXPECT_TRUE(Contains(descriptor, "<content>Early.qmv</content>")) << descriptor;
  EXPECT_TRUE(IsIntermediateFile(Work() / "Early.zaroi"));

  WriteText(Work() / "Early-app.xml", early);
  const RunResult test = Run({"test", document.string()}, {});
  ASSERT_EQ(test.exitStatus, 0) << Describe(test);
  EXPECT_TRUE(test.events.empty()) << Describe(test);  // not even the unparsable-descriptor box
  EXPECT_EQ(test.OutputLines("tessel: debugZAROMovie(").size(), 1u) << test.out;
  EXPECT_FALSE(Contains(ReadText(Work() / "Early-app.xml"), "1.0.M6"));
}

TEST_F(PublishPrepareMode, InPrepareModeTheInstallerAsksForACertificateAfterTheIntermediateFile) {
  const fs::path document = NewDocument("Both");
  const RunResult run = Script("doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\npublish();\n", document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (Lines{kZaroiPublished[0], kZaroiPublished[1], MessageLine("必须选择证书", 48)}));
  // The installer's tool run is never started.
  EXPECT_EQ(launcher_->Calls(), std::vector<Lines>{PrepareCommand("Both.zaroi", "Both")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Both.zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "Both.exe"));
}

TEST_F(PublishPrepareMode, ADestinationNamingAFolderGetsThePackageNameInside) {
  const fs::path document = NewDocument("Dest");
  fs::create_directories(Work() / "outdir");
  fs::create_directories(Work() / "bare");
  // A full path with a trailing separator, then a bare name of a folder beside the movie.
  for (const std::string& destination : {WorkSlash() + "outdir/", std::string("bare")}) {
    const RunResult run = Script(
        "doc.addDataToDocument('com.zaro.quessa.zarodest', 'string', '" + destination + "');\npublish();\n", document);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    EXPECT_EQ(Shown(run), kZaroiPublished);
  }
  EXPECT_TRUE(IsIntermediateFile(Work() / "outdir" / "Dest.zaroi"));
  EXPECT_TRUE(IsIntermediateFile(Work() / "bare" / "Dest.zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "outdir" / ".zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "bare.zaroi"));
}

}  // namespace
}  // namespace publish_e2e
