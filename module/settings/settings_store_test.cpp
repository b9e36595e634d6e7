#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "testing/fake_host.h"

namespace zaro {
namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Install();
    ResetSettingsKeepingCredentials();
    std::vector<std::u16string> all;
    for (const auto& entry : AllSettings()) all.push_back(entry.first);
    for (const auto& key : all) RemoveSetting(key);
  }
  std::u16string Item(int i) { return IncludedItemKey(i); }
  testing::FakeHost host;
};

TEST_F(SettingsStore, ResetKeepsCredentialsAndPasswordsOnlyWhenRemembered) {
  SetSetting(keys::kCertPath, u"C:/certs/me.p12");
  SetSetting(keys::kCertPassword, u"secret");
  SetSetting(keys::kRememberPassword, u"false");
  SetSetting(keys::kIpaCertPassword, u"ipa-secret");
  SetSetting(keys::kIpaRememberPassword, u"true");
  SetSetting(keys::kIpaProvision, u"C:/p.mobileprovision");
  SetSetting(keys::kZaroDestination, u"C:/out.zaro");
  ResetSettingsKeepingCredentials();
  EXPECT_EQ(GetSetting(keys::kCertPath), u"C:/certs/me.p12");
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"ipa-secret");
  EXPECT_EQ(GetSetting(keys::kIpaProvision), u"C:/p.mobileprovision");
  EXPECT_EQ(GetSetting(keys::kZaroDestination), u"") << "document values are not kept";

  SetSetting(keys::kRememberPassword, u"true");
  SetSetting(keys::kCertPassword, u"secret");
  ResetSettingsKeepingCredentials();
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret");
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
  host.data[keys::kZaroDestination.data()] = u"C:/out/app.zaro";
  host.data[keys::kPubExe.data()] = u"0";
  host.data[keys::kIncludedCount.data()] = u"2";
  host.data[Item(0)] = u"C:/a.txt";
  host.data[Item(1)] = u"C:/b";
  host.data[Item(2)] = u"C:/stale";
  host.data[keys::kCertPassword.data()] = u"not-a-document-key";
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(GetSetting(keys::kZaroDestination), u"C:/out/app.zaro");
  EXPECT_EQ(GetSetting(keys::kPubExe), u"") << "\"0\" is not loaded";
  EXPECT_EQ(GetSetting(Item(1)), u"C:/b");
  EXPECT_EQ(GetSetting(Item(2)), u"");
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");

  ResetSettingsKeepingCredentials();
  host.data[keys::kIncludedCount.data()] = u"0";
  LoadDocumentSettings(1, 2);
  EXPECT_EQ(GetSetting(Item(0)), u"") << "a count of 0 loads no item";
}

// Every item costs the host a script evaluation, so a damaged count must not stall it.
TEST_F(SettingsStore, AHugeIncludedCountIsReadUpToTheLimitInEveryDirection) {
  EXPECT_EQ(IncludedItemCount(u"12abc"), 12);
  EXPECT_EQ(IncludedItemCount(u"99999999999999999999999"), kMaxIncludedItems);
  host.data[keys::kIncludedCount.data()] = u"99999999999";
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
  host.data[keys::kIncludedCount.data()] = u"5";
  for (int i = 0; i < 5; ++i) host.data[Item(i)] = u"old";
  SetSetting(keys::kIncludedCount, u"2");
  SetSetting(Item(0), u"C:/new0");
  SetSetting(Item(1), u"");
  SaveDocumentSettings(1, 2);
  EXPECT_EQ(host.data[keys::kIncludedCount.data()], u"2");
  EXPECT_EQ(host.data[Item(0)], u"C:/new0");
  EXPECT_EQ(host.data.count(Item(1)), 0u) << "an empty item is removed";
  EXPECT_EQ(host.data[Item(2)], u"old") << "items above the count stay unread";
  EXPECT_EQ(host.data.count(keys::kZaroDestination.data()), 0u) << "empty values are removed";

  SetSetting(keys::kIncludedCount, u"");
  host.data[Item(0)] = u"kept";
  SaveDocumentSettings(1, 2);
  EXPECT_EQ(host.data.count(keys::kIncludedCount.data()), 0u);
  EXPECT_EQ(host.data[Item(0)], u"kept") << "with no count the old items stay";
}

TEST_F(SettingsStore, RemoveIncludedItemsErasesBelowTheCountOnly) {
  SetSetting(keys::kIncludedCount, u"2");
  for (int i = 0; i < 3; ++i) SetSetting(Item(i), u"x");
  RemoveIncludedItems();
  EXPECT_EQ(GetSetting(Item(0)), u"");
  EXPECT_EQ(GetSetting(Item(1)), u"");
  EXPECT_EQ(GetSetting(Item(2)), u"x");
  EXPECT_EQ(GetSetting(keys::kIncludedCount), u"2");
}

}  // namespace
}  // namespace zaro
