// What an author meets at a terminal and in a build script: the exit status when a dialog
// cannot be shown, a pre-release descriptor, the installer without a certificate in
// "prepare" mode, and a destination that names a folder.
#include <gtest/gtest.h>

#include <memory>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

constexpr char kCertificateRequired[] = "必须选择证书";
constexpr char kNeedsDisplay[] = "the dialog Settings needs a display";

class TerminalRuns : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(box_.Ready()) << box_.Error(); }

  fs::path NewDocument(const std::string& name) {
    const auto document = box_.NewDocument(name);
    EXPECT_TRUE(document) << box_.Error();
    return document.value_or(fs::path());
  }
  fs::path Work() const { return box_.WorkFolder(); }
  // Switches this sandbox's signing mode to "prepare" through the sheet, as an author would.
  void ChoosePrepareMode() {
    const RunResult run = box_.Run({"settings", NewDocument("Setup").string()},
                                   WithAnswers({Form("Settings", {Set("Signature.prepare", "true"), Press("OK")})}));
    ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  }
  RunResult Script(const std::string& body, const fs::path& document, std::vector<Json> answers = {}) {
    return box_.RunScript(std::string(kScriptCommands) + body, document, WithAnswers(std::move(answers)));
  }

  Sandbox box_;
};

TEST_F(TerminalRuns, ADialogThatCannotBeShownFailsTheRun) {
  const fs::path document = NewDocument("Hello");
  // No answers and no display: the sheet cannot be shown, and the run says so and fails.
  const RunResult settings = box_.Run({"settings", document.string()});
  EXPECT_EQ(settings.exitStatus, 1) << Describe(settings);
  EXPECT_NE(settings.err.find(kNeedsDisplay), std::string::npos) << settings.err;
  // Publish without a certificate opens the sheet instead of building: the same.
  const RunResult publish = box_.Run({"publish", document.string()});
  EXPECT_EQ(publish.exitStatus, 1) << Describe(publish);
  EXPECT_NE(publish.err.find(kNeedsDisplay), std::string::npos) << publish.err;
  EXPECT_FALSE(fs::exists(Work() / "Hello.zaro"));

  // A run that needs no dialog still succeeds without answers, progress and all.
  ChoosePrepareMode();
  const RunResult prepared = box_.Run({"publish", document.string()});
  EXPECT_EQ(prepared.exitStatus, 0) << Describe(prepared);
  EXPECT_NE(prepared.err.find(kZaroiCreated), std::string::npos) << prepared.err;
  EXPECT_TRUE(IsIntermediateFile(Work() / "Hello.zaroi"));
}

TEST_F(TerminalRuns, APreReleaseDescriptorIsRegeneratedForPublishAndTest) {
  ChoosePrepareMode();
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

TEST_F(TerminalRuns, InPrepareModeTheInstallerAsksForACertificateAfterTheIntermediateFile) {
  ChoosePrepareMode();
  RecordingLauncher launcher(box_);
  launcher.Reset();
  const fs::path document = NewDocument("Both");
  const RunResult run =
      Script("doc.addDataToDocument('com.zaro.quessa.pubexe', 'string', 'true');\npublish();\n", document);
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);
  EXPECT_EQ(Shown(run), (std::vector<std::string>{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64),
                                                  MessageLine(kCertificateRequired, 48)}));
  ASSERT_EQ(launcher.Calls().size(), 1u);  // the installer's tool run is never started
  EXPECT_EQ(launcher.Calls()[0].at(2), "-prepare");
  EXPECT_TRUE(IsIntermediateFile(Work() / "Both.zaroi"));
  EXPECT_FALSE(fs::exists(Work() / "Both.exe"));
}

TEST_F(TerminalRuns, ADestinationNamingAFolderGetsThePackageNameInside) {
  ChoosePrepareMode();
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
