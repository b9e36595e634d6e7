#pragma once
// The binary contract between the authoring host and its extensions. The host builds a
// table of pointer-sized entries and hands it to KX_InitWrapper; script values are 32-bit
// handles the host gives out, and the raw value word 1 means "no value".
#include <cstdint>

extern "C" {

using ScriptContext = std::uint32_t;
using ScriptObject = std::uint32_t;
using ScriptValue = std::uint32_t;

inline constexpr ScriptValue kNoScriptValue = 1;
inline constexpr int kHostEnvironmentEntries = 49;

// Entry indexes the module calls.
enum HostEntryIndex : int {
  kLibraryObjectEntry = 0,
  kDefineCommandEntry = 1,
  kValueToIntegerEntry = 4,
  kValueToBooleanEntry = 6,
  kValueToStringEntry = 19,
  kExecuteScriptEntry = 37,
};

using CommandHandler = std::int32_t (*)(ScriptContext context, ScriptObject object, std::uint32_t argc,
                                        ScriptValue* argv, ScriptValue* result);
using DefineCommandFn = std::int32_t (*)(void* libraryObject, const char16_t* name, CommandHandler handler,
                                         std::uint32_t argc);
using ValueToIntegerFn = std::int32_t (*)(ScriptContext context, ScriptValue value, std::int32_t* out);
using ValueToBooleanFn = std::int32_t (*)(ScriptContext context, ScriptValue value, std::int32_t* out);
using ValueToStringFn = const char16_t* (*)(ScriptContext context, ScriptValue value, std::uint32_t* length);
using ExecuteScriptFn = std::int32_t (*)(ScriptContext context, ScriptObject object, const char16_t* script,
                                         std::uint32_t length, const char16_t* sourceName, std::int32_t line,
                                         ScriptValue* result);

// One entry: entry 0 is the library object value, the others are functions or null.
using HostEntry = void*;

struct HostEnvironment {
  HostEntry entries[kHostEnvironmentEntries];
};

using InitWrapperFn = void (*)(const HostEntry* table, std::uint32_t sizeInBytes);

}  // extern "C"
