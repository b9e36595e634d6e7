#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <tuple>

#include "platform/registry_hive.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "testing/fake_host.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

using namespace keys;
using platform::RegistryKey;
using Texts = std::vector<std::u16string>;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;
using Values = std::map<std::u16string, std::u16string, std::less<>>;

std::u16string K(std::u16string_view key) { return std::u16string(key); }
std::u16string Item(int i) { return IncludedItemKey(i); }

Values NonEmpty() {
  Values values = AllSettings();
  std::erase_if(values, [](const auto& entry) { return entry.second.empty(); });
  return values;
}

TEST(SettingsStore, CredentialsSurviveAResetAndDocumentValuesAndItemsBelowTheCountLoadAndSave) {
  testing::FakeHost host;
  host.Install();
  testing::ClearSettings();
  const Values credentials = {{K(kCertPath), u"C:/certs/me.p12"},        {K(kRememberPassword), u"false"},
                              {K(kIpaCertPassword), u"ipa-secret"},      {K(kIpaRememberPassword), u"true"},
                              {K(kIpaProvision), u"C:/p.mobileprovision"}};
  for (const auto& [key, value] : credentials) SetSetting(key, value);
  SetSetting(kCertPassword, u"secret");
  SetSetting(kZaroDestination, u"C:/out.zaro");  // a document value, not kept
  ResetSettingsKeepingCredentials();
  EXPECT_EQ(NonEmpty(), credentials);

  // The copy-out form leaves the buffer alone for absent and empty values.
  std::u16string out = u"unchanged";
  EXPECT_FALSE(GetSetting(u"never.set", out));
  EXPECT_FALSE(GetSetting(kTimestamp, out));  // kept empty by the reset
  EXPECT_EQ(out, u"unchanged");
  EXPECT_TRUE(GetSetting(kCertPath, out));
  EXPECT_EQ(out, u"C:/certs/me.p12");
  SetSetting(u"flag", u"True");
  EXPECT_FALSE(SettingIsTrue(u"flag")) << "only the exact text \"true\" is true";

  testing::ClearSettings();
  // Items above the count and keys the document does not keep are never loaded.
  host.data = {{K(kZaroDestination), u"C:/out/app.zaro"}, {K(kIncludedCount), u"2"}, {Item(0), u"C:/a.txt"},
               {Item(1), u"C:/b"}, {Item(2), u"C:/stale"}, {K(kCertPassword), u"not-a-document-key"}};
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(NonEmpty(), (Values{{K(kZaroDestination), u"C:/out/app.zaro"}, {K(kIncludedCount), u"2"},
                                {Item(0), u"C:/a.txt"}, {Item(1), u"C:/b"}}));
  testing::ClearSettings();
  host.data[K(kIncludedCount)] = u"0";
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(GetSetting(Item(0)), u"") << "a count of 0 loads no item";
  // Every item costs the host a script evaluation, so a damaged count must not stall it.
  EXPECT_EQ(IncludedItemCount(u"12abc"), 12);
  EXPECT_EQ(IncludedItemCount(u"99999999999999999999999"), kMaxIncludedItems);
  host.data[K(kIncludedCount)] = u"99999999999";
  host.data[Item(kMaxIncludedItems - 1)] = u"C:/last";
  host.data[Item(kMaxIncludedItems)] = u"C:/beyond";
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(GetSetting(Item(kMaxIncludedItems - 1)), u"C:/last");
  EXPECT_EQ(GetSetting(Item(kMaxIncludedItems)), u"");
  SaveDocumentSettings(1, 2);
  EXPECT_LT(host.scripts.size(), size_t(4 * kMaxIncludedItems));
  EXPECT_EQ(host.data[Item(kMaxIncludedItems)], u"C:/beyond");

  // Saving a shrunk list rewrites the items below the new count; removing works below it only.
  host.data = {{K(kIncludedCount), u"5"}};
  testing::ClearSettings();
  for (int i = 0; i < 5; ++i) host.data[Item(i)] = u"old";
  SetSetting(kIncludedCount, u"2");
  SetSetting(Item(0), u"C:/new0");
  SetSetting(Item(1), u"");
  SaveDocumentSettings(1, 2);
  // An empty item or value is removed; items above the count stay unread.
  EXPECT_EQ(host.data, (std::map<std::u16string, std::u16string>{
                           {K(kIncludedCount), u"2"}, {Item(0), u"C:/new0"}, {Item(2), u"old"}, {Item(3), u"old"},
                           {Item(4), u"old"}}));
  SetSetting(kIncludedCount, u"");
  host.data[Item(0)] = u"kept";
  SaveDocumentSettings(1, 2);
  EXPECT_EQ(host.data.count(K(kIncludedCount)), 0u);
  EXPECT_EQ(host.data[Item(0)], u"kept") << "with no count the old items stay";

  testing::ClearSettings();
  SetSetting(kIncludedCount, u"2");
  for (int i = 0; i < 3; ++i) SetSetting(Item(i), u"x");
  RemoveIncludedItems();
  EXPECT_EQ(NonEmpty(), (Values{{K(kIncludedCount), u"2"}, {Item(2), u"x"}}));
}

