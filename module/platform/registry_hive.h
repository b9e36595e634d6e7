#pragma once
// The current user's registry hive on POSIX: one text file of keys, their REG_SZ values and
// their subkeys, kept in the order they were created so enumeration is stable.
//
// The file is shared by every host process of the user. It is only ever replaced as a
// whole (temporary file beside it, fsync, rename), and every change is made under an
// advisory lock (flock on "<file>.lock"), so two processes never corrupt it or lose each
// other's writes. A file that cannot be parsed is renamed aside with a ".corrupt" suffix,
// never overwritten; the hive then reads as empty.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zaro::platform {

// The hive file (POSIX path): TESSEL_REGISTRY_FILE when set, else
// $XDG_CONFIG_HOME/corvane/tessel-11/registry, with ~/.config when XDG_CONFIG_HOME is
// unset. Empty when no home folder is known either.
std::string RegistryHiveFile();

struct RegistryValue {
  std::u16string name;
  std::u16string data;
};

struct HiveNode;

// An open key, the counterpart of a registry key handle. While at least one key is open
// the process holds the hive lock, so everything done through open keys is one
// read-modify-write that no other process can interleave with: keep keys open briefly and
// close them (destroy them) on the thread that opened them. Key and value names compare
// without regard to ASCII letter case, as on Windows.
class RegistryKey {
 public:
  // Opens the key at a path such as u"Software\\Corvane\\Tessel 11\\ZARO Settings",
  // creating it and any missing parent (and the hive file) when missing. Null when the
  // path is empty or has an empty part, or when the hive cannot be read or written.
  static std::unique_ptr<RegistryKey> OpenOrCreate(std::u16string_view path);

  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // The value's text; nothing when there is no such value.
  std::optional<std::u16string> ReadValue(std::u16string_view name) const;
  // Stores a value (a value of the same name is replaced in place) and saves the hive.
  // False, with nothing changed, when the file could not be replaced.
  bool WriteValue(std::u16string_view name, std::u16string_view data);
  // The value at an index of the creation order; nothing past the last one.
  std::optional<RegistryValue> EnumValue(size_t index) const;
  // The name of the subkey at an index of the creation order; nothing past the last one.
  std::optional<std::u16string> EnumSubkey(size_t index) const;

 private:
  explicit RegistryKey(HiveNode* node) : node_(node) {}
  HiveNode* node_;
};

}  // namespace zaro::platform
