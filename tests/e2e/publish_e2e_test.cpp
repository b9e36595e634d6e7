// "Publish" end to end with signing mode "prepare", as an author meets it at a terminal and in
// a build script: the intermediate file and the installer, a document saved under a new
// name, pre-release descriptors, destinations, the checks that stop before the tool, the
// tool's results as the author sees them, and Cancel during a run.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

constexpr char kCertificateRequired[] = "必须选择证书";

// Each test's sandbox is switched to "prepare" through the settings sheet first, as an
// author would (on a document of its own); the Java launcher records the tool's runs.
class PublishPrepareMode : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    const RunResult run = box_.Run({"settings", NewDocument("Setup").string()},
                                   WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})}));
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    launcher_ = std::make_unique<RecordingLauncher>(box_);
  }

  std::string WorkSlash() { return Work().string() + "/"; }
  RunResult Publish(const fs::path& document, const std::vector<Json>& answers = {}) {
    return box_.Run({"publish", document.string()}, WithAnswers(answers));
  }
  // The tool's arguments for a prepared package of `baseName` in the work folder.
  std::vector<std::string> PrepareCommand(const std::string& output, const std::string& baseName,
                                          std::vector<std::string> more = {}) {
    std::vector<std::string> args{"-prepare", (Work() / output).string(), (Work() / (baseName + "-app.xml")).string(),
                                  "-C",       WorkSlash(),                baseName + ".qmv"};
    args.insert(args.end(), more.begin(), more.end());
    return ToolCommand(args);
  }

  std::unique_ptr<RecordingLauncher> launcher_;
};

TEST_F(PublishPrepareMode, ANewDocumentGetsTheTemplateDescriptorAndAnIntermediateFile) {
  const fs::path document = NewDocument("Hello");
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  EXPECT_NE(ReadText(Work() / "Hello-app.xml").find("<content>Hello.qmv</content>"), std::string::npos);
  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{PrepareCommand("Hello.zaroi", "Hello")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  const ToolRun verified = Verify(Work() / "Hello.zaroi", box_.Root());
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_NE(verified.output.find("this is an unsigned intermediate file"), std::string::npos) << verified.output;

  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  EXPECT_EQ(run.filesMade, (std::vector<fs::path>{"Hello-app.xml", "Hello.zaroi"}));
  // Without the sheet nothing is saved into the document.
  EXPECT_FALSE(Sandbox::DocumentText(document, "qmv.folder.path"));
  EXPECT_EQ(Sandbox::DocumentText(document, "com.corvane.tessel.brisel.output.type"), "zaro");
}

// At a terminal without a display the progress line shows its words beside the spinner and
// is wiped when the tool ends, so the result box starts on a clean line.
TEST_F(PublishPrepareMode, AtATerminalTheProgressLineShowsItsWordsAndEndsCleanly) {
  const fs::path document = NewDocument("Terminal.tsd");
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "TESSEL_ANSWERS", "TESSEL_UI_LOG"}) unsetenv(name);
    setenv("TESSEL_REGISTRY_FILE", box_.RegistryFile().c_str(), 1);
    setenv("TESSEL_COMMON_APPDATA", box_.CommonAppData().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (box_.Root() / "home" / ".config").c_str(), 1);
    const std::string tessel = Sandbox::Tessel().string();
    execl(tessel.c_str(), tessel.c_str(), "publish", document.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  close(master);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  const size_t words = shown.find("| 正在发布... 0.");
  ASSERT_NE(words, std::string::npos) << shown;
  const size_t box = shown.find("[Corvane Tessel KV5] information: 已创建 ZAROI 文件。");
  ASSERT_NE(box, std::string::npos) << shown;
  const size_t wiped = shown.rfind("\r\033[K", box);
  ASSERT_NE(wiped, std::string::npos) << shown;
  EXPECT_LT(words, wiped);
  EXPECT_EQ(shown.find("正在发布", wiped), std::string::npos) << "nothing of the line is left after it is wiped";
  EXPECT_EQ(launcher_->Calls().size(), 1u);
}

