#include "host/descriptor_reuse.h"

#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_template.h"
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

}  // namespace zaro
