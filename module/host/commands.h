#pragma once
// The four script commands the module defines with the host, and their handlers.
#include "host/host_abi.h"

namespace zaro {

// Defines "Publish", "TestMovie", "DebugMovie" and "OpenSettingDialog", in that order;
// a failed definition does not stop the next one.
void RegisterCommands();

std::int32_t PublishHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                            ScriptValue* result);
std::int32_t TestMovieHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                              ScriptValue* result);
std::int32_t DebugMovieHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                               ScriptValue* result);
std::int32_t OpenSettingDialogHandler(ScriptContext context, ScriptObject object, std::uint32_t argc,
                                      ScriptValue* argv, ScriptValue* result);

}  // namespace zaro
