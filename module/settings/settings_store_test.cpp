#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "testing/fake_host.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

using namespace keys;
using Values = std::map<std::u16string, std::u16string, std::less<>>;

std::u16string K(std::u16string_view key) { return std::u16string(key); }

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Install();
    testing::ClearSettings();
  }
  // Every setting that holds a value.
  static Values NonEmpty() {
    Values values = AllSettings();
    std::erase_if(values, [](const auto& entry) { return entry.second.empty(); });
    return values;
  }
  static std::u16string Item(int i) { return IncludedItemKey(i); }
  testing::FakeHost host;
};

TEST_F(SettingsStore, ResetKeepsCredentialsAndPasswordsOnlyWhenRemembered) {
  const Values credentials = {{K(kCertPath), u"C:/certs/me.p12"},        {K(kRememberPassword), u"false"},
                              {K(kIpaCertPassword), u"ipa-secret"},      {K(kIpaRememberPassword), u"true"},
                              {K(kIpaProvision), u"C:/p.mobileprovision"}};
  for (const auto& [key, value] : credentials) SetSetting(key, value);
  SetSetting(kCertPassword, u"secret");
  SetSetting(kZaroDestination, u"C:/out.zaro");  // a document value, not kept
  ResetSettingsKeepingCredentials();
  EXPECT_EQ(NonEmpty(), credentials);
}

TEST_F(SettingsStore, CopyOutFormLeavesTheBufferAloneForEmptyValues) {
  std::u16string out = u"unchanged";
  EXPECT_FALSE(GetSetting(u"never.set", out));
  SetSetting(u"empty", u"");
  EXPECT_FALSE(GetSetting(u"empty", out));
  EXPECT_EQ(out, u"unchanged");
  SetSetting(u"set", u"value");
  EXPECT_TRUE(GetSetting(u"set", out));
  EXPECT_EQ(out, u"value");
  SetSetting(u"flag", u"True");
  EXPECT_FALSE(SettingIsTrue(u"flag")) << "only the exact text \"true\" is true";
}

TEST_F(SettingsStore, LoadTakesPersistedKeysAndTheIncludedItemsBelowTheCount) {
  // "0" is never loaded, nor are items above the count or keys the document does not keep.
  host.data = {{K(kZaroDestination), u"C:/out/app.zaro"}, {K(kPubExe), u"0"},       {K(kIncludedCount), u"2"},
               {Item(0), u"C:/a.txt"},                    {Item(1), u"C:/b"},        {Item(2), u"C:/stale"},
               {K(kCertPassword), u"not-a-document-key"}};
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(NonEmpty(), (Values{{K(kZaroDestination), u"C:/out/app.zaro"}, {K(kIncludedCount), u"2"},
                                {Item(0), u"C:/a.txt"}, {Item(1), u"C:/b"}}));

  testing::ClearSettings();
  host.data[K(kIncludedCount)] = u"0";
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(GetSetting(Item(0)), u"") << "a count of 0 loads no item";
}

// Every item costs the host a script evaluation, so a damaged count must not stall it.
TEST_F(SettingsStore, AHugeIncludedCountIsReadUpToTheLimitInEveryDirection) {
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
}

TEST_F(SettingsStore, SavingAShrunkListRewritesTheItemsBelowTheNewCount) {
  host.data[K(kIncludedCount)] = u"5";
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
}

TEST_F(SettingsStore, RemoveIncludedItemsErasesBelowTheCountOnly) {
  SetSetting(kIncludedCount, u"2");
  for (int i = 0; i < 3; ++i) SetSetting(Item(i), u"x");
  RemoveIncludedItems();
  EXPECT_EQ(NonEmpty(), (Values{{K(kIncludedCount), u"2"}, {Item(2), u"x"}}));
}

}  // namespace
}  // namespace zaro
