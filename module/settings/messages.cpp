#include "settings/messages.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/text.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

// The kit's message module. When a kit installs its own message texts, it does so as a
// shared object named "lib" + "Zaro" + the kit version with "." as "_" ("libZaro2_0.so"
// for kit "ZSK2.0"), already loaded into the host process. It exports
//
//   extern "C" int ZaroLoadString(unsigned id, char16_t* buffer, int capacity);
//
// which copies at most capacity - 1 units of the text with id into buffer, adds a
// terminating 0 and returns the number of units copied (0 when there is no such text).
// The module only looks such an object up; it never loads one, and never asks the loader
// to search for one (each such search tries every library folder in vain).
using LoadStringFunction = int (*)(unsigned id, char16_t* buffer, int capacity);
constexpr char kLoadStringSymbol[] = "ZaroLoadString";

// The first buffer holds 255 characters; it grows by 256 while a text fills it completely.
constexpr int kFirstCapacity = 256;
constexpr int kCapacityStep = 256;
constexpr int kMaxCapacity = 65536;  // no message text is longer than a resource string

// "Zaro" + the kit folder name without its "ZSK" and with every "." as "_".
std::u16string MessageModuleName() {
  const std::u16string kit = GetSetting(keys::kKitName);
  std::u16string name = u"Zaro" + (kit.size() > 3 ? kit.substr(3) : std::u16string());
  std::replace(name.begin(), name.end(), u'.', u'_');
  return name;
}

std::u16string LoadFrom(LoadStringFunction load, unsigned id) {
  std::vector<char16_t> buffer;
  for (int capacity = kFirstCapacity;; capacity += kCapacityStep) {
    buffer.assign(static_cast<size_t>(capacity), u'\0');
    const int copied = std::clamp(load(id, buffer.data(), capacity), 0, capacity - 1);
    if (copied < capacity - 1 || capacity + kCapacityStep > kMaxCapacity) {
      return std::u16string(buffer.data(), static_cast<size_t>(copied));
    }
  }
}

// The loaded objects are looked up by file name in the loader's own list, which opens no
// file; the answer is kept until the loader's load or unload counters move, so a process
// that loads nothing more resolves its message module once.
struct LoadedModuleSearch {
  std::string file;   // "libZaro2_0.so"
  std::string path;   // where the loader has it; empty when it is not loaded
  unsigned long long adds = 0;
  unsigned long long subs = 0;
  bool countersOnly = false;
};

int VisitLoadedObject(dl_phdr_info* info, size_t /*size*/, void* data) {
  auto* search = static_cast<LoadedModuleSearch*>(data);
  search->adds = info->dlpi_adds;
  search->subs = info->dlpi_subs;
  if (search->countersOnly) return 1;
  const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
  const size_t slash = name.rfind('/');
  if (name.substr(slash == std::string_view::npos ? 0 : slash + 1) != search->file) return 0;
  search->path = std::string(name);
  return 1;
}

struct ResolvedModule {
  bool valid = false;
  std::u16string name;
  unsigned long long adds = 0;
  unsigned long long subs = 0;
  LoadStringFunction load = nullptr;
};

std::mutex& ResolvedLock() {
  static std::mutex lock;
  return lock;
}

ResolvedModule& Resolved() {
  static ResolvedModule resolved;
  return resolved;
}

LoadStringFunction Resolve(const std::u16string& name) {
  LoadedModuleSearch counters;
  counters.countersOnly = true;
  ::dl_iterate_phdr(&VisitLoadedObject, &counters);
  const std::lock_guard<std::mutex> guard(ResolvedLock());
  ResolvedModule& resolved = Resolved();
  if (resolved.valid && resolved.name == name && resolved.adds == counters.adds && resolved.subs == counters.subs) {
    return resolved.load;
  }
  resolved = ResolvedModule{true, name, counters.adds, counters.subs, nullptr};
  if (name.find(u'/') != std::u16string::npos) return nullptr;
  LoadedModuleSearch search;
  search.file = "lib" + ToUtf8(name) + ".so";
  ::dl_iterate_phdr(&VisitLoadedObject, &search);
  if (search.path.empty()) return nullptr;
  // The object is loaded: a look-up by its own path succeeds without any search.
  if (void* module = ::dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    resolved.load = reinterpret_cast<LoadStringFunction>(::dlsym(module, kLoadStringSymbol));
    ::dlclose(module);  // drops the reference RTLD_NOLOAD took; the kit keeps it loaded
  }
  return resolved.load;
}

}  // namespace

std::u16string LoadMessage(unsigned id) {
  const LoadStringFunction load = Resolve(MessageModuleName());
  // Without a kit message module the module's own catalogue answers, so every build finds
  // its texts.
  return load != nullptr ? LoadFrom(load, id) : LoadCatalogueText(id);
}

int ShowMessage(std::u16string_view text, unsigned style) {
  return Ui().ShowMessageBox(text, kMessageTitle, style);
}

int ShowCatalogueMessage(unsigned id, unsigned style) { return ShowMessage(LoadMessage(id), style); }

}  // namespace zaro
