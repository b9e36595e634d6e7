// The host's document (.tsd) loader: any file loads or is refused with a reason, without
// fault; a loaded document saves and loads again to the same content.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "document.h"

namespace {
std::filesystem::path g_file;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  std::filesystem::path base = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
  g_file = base / ("zaro-fuzz-document-" + std::to_string(::getpid()) + ".tsd");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::string error;
  std::optional<tessel::Document> document = tessel::LoadDocument(g_file, &error);
  if (!document) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (!tessel::SaveDocument(*document, &error)) return 0;
  std::optional<tessel::Document> again = tessel::LoadDocument(g_file, &error);
  if (!again || tessel::DocumentToJson(*again) != tessel::DocumentToJson(*document)) std::abort();
  return 0;
}
