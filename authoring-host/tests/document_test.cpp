// The document model, its file form, movie compilation, URLs and text conversions.
#include "document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <iterator>

#include "tessel_e2e.h"
#include "text_codec.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

class TesselDocumentFile : public ::testing::Test {
 protected:
  e2e::Sandbox box_;
};

// Every member comes back, the data in the order the keys were first stored, and members
// this host does not know are kept through a load and a save.
TEST_F(TesselDocumentFile, NewDocumentSurvivesSaveAndLoad) {
  const fs::path file = box_.WorkFolder() / "Phone.tsd";
  Document made = MakeNewDocument(file, /*iphone=*/true, 2);
  std::string error;
  ASSERT_TRUE(made.SetData("k.int", "integer", Json(42), &error)) << error;
  ASSERT_TRUE(made.SetData("k.double", "double", Json(2.5), &error)) << error;
  made.SetDebugForQmv(true);
  made.extra["authoringNotes"] = Json{{"by", "ann"}};
  ASSERT_TRUE(SaveDocument(made, &error)) << error;
  std::optional<Document> loaded = LoadDocument(file, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(DocumentToJson(*loaded), DocumentToJson(made));
  EXPECT_EQ(DocumentToJson(*loaded)["data"],
            Json::parse(R"([{"key": "com.corvane.tessel.brisel.output.type", "type": "string", "value": "ipa"},
                           {"key": "k.int", "type": "integer", "value": 42},
                           {"key": "k.double", "type": "double", "value": 2.5}])"));
  EXPECT_EQ(loaded->asVersion, 2);
  EXPECT_EQ(loaded->playerTarget, "iPhone OS");
  EXPECT_TRUE(loaded->debugForQmv);
  EXPECT_FALSE(loaded->Changed());
  ASSERT_TRUE(loaded->SetData("a", "string", Json("b"), &error));
  ASSERT_TRUE(SaveDocument(*loaded, &error)) << error;
  EXPECT_EQ(e2e::Sandbox::ReadDocument(file)["authoringNotes"]["by"], "ann");
}

TEST_F(TesselDocumentFile, DamagedFilesAreRefusedWithTheProblem) {
  const Json good = DocumentToJson(MakeNewDocument(box_.WorkFolder() / "x.tsd", false, 3));
  auto with = [&](const char* member, Json value) {
    Json changed = good;
    changed[member] = std::move(value);
    return changed.dump();
  };
  auto without = [&](const char* member) {
    Json changed = good;
    changed.erase(member);
    return changed.dump();
  };
  const struct {
    std::string content;
    std::string problem;
  } cases[] = {
      {"{\"format\": \"tessel-document\", ", "not valid JSON"},
      {"[1, 2]", "JSON object"},
      {without("format"), "not a document"},
      {with("asVersion", 4), "asVersion"},
      {with("asVersion", "3"), "asVersion"},
      {with("playerTarget", "Android"), "playerTarget"},
      {with("debugForQmv", "yes"), "debugForQmv"},
      {with("data", Json::object()), "\"data\" must be a list"},
      {with("data", Json::array({Json{{"key", "a"}, {"type", "integer"}, {"value", "7"}}})), "\"a\""},
      {with("data", Json::array({Json{{"key", "a"}, {"type", "string"}, {"value", "1"}},
                                 Json{{"key", "a"}, {"type", "string"}, {"value", "2"}}})),
       "repeats the key"},
      {with("data", Json::array({Json{{"type", "string"}, {"value", "1"}}})), "key"},
      {without("stage"), "stage"},
      {with("stage", Json{{"width", 0}, {"height", 10}, {"frameRate", 24}}), "width"},
      {with("stage", Json{{"width", 10}, {"height", 10}, {"frameRate", 24}, {"items", Json::array({1})}}), "item 0"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const fs::path file = box_.WriteFile("work/bad" + std::to_string(index++) + ".tsd", c.content);
    std::string error;
    EXPECT_FALSE(LoadDocument(file, &error)) << c.content;
    EXPECT_NE(error.find(c.problem), std::string::npos) << "content: " << c.content << "\nerror: " << error;
  }
  std::string error;
  EXPECT_FALSE(LoadDocument(box_.WorkFolder() / "missing.tsd", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(LoadDocument(box_.WorkFolder(), &error));
  EXPECT_NE(error.find("folder"), std::string::npos);
}

TEST(TesselDocumentData, ChangesAreTrackedOnlyWhenSomethingChangedAndWhatCannotBeKeptIsRefused) {
  Document document = MakeNewDocument("/tmp/never-written.tsd", false, 3);
  document.MarkSaved();
  std::string error;
  ASSERT_TRUE(document.SetData(kOutputTypeKey, "string", Json("zaro"), &error));
  EXPECT_FALSE(document.Changed()) << "the same value again is no change";
  EXPECT_FALSE(document.RemoveData("absent"));
  EXPECT_FALSE(document.Changed());
  document.SetDebugForQmv(false);
  EXPECT_FALSE(document.Changed());

  ASSERT_TRUE(document.SetData(kOutputTypeKey, "string", Json("ipa"), &error));
  EXPECT_TRUE(document.Changed());
  document.MarkSaved();
  EXPECT_TRUE(document.RemoveData(kOutputTypeKey));
  EXPECT_TRUE(document.Changed());
  EXPECT_EQ(document.FindData(kOutputTypeKey), nullptr);
  // Types and values it cannot keep are refused.
  EXPECT_FALSE(document.SetData("k", "byteArray", Json("x"), &error));
  EXPECT_NE(error.find("byteArray"), std::string::npos);
  EXPECT_FALSE(document.SetData("k", "integer", Json(1.5), &error));
  EXPECT_FALSE(document.SetData("k", "string", Json(3), &error));
  EXPECT_FALSE(document.SetData("", "string", Json("x"), &error));
  EXPECT_EQ(document.FindData("k"), nullptr);
}

TEST(TesselMovie, StartsWithTheMagicAndCarriesTheStageAndDebugFlag) {
  Document document = MakeNewDocument("/tmp/Movie.tsd", false, 3);
  document.SetDebugForQmv(true);
  const std::string bytes = CompileMovie(document);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 3), "QMV");
  EXPECT_EQ(static_cast<unsigned char>(bytes[3]), kMovieFormatVersion);
  const Json compiled = Json::parse(bytes.substr(4));
  EXPECT_EQ(compiled["debug"], true);
  EXPECT_EQ(compiled["stage"], document.stage);
  EXPECT_EQ(MoviePathFor("/a b/Movie.tsd"), fs::path("/a b/Movie.qmv"));
}

TEST(TesselFileUrls, UseFourSlashesAndEncodeSpaces) {
  EXPECT_EQ(FileUrl("/home/ann/My Movies/a.qmv"), "file:////home/ann/My%20Movies/a.qmv");
  EXPECT_EQ(PathFromFileUrl("file:////home/ann/My%20Movies/a.qmv"), fs::path("/home/ann/My Movies/a.qmv"));
  EXPECT_EQ(PathFromFileUrl("file:///home/ann/a.qmv"), fs::path("/home/ann/a.qmv"));
  EXPECT_FALSE(PathFromFileUrl("http://example/a.qmv"));
  EXPECT_FALSE(PathFromFileUrl("file:///"));
  EXPECT_EQ(WindowsForm("/home/ann/Hello.tsd"), "\\home\\ann\\Hello.tsd");
}

TEST(TesselAtomicWrite, ReplacesTheFileAndKeepsItsPermissions) {
  e2e::Sandbox box;
  const fs::path file = box.WriteFile("work/a.txt", "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file, "new content", &error)) << error;
  EXPECT_EQ(tessel::e2e::ReadText(file), "new content");
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0640));
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
  EXPECT_FALSE(WriteFileAtomically(box.WorkFolder() / "no-such-folder" / "b.txt", "x", &error));
  EXPECT_NE(error.find("no-such-folder"), std::string::npos);
}

TEST(TesselTextCodec, KeepsEveryUtf16UnitThroughTheEngineForm) {
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600\xD800z";  // with a lone high surrogate
  EXPECT_EQ(Cesu8ToUtf16(Utf16ToCesu8(text)), text);
  // Plain UTF-8 (4-byte sequences) reads as a surrogate pair.
  EXPECT_EQ(Cesu8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(u"x\xDC00y"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(Cesu8ToUtf16("\xE4\xB8"), u"\uFFFD\uFFFD");  // a cut-off sequence
}

}  // namespace
}  // namespace tessel
