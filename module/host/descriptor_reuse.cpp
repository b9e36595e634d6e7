#include "host/descriptor_reuse.h"

#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_template.h"
#include "host/command_paths.h"
#include "host/script_bridge.h"
#include "platform/files.h"
#include "settings/settings_store.h"

namespace zaro {

void ReuseDescriptorForMovie(ScriptContext context, ScriptObject object, std::u16string_view movieFolder,
                             std::u16string_view movieBaseName) {
  std::u16string oldFolder;
  std::u16string oldBaseName;
  ReadDocumentValue(context, object, keys::kMovieFolder, oldFolder);
  ReadDocumentValue(context, object, keys::kMovieBaseName, oldBaseName);
  const std::u16string oldDescriptor = oldFolder + oldBaseName + u"-app.xml";
  const std::u16string newDescriptor = std::u16string(movieFolder) + std::u16string(movieBaseName) + u"-app.xml";

  SetSetting(keys::kMovieFolder, movieFolder);
  SetSetting(keys::kMovieBaseName, movieBaseName);
  RemoveSetting(keys::kDestination);
  RemoveDocumentValue(context, object, keys::kDestination);

  if (platform::PathExists(oldDescriptor) && platform::CopyFileOverwrite(oldDescriptor, newDescriptor) &&
      RefreshDescriptorForMovie()) {
    return;
  }
  WriteDescriptorTemplate();
}

bool MakeMissingDescriptor(ScriptContext context, ScriptObject object, OutputTypeRule outputType) {
  const CommandPaths& paths = CurrentCommandPaths();
  if (platform::PathExists(paths.descriptorPath)) return true;
  if (DocumentPathChanged(context, object)) {
    ReuseDescriptorForMovie(context, object, paths.movieFolder, paths.movieBaseName);
    SetSetting(keys::kDocumentPath, paths.documentPath);
    return true;
  }
  if (outputType == OutputTypeRule::ApplyWhenMovieFolderUnset && MovieFolderUnset(context, object)) {
    ApplyOutputType(context, object);
  }
  return WriteDescriptorTemplate();
}

}  // namespace zaro
