#include "host/command_paths.h"

#include "host/host_table.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

// The argument's text, or nothing when it is null or too long to be a path.
std::optional<std::u16string> PathArgument(ScriptContext context, ScriptValue value) {
  const HostText text = HostValueToString(context, value);
  if (text.text == nullptr || text.length > kMaxArgumentLength) return std::nullopt;
  return std::u16string(text.text, text.length);
}

}  // namespace

CommandPaths& CurrentCommandPaths() {
  static CommandPaths paths;
  return paths;
}

bool PrepareCommand(ScriptContext context, ScriptObject object, ScriptValue document, ScriptValue movie,
                    ScriptValue version) {
  const auto documentUrl = PathArgument(context, document);
  if (!documentUrl) return false;
  const auto movieUrl = PathArgument(context, movie);
  if (!movieUrl) return false;
  const HostText versionText = HostValueToString(context, version);

  CommandPaths& paths = CurrentCommandPaths();
  paths = CommandPaths{};
  paths.movieUrl = *movieUrl;
  paths.documentPath = UrlToFilePath(*documentUrl);
  paths.moviePath = UrlToFilePath(*movieUrl);
  paths.movieBaseName = GetBaseName(paths.moviePath);
  paths.movieFolder = GetDirectoryPart(paths.moviePath);
  ReplaceBackslashes(paths.movieFolder, u'/');
  ReplaceBackslashes(paths.documentPath, u'/');

  paths.kitName = u"ZSK";
  if (versionText.text != nullptr && versionText.length > 0) {
    paths.kitName.append(versionText.text, versionText.length);
  } else {
    paths.kitName += u"1.0";
  }

  paths.launchFolder = GetDirectoryPart(platform::ExecutablePath());
  ReplaceBackslashes(paths.launchFolder, u'/');

  ResetSettingsKeepingCredentials();
  LoadDocumentSettings(context, object);
  SetSetting(keys::kLaunchPath, paths.launchFolder);
  SetSetting(keys::kMovieFolder, paths.movieFolder);
  SetSetting(keys::kMovieBaseName, paths.movieBaseName);
  SetSetting(keys::kKitName, paths.kitName);

  paths.descriptorPath = paths.movieFolder + paths.movieBaseName + u"-app.xml";

  std::u16string folder = paths.movieFolder;
  while (folder.size() > 1 && folder.back() == u'/') folder.pop_back();
  if (platform::FolderExists(folder)) return true;
  ShowMessage(LoadMessage(8103), kMbIconInformation);
  return false;
}

}  // namespace zaro