TEST_F(PublishPrepareMode, WithTheInstallerOptionTheSignedInstallerFollowsTheIntermediateFile) {
  // The certificate and its remembered password were chosen earlier in the session; the
  // author then switched to intermediate files. The installer is always signed.
  const fs::path keystore = box_.Root() / "keys" / "installer.p12";
  ASSERT_TRUE(MakeKeystore(keystore, "inst-pass", box_.Root()));
  const fs::path document = NewDocument("Setup2");
  const RunResult run = Script(
      "doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\n"
      "settings();\nsettings();\npublish();\n",
      document,
      {Form("Settings", {Set("Signature.usecert", "true"), Set("Signature.certpath", WindowsForm(keystore)),
                         Set("Signature.password", "inst-pass"), Set("Signature.rempwd", "true"),
                         Set("Signature.timestamp", "false"), Press("OK")}),
       Message("yes"),
       Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::vector<std::vector<std::string>> calls = launcher_->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], PrepareCommand("Setup2.zaroi", "Setup2"));
  EXPECT_EQ(calls[1], ToolCommand({"-package", "-storetype", "PKCS12", "-keystore", keystore.string(), "-storepass",
                                   "inst-pass", "-tsa", "none", "-target", "native", (Work() / "Setup2.exe").string(),
                                   (Work() / "Setup2-app.xml").string(), "-C", WorkSlash(), "Setup2.qmv"}));
  EXPECT_TRUE(IsIntermediateFile(Work() / "Setup2.zaroi"));
  const ToolRun verified = Verify(Work() / "Setup2.exe", box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_NE(verified.output.find("installer: the package starts at byte"), std::string::npos) << verified.output;

  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            MessageLine(kNoTimestampQuestion, 308, "yes"), FormLine("Settings"), FormLine("Settings"),
                            FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64), FormLine("CProgressDlg"),
                            MessageLine(kInstallerCreated, 64)}));
  // The second sheet changed the signing choice and was left with OK: its settings are kept.
  EXPECT_EQ(Sandbox::DocumentText(document, "com.zaro.quessa.pubexe"), "true");
  EXPECT_EQ(Sandbox::DocumentText(document, "tessel.qmv.basename"), "Setup2");
  EXPECT_EQ(Sandbox::DocumentText(document, "qmv.folder.path"), WorkSlash());
  EXPECT_FALSE(Sandbox::DocumentText(document, "com.zaro.quessa.certpwd"));
}

TEST_F(PublishPrepareMode, ADocumentSavedUnderANewNameCarriesItsDescriptorOver) {
  const fs::path old = NewDocument("Old");
  // The sheet saves where the movie lives; the author then edits the descriptor by hand.
  const RunResult first = box_.Run({"settings", old.string()},
                                    WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})}));
  ASSERT_EQ(first.exitStatus, 0) << Describe(first);
  std::string oldDescriptor = ReadText(Work() / "Old-app.xml");
  const size_t id = oldDescriptor.find("<id>Old</id>");
  ASSERT_NE(id, std::string::npos) << oldDescriptor;
  oldDescriptor.replace(id, 12, "<id>com.example.kept</id>");
  WriteText(Work() / "Old-app.xml", oldDescriptor);

  // "Save as" New.tsd: the document with its data, and the movie compiled under the new name.
  const fs::path renamed = Work() / "New.tsd";
  fs::copy_file(old, renamed);
  fs::copy_file(Movie(old), Movie(renamed));
  const RunResult run = Publish(renamed);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_NE(ReadText(Descriptor(renamed)).find("<id>com.example.kept</id>"), std::string::npos);

  // The first sheet's General page stored the output file it showed, "Old.zaro"; the copy
  // keeps it, so the intermediate file of the new movie is written under that name.
  EXPECT_EQ(Sandbox::DocumentText(renamed, "com.zaro.quessa.zarodest"), "Old.zaro");
  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{PrepareCommand("Old.zaroi", "New")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Old.zaroi"));
  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  EXPECT_EQ(Sandbox::DocumentText(renamed, "tessel.qmv.basename"), "Old");  // not saved without the sheet's OK
}

