// Provisioning profiles: any file is read for its application identifier or refused without
// fault, the scratch property-list file never outlives a reading, and the identifier found
// can be applied to any application ID text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/script_bridge.h"
#include "packaging/provisioning_profile.h"
#include "platform/files.h"
#include "settings/settings_store.h"

namespace {
std::filesystem::path g_folder;
std::filesystem::path g_profile;
}  // namespace

// Fuzzed without a host: the settings store's document bridge, never reached here, does
// nothing.
namespace zaro {
void LoadDocumentValue(ScriptContext, ScriptObject, std::u16string_view) {}
void StoreDocumentValue(ScriptContext, ScriptObject, std::u16string_view) {}
void RemoveDocumentIncludedItems(ScriptContext, ScriptObject) {}
}  // namespace zaro

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  const std::filesystem::path base =
      std::filesystem::is_directory(shm) ? std::filesystem::path(shm) : std::filesystem::temp_directory_path();
  g_folder = base / ("zaro-fuzz-profile-" + std::to_string(::getpid()));
  std::filesystem::create_directories(g_folder);
  g_profile = g_folder / "fuzz.mobileprovision";
  zaro::SetSetting(zaro::keys::kMovieFolder, zaro::platform::ToWindowsForm(g_folder.string() + "/"));
  // The parser's messages go to standard output; keep the fuzzer's log clean.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_profile, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::u16string identifier = u"unchanged";
  const bool read = zaro::ReadProfileApplicationId(zaro::platform::ToWindowsForm(g_profile.string()), identifier);
  if (std::filesystem::exists(g_folder / "temp_xml_provision_file.xml")) std::abort();
  if (!read && identifier != u"unchanged") std::abort();
  if (read && identifier.size() > zaro::kMaxProfileIdentifierLength) std::abort();
  std::u16string field = u"com.example.game";
  zaro::ApplyProfileApplicationId(identifier, field);
  return 0;
}
