#include "host/publish_commands.h"

#include "descriptor/descriptor_reader.h"
#include "host/descriptor_reuse.h"
#include "descriptor/descriptor_template.h"
#include "host/command_arguments.h"
#include "host/command_paths.h"
#include "host/commands.h"
#include "host/script_bridge.h"
#include "packaging/package_command.h"
#include "platform/files.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "ui/ipa_deploy_page.h"
#include "ui/settings_sheet.h"

namespace zaro {
namespace {

// The sheet's page 1 is the Signature page on desktop and the Deployment page on iPhone.
constexpr int kSigningPage = 1;

void SaveSettingsWhenTheSheetKeptChanges(ScriptContext context, ScriptObject object) {
  if (SettingIsTrue(keys::kExitOk)) SaveDocumentSettings(context, object);
}

}  // namespace

bool PublishFromSettings() {
  std::u16string signingMode;
  ReadRegistryValue(u"DigitalSign", signingMode);
  const bool iphone = SettingIsTrue(keys::kPubIpa);
  const PackageTarget target = iphone                      ? IphonePackage
                               : SettingIsTrue(keys::kPubZaro) ? DesktopPackage
                               : SettingIsTrue(keys::kPubExe)  ? NativeInstaller
                                                               : DesktopPackage;
  bool credentialsMissing = false;
  if (target == IphonePackage) {
    credentialsMissing = GetSetting(keys::kIpaCertPath).empty() || GetSetting(keys::kIpaCertPassword).empty();
  } else if (signingMode == u"sign" || signingMode.empty()) {
    credentialsMissing = GetSetting(keys::kCertPath).empty() || GetSetting(keys::kCertPassword).empty();
  }
  if (credentialsMissing) {
    OpenSettingsSheet(kSigningPage);
    return true;
  }
  if (target == IphonePackage && !CheckStoredIphoneFiles()) return true;
  Package(target, GetSetting(keys::kIpaOption) == u"debug");
  if (target == DesktopPackage && SettingIsTrue(keys::kPubExe)) Package(NativeInstaller, false);
  return true;
}

std::int32_t PublishHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                            ScriptValue*) {
  if (!PrepareCommand(context, object, ArgumentAt(argc, argv, 0), ArgumentAt(argc, argv, 1),
                      ArgumentAt(argc, argv, 2))) {
    return 1;
  }
  RememberScriptContext(context, object);
  ApplyPlayerTarget(context, object);
  if (!MakeMissingDescriptor(context, object, OutputTypeRule::ApplyWhenMovieFolderUnset)) return 0;
  if (!UpgradeDescriptorNamespace(CurrentCommandPaths().descriptorPath)) return 1;
  SetSetting(keys::kExitOk, u"false");
  PublishFromSettings();
  SaveSettingsWhenTheSheetKeptChanges(context, object);
  return 1;
}

std::int32_t OpenSettingDialogHandler(ScriptContext context, ScriptObject object, std::uint32_t argc,
                                      ScriptValue* argv, ScriptValue*) {
  if (!PrepareCommand(context, object, ArgumentAt(argc, argv, 0), ArgumentAt(argc, argv, 1),
                      ArgumentAt(argc, argv, 2))) {
    return 1;
  }
  RememberScriptContext(context, object);
  ApplyPlayerTarget(context, object);
  const CommandPaths& paths = CurrentCommandPaths();
  // A document saved under a new name carries its earlier descriptor over; writing the
  // template first would leave nothing to carry and lose the author's descriptor.
  const bool movieFolderUnset = MovieFolderUnset(context, object);
  const bool moved = !movieFolderUnset && DocumentPathChanged(context, object);
  const bool descriptorExists = platform::PathExists(paths.descriptorPath);
  if (!descriptorExists && !moved && !WriteDescriptorTemplate()) return 0;
  if (movieFolderUnset) {
    SetSetting(keys::kDocumentPath, paths.documentPath);
  } else if (moved) {
    if (descriptorExists) {
      RemoveSetting(keys::kDestination);
      RemoveDocumentValue(context, object, keys::kDestination);
    } else if (!ReuseDescriptorForMovie(context, object, paths.movieFolder, paths.movieBaseName)) {
      return 0;
    }
    SetSetting(keys::kDocumentPath, paths.documentPath);
  }
  SetSetting(keys::kExitOk, u"false");
  OpenSettingsSheet(0);
  SaveSettingsWhenTheSheetKeptChanges(context, object);
  return 1;
}

}  // namespace zaro
