#pragma once
// The module's private copy of the host's callback table, and guarded calls through it:
// a null entry is skipped and its result counts as 0.
#include <cstdint>
#include <string_view>

#include "host/host_abi.h"

namespace zaro {

// Copies entry i while i < 49 and i * sizeof(entry) < sizeInBytes; the rest become null.
void CopyHostTable(const HostEntry* table, std::uint32_t sizeInBytes);
const HostEnvironment& HostTable();

// The text and length a host value converts to; null text when the entry is missing.
struct HostText {
  const char16_t* text = nullptr;
  std::uint32_t length = 0;
};

std::int32_t HostDefineCommand(std::u16string_view name, CommandHandler handler, std::uint32_t argc);
HostText HostValueToString(ScriptContext context, ScriptValue value);
// `out` keeps what the caller put there when the entry is missing.
void HostValueToInteger(ScriptContext context, ScriptValue value, std::int32_t& out);
void HostValueToBoolean(ScriptContext context, ScriptValue value, std::int32_t& out);
std::int32_t HostExecuteScript(ScriptContext context, ScriptObject object, std::u16string_view script,
                               std::int32_t line, ScriptValue& result);

}  // namespace zaro
