#pragma once
// The module's own wx application object, used when the host is not a wx program.
#include <wx/app.h>

class CTSZaroApp : public wxApp {
 public:
  bool OnInit() override;
};

namespace zaro::wxui {

// Starts wx on first use (wxEntryStart, OnInit, image handlers) unless the host already
// runs a wx application. False without DISPLAY or WAYLAND_DISPLAY, and when the toolkit
// cannot start on the display; the outcome of a start attempt is remembered.
bool EnsureWxStarted();

}  // namespace zaro::wxui
