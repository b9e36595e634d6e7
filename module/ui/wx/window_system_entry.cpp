// The one exported symbol of libzaropublish_wx.so: the extension calls it the first time a
// window must be shown.
#include "platform/window_system.h"
#include "ui/wx/wx_ui.h"

extern "C" __attribute__((visibility("default"))) zaro::UiServices* ZaroCreateWindowSystem(int abi) {
  if (abi != zaro::kWindowSystemAbi) return nullptr;
  return zaro::CreateWxUi().release();
}
