// "Publish" end to end with signing mode "prepare": the intermediate file and the installer,
// a document saved under a new name, the checks that stop before the tool, the tool's
// results as the author sees them, and Cancel during a run.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

// One sandbox for the whole suite, switched to "prepare" once through the settings sheet as
// an author would (on a document of its own); every test works on documents of its own.
class PublishPrepareMode : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    box_ = std::make_unique<Sandbox>();
    if (!box_->Ready()) return;
    const auto setup = box_->NewDocument("Setup");
    if (!setup) return;
    setupRun_ = std::make_unique<RunResult>(box_->Run(
        {"settings", setup->string()},
        WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})})));
  }
  static void TearDownTestSuite() {
    setupRun_.reset();
    box_.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(box_ && box_->Ready()) << (box_ ? box_->Error() : "no sandbox");
    ASSERT_TRUE(setupRun_) << box_->Error();
    ASSERT_EQ(setupRun_->exitStatus, 0) << Describe(*setupRun_);
    launcher_ = std::make_unique<RecordingLauncher>(*box_);
    launcher_->Reset();
  }

  Sandbox& Box() { return *box_; }
  fs::path Work() { return box_->WorkFolder(); }
  std::string WorkSlash() { return Work().string() + "/"; }

  fs::path NewDocument(const std::string& name) {
    const auto document = box_->NewDocument(name);
    EXPECT_TRUE(document) << box_->Error();
    return document.value_or(fs::path());
  }
  RunResult Publish(const fs::path& document, std::vector<Json> answers = {}) {
    return box_->Run({"publish", document.string()}, WithAnswers(std::move(answers)));
  }
  RunResult Script(const std::string& body, const fs::path& document, std::vector<Json> answers = {}) {
    return box_->RunScript(std::string(kScriptCommands) + body, document, WithAnswers(std::move(answers)));
  }
  // The tool's arguments for a prepared package of `baseName` in the work folder.
  std::vector<std::string> PrepareCommand(const std::string& output, const std::string& baseName,
                                          std::vector<std::string> more = {}) {
    std::vector<std::string> args{"-prepare", (Work() / output).string(), (Work() / (baseName + "-app.xml")).string(),
                                  "-C",       WorkSlash(),                baseName + ".qmv"};
    args.insert(args.end(), more.begin(), more.end());
    return ToolCommand(args);
  }

  static std::unique_ptr<Sandbox> box_;
  static std::unique_ptr<RunResult> setupRun_;
  std::unique_ptr<RecordingLauncher> launcher_;
};

std::unique_ptr<Sandbox> PublishPrepareMode::box_;
std::unique_ptr<RunResult> PublishPrepareMode::setupRun_;

TEST_F(PublishPrepareMode, ANewDocumentGetsTheTemplateDescriptorAndAnIntermediateFile) {
  const fs::path document = NewDocument("Hello");
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::string descriptor = ReadText(Work() / "Hello-app.xml");
  EXPECT_NE(descriptor.find("xmlns=\"http://ns.corvane.example/zaro/application/2.0\""), std::string::npos);
  EXPECT_NE(descriptor.find("<content>Hello.qmv</content>"), std::string::npos);
  EXPECT_NE(descriptor.find("<name>Hello</name>"), std::string::npos);

  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{PrepareCommand("Hello.zaroi", "Hello")});
  ASSERT_TRUE(fs::exists(Work() / "Hello.zaroi"));
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
  const ToolRun verified = Verify(Work() / "Hello.zaroi", Box().Root());
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
    setenv("TESSEL_REGISTRY_FILE", Box().RegistryFile().c_str(), 1);
    setenv("TESSEL_COMMON_APPDATA", Box().CommonAppData().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Box().Root() / "home" / ".config").c_str(), 1);
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

// A saved document that was never published has no earlier movie: it takes its own output
// type (here an iPhone target, which needs credentials and so opens the sheet) and its own
// template, never a descriptor that happens to lie in the working folder.
TEST_F(PublishPrepareMode, ASavedDocumentNeverPublishedTakesItsOutputTypeAndNoStrayDescriptor) {
  const fs::path document = NewDocument("Fresh");
  ASSERT_EQ(Box()
                .RunScript("tx.getDocumentDOM().addDataToDocument('com.corvane.tessel.brisel.output.type', "
                           "'string', 'ipa');",
                           document)
                .exitStatus,
            0);
  const std::string stray =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
      "  <id>stray.app</id>\n  <filename>Stray</filename>\n  <name>Stray</name>\n"
      "  <initialWindow>\n    <content>Stray.qmv</content>\n  </initialWindow>\n</application>\n";
  WriteText(Work() / "-app.xml", stray);

  const RunResult run = Publish(document, {Form("Settings", {Press("Cancel")})});
  fs::remove(Work() / "-app.xml");
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), std::vector<std::string>{FormLine("Settings")});
  EXPECT_TRUE(launcher_->Calls().empty());
  const std::string descriptor = ReadText(Work() / "Fresh-app.xml");
  EXPECT_NE(descriptor.find("<content>Fresh.qmv</content>"), std::string::npos) << descriptor;
  EXPECT_EQ(descriptor.find("stray"), std::string::npos) << descriptor;
}

