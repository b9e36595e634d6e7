#pragma once
// Carrying a descriptor over when the document was saved under another name or folder.
#include <string_view>

#include "host/host_abi.h"

namespace zaro {

// Copies the earlier movie's descriptor to the new name and points it at the new movie,
// or writes a fresh template when there is none to copy. False only when writing the
// template reports failure.
bool ReuseDescriptorForMovie(ScriptContext context, ScriptObject object, std::u16string_view movieFolder,
                             std::u16string_view movieBaseName);

// When the movie has no descriptor yet: carries the earlier one over when the document
// moved (and records the new document path), else writes the template. Asked to, a document
// with no stored movie folder always gets the template after its output type is applied.
// False only when writing the template reports failure.
enum class OutputTypeRule { Keep, ApplyWhenMovieFolderUnset };
bool MakeMissingDescriptor(ScriptContext context, ScriptObject object, OutputTypeRule outputType);

}  // namespace zaro
