#pragma once
// The current command's paths and names, rewritten by PrepareCommand at its start.
#include <optional>
#include <string>

#include "host/host_abi.h"

namespace zaro {

struct CommandPaths {
  std::u16string launchFolder;    // host program folder, "/" separators, ending in "/"
  std::u16string documentPath;    // "/" separators
  std::u16string movieUrl;        // as the host passed it
  std::u16string moviePath;       // "\" separators
  std::u16string movieBaseName;
  std::u16string movieFolder;     // "/" separators, ending in "/"
  std::u16string kitName;         // "ZSK" + kit version, or "ZSK1.0"
  std::u16string descriptorPath;  // movieFolder + movieBaseName + "-app.xml"
};

CommandPaths& CurrentCommandPaths();

// Longest document or movie argument accepted, in UTF-16 units.
inline constexpr std::uint32_t kMaxArgumentLength = 260;

// Fills CurrentCommandPaths from the arguments, resets and loads the settings and checks
// the movie folder (message 8103). False: the command goes no further.
bool PrepareCommand(ScriptContext context, ScriptObject object, ScriptValue document, ScriptValue movie,
                    ScriptValue version);

}  // namespace zaro
