// The module's only exported symbol: the host calls it once after loading the module.
#include "host/commands.h"
#include "host/host_table.h"
#include "ui/wx/wx_ui.h"

extern "C" __attribute__((visibility("default"))) void KX_InitWrapper(const HostEntry* table,
                                                                       std::uint32_t sizeInBytes) {
  zaro::CopyHostTable(table, sizeInBytes);
  // Dialogs use wx when a display is reachable, else the console.
  zaro::RegisterWxUi();
  zaro::RegisterCommands();
}
