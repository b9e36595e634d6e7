#include "settings/settings_store.h"

#include <algorithm>
#include <array>

#include "host/script_bridge.h"
#include "platform/text.h"

namespace zaro {
namespace {

using Store = std::map<std::u16string, std::u16string, std::less<>>;

Store& TheStore() {
  static Store store;
  return store;
}

// Keys kept in the document, in the order both directions walk them.
constexpr std::array<std::u16string_view, 12> kPersistedKeys = {
    keys::kMovieFolder,     keys::kMovieBaseName,   keys::kDocumentPath,    keys::kIncludedCount,
    keys::kPubZaro,         keys::kPubIpa,          keys::kPubExe,          keys::kIpaOption,
    keys::kIpaDestination,  keys::kZaroDestination, keys::kIpaCertPath,     keys::kIpaProvision,
};

long IncludedCount() { return IncludedItemCount(GetSetting(keys::kIncludedCount)); }

}  // namespace

long IncludedItemCount(std::u16string_view countText) {
  return std::min(LeadingNumber(countText), kMaxIncludedItems);
}

std::u16string IncludedItemKey(long index) {
  return std::u16string(keys::kIncludedItemPrefix) + FromUtf8(std::to_string(index));
}

std::u16string GetSetting(std::u16string_view key) {
  const Store& store = TheStore();
  const auto found = store.find(key);
  return found == store.end() ? std::u16string() : found->second;
}

bool GetSetting(std::u16string_view key, std::u16string& out) {
  std::u16string value = GetSetting(key);
  if (value.empty()) return false;
  out = std::move(value);
  return true;
}

bool SettingIsTrue(std::u16string_view key) { return GetSetting(key) == u"true"; }

void SetSetting(std::u16string_view key, std::u16string_view value) {
  TheStore().insert_or_assign(std::u16string(key), std::u16string(value));
}

void RemoveSetting(std::u16string_view key) {
  Store& store = TheStore();
  if (const auto found = store.find(key); found != store.end()) store.erase(found);
}

void ResetSettingsKeepingCredentials() {
  const std::u16string rememberPassword = GetSetting(keys::kRememberPassword);
  const std::u16string password = GetSetting(keys::kCertPassword);
  const std::u16string certificate = GetSetting(keys::kCertPath);
  const std::u16string timestamp = GetSetting(keys::kTimestamp);
  const std::u16string ipaRememberPassword = GetSetting(keys::kIpaRememberPassword);
  const std::u16string ipaPassword = GetSetting(keys::kIpaCertPassword);
  const std::u16string ipaCertificate = GetSetting(keys::kIpaCertPath);
  const std::u16string provision = GetSetting(keys::kIpaProvision);

  TheStore().clear();
  SetSetting(keys::kRememberPassword, rememberPassword);
  if (rememberPassword == u"true") SetSetting(keys::kCertPassword, password);
  SetSetting(keys::kCertPath, certificate);
  SetSetting(keys::kTimestamp, timestamp);
  SetSetting(keys::kIpaRememberPassword, ipaRememberPassword);
  if (ipaRememberPassword == u"true") SetSetting(keys::kIpaCertPassword, ipaPassword);
  SetSetting(keys::kIpaCertPath, ipaCertificate);
  SetSetting(keys::kIpaProvision, provision);
}

void RemoveIncludedItems() {
  const long count = IncludedCount();
  for (long i = 0; i < count; ++i) RemoveSetting(IncludedItemKey(i));
}

void LoadDocumentSettings(ScriptContext context, ScriptObject object) {
  for (std::u16string_view key : kPersistedKeys) LoadDocumentValue(context, object, key);
  const long count = IncludedCount();
  for (long i = 0; i < count; ++i) LoadDocumentValue(context, object, IncludedItemKey(i));
}

void SaveDocumentSettings(ScriptContext context, ScriptObject object) {
  for (std::u16string_view key : kPersistedKeys) StoreDocumentValue(context, object, key);
  RemoveDocumentIncludedItems(context, object);
  const long count = IncludedCount();
  for (long i = 0; i < count; ++i) StoreDocumentValue(context, object, IncludedItemKey(i));
}

const std::map<std::u16string, std::u16string, std::less<>>& AllSettings() { return TheStore(); }

}  // namespace zaro