// The caller's style and the answer of a box are the commands' daily work (see the publish
// end-to-end tests), as are the texts of most messages.
TEST(MessagesTest, TheCatalogueAnswersUntilAModuleOfTheKitsNameIsLoadedAndBoxesCarryTheTitle) {
  // Every identifier from 8000 to 8108 but 8027 and 8085 has a text, line breaks included;
  // without a loaded module of the kit's name the own catalogue answers.
  for (const std::u16string_view kit : {u"", u"ZS", u"ZSK2.0"}) {
    SetSetting(kKitName, kit);
    for (unsigned id = 7990; id <= 8120; ++id) {
      EXPECT_EQ(LoadCatalogueText(id).empty(), id < 8000 || id > 8108 || id == 8027 || id == 8085) << id;
      EXPECT_EQ(LoadMessage(id), LoadCatalogueText(id)) << id;
    }
  }
  EXPECT_EQ(LoadCatalogueText(8060), u"创建 ZARO 文件时出错。\n\n");
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "the answer kept";
  void* module = ::dlopen(ZARO_TEST_MESSAGE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  // The module has no text 8003; 9000 outgrows the first buffers and 9001 fills the first.
  std::vector<std::u16string> texts;
  for (unsigned id : {8010, 8001, 8003, 9000, 9001}) texts.push_back(LoadMessage(id));
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"Kit title", u"kit 8001", u"", std::u16string(600, u'x') + u"end",
                                                std::u16string(255, u'y')}));
  // Another kit version names another module, which is not loaded.
  SetSetting(kKitName, u"ZSK1.5");
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5");
  EXPECT_EQ(LoadMessage(8003), u"指定的证书不存在。");
  SetSetting(kKitName, u"ZSK2.0");
  ::dlclose(module);
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "unloaded again";

  // Every box carries the title, even one without a text, and warns unless told otherwise.
  testing::ScopedScriptedUi ui;
  EXPECT_EQ(ShowMessage(u"detail"), kIdOk);
  EXPECT_EQ(ShowCatalogueMessage(8027), kIdOk);
  using Box = std::tuple<std::string, std::u16string, std::u16string, unsigned>;  // kind, title, text, style
  std::vector<Box> shown;
  for (const UiEvent& event : ui->Events()) shown.emplace_back(event.kind, event.title, event.text, event.style);
  EXPECT_EQ(shown, (std::vector<Box>{{"message", u"Corvane Tessel KV5", u"detail", 48},
                                     {"message", u"Corvane Tessel KV5", u"", 48}}));
  EXPECT_EQ(ui->Failures(), 0);
}

// The stored values of a list as (name, content), in enumeration order.
Pairs Stored(std::u16string_view subkey) {
  Pairs values;
  const auto key = RegistryKey::OpenOrCreate(std::u16string(kSettingsKey) + u"\\" + std::u16string(subkey));
  for (size_t i = 0; auto value = key->EnumValue(i); ++i) values.emplace_back(value->name, value->data);
  return values;
}
// `texts` as the values file1, file2, ... of a list.
Pairs Numbered(const Texts& texts) {
  Pairs values;
  for (size_t i = 0; i < texts.size(); ++i) values.emplace_back(u"file" + FromUtf8(std::to_string(i + 1)), texts[i]);
  return values;
}
void StoreRaw(std::u16string_view subkey, const Pairs& values) {
  const auto key = RegistryKey::OpenOrCreate(std::u16string(kSettingsKey) + u"\\" + std::u16string(subkey));
  for (const auto& [name, data] : values) ASSERT_TRUE(key->WriteValue(name, data));
}
Texts List(std::u16string_view subkey, Texts read = {}) {
  ReadRegistryList(subkey, read);
  return read;
}
// A single value as read, "-" where the read left the output alone.
std::u16string Read(std::u16string_view name) {
  std::u16string out = u"-";
  ReadRegistryValue(name, out);
  return out;
}

Texts Paths(const std::string& prefix, int from, int to, Texts paths = {}) {
  for (int i = from; i <= to; ++i) paths.push_back(FromUtf8(prefix + std::to_string(i)));
  return paths;
}

