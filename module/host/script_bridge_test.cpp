#include "host/script_bridge.h"

#include <gtest/gtest.h>

#include "settings/settings_store.h"
#include "testing/fake_host.h"

namespace zaro {
namespace {

class ScriptBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Install();
    ResetSettingsKeepingCredentials();
  }
  testing::FakeHost host;
};

TEST_F(ScriptBridge, DocumentValueSnippetsHaveTheirFixedTexts) {
  SetSetting(u"k", u"v");
  StoreDocumentValue(1, 2, u"k");
  RemoveDocumentValue(1, 2, u"k");
  std::u16string ignored;
  ReadDocumentValue(1, 2, u"k", ignored);
  RememberScriptContext(1, 2);
  SetDebugForMovie(true);
  SetDebugForMovie(false);
  const std::vector<std::u16string> expected = {
      u"tx.getDocumentDOM().addDataToDocument(\"k\", \"string\", \"v\");",
      u"tx.getDocumentDOM().removeDataFromDocument(\"k\");",
      u"tx.getDocumentDOM().getDataFromDocument(\"k\");",
      u"tx.getDocumentDOM().setDebugForQmv(true,false);",
      u"tx.getDocumentDOM().setDebugForQmv(false,false);",
  };
  EXPECT_EQ(host.scripts, expected);
}

TEST_F(ScriptBridge, ValuesWithQuotesBackslashesAndLineBreaksRoundTrip) {
  const std::u16string value = u"C:\\Work \"new\"\\\nline\ttab\u0001end\\";
  SetSetting(u"key", value);
  StoreDocumentValue(1, 2, u"key");
  ASSERT_EQ(host.data.count(u"key"), 1u) << "the snippet must run";
  EXPECT_EQ(host.data[u"key"], value);
  EXPECT_EQ(host.scripts.back().find(u'\n'), std::u16string::npos) << "no raw line break in a snippet";

  RemoveSetting(u"key");
  LoadDocumentValue(1, 2, u"key");
  EXPECT_EQ(GetSetting(u"key"), value);
}

TEST_F(ScriptBridge, LoadingSkipsZeroAndAbsentValuesAndSavingRemovesEmptyOnes) {
  host.data[u"a"] = u"0";
  SetSetting(u"a", u"kept");
  LoadDocumentValue(1, 2, u"a");
  EXPECT_EQ(GetSetting(u"a"), u"kept") << "a document value \"0\" is never loaded";
  LoadDocumentValue(1, 2, u"absent");
  EXPECT_EQ(GetSetting(u"absent"), u"");

  host.data[u"b"] = u"old";
  SetSetting(u"b", u"");
  StoreDocumentValue(1, 2, u"b");
  EXPECT_EQ(host.data.count(u"b"), 0u);
}

TEST_F(ScriptBridge, ReadDocumentValueFollowsThePresentRule) {
  std::u16string out = u"before";
  ReadDocumentValue(1, 2, u"missing", out);
  EXPECT_EQ(out, u"before");
  host.data[u"empty"] = u"";
  ReadDocumentValue(1, 2, u"empty", out);
  EXPECT_EQ(out, u"before");
  host.data[u"there"] = u"value";
  ReadDocumentValue(1, 2, u"there", out);
  EXPECT_EQ(out, u"value");
}

TEST_F(ScriptBridge, DocumentPathChangedComparesWithSlashesAndCase) {
  const std::u16string path = u"tx.getDocumentDOM().path;";
  host.answers[path] = u"C:\\work\\Movie.tsd";
  EXPECT_TRUE(DocumentPathChanged(1, 2)) << "no stored path";
  host.data[u"tessel.tsd.filepath"] = u"C:/work/Movie.tsd";
  EXPECT_FALSE(DocumentPathChanged(1, 2));
  host.data[u"tessel.tsd.filepath"] = u"c:/work/Movie.tsd";
  EXPECT_TRUE(DocumentPathChanged(1, 2)) << "the drive letter's case counts";
  host.answers[path] = u"";
  EXPECT_FALSE(DocumentPathChanged(1, 2)) << "an unsaved document has not moved";
}

TEST_F(ScriptBridge, PlayerTargetAndOutputTypeChooseTheTarget) {
  host.answers[u"tx.getDocumentDOM().playerTarget;"] = u"iPhone OS";
  ApplyPlayerTarget(1, 2);
  EXPECT_EQ(GetSetting(keys::kPubIpa), u"true");
  EXPECT_EQ(GetSetting(keys::kPubZaro), u"") << "an iPhone target leaves pubzaro alone";

  host.answers[u"tx.getDocumentDOM().playerTarget;"] = u"Desktop";
  ApplyPlayerTarget(1, 2);
  EXPECT_EQ(GetSetting(keys::kPubIpa), u"false");
  EXPECT_EQ(GetSetting(keys::kPubZaro), u"true");

  host.data[u"com.corvane.tessel.brisel.output.type"] = u"ipa";
  ApplyOutputType(1, 2);
  EXPECT_EQ(GetSetting(keys::kPubIpa), u"true");
  EXPECT_EQ(GetSetting(keys::kPubZaro), u"true") << "pubzaro once true stays true";
}

TEST_F(ScriptBridge, IncludedItemsAreRemovedUpToTheDocumentCount) {
  host.data[u"com.zaro.quessa.included.count"] = u"3";
  for (const char16_t* item : {u"0", u"1", u"2", u"3"}) {
    host.data[std::u16string(u"com.zaro.quessa.included.item") + item] = u"x";
  }
  RemoveDocumentIncludedItems(1, 2);
  EXPECT_EQ(host.data.count(u"com.zaro.quessa.included.item0"), 0u);
  EXPECT_EQ(host.data.count(u"com.zaro.quessa.included.item2"), 0u);
  EXPECT_EQ(host.data.count(u"com.zaro.quessa.included.item3"), 1u);
}

TEST_F(ScriptBridge, MissingEntriesYieldNoValue) {
  host.Install(static_cast<std::uint32_t>(2 * sizeof(HostEntry)));
  host.data[u"qmv.folder.path"] = u"C:/work/";
  EXPECT_TRUE(MovieFolderUnset(1, 2));
  EXPECT_FALSE(IsScriptVersion3(1, 2));
  EXPECT_TRUE(host.scripts.empty());
  RememberScriptContext(1, 2);
  EXPECT_FALSE(ExportCurrentMovie());
}

TEST_F(ScriptBridge, ScriptVersionAndExportReadTheirResults) {
  host.answers[u"tx.getDocumentDOM().asVersion"] = u"3";
  EXPECT_TRUE(IsScriptVersion3(1, 2));
  host.answers[u"tx.getDocumentDOM().asVersion"] = u"2";
  EXPECT_FALSE(IsScriptVersion3(1, 2));

  host.answers[u"tx.getDocumentDOM().exportQMV(\"file:///C|/a%20b.qmv\", \"true\");"] = u"true";
  EXPECT_EQ(ExportMovie(1, 2, u"file:///C|/a%20b.qmv").ran, 1);
  host.answers[u"tx.getDocumentDOM().getDebugForQmv();"] = u"true";
  RememberScriptContext(1, 2);
  EXPECT_TRUE(IsDebugForMovie());
}

}  // namespace
}  // namespace zaro
