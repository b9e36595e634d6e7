#include "host/commands.h"

#include "host/host_table.h"

namespace zaro {

void RegisterCommands() {
  struct Command {
    std::u16string_view name;
    CommandHandler handler;
    std::uint32_t argc;
  };
  static constexpr Command kCommands[] = {
      {u"Publish", &PublishHandler, 3},
      {u"TestMovie", &TestMovieHandler, 4},
      {u"DebugMovie", &DebugMovieHandler, 4},
      {u"OpenSettingDialog", &OpenSettingDialogHandler, 3},
  };
  for (const Command& command : kCommands) HostDefineCommand(command.name, command.handler, command.argc);
}

}  // namespace zaro