// The order of a list is the hive's creation order (see its tests).
TEST(RegistryValuesTest, ListsMergeAndReadSingleValuesKeepWithinTheirBuffersAndTwoWritersLoseNothing) {
  testing::ScratchFolder scratch("regvalues-test");
  ASSERT_FALSE(scratch.Path().empty());
  const auto useHive = [&](auto file) { ::setenv("TESSEL_REGISTRY_FILE", (scratch.Path() / file).c_str(), 1); };
  const Texts ten = Paths("/c/old", 1, 10);
  const std::u16string fits(259, u'q');
  // What a case shows, the raw values file1, file2, ... stored before the merges, the merges
  // (one WriteRegistryList with limit 10 each) and file1, file2, ... afterwards.
  const std::tuple<const char*, Texts, std::vector<Texts>, Texts> cases[] = {
      {"appended; a stored one stays put; case counts", {}, {{u"A", u"B"}, {u"B", u"a"}}, {u"A", u"B", u"a"}},
      {"full: each merge writes from file1", ten, {{u"X"}, {u"Y", u"Z"}}, Paths("/c/old", 3, 10, {u"Y", u"Z"})},
      {"two new paths into a full list", ten, {{u"/c/old4", u"X1", u"X2"}}, Paths("/c/old", 3, 10, {u"X1", u"X2"})},
      {"stops past the limit: the 11th is file11", ten, {Paths("/n/", 1, 12)}, Paths("/n/", 1, 11)},
      {"the same from an empty list", {}, {Paths("/i/", 1, 12)}, Paths("/i/", 1, 11)},
      {"too long to read back: skipped", {}, {{u"A", std::u16string(260, u'p'), u"B"}, {fits}}, {u"A", u"B", fits}},
      {"a merge sees what a read sees", {u"A", std::u16string(300, u'L'), u"C"}, {{u"C", u"D"}}, {u"A", u"C", u"D"}},
  };
  for (int n = 0; const auto& [what, stored, merges, expected] : cases) {
    SCOPED_TRACE(what);
    useHive("registry-" + std::to_string(n++));
    StoreRaw(u"CertPath", Numbered(stored));
    for (const auto& merge : merges) WriteRegistryList(u"CertPath", 10, merge);
    EXPECT_EQ(Stored(u"CertPath"), Numbered(expected));
    EXPECT_EQ(List(u"CertPath"), expected);
  }
  // A read appends to the caller's list, up to an overlong name.
  EXPECT_EQ(List(u"IpaCertPath", {u"kept"}), Texts{u"kept"});
  StoreRaw(u"IpaCertPath", {{u"file1", u"a"}, {std::u16string(260, u'n'), u"b"}, {u"file3", u"c"}});
  EXPECT_EQ(List(u"IpaCertPath", {u"kept"}), (Texts{u"kept", u"a"}));

  // Single values: reads take up to 511 characters and leave the output alone otherwise;
  // writes take up to 1023 and refuse longer texts rather than cut them.
  WriteRegistryValue(u"DigitalSign", u"prepare");
  EXPECT_EQ(Read(u"digitalsign"), u"prepare");  // names ignore letter case, as on Windows
  WriteRegistryValue(u"Last Selected Cert", std::u16string(511, u'a'));
  EXPECT_EQ(Read(u"Last Selected Cert"), std::u16string(511, u'a'));
  WriteRegistryValue(u"Last Selected Cert", std::u16string(512, u'b'));
  EXPECT_EQ(Read(u"Last Selected Cert"), u"-");
  const auto stored = [] { return RegistryKey::OpenOrCreate(kSettingsKey)->ReadValue(u"Last IPA Cert"); };
  WriteRegistryValue(u"Last IPA Cert", u"/k/a.p12");
  WriteRegistryValue(u"Last IPA Cert", std::u16string(1024, u'z'));
  EXPECT_EQ(stored(), u"/k/a.p12");
  WriteRegistryValue(u"Last IPA Cert", std::u16string(1023, u'z'));
  EXPECT_EQ(stored(), std::u16string(1023, u'z'));

  // An unusable hive makes reads keep their output and writes do nothing.
  std::ofstream(scratch.Path() / "file") << "x";
  useHive("file/registry");
  WriteRegistryValue(u"DigitalSign", u"sign");
  WriteRegistryList(u"CertPath", 10, {u"A"});
  EXPECT_EQ(Read(u"DigitalSign"), u"-");
  EXPECT_EQ(List(u"CertPath"), Texts{});

  // Two hosts side by side: every merge is numbered after the other's, and no path is lost.
  useHive("shared");
  constexpr int kPaths = 25;
  const auto name = [](int writer, int i) { return FromUtf8("/p" + std::to_string(writer) + "-" + std::to_string(i)); };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  for (int i = 0; i < kPaths; ++i) {
    WriteRegistryList(u"CertPath", 1000, {name(child == 0, i)});
    WriteRegistryValue(name(child == 0, i), u"x");
  }
  if (child == 0) ::_exit(0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const Texts paths = List(u"CertPath");
  EXPECT_EQ(Stored(u"CertPath"), Numbered(paths));  // file1, file2, ... in their order
  EXPECT_EQ(paths.size(), 2u * kPaths);
  for (int i = 0; i < 2 * kPaths; ++i) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), name(i % 2, i / 2)), paths.end()) << i;
    EXPECT_EQ(Read(name(i % 2, i / 2)), u"x");
  }
}

}  // namespace
}  // namespace zaro
