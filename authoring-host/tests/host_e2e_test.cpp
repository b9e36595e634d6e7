// The tessel binary end to end, with a test module that exercises the callback table.
#include <gtest/gtest.h>

#include <algorithm>

#include "tessel_e2e.h"

namespace {

namespace fs = std::filesystem;
using tessel::e2e::Contains;
using tessel::e2e::Json;
using tessel::e2e::ReadText;
using tessel::e2e::RunOptions;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;
using Lines = std::vector<std::string>;

class TesselHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    const auto made = box_.NewDocument("Hello");
    ASSERT_TRUE(made) << box_.Error();
    doc_ = *made;
  }
  RunResult Script(const std::string& source, std::optional<fs::path> document, RunOptions options = {},
                   std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--module", TESSEL_TEST_MODULE});
    return box_.RunScript(source, document, options, extra);
  }
  // The run succeeded, and what the test module printed.
  static Lines Printed(const RunResult& run) {
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.OutputLines("testmodule: ");
  }
  static std::string Evaluated(const std::string& ran, const std::string& text, int integer, int boolean) {
    return "testmodule: Evaluate ran=" + ran + " raw=" + (text == "<null>" ? "none" : "value") + " text=" + text +
           " integer=" + std::to_string(integer) + " boolean=" + std::to_string(boolean);
  }

  Sandbox box_;
  fs::path doc_;
};

// The handler's result value reaches the script; an argument the script left out is still
// there, as "no value". The table has 49 pointer-sized entries; the library object and the
// five functions are filled, and a definition against another library object is refused.
// Snippets answer like the host document; without a document, tx.getDocumentDOM() is null
// and what uses it throws. A snippet that does not parse or throws did not run, a context
// stays usable only during its call, and a command that fails raises a script error.
TEST_F(TesselHost, ModuleCommandsAndTheirSnippetsWorkFromHostScripts) {
  std::string windowsPath = doc_.string();
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  const RunResult withDocument = Script(R"(print('answer=' + zaro.Echo('first value', 42));
zaro.Echo('only one');
zaro.Table();
zaro.Evaluate('tx.getDocumentDOM().getDataFromDocument("no.such.key");');
zaro.Evaluate('tx.getDocumentDOM().asVersion');
zaro.Evaluate('tx.getDocumentDOM().path;');
zaro.Evaluate('tx.getDocumentDOM().playerTarget;');
zaro.Evaluate('tx.getDocumentDOM().getDebugForQmv();');
zaro.Evaluate('null');
try { zaro.Fail(); print('not reached'); } catch (e) { print('caught: ' + e.message); }
)",
                                        doc_);
  EXPECT_EQ(Printed(withDocument),
            (Lines{"testmodule: Echo argc=2 [first value]/11 [42]/2", "testmodule: Echo argc=2 [only one]/8 <null>",
                   "testmodule: Table size=" + std::to_string(49 * sizeof(void*)) + " filled=0,1,4,6,19,37",
                   Evaluated("1", "<null>", 0, 0), Evaluated("1", "[3]/1", 3, 1),
                   Evaluated("1", "[" + windowsPath + "]/" + std::to_string(windowsPath.size()), 0, 1),
                   Evaluated("1", "[Desktop]/7", 0, 1), Evaluated("1", "[false]/5", 0, 0),
                   Evaluated("1", "<null>", 0, 0), "testmodule: Fail"}));
  EXPECT_TRUE(Contains(withDocument.out, "answer=first value\n")) << withDocument.out;
  EXPECT_TRUE(Contains(withDocument.out, "caught: zaro.Fail failed")) << withDocument.out;
  EXPECT_FALSE(Contains(withDocument.out, "not reached"));
  const RunResult without = Script(R"(zaro.Evaluate('tx.getDocumentDOM().getDataFromDocument("a"", "b");');
zaro.Evaluate('undefinedFunction();');
zaro.Remember();
zaro.UseRemembered();
zaro.Evaluate('tx.getDocumentDOM() === null');
zaro.Evaluate('tx.getDocumentDOM().path;');
)",
                                   std::nullopt);
  EXPECT_EQ(Printed(without), (Lines{Evaluated("0", "<null>", 0, 0), Evaluated("0", "<null>", 0, 0),
                                     "testmodule: UseRemembered ran=0", Evaluated("1", "[true]/4", 1, 1),
                                     Evaluated("0", "<null>", 0, 0)}));
  EXPECT_TRUE(Contains(without.err, "SyntaxError")) << without.err;
  const RunResult uncaught = Script("zaro.Fail();", doc_);
  EXPECT_EQ(uncaught.exitStatus, 1);
  EXPECT_TRUE(Contains(uncaught.err, "zaro.Fail failed")) << uncaught.err;
}

