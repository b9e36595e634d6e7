// The tessel binary end to end, with a test module that exercises the callback table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tessel_e2e.h"

namespace {

namespace fs = std::filesystem;
using tessel::e2e::Answers;
using tessel::e2e::Contains;
using tessel::e2e::Json;
using tessel::e2e::RunOptions;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;

class TesselHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    const auto made = box_.NewDocument("Hello");
    ASSERT_TRUE(made) << box_.Error();
    doc_ = *made;
  }

  // tessel run with the test module.
  RunResult Script(const std::string& source, std::optional<fs::path> document, RunOptions options = {},
                   std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--module", TESSEL_TEST_MODULE});
    return box_.RunScript(source, document, options, extra);
  }

  Sandbox box_;
  fs::path doc_;
};

TEST_F(TesselHost, NewMakesADocumentAndItsMovieAndNeverReplacesOne) {
  const Json document = Sandbox::ReadDocument(doc_);
  EXPECT_EQ(document["playerTarget"], "Desktop");
  EXPECT_EQ(document["asVersion"], 3);
  EXPECT_EQ(Sandbox::DocumentText(doc_, "com.corvane.tessel.brisel.output.type"), "zaro");
  EXPECT_EQ(tessel::e2e::ReadText(box_.WorkFolder() / "Hello.qmv").substr(0, 3), "QMV");

  const std::string before = tessel::e2e::ReadText(doc_);
  const RunResult again = box_.Run({"new", doc_.string(), "--target", "iphone"});
  EXPECT_EQ(again.exitStatus, 1);
  EXPECT_TRUE(Contains(again.err, "already exists")) << again.err;
  EXPECT_EQ(tessel::e2e::ReadText(doc_), before);

  const auto phone = box_.NewDocument("Phone", "iphone");
  ASSERT_TRUE(phone) << box_.Error();
  EXPECT_EQ(Sandbox::ReadDocument(*phone)["playerTarget"], "iPhone OS");
  EXPECT_EQ(Sandbox::DocumentText(*phone, "com.corvane.tessel.brisel.output.type"), "ipa");
}

TEST_F(TesselHost, ModuleCommandsAreCallableFromHostScripts) {
  const RunResult run = Script(
      "var answer = zaro.Echo('first value', 42);\n"
      "print('answer=' + answer);\n"
      "zaro.Echo('only one');\n"
      "zaro.Table();\n",
      doc_);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const auto lines = run.OutputLines("testmodule: ");
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "testmodule: Echo argc=2 [first value]/11 [42]/2");
  EXPECT_TRUE(Contains(run.out, "answer=first value\n")) << "the handler's result value reaches the script";
  // An argument the script left out is still there, as "no value".
  EXPECT_EQ(lines[1], "testmodule: Echo argc=2 [only one]/8 <null>");
  // 49 pointer-sized entries; the library object and the five functions are filled.
  EXPECT_EQ(lines[2], "testmodule: Table size=" + std::to_string(49 * sizeof(void*)) + " filled=0,1,4,6,19,37");
  EXPECT_FALSE(Contains(run.out, "foreign library object"));
  EXPECT_FALSE(Contains(run.out, "could not define"));
}

TEST_F(TesselHost, SnippetsAnswerLikeTheHostDocument) {
  const RunResult run = Script(
      "zaro.Evaluate('tx.getDocumentDOM().getDataFromDocument(\"no.such.key\");');\n"
      "zaro.Evaluate('tx.getDocumentDOM().asVersion');\n"
      "zaro.Evaluate('tx.getDocumentDOM().path;');\n"
      "zaro.Evaluate('tx.getDocumentDOM().playerTarget;');\n"
      "zaro.Evaluate('tx.getDocumentDOM().getDebugForQmv();');\n"
      "zaro.Evaluate('null');\n",
      doc_);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const auto lines = run.OutputLines("testmodule: Evaluate");
  ASSERT_EQ(lines.size(), 6u) << run.out;
  EXPECT_EQ(lines[0], "testmodule: Evaluate ran=1 raw=none text=<null> integer=0 boolean=0");
  EXPECT_EQ(lines[1], "testmodule: Evaluate ran=1 raw=value text=[3]/1 integer=3 boolean=1");
  std::string windowsPath = doc_.string();
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  EXPECT_TRUE(Contains(lines[2], "text=[" + windowsPath + "]")) << lines[2];
  EXPECT_TRUE(Contains(lines[3], "text=[Desktop]/7")) << lines[3];
  EXPECT_TRUE(Contains(lines[4], "text=[false]/5 integer=0 boolean=0")) << lines[4];
  EXPECT_EQ(lines[5], "testmodule: Evaluate ran=1 raw=none text=<null> integer=0 boolean=0");
}

