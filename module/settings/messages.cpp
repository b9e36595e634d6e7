#include "settings/messages.h"

#include <dlfcn.h>

#include <algorithm>
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
// The module only looks such an object up; it never loads one.
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

}  // namespace

std::u16string LoadMessage(unsigned id) {
  const std::u16string name = MessageModuleName();
  if (name.find(u'/') == std::u16string::npos) {
    const std::string file = "lib" + ToUtf8(name) + ".so";
    if (void* module = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
      const auto load = reinterpret_cast<LoadStringFunction>(::dlsym(module, kLoadStringSymbol));
      std::u16string text;
      if (load) text = LoadFrom(load, id);
      ::dlclose(module);  // drops the reference RTLD_NOLOAD took
      if (load) return text;
    }
  }
  // No kit message module is loaded: the module's own catalogue answers, so every build
  // finds its texts.
  return LoadCatalogueText(id);
}

int ShowMessage(std::u16string_view text, unsigned style) {
  return Ui().ShowMessageBox(text, kMessageTitle, style);
}

int ShowCatalogueMessage(unsigned id, unsigned style) { return ShowMessage(LoadMessage(id), style); }

}  // namespace zaro