TEST_F(TesselHost, TheDocumentIsSavedOnlyWhenItsDataChanged) {
  const RunResult reading = Script("tx.getDocumentDOM().getDataFromDocument('x'); tx.getDocumentDOM().path;", doc_);
  EXPECT_EQ(reading.exitStatus, 0) << reading.err;
  EXPECT_TRUE(reading.filesMade.empty());
  const RunResult writing = Script(
      "var d = tx.getDocumentDOM();\nd.addDataToDocument('n', 'integer', '12');\n"
      "d.addDataToDocument('gone', 'string', 'x');\nd.removeDataFromDocument('gone');\n"
      "d.setDebugForQmv(true, false);\n",
      doc_);
  EXPECT_EQ(writing.exitStatus, 0) << writing.err;
  EXPECT_EQ(writing.filesMade, std::vector<fs::path>{"Hello.tsd"});
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
      "var d = tx.getDocumentDOM();\nprint('exported=' + d.exportQMV(tessel.movieURL, 'true'));\n"
      "print('bad=' + d.exportQMV('http://example/x.qmv', 'true'));\n"
      "print('missing=' + d.exportQMV('file:///' + '/no/such/folder/x.qmv', 'true'));\n",
      doc_);
  EXPECT_EQ(Printed(run), Lines{});
  EXPECT_EQ(run.out, "tessel: exportQMV(\"" + Sandbox::FileUrl(movie) + "\", \"true\")\nexported=true\n"
                     "tessel: exportQMV(\"http://example/x.qmv\", \"true\")\nbad=false\n"
                     "tessel: exportQMV(\"file:////no/such/folder/x.qmv\", \"true\")\nmissing=false\n");
  EXPECT_TRUE(Contains(run.err, "not a file URL")) << run.err;
  EXPECT_EQ(ReadText(movie).substr(0, 3), "QMV");
}

TEST_F(TesselHost, DocumentsInFoldersWithSpacesGetEncodedUrls) {
  const auto spaced = box_.NewDocument("My Movies/First Cut");
  ASSERT_TRUE(spaced) << box_.Error();
  const RunResult run = Script("print(tessel.documentURL); print(tessel.movieURL); print(tessel.kitVersion);", *spaced,
                               {}, {"--kit", "1.5"});
  const std::string folder = "file:///" + box_.WorkFolder().string() + "/My%20Movies/First%20Cut";
  EXPECT_EQ(run.out, folder + ".tsd\n" + folder + ".qmv\n1.5\n") << run.err;
}

// With host debugging off the host answers 2; a launcher that cannot start makes it answer 1.
TEST_F(TesselHost, DebugMovieCanBeTurnedOffAndReportsLaunchersThatDoNotStart) {
  const std::string missing = "print('answer=' + tx.getDocumentDOM().debugZAROMovie('/no/such/zrl.exe', '/no/rt', "
                              "'/no/Hello-app.xml', 'false'));";
  const RunResult off = Script(missing, doc_, {}, {"--no-host-debug"});
  EXPECT_EQ(off.exitStatus, 0) << off.err;
  EXPECT_TRUE(Contains(off.out, "answer=2")) << off.out;
  EXPECT_EQ(off.OutputLines("tessel: debugZAROMovie(").size(), 1u);
  const RunResult failed = Script(missing, doc_);
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_TRUE(Contains(failed.out, "answer=1")) << failed.out;
  EXPECT_TRUE(Contains(failed.err, "cannot start the debug launcher /no/such/zrl.exe")) << failed.err;
}

TEST_F(TesselHost, ADamagedDocumentIsReportedAndLeftUntouched) {
  const std::string damaged = "{\"format\": \"tessel-document\", \"asVersion\": 3,, }";
  const fs::path file = box_.WriteFile("work/Broken.tsd", damaged);
  for (const std::string verb : {"publish", "settings", "test", "debug"}) {
    const RunResult run = box_.Run({verb, file.string(), "--module", TESSEL_TEST_MODULE});
    EXPECT_EQ(run.exitStatus, 1) << verb;
    EXPECT_TRUE(Contains(run.err, "cannot open the document " + file.string() + ": it is not valid JSON")) << run.err;
  }
  const RunResult script = Script("print('ran');", file);
  EXPECT_EQ(script.exitStatus, 1);
  EXPECT_FALSE(Contains(script.out, "ran"));
  EXPECT_EQ(ReadText(file), damaged);
  EXPECT_EQ(std::distance(fs::directory_iterator(box_.WorkFolder()), fs::directory_iterator()), 3)
      << "Hello.tsd, Hello.qmv and Broken.tsd only: no movie, no temporary file";
}