// Without a document, tx.getDocumentDOM() is null and what uses it throws.
TEST_F(TesselHost, SnippetsThatDoNotParseOrThrowDidNotRun) {
  const RunResult run = Script(
      "zaro.Evaluate('tx.getDocumentDOM().getDataFromDocument(\"a\"\", \"b\");');\n"
      "zaro.Evaluate('undefinedFunction();');\n"
      "zaro.Remember();\n"
      "zaro.UseRemembered();\n"
      "zaro.Evaluate('tx.getDocumentDOM() === null');\n"
      "zaro.Evaluate('tx.getDocumentDOM().path;');\n",
      std::nullopt);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const auto lines = run.OutputLines("testmodule: ");
  ASSERT_EQ(lines.size(), 5u) << run.out;
  EXPECT_EQ(lines[0], "testmodule: Evaluate ran=0 raw=none text=<null> integer=0 boolean=0");
  EXPECT_EQ(lines[1], "testmodule: Evaluate ran=0 raw=none text=<null> integer=0 boolean=0");
  // A context stays usable only during the call it was handed out for.
  EXPECT_EQ(lines[2], "testmodule: UseRemembered ran=0");
  EXPECT_TRUE(Contains(lines[3], "ran=1 raw=value text=[true]")) << lines[3];
  EXPECT_TRUE(Contains(lines[4], "ran=0")) << lines[4];
  EXPECT_TRUE(Contains(run.err, "SyntaxError")) << run.err;
}

TEST_F(TesselHost, ACommandThatFailsRaisesAScriptError) {
  const RunResult caught = Script("try { zaro.Fail(); print('not reached'); } catch (e) { print('caught: ' + e.message); }",
                                  doc_);
  EXPECT_EQ(caught.exitStatus, 0) << caught.err;
  EXPECT_TRUE(Contains(caught.out, "caught: zaro.Fail failed")) << caught.out;
  EXPECT_FALSE(Contains(caught.out, "not reached"));

  const RunResult uncaught = Script("zaro.Fail();", doc_);
  EXPECT_EQ(uncaught.exitStatus, 1);
  EXPECT_TRUE(Contains(uncaught.err, "zaro.Fail failed")) << uncaught.err;
}

TEST_F(TesselHost, TheDocumentIsSavedOnlyWhenItsDataChanged) {
  const RunResult reading = Script("tx.getDocumentDOM().getDataFromDocument('x'); tx.getDocumentDOM().path;", doc_);
  ASSERT_EQ(reading.exitStatus, 0) << reading.err;
  EXPECT_TRUE(reading.filesMade.empty());

  const RunResult writing = Script(
      "var d = tx.getDocumentDOM();\n"
      "d.addDataToDocument('n', 'integer', '12');\n"
      "d.addDataToDocument('gone', 'string', 'x');\n"
      "d.removeDataFromDocument('gone');\n"
      "d.setDebugForQmv(true, false);\n",
      doc_);
  ASSERT_EQ(writing.exitStatus, 0) << writing.err;
  ASSERT_EQ(writing.filesMade, std::vector<fs::path>{"Hello.tsd"});
  EXPECT_EQ(Sandbox::DocumentValue(doc_, "n"), Json(12));
  EXPECT_FALSE(Sandbox::DocumentValue(doc_, "gone"));
  EXPECT_EQ(Sandbox::ReadDocument(doc_)["debugForQmv"], true);

  const RunResult refused = Script("tx.getDocumentDOM().addDataToDocument('n', 'integer', 'twelve');", doc_);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_TRUE(Contains(refused.err, "not a number")) << refused.err;
  EXPECT_EQ(Sandbox::DocumentValue(doc_, "n"), Json(12));
}

TEST_F(TesselHost, ExportCompilesTheStageIntoTheMovie) {
  const fs::path movie = box_.WorkFolder() / "Hello.qmv";
  fs::remove(movie);
  const RunResult run = Script(
      "var d = tx.getDocumentDOM();\n"
      "d.setDebugForQmv(true, false);\n"
      "print('exported=' + d.exportQMV(tessel.movieURL, 'true'));\n"
      "print('bad=' + d.exportQMV('http://example/x.qmv', 'true'));\n"
      "print('missing=' + d.exportQMV('file:///' + '/no/such/folder/x.qmv', 'true'));\n",
      doc_);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const auto calls = run.OutputLines("tessel: exportQMV(");
  ASSERT_EQ(calls.size(), 3u) << run.out;
  EXPECT_EQ(calls[0], "tessel: exportQMV(\"" + Sandbox::FileUrl(movie) + "\", \"true\")");
  for (const char* answer : {"exported=true\n", "bad=false\n", "missing=false\n"}) {
    EXPECT_TRUE(Contains(run.out, answer)) << run.out;
  }
  EXPECT_TRUE(Contains(run.err, "not a file URL")) << run.err;
  // The movie carries the debug flag the same script set.
  EXPECT_EQ(Json::parse(tessel::e2e::ReadText(movie).substr(4), nullptr, false)["debug"], true);
}

