#include "settings/registry_values.h"

#include <set>
#include <string>

#include "platform/registry_hive.h"
#include "platform/text.h"

namespace zaro {
namespace {

using platform::RegistryKey;

// Buffer sizes of the stored layout, in UTF-16 units without the terminator.
constexpr size_t kValueReadLimit = 511;    // a longer single value reads as absent
constexpr size_t kValueWriteLimit = 1023;  // a longer single value is not stored
constexpr size_t kListEntryLimit = 259;    // list names and contents; a longer one ends a list read

std::unique_ptr<RegistryKey> OpenSubkey(std::u16string_view subkey) {
  std::u16string path(kSettingsKey);
  path += u'\\';
  path += subkey;
  return RegistryKey::OpenOrCreate(path);
}

// The contents of a list's values in enumeration order, up to the first value whose name or
// content does not fit the enumeration buffers.
std::vector<std::u16string> EnumerateList(const RegistryKey& key) {
  std::vector<std::u16string> contents;
  for (size_t index = 0;; ++index) {
    auto value = key.EnumValue(index);
    if (!value || value->name.size() > kListEntryLimit || value->data.size() > kListEntryLimit) break;
    contents.push_back(std::move(value->data));
  }
  return contents;
}

std::u16string FileValueName(long number) { return u"file" + FromUtf8(std::to_string(number)); }

}  // namespace

void ReadRegistryValue(std::u16string_view name, std::u16string& out) {
  const auto key = RegistryKey::OpenOrCreate(kSettingsKey);
  if (!key) return;
  auto value = key->ReadValue(name);
  if (value && value->size() <= kValueReadLimit) out = std::move(*value);
}

void WriteRegistryValue(std::u16string_view name, std::u16string_view text) {
  // Refused rather than cut: a shortened path or mode would be stored as if it were whole.
  if (text.size() > kValueWriteLimit) return;
  if (const auto key = RegistryKey::OpenOrCreate(kSettingsKey)) key->WriteValue(name, text);
}

void ReadRegistryList(std::u16string_view subkey, std::vector<std::u16string>& out) {
  const auto key = OpenSubkey(subkey);
  if (!key) return;
  for (auto& path : EnumerateList(*key)) out.push_back(std::move(path));
}

void WriteRegistryList(std::u16string_view subkey, int limit, const std::vector<std::u16string>& list) {
  // The key stays open (and the hive locked) from the enumeration to the last write, so the
  // numbering cannot race with another process's merge.
  const auto key = OpenSubkey(subkey);
  if (!key) return;
  const std::vector<std::u16string> stored = EnumerateList(*key);
  const std::set<std::u16string> known(stored.begin(), stored.end());
  const long existing = static_cast<long>(stored.size());
  long written = 0;
  for (const auto& entry : list) {
    if (written > limit) break;
    if (known.count(entry) != 0) continue;
    // An entry too long for the enumeration buffers could never be read back, and it
    // would end every later read of the list at its place, hiding the entries after it.
    if (entry.size() > kListEntryLimit) continue;
    ++written;
    const long number = existing + written - 1 < limit ? existing + written : written;
    key->WriteValue(FileValueName(number), entry);
  }
}

}  // namespace zaro
