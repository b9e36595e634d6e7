// The staged tessel with the real publishing module.
#include <gtest/gtest.h>

#include "tessel_e2e.h"

namespace {

namespace fs = std::filesystem;
using tessel::e2e::Answers;
using tessel::e2e::Contains;
using tessel::e2e::Json;
using tessel::e2e::RunOptions;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;

constexpr const char* kMissingMovieFolder = "用于发布 qmv 文件的目标文件夹不存在。";

class TesselModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    ASSERT_TRUE(fs::exists(Sandbox::Stage() / "bin" / "libzaropublish.so")) << "the module is not staged";
    const auto made = box_.NewDocument("Hello");
    ASSERT_TRUE(made) << box_.Error();
    doc_ = *made;
  }

  RunResult Script(const std::string& source, const RunOptions& options = {}, std::vector<std::string> extra = {}) {
    return box_.RunScript(source, doc_, options, extra);
  }

  // Calls a command with the document and a movie in a folder that does not exist.
  std::string CommandOnMissingFolder(const std::string& command) {
    const std::string movie = Sandbox::FileUrl(box_.WorkFolder() / "not there" / "Hello.qmv");
    return "zaro." + command + "(tessel.documentURL, " + Json(movie).dump() + ", tessel.kitVersion);";
  }

  Sandbox box_;
  fs::path doc_;
};

// On the console and through the scripted user interface alike; the command stops there:
// nothing is saved and no descriptor is written.
TEST_F(TesselModule, AMissingMovieFolderIsShownAndStopsTheCommand) {
  const std::string before = tessel::e2e::ReadText(doc_);
  for (const std::string command : {"OpenSettingDialog", "Publish"}) {
    const RunResult run = Script(CommandOnMissingFolder(command));
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
    EXPECT_TRUE(Contains(run.err, std::string("] information: ") + kMissingMovieFolder)) << command << ": " << run.err;
    EXPECT_TRUE(run.filesMade.empty()) << command;
  }
  EXPECT_EQ(tessel::e2e::ReadText(doc_), before);

  RunOptions options;
  options.answers = Answers(Json::array());
  const RunResult run = Script(CommandOnMissingFolder("OpenSettingDialog"), options);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ASSERT_EQ(run.events.size(), 1u) << run.err;
  const auto& shown = run.events[0];
  EXPECT_EQ(shown.event + "|" + shown.text + "|" + std::to_string(shown.style) + "|" + shown.answer,
            std::string("message|") + kMissingMovieFolder + "|64|ok");
}

TEST_F(TesselModule, UnansweredQuestionsOfTheModuleFailTheRun) {
  RunOptions options;
  options.answers = Answers(Json::array());  // the sheet opens, but nothing answers it
  const RunResult run = box_.Run({"settings", doc_.string()}, options);
  EXPECT_EQ(run.exitStatus, 1) << run.err;
  EXPECT_FALSE(run.EventsOf("unanswered").empty()) << run.err;
  EXPECT_TRUE(Contains(run.err, "did not answer everything")) << run.err;
}

TEST_F(TesselModule, TextsWithQuotesBackslashesAndLineFeedsSurviveTheModulesSave) {
  // The module loads its settings from the document and, when the sheet is left with OK
  // after a change, stores every setting back through addDataToDocument. (The iPhone
  // destination is one the desktop pages never rewrite.)
  const std::string value = "C:\\Program Files\\say \"hi\".txt\nsecond line \xE4\xB8\xAD";
  RunOptions options;
  options.answers = Answers(Json::array(
      {Json{{"form", "Settings"}, {"steps", Json::array({Json{{"set", Json{{"Signature.prepare", "true"}}}},
                                                         Json{{"press", "OK"}}})}}}));
  const RunResult run = Script(
      "var d = tx.getDocumentDOM();\n"
      "d.addDataToDocument('com.zaro.quessa.ipadest', 'string', " + Json(value).dump() + ");\n"
      "zaro.OpenSettingDialog(tessel.documentURL, tessel.movieURL, tessel.kitVersion);\n",
      options, {"--trace"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  // The module stored the value itself (the snippet ran), and the saved file holds it unchanged.
  EXPECT_TRUE(Contains(run.err, "tessel: ran tx.getDocumentDOM().addDataToDocument(\"com.zaro.quessa.ipadest\""))
      << run.err;
  EXPECT_FALSE(Contains(run.err, "did not run")) << run.err;
  EXPECT_EQ(Sandbox::DocumentText(doc_, "com.zaro.quessa.ipadest"), value);
  EXPECT_EQ(Sandbox::DocumentText(doc_, "tessel.tsd.filepath"), doc_.string());

  // Loaded again by a new run, the module reads the same text.
  const RunResult again = Script(
      "print(tx.getDocumentDOM().getDataFromDocument('com.zaro.quessa.ipadest') === " + Json(value).dump() + ");");
  EXPECT_TRUE(Contains(again.out, "true\n")) << again.out << again.err;
}

}  // namespace
