// The registry hive reader: any file content is either set aside as corrupt or read; what
// is read survives a write and a second read unchanged (write-read round trip).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <cctype>
#include <iterator>
#include <vector>

#include "platform/registry_hive.h"

namespace {

using zaro::platform::RegistryKey;

std::string g_file;

struct Snapshot {
  std::vector<std::u16string> lines;
  bool operator==(const Snapshot& other) const { return lines == other.lines; }
};

// Every key and value under `path`, depth first, bounded so a huge hive stays quick.
void Collect(const std::u16string& path, Snapshot& out, int depth) {
  if (depth > 8 || out.lines.size() > 2000) return;
  std::vector<std::u16string> subkeys;
  {
    auto key = RegistryKey::OpenOrCreate(path);
    if (!key) return;
    out.lines.push_back(u"key " + path);
    for (size_t i = 0; auto value = key->EnumValue(i); ++i) out.lines.push_back(value->name + u"=" + value->data);
    for (size_t i = 0; auto name = key->EnumSubkey(i); ++i) subkeys.push_back(*name);
  }
  for (const std::u16string& name : subkeys) Collect(path + u"\\" + name, out, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  std::string base = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path().string();
  std::string folder = base + "/zaro-fuzz-hive-" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  g_file = folder + "/registry";
  ::setenv("TESSEL_REGISTRY_FILE", g_file.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(g_file).parent_path()))
    std::filesystem::remove(entry.path(), ignored);
  std::ofstream(g_file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  Snapshot before;
  Collect(u"Software", before, 0);
  if (std::filesystem::exists(g_file + ".corrupt")) return 0;  // set aside: nothing to compare
  auto write = [] {
    auto key = RegistryKey::OpenOrCreate(u"Software");
    if (!key || !key->WriteValue(u"FuzzMarker", u"1")) std::abort();
    std::ifstream in(g_file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string first = write();
  Snapshot after;
  Collect(u"Software", after, 0);
  // Written again, the file comes out byte for byte the same: what was read is what was written.
  if (write() != first) std::abort();
  // Apart from the new value, the hive reads back exactly as it read before the write.
  auto withoutMarker = [](std::vector<std::u16string> lines) {
    std::erase_if(lines, [](const std::u16string& line) {
      if (line.size() < 11 || line[10] != u'=') return false;
      for (size_t i = 0; i < 10; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i] < 128 ? line[i] : 0)) != "fuzzmarker"[i]) return false;
      return true;
    });
    return lines;
  };
  if (withoutMarker(before.lines) != withoutMarker(after.lines)) std::abort();
  return 0;
}
