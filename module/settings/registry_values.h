#pragma once
// Machine-wide values of the current user under "Software\Corvane\Tessel 11\ZARO Settings".
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

inline constexpr std::u16string_view kSettingsKey = u"Software\\Corvane\\Tessel 11\\ZARO Settings";

// On success `out` is replaced by the stored text; otherwise it keeps what it held.
void ReadRegistryValue(std::u16string_view name, std::u16string& out);
void WriteRegistryValue(std::u16string_view name, std::u16string_view text);
// Appends every stored path of the recent-file list, in enumeration order.
void ReadRegistryList(std::u16string_view subkey, std::vector<std::u16string>& out);
// Merges new paths into the recent-file list: appended until `limit`, then from file1 on.
void WriteRegistryList(std::u16string_view subkey, int limit, const std::vector<std::u16string>& list);

}  // namespace zaro
