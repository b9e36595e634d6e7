// The staged tessel with the real publishing module.
#include <gtest/gtest.h>

#include "tessel_e2e.h"

namespace {

namespace fs = std::filesystem;
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

  Sandbox box_;
  fs::path doc_;
};

// A command on a movie in a folder that does not exist shows that on the console and stops
// there: nothing is saved and no descriptor is written.
TEST_F(TesselModule, AMissingMovieFolderIsShownAndStopsTheCommand) {
  const std::string before = tessel::e2e::ReadText(doc_);
  const std::string movie = Json(Sandbox::FileUrl(box_.WorkFolder() / "not there" / "Hello.qmv")).dump();
  for (const std::string command : {"OpenSettingDialog", "Publish"}) {
    const RunResult run =
        box_.RunScript("zaro." + command + "(tessel.documentURL, " + movie + ", tessel.kitVersion);", doc_);
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
    EXPECT_TRUE(run.filesMade.empty()) << command;
    EXPECT_TRUE(Contains(run.err, std::string("] information: ") + kMissingMovieFolder)) << command << run.err;
  }
  EXPECT_EQ(tessel::e2e::ReadText(doc_), before);
}

// The module loads its settings from the document and, when the sheet is left with OK after a
// change, stores every setting back through addDataToDocument (the iPhone destination is one
// the desktop pages never rewrite). The module stored the value itself (the snippet ran) and
// the saved file holds it unchanged.
TEST_F(TesselModule, TextsWithQuotesBackslashesAndLineFeedsSurviveTheModulesSave) {
  const std::string value = "C:\\Program Files\\say \"hi\".txt\nsecond line \xE4\xB8\xAD";
  const RunResult run = box_.RunScript(
      "tx.getDocumentDOM().addDataToDocument('com.zaro.quessa.ipadest', 'string', " + Json(value).dump() + ");\n"
      "zaro.OpenSettingDialog(tessel.documentURL, tessel.movieURL, tessel.kitVersion);\n",
      doc_,
      RunOptions{.answers = tessel::e2e::Answers(Json::array(
                     {Json{{"form", "Settings"},
                           {"steps", {Json{{"set", {{"Signature.prepare", "true"}}}}, Json{{"press", "OK"}}}}}})),
                 .environment = {}},
      {"--trace"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "tessel: ran tx.getDocumentDOM().addDataToDocument(\"com.zaro.quessa.ipadest\""))
      << run.err;
  EXPECT_FALSE(Contains(run.err, "did not run")) << run.err;
  EXPECT_EQ(Sandbox::DocumentValue(doc_, "com.zaro.quessa.ipadest"), Json(value));
  EXPECT_EQ(Sandbox::DocumentValue(doc_, "tessel.tsd.filepath"), Json(doc_.string()));
}

}  // namespace
