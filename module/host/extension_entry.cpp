// The module's only exported symbol: the host calls it once after loading the module.
#include "host/commands.h"
#include "host/host_table.h"
#include "platform/window_system.h"

extern "C" __attribute__((visibility("default"))) void KX_InitWrapper(const HostEntry* table,
                                                                       std::uint32_t sizeInBytes) {
  zaro::CopyHostTable(table, sizeInBytes);
  // Dialogs use the wx views (opened on first need) when a display is reachable, else the
  // console.
  zaro::SetWindowSystemFactory(&zaro::LoadWindowSystem);
  zaro::RegisterCommands();
}
