#pragma once
// The wxWidgets window system of the module (toolkit-free header).
#include <memory>

#include "platform/ui_services.h"

namespace zaro {

// The wx implementation of UiServices, or null when no display can be reached (no
// DISPLAY or WAYLAND_DISPLAY, or the toolkit cannot start on it). Starts wx on first use
// when the host has no wx application of its own.
std::unique_ptr<UiServices> CreateWxUi();

}  // namespace zaro
