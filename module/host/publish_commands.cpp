#include "host/command_arguments.h"
#include "host/command_paths.h"
#include "host/commands.h"

namespace zaro {

std::int32_t PublishHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                            ScriptValue*) {
  PrepareCommand(context, object, ArgumentAt(argc, argv, 0), ArgumentAt(argc, argv, 1), ArgumentAt(argc, argv, 2));
  return 1;
}

std::int32_t OpenSettingDialogHandler(ScriptContext context, ScriptObject object, std::uint32_t argc,
                                      ScriptValue* argv, ScriptValue*) {
  PrepareCommand(context, object, ArgumentAt(argc, argv, 0), ArgumentAt(argc, argv, 1), ArgumentAt(argc, argv, 2));
  return 1;
}

}  // namespace zaro