TEST_F(PublishPrepareMode, WithTheInstallerOptionTheSignedInstallerFollowsTheIntermediateFile) {
  // The certificate and its remembered password were chosen earlier in the session; the
  // author then switched to intermediate files. The installer is always signed.
  const fs::path keystore = Box().Root() / "keys" / "installer.p12";
  ASSERT_TRUE(MakeKeystore(keystore, "inst-pass", Box().Root()));
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
  const ToolRun verified = Verify(Work() / "Setup2.exe", Box().Root());
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
  const RunResult first = Box().Run({"settings", old.string()},
                                    WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})}));
  ASSERT_EQ(first.exitStatus, 0) << Describe(first);
  std::string oldDescriptor = ReadText(Work() / "Old-app.xml");
  const size_t id = oldDescriptor.find("<id>Old</id>");
  ASSERT_NE(id, std::string::npos) << oldDescriptor;
  oldDescriptor.replace(id, 12, "<id>com.example.kept</id>");
  WriteText(Work() / "Old-app.xml", oldDescriptor);

  // "Save as" New.tsd: the document with its data, and the movie compiled under the new name;
  // an older session left a destination in it.
  fs::copy_file(old, Work() / "New.tsd");
  fs::copy_file(Work() / "Old.qmv", Work() / "New.qmv");
  const fs::path renamed = Work() / "New.tsd";
  PutDocumentText(renamed, "com.zaro.quessa.destination", "/elsewhere/Old.zaro");

  const RunResult run = Publish(renamed);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  const std::string carried = ReadText(Work() / "New-app.xml");
  EXPECT_NE(carried.find("<id>com.example.kept</id>"), std::string::npos) << carried;
  EXPECT_NE(carried.find("<content>New.qmv</content>"), std::string::npos) << carried;
  EXPECT_NE(carried.find("<name>New</name>"), std::string::npos) << carried;
  EXPECT_NE(carried.find("<filename>New</filename>"), std::string::npos) << carried;
  EXPECT_EQ(ReadText(Work() / "Old-app.xml"), oldDescriptor);

  // The first sheet's General page stored the output file it showed, "Old.zaro"; the copy
  // keeps it, so the intermediate file of the new movie is written under that name.
  EXPECT_EQ(Sandbox::DocumentText(renamed, "com.zaro.quessa.zarodest"), "Old.zaro");
  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{PrepareCommand("Old.zaroi", "New")});
  EXPECT_TRUE(IsIntermediateFile(Work() / "Old.zaroi"));
  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  EXPECT_FALSE(Sandbox::DocumentValue(renamed, "com.zaro.quessa.destination"));
  EXPECT_EQ(Sandbox::DocumentText(renamed, "tessel.qmv.basename"), "Old");  // not saved without the sheet's OK
}

TEST_F(PublishPrepareMode, MissingIconsAreListedInTheirOrderAndNothingIsBuilt) {
  const fs::path document = NewDocument("Icons");
  WriteText(Work() / "icons" / "a48.png", "png");
  WriteText(Work() / "Icons-app.xml",
            DescriptorXml("Icons", "com.example.icons",
                          "  <icon><image16x16>icons/a16.png</image16x16><image48x48>icons/a48.png</image48x48>"
                          "<image128x128>icons/a%20128.png</image128x128></icon>\n"
                          "  <fileTypes><fileType><name>doc</name><extension>hdoc</extension>"
                          "<icon><image32x32>icons/t32.png</image32x32></icon></fileType></fileTypes>\n"));
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (std::vector<std::string>{MessageLine(
                            std::string(kIconsMissing) + "\nicons/a 128.png\nicons/a16.png\nicons/t32.png", 48)}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_EQ(run.filesMade, std::vector<fs::path>{});
}

TEST_F(PublishPrepareMode, TwelveMissingItemsListElevenAndTheRestGoesIntoThePackage) {
  const fs::path document = NewDocument("Items");
  WriteText(Work() / "assets" / "a.txt", "asset");
  std::string body = "doc.addDataToDocument('com.zaro.quessa.included.count', 'string', '13');\n";
  for (int i = 0; i < 12; ++i) {
    body += "doc.addDataToDocument('com.zaro.quessa.included.item" + std::to_string(i) + "', 'string', 'gone" +
            std::to_string(i) + ".txt');\n";
  }
  body += "doc.addDataToDocument('com.zaro.quessa.included.item12', 'string', 'assets');\npublish();\n";
  const RunResult run = Script(body, document, {Message("ok")});
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  std::string list;
  for (int i = 0; i < 11; ++i) list += "gone" + std::to_string(i) + ".txt\n";
  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            MessageLine(std::string(kItemsMissing) + "\n" + list + "...\n" + kContinueWithout, 49),
                            FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)}));
  EXPECT_EQ(launcher_->Calls(),
            std::vector<std::vector<std::string>>{PrepareCommand("Items.zaroi", "Items", {"-C", WorkSlash(), "assets"})});
  EXPECT_NE(ReadText(Work() / "Items.zaroi").find("assets/a.txt"), std::string::npos);
  EXPECT_EQ(Sandbox::DocumentText(document, "com.zaro.quessa.included.item12"), "assets");
}

