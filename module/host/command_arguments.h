#pragma once
// Reading a handler's arguments: a missing argument reads as the "no value" word, so the
// host's conversions report no text for it.
#include "host/host_abi.h"

namespace zaro {

inline ScriptValue ArgumentAt(std::uint32_t argc, const ScriptValue* argv, std::uint32_t index) {
  return argv != nullptr && index < argc ? argv[index] : kNoScriptValue;
}

}  // namespace zaro