// Missing icons are listed in their order (the application's, then the file types'), and a
// destination in a folder that does not exist is refused: neither reaches the tool.
TEST_F(PublishPrepareMode, ChecksBeforeTheToolStopTheCommand) {
  WriteText(Work() / "icons" / "a48.png", "png");
  const std::string destination = (box_.Root() / "no-such-folder" / "out.zaro").string();
  const struct {
    std::string name, descriptorExtra, destination, shown;
  } cases[] = {
      {"Icons",
       "  <icon><image16x16>icons/a16.png</image16x16><image48x48>icons/a48.png</image48x48>"
       "<image128x128>icons/a%20128.png</image128x128></icon>\n"
       "  <fileTypes><fileType><name>doc</name><extension>hdoc</extension>"
       "<icon><image32x32>icons/t32.png</image32x32></icon></fileType></fileTypes>\n",
       "", std::string(kIconsMissing) + "\nicons/a 128.png\nicons/a16.png\nicons/t32.png"},
      {"Dest", "", destination, std::string(kCreateFileError) + kCannotWrite}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path document = NewDocument(c.name);
    WriteText(Work() / (c.name + "-app.xml"), DescriptorXml(c.name, "com.example.checks", c.descriptorExtra));
    if (!c.destination.empty()) PutDocumentText(document, "com.zaro.quessa.zarodest", c.destination);
    const RunResult run = Publish(document);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    EXPECT_EQ(Shown(run), std::vector<std::string>{MessageLine(c.shown, 48)});
    EXPECT_TRUE(launcher_->Calls().empty());
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{});
  }
  EXPECT_FALSE(fs::exists(box_.Root() / "no-such-folder"));
}

TEST_F(PublishPrepareMode, AFailedExportStopsTheSheetsPublishButton) {
  const fs::path document = NewDocument("Blocked");
  // Something in the movie's place that the host cannot replace.
  fs::remove(Work() / "Blocked.qmv");
  WriteText(Work() / "Blocked.qmv" / "keep", "");
  const RunResult run =
      box_.Run({"settings", document.string()},
                WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("Publish"), Press("Cancel")})}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;
  EXPECT_EQ(Shown(run), (std::vector<std::string>{MessageLine(kExportFailed, 64), FormLine("Settings")}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_FALSE(fs::exists(Work() / "Blocked.zaroi"));
  EXPECT_FALSE(Sandbox::DocumentText(document, "qmv.folder.path"));  // Cancel keeps nothing
}

// What the kit's tool reports reaches the author's box. The icon file "100%25.png" is found
// by the module, but the command carries the name with its "%" dropped, which the tool does
// not find; an invalid application ID is named by its element.
TEST_F(PublishPrepareMode, TheToolsOwnReportIsNamedInTheMessage) {
  WriteText(Work() / "icons" / "100%25.png", "png");
  const struct {
    std::string name, descriptorExtra, id;
    std::vector<std::string> moreArguments;
    std::string shown;
  } cases[] = {{"Pct", "  <icon><image16x16>icons/100%25.png</image16x16></icon>\n", "com.example.pct",
                {"icons/10025.png"}, std::string(kMissingFile) + "\n(icons/10025.png)"},
               {"BadId", "", "bad id!", {}, std::string(kInvalidValue) + "\n(application.id)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    launcher_->Reset();
    const fs::path document = NewDocument(c.name);
    WriteText(Work() / (c.name + "-app.xml"), DescriptorXml(c.name, c.id, c.descriptorExtra));
    const RunResult run = Publish(document);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{
                                      PrepareCommand(c.name + ".zaroi", c.name, c.moreArguments)});
    EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"),
                                                    MessageLine(std::string(kCreateFileError) + c.shown, 48)}));
    EXPECT_FALSE(fs::exists(Work() / (c.name + ".zaroi")));
  }
}