TEST_F(PublishPrepareMode, AnUnusableDestinationIsRefusedBeforeTheTool) {
  const fs::path document = NewDocument("Dest");
  const std::string destination = (Box().Root() / "no-such-folder" / "out.zaro").string();
  const RunResult run =
      Script("doc.addDataToDocument('com.zaro.quessa.zarodest', 'string', '" + destination + "');\npublish();\n",
             document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (std::vector<std::string>{MessageLine(std::string(kCreateFileError) + kCannotWrite, 48)}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_FALSE(fs::exists(Box().Root() / "no-such-folder"));
  EXPECT_EQ(Sandbox::DocumentText(document, "com.zaro.quessa.zarodest"), destination);
}

TEST_F(PublishPrepareMode, AFailedExportStopsTheSheetsPublishButton) {
  const fs::path document = NewDocument("Blocked");
  // Something in the movie's place that the host cannot replace.
  fs::remove(Work() / "Blocked.qmv");
  WriteText(Work() / "Blocked.qmv" / "keep", "");
  const RunResult run =
      Box().Run({"settings", document.string()},
                WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("Publish"), Press("Cancel")})}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u) << run.out;
  EXPECT_EQ(Shown(run), (std::vector<std::string>{MessageLine(kExportFailed, 64), FormLine("Settings")}));
  EXPECT_TRUE(launcher_->Calls().empty());
  EXPECT_FALSE(fs::exists(Work() / "Blocked.zaroi"));
  EXPECT_FALSE(Sandbox::DocumentText(document, "qmv.folder.path"));  // Cancel keeps nothing
}

TEST_F(PublishPrepareMode, AFileTheToolCannotFindIsNamedInTheMessage) {
  // The descriptor names an icon file "100%25.png": the module finds that file, but the
  // command carries the name with its "%" dropped, which the tool does not find.
  const fs::path document = NewDocument("Pct");
  WriteText(Work() / "icons" / "100%25.png", "png");
  WriteText(Work() / "Pct-app.xml",
            DescriptorXml("Pct", "com.example.pct", "  <icon><image16x16>icons/100%25.png</image16x16></icon>\n"));
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(launcher_->Calls(),
            std::vector<std::vector<std::string>>{PrepareCommand("Pct.zaroi", "Pct", {"icons/10025.png"})});
  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            FormLine("CProgressDlg"),
                            MessageLine(std::string(kCreateFileError) + kMissingFile + "\n(icons/10025.png)", 48)}));
  EXPECT_FALSE(fs::exists(Work() / "Pct.zaroi"));
}

TEST_F(PublishPrepareMode, AnInvalidApplicationIdIsNamedInTheMessage) {
  const fs::path document = NewDocument("BadId");
  WriteText(Work() / "BadId-app.xml", DescriptorXml("BadId", "bad id!"));
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(launcher_->Calls(), std::vector<std::vector<std::string>>{PrepareCommand("BadId.zaroi", "BadId")});
  EXPECT_EQ(Shown(run),
            (std::vector<std::string>{FormLine("CProgressDlg"),
                                      MessageLine(std::string(kCreateFileError) + kInvalidValue + "\n(application.id)",
                                                  48)}));
  EXPECT_FALSE(fs::exists(Work() / "BadId.zaroi"));
}

TEST_F(PublishPrepareMode, AnUnlistedExitCodeWithoutOutputShowsNoBox) {
  const fs::path document = NewDocument("Quiet");
  launcher_->ExitAfter(1, 3);
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(launcher_->Calls().size(), 1u);
  EXPECT_EQ(Shown(run), std::vector<std::string>{FormLine("CProgressDlg")});
}

TEST_F(PublishPrepareMode, ASuccessfulRunThatPrintedAWarningIsReportedAsAFailure) {
  const fs::path document = NewDocument("Warned");
  launcher_->PrintAfter(1, "warning: the runtime version is old\n");
  const RunResult run = Publish(document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_TRUE(IsIntermediateFile(Work() / "Warned.zaroi"));
  EXPECT_EQ(Shown(run), (std::vector<std::string>{
                            FormLine("CProgressDlg"),
                            MessageLine(std::string(kCreateFileError) + "warning: the runtime version is old\n", 48)}));
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
  EXPECT_EQ(run.events[0].event, "form");
  EXPECT_EQ(run.events[0].text, "CProgressDlg");
  EXPECT_EQ(run.events[0].answer, "cancel");
}

}  // namespace
}  // namespace publish_e2e
