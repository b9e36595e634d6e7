#include "host/descriptor_reuse.h"

#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_template.h"
#include "host/command_paths.h"
#include "host/script_bridge.h"
#include "platform/files.h"
#include "settings/settings_store.h"

namespace zaro {

bool ReuseDescriptorForMovie(ScriptContext context, ScriptObject object, std::u16string_view movieFolder,
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

  // Without a stored folder and name there is no earlier movie: the bare "-app.xml" would
  // name whatever file of that name lies in the working folder.
  const bool earlierMovieKnown = !oldFolder.empty() && !oldBaseName.empty();
  if (earlierMovieKnown && platform::PathExists(oldDescriptor) &&
      platform::CopyFileOverwrite(oldDescriptor, newDescriptor) && RefreshDescriptorForMovie()) {
    return true;
  }
  return WriteDescriptorTemplate();
}

bool MakeMissingDescriptor(ScriptContext context, ScriptObject object, OutputTypeRule outputType) {
  const CommandPaths& paths = CurrentCommandPaths();
  if (platform::PathExists(paths.descriptorPath)) return true;
  // A document never published has no earlier descriptor to carry over, even when it was
  // saved (and so seems to have moved): it starts from the template with its own output type.
  const bool neverPublished =
      outputType == OutputTypeRule::ApplyWhenMovieFolderUnset && MovieFolderUnset(context, object);
  const bool moved = DocumentPathChanged(context, object);
  if (moved && !neverPublished) {
    if (!ReuseDescriptorForMovie(context, object, paths.movieFolder, paths.movieBaseName)) return false;
    SetSetting(keys::kDocumentPath, paths.documentPath);
    return true;
  }
  if (neverPublished) {
    ApplyOutputType(context, object);
    if (moved) SetSetting(keys::kDocumentPath, paths.documentPath);
  }
  return WriteDescriptorTemplate();
}

}  // namespace zaro