TEST_F(PublishPrepareMode, CancelKillsALongToolRunAndReportsNothing) {
  const fs::path document = NewDocument("Long");
  launcher_->SleepFirst(20);
  const RunResult run = Publish(document, {Form("CProgressDlg", {Wait(1000), Press("Cancel")})});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  ASSERT_EQ(launcher_->Calls().size(), 1u);
  const std::optional<pid_t> tool = launcher_->ProcessId("pid");
  const std::optional<pid_t> sleeper = launcher_->ProcessId("sleeper");
  ASSERT_TRUE(tool && sleeper) << "the tool had not started when Cancel was pressed";
  // Had the command waited for the tool, the tool would have finished its work.
  EXPECT_FALSE(launcher_->Finished());
  EXPECT_TRUE(ProcessGone(*tool));
  EXPECT_TRUE(ProcessGone(*sleeper));
  EXPECT_EQ(run.filesMade, std::vector<fs::path>{"Long-app.xml"});
  ASSERT_EQ(run.events.size(), 1u);
  EXPECT_EQ(run.events[0].event + "|" + run.events[0].text + "|" + run.events[0].answer, "form|CProgressDlg|cancel");
}

TEST_F(PublishPrepareMode, APreReleaseDescriptorIsRegeneratedForPublishAndTest) {
  const fs::path document = NewDocument("Early");
  const std::string early = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                            "<application xmlns=\"http://ns.corvane.example/zaro/application/1.0.M6\">\n"
                            "  <id>early.app</id>\n  <name>Early</name>\n</application>\n";
  WriteText(Work() / "Early-app.xml", early);
  const RunResult publish = box_.Run({"publish", document.string()}, WithAnswers({}));
  ASSERT_EQ(publish.exitStatus, 0) << Describe(publish);
  EXPECT_EQ(Shown(publish), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  const std::string descriptor = ReadText(Work() / "Early-app.xml");
  EXPECT_EQ(descriptor.find("1.0.M6"), std::string::npos) << descriptor;
  EXPECT_NE(descriptor.find("<content>Early.qmv</content>"), std::string::npos) << descriptor;
  EXPECT_TRUE(IsIntermediateFile(Work() / "Early.zaroi"));

  WriteText(Work() / "Early-app.xml", early);
  const RunResult test = box_.Run({"test", document.string()}, WithAnswers({}));
  ASSERT_EQ(test.exitStatus, 0) << Describe(test);
  EXPECT_TRUE(test.events.empty()) << Describe(test);  // not even the unparsable-descriptor box
  EXPECT_EQ(test.OutputLines("tessel: debugZAROMovie(").size(), 1u) << test.out;
  EXPECT_EQ(ReadText(Work() / "Early-app.xml").find("1.0.M6"), std::string::npos);
}

TEST_F(PublishPrepareMode, InPrepareModeTheInstallerAsksForACertificateAfterTheIntermediateFile) {
  const fs::path document = NewDocument("Both");
  const RunResult run =
      Script("doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\npublish();\n", document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64),
                                                  MessageLine(kCertificateRequired, 48)}));
  ASSERT_EQ(launcher_->Calls().size(), 1u);  // the installer's tool run is never started
  EXPECT_EQ(launcher_->Calls()[0].at(2), "-prepare");
  EXPECT_TRUE(IsIntermediateFile(Work() / "Both.zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "Both.exe"));
}

TEST_F(PublishPrepareMode, ADestinationNamingAFolderGetsThePackageNameInside) {
  const fs::path document = NewDocument("Dest");
  fs::create_directories(Work() / "outdir");
  fs::create_directories(Work() / "bare");
  // A full path with a trailing separator, then a bare name of a folder beside the movie.
  for (const std::string& destination : {(Work() / "outdir").string() + "/", std::string("bare")}) {
    const RunResult run = Script(
        "doc.addDataToDocument('com.zaro.quessa.zarodest', 'string', '" + destination + "');\npublish();\n", document);
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
    EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  }
  EXPECT_TRUE(IsIntermediateFile(Work() / "outdir" / "Dest.zaroi"));
  EXPECT_TRUE(IsIntermediateFile(Work() / "bare" / "Dest.zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "outdir" / ".zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "bare.zaroi"));
}

}  // namespace
}  // namespace publish_e2e
