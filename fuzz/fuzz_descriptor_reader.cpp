// The module's descriptor reader: any file parses or is refused without fault, nothing
// outside the file is read, and the elements the pages read can be read and rewritten.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "host/script_bridge.h"
#include "platform/files.h"

namespace {
std::string g_file;
}

// The reader is fuzzed without a host: the settings store's document bridge, which it
// never reaches here, does nothing.
namespace zaro {
void LoadDocumentValue(ScriptContext, ScriptObject, std::u16string_view) {}
void StoreDocumentValue(ScriptContext, ScriptObject, std::u16string_view) {}
void RemoveDocumentIncludedItems(ScriptContext, ScriptObject) {}
}  // namespace zaro

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  std::string base = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path().string();
  g_file = base + "/zaro-fuzz-descriptor-" + std::to_string(::getpid()) + "-app.xml";
  // The reader prints the parser's messages on standard output; keep the fuzzer's log clean.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  zaro::DescriptorDocument document;
  if (zaro::InitDescriptorParser(document) != 0) return 0;
  const std::u16string path = zaro::platform::ToWindowsForm(g_file);
  if (zaro::ParseDescriptor(document, path) == 0) {
    std::u16string text;
    for (const char16_t* tag : {u"id", u"filename", u"version", u"installFolder", u"content", u"fileType"})
      zaro::GetElementText(document, tag, text);
    zaro::SetElementText(document, u"id", u"fuzz.id");
    zaro::SetChildElementText(document, u"initialWindow", u"title", u"fuzz");
  }
  zaro::ReleaseDescriptor(document);
  return 0;
}