// A document that exists already, a module without the entry point, none at all, and one
// without the command; then usage
// errors, found in the command line or in what it names, which exit with status two.
TEST_F(TesselHost, RefusedModulesAndUsageErrorsSayWhatIsWrong) {
  const fs::path answers = box_.WriteFile("bad-answers.json", "{\"answers\": [");
  const fs::path good = box_.WriteFile("answers.json", "{\"answers\": []}");
  const std::string doc = doc_.string(), work = box_.WorkFolder().string(), before = ReadText(doc_);
  const struct {
    Lines arguments;
    int status;
    std::string problem;
  } cases[] = {
      {{"new", doc, "--target", "iphone"}, 1, "already exists"},
      {{"publish", doc, "--module", TESSEL_NOT_A_MODULE}, 1, "does not export KX_InitWrapper"},
      {{"publish", doc, "--module", (box_.Root() / "none.so").string()}, 1, "there is no module"},
      {{"publish", doc, "--module", TESSEL_TEST_MODULE}, 1, "did not define the command \"Publish\""},
      {{"publish", doc, "--module", TESSEL_TEST_MODULE}, 1, "Echo"},
      {{}, 2, "no verb"},
      {{"export", "a.tsd"}, 2, "unknown verb export"},
      {{"publish"}, 2, "one document"},
      {{"publish", "a.tsd", "b.tsd"}, 2, "one document"},
      {{"run"}, 2, "script"},
      {{"run", "a.js", "b.tsd", "c"}, 2, "script"},
      {{"publish", "a.tsd", "--profile", "p"}, 2, "takes no --profile"},
      {{"new", "a.tsd", "--kit", "2.0"}, 2, "takes no --kit"},
      {{"new", "a.tsd", "--target", "android"}, 2, "desktop or iphone"},
      {{"new", "a.tsd", "--as-version", "4"}, 2, "1, 2 or 3"},
      {{"publish", "a.tsd", "--kit"}, 2, "--kit needs a value"},
      {{"publish", "a.tsd", "--kit="}, 2, "--kit needs a version"},
      {{"publish", "a.tsd", "--colour"}, 2, "unknown option --colour"},
      {{"test", "a.tsd", "--no-host-debug=yes"}, 2, "takes no value"},
      {{"publish", work + "/Nobody.tsd"}, 2, "there is no document"},
      {{"publish", work + "/Hello.txt"}, 2, "ends in .tsd"},
      {{"new", work + "/100%.tsd"}, 2, "must not contain \"%\""},
      {{"run", (box_.Root() / "none.js").string()}, 2, "there is no script"},
      {{"publish", doc, "--answers", answers.string(), "--module", TESSEL_TEST_MODULE}, 2, "not JSON"},
      {{"publish", doc, "--ui-log", "x.log"}, 2, "needs --answers"},
      {{"publish", doc, "--answers", good.string(), "--ui-log", (box_.Root() / "no" / "ui.log").string()}, 2,
       "cannot write the UI log"},
  };
  for (const auto& c : cases) {
    const RunResult run = box_.Run(c.arguments);
    EXPECT_EQ(run.exitStatus, c.status) << c.problem;
    EXPECT_TRUE(Contains(run.err, c.problem)) << "expected \"" << c.problem << "\" in " << run.err;
  }
  EXPECT_EQ(ReadText(doc_), before) << "no run changed the document, not even a new one over it";
  const RunResult help = box_.Run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(Contains(help.out, "Usage: tessel VERB")) << help.out;
}

// Without answers the module sees no answers file, only a log of tessel's own, where a
// dialog that could not be shown fails the run all the same.
TEST_F(TesselHost, AnswersAreHandedToTheModuleAndUnansweredQuestionsFailTheRun) {
  RunOptions options;
  options.answers = tessel::e2e::Answers(Json::array({Json{{"message", "yes"}}}));
  const RunResult environment = Script("zaro.Environment();", doc_, options);
  EXPECT_EQ(Printed(environment), Lines{"testmodule: Environment answers=" + box_.Root().string() +
                                        "/.runs/2-answers.json log=" + box_.Root().string() + "/.runs/2-ui.log"});
  const RunResult unanswered = Script(
      R"(zaro.LogUi('{"event":"message","text":"first","title":"T","style":64,"answer":"ok"}');
zaro.LogUi('{"event":"unanswered","text":"Overwrite?","answer":"no answer for this question"}');
zaro.LogUi('{"event":"form-error","text":"Settings","answer":"cannot press Publish"}');
)",
      doc_, options);
  EXPECT_EQ(unanswered.exitStatus, 1);
  EXPECT_TRUE(Contains(unanswered.err, " did not answer everything:\n  unanswered: Overwrite? (no answer for this "
                                       "question)\n  form-error: Settings (cannot press Publish)"))
      << unanswered.err;
  EXPECT_EQ(unanswered.events.at(1).event, "unanswered");

  const RunResult plain = Script("zaro.Environment();", doc_);
  EXPECT_TRUE(Contains(Printed(plain).at(0), "answers=<unset> log=/")) << plain.out;
  const RunResult unshown =
      Script(R"(zaro.LogUi('{"event":"unanswered","text":"Settings","answer":"no display"}');)", doc_);
  EXPECT_EQ(unshown.exitStatus, 1);
  EXPECT_TRUE(Contains(unshown.err, "a dialog could not be shown")) << unshown.err;
  EXPECT_TRUE(Contains(unshown.err, "unanswered: Settings (no display)")) << unshown.err;
}

}  // namespace
