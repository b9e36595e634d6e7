#include "packaging/tool_locations.h"

#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "platform/ui_services.h"
#include "settings/messages.h"
#include "settings/settings_store.h"

namespace zaro {

std::u16string GetJavaRuntimeFolder() {
  std::optional<std::u16string> common = platform::CommonAppDataFolder();
  if (!common) return {};
  std::u16string folder = WithSlashes(std::move(*common));
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder + u"Corvane/KV5/jre";
}

std::u16string GetRuntimeKitFolder() { return GetSetting(keys::kLaunchPath) + GetSetting(keys::kKitName); }

std::u16string GetPackagingToolPath() { return GetRuntimeKitFolder() + u"/lib/ZPK.jar"; }

std::u16string GetIphonePackagerPath() { return GetSetting(keys::kLaunchPath) + u"MPK/lib/mpk.jar"; }

bool CheckJavaRuntime() {
  if (!GetJavaRuntimeFolder().empty()) return true;
  ShowCatalogueMessage(8100, kMbIconExclamation);
  return false;
}

}  // namespace zaro