TEST_F(TesselHost, DocumentsInFoldersWithSpacesGetEncodedUrls) {
  const auto spaced = box_.NewDocument("My Movies/First Cut");
  ASSERT_TRUE(spaced) << box_.Error();
  const RunResult run = Script("print(tessel.documentURL); print(tessel.movieURL); print(tessel.kitVersion);", *spaced,
                               {}, {"--kit", "1.5"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::string folder = box_.WorkFolder().string();
  EXPECT_EQ(run.out, "file:///" + folder + "/My%20Movies/First%20Cut.tsd\nfile:///" + folder +
                         "/My%20Movies/First%20Cut.qmv\n1.5\n");
}

TEST_F(TesselHost, DebugMovieStartsTheLauncherWithoutWaiting) {
  const fs::path record = box_.Root() / "launcher-args.txt";
  const fs::path launcher = box_.WriteFile("kit/bin/zrl.exe",
                                           "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + record.string() +
                                               ".tmp'\nmv '" + record.string() + ".tmp' '" + record.string() + "'\n");
  ASSERT_EQ(::chmod(launcher.c_str(), 0755), 0);
  const std::string descriptor = box_.WorkFolder().string() + "/Hello-app.xml";
  const std::string call = "debugZAROMovie(\"" + launcher.string() + "\", \"" + box_.Root().string() +
                           "/kit/runtimes/zaro/win\", \"" + descriptor + "\", \"true\", \"mobileDevice\")";
  const RunResult run = Script("print('answer=' + tx.getDocumentDOM()." + call + ");", doc_);
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("), std::vector<std::string>{"tessel: " + call});
  EXPECT_TRUE(Contains(run.out, "answer=0")) << run.out;

  // The launcher runs on its own; wait (generously) for the file it writes.
  for (int i = 0; i < 400 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(tessel::e2e::ReadText(record), descriptor + "\n-profile\nmobileDevice\n");
}

TEST_F(TesselHost, HostDebuggingCanBeTurnedOffAndReportsLaunchersThatDoNotStart) {
  const std::string call = "tx.getDocumentDOM().debugZAROMovie('/no/such/zrl.exe', '/no/rt', '/no/Hello-app.xml', 'false')";
  const RunResult off = Script("print('answer=' + " + call + ");", doc_, {}, {"--no-host-debug"});
  ASSERT_EQ(off.exitStatus, 0) << off.err;
  EXPECT_TRUE(Contains(off.out, "answer=2")) << off.out;
  EXPECT_EQ(off.OutputLines("tessel: debugZAROMovie(").size(), 1u);

  const RunResult missing = Script("print('answer=' + " + call + ");", doc_);
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_TRUE(Contains(missing.out, "answer=1")) << missing.out;
  EXPECT_TRUE(Contains(missing.err, "cannot start the debug launcher /no/such/zrl.exe")) << missing.err;
}

TEST_F(TesselHost, ADamagedDocumentIsReportedAndLeftUntouched) {
  const std::string damaged = "{\"format\": \"tessel-document\", \"asVersion\": 3,, }";
  const fs::path file = box_.WriteFile("work/Broken.tsd", damaged);
  for (const std::string verb : {"publish", "settings", "test", "debug"}) {
    const RunResult run = box_.Run({verb, file.string(), "--module", TESSEL_TEST_MODULE});
    EXPECT_EQ(run.exitStatus, 1) << verb;
    EXPECT_TRUE(Contains(run.err, "cannot open the document " + file.string())) << run.err;
    EXPECT_TRUE(Contains(run.err, "not valid JSON")) << run.err;
  }
  const RunResult script = Script("print('ran');", file);
  EXPECT_EQ(script.exitStatus, 1);
  EXPECT_FALSE(Contains(script.out, "ran"));
  EXPECT_EQ(tessel::e2e::ReadText(file), damaged);
  EXPECT_EQ(std::distance(fs::directory_iterator(box_.WorkFolder()), fs::directory_iterator()), 3)
      << "Hello.tsd, Hello.qmv and Broken.tsd only: no movie, no temporary file";
}

TEST_F(TesselHost, ModulesWithoutTheEntryPointOrCommandAreRefused) {
  const RunResult foreign = box_.Run({"publish", doc_.string(), "--module", TESSEL_NOT_A_MODULE});
  EXPECT_EQ(foreign.exitStatus, 1);
  EXPECT_TRUE(Contains(foreign.err, "does not export KX_InitWrapper")) << foreign.err;

  const RunResult absent = box_.Run({"publish", doc_.string(), "--module", (box_.Root() / "none.so").string()});
  EXPECT_EQ(absent.exitStatus, 1);
  EXPECT_TRUE(Contains(absent.err, "there is no module")) << absent.err;

  const RunResult noCommand = box_.Run({"publish", doc_.string(), "--module", TESSEL_TEST_MODULE});
  EXPECT_EQ(noCommand.exitStatus, 1);
  EXPECT_TRUE(Contains(noCommand.err, "did not define the command \"Publish\"")) << noCommand.err;
  EXPECT_TRUE(Contains(noCommand.err, "Echo")) << noCommand.err;
}

TEST_F(TesselHost, AnswersAreHandedToTheModuleAndUnansweredQuestionsFailTheRun) {
  RunOptions options;
  options.answers = Answers(Json::array({Json{{"message", "yes"}}}));
  const RunResult environment = Script("zaro.Environment();", doc_, options);
  ASSERT_EQ(environment.exitStatus, 0) << environment.err;
  EXPECT_TRUE(Contains(environment.out, "Environment answers=" + box_.Root().string() + "/.runs/"))
      << environment.out;
  EXPECT_TRUE(Contains(environment.out, "-ui.log")) << environment.out;

  const RunResult unanswered = Script(
      "zaro.LogUi('{\"event\":\"message\",\"text\":\"first\",\"title\":\"T\",\"style\":64,\"answer\":\"ok\"}');\n"
      "zaro.LogUi('{\"event\":\"unanswered\",\"text\":\"Overwrite?\",\"answer\":\"no answer for this question\"}');\n"
      "zaro.LogUi('{\"event\":\"form-error\",\"text\":\"Settings\",\"answer\":\"cannot press Publish\"}');\n",
      doc_, options);
  EXPECT_EQ(unanswered.exitStatus, 1);
  EXPECT_TRUE(Contains(unanswered.err, "unanswered: Overwrite? (no answer for this question)")) << unanswered.err;
  EXPECT_TRUE(Contains(unanswered.err, "form-error: Settings (cannot press Publish)")) << unanswered.err;
  ASSERT_EQ(unanswered.events.size(), 3u);
  EXPECT_EQ(unanswered.events[0].event, "message");
  EXPECT_EQ(unanswered.events[0].style, 64u);
  EXPECT_EQ(unanswered.EventsOf("unanswered").size(), 1u);

  // Without answers the module sees no answers file, only a log of tessel's own, where a
  // dialog that could not be shown fails the run all the same.
  const RunResult plain = Script("zaro.Environment();", doc_);
  EXPECT_EQ(plain.exitStatus, 0) << plain.err;
  EXPECT_TRUE(Contains(plain.out, "answers=<unset> log=/")) << plain.out;
  const RunResult unshown = Script(
      "zaro.LogUi('{\"event\":\"unanswered\",\"text\":\"Settings\",\"answer\":\"no display\"}');\n", doc_);
  EXPECT_EQ(unshown.exitStatus, 1);
  EXPECT_TRUE(Contains(unshown.err, "a dialog could not be shown")) << unshown.err;
  EXPECT_TRUE(Contains(unshown.err, "unanswered: Settings (no display)")) << unshown.err;
}

TEST_F(TesselHost, UsageErrorsExitWithStatusTwo) {
  const fs::path answers = box_.WriteFile("bad-answers.json", "{\"answers\": [");
  const fs::path good = box_.WriteFile("answers.json", "{\"answers\": []}");
  const struct {
    std::vector<std::string> arguments;
    std::string problem;
  } cases[] = {
      {{}, "no verb"},
      {{"publish", (box_.WorkFolder() / "Nobody.tsd").string()}, "there is no document"},
      {{"publish", (box_.WorkFolder() / "Hello.txt").string()}, "ends in .tsd"},
      {{"new", (box_.WorkFolder() / "100%.tsd").string()}, "must not contain \"%\""},
      {{"run", (box_.Root() / "none.js").string()}, "there is no script"},
      {{"publish", doc_.string(), "--answers", answers.string(), "--module", TESSEL_TEST_MODULE}, "not JSON"},
      {{"publish", doc_.string(), "--ui-log", "x.log"}, "needs --answers"},
      {{"publish", doc_.string(), "--answers", good.string(), "--ui-log", (box_.Root() / "no" / "ui.log").string()},
       "cannot write the UI log"},
  };
  for (const auto& c : cases) {
    const RunResult run = box_.Run(c.arguments);
    EXPECT_EQ(run.exitStatus, 2) << c.problem;
    EXPECT_TRUE(Contains(run.err, c.problem)) << "expected \"" << c.problem << "\" in " << run.err;
  }
  const RunResult help = box_.Run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(Contains(help.out, "Usage: tessel VERB")) << help.out;
}

}  // namespace
