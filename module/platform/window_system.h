#pragma once
// The window system lives in a shared object of its own beside the extension, so that a
// command that shows no window never loads the toolkit. The extension opens it the first
// time a window must be shown and asks its one entry point for the implementation.
#include <memory>
#include <string>

#include "platform/ui_services.h"

namespace zaro {

inline constexpr char kWindowSystemLibrary[] = "libzaropublish_wx.so";
inline constexpr char kWindowSystemEntry[] = "ZaroCreateWindowSystem";
// Raised whenever UiServices, ModalForm or the form classes the views read change shape:
// views of another build refuse to start rather than misread the forms.
inline constexpr int kWindowSystemAbi = 1;

// The entry point: a new implementation the caller owns, or null when the abi differs or
// the toolkit cannot start on the display.
//   extern "C" UiServices* ZaroCreateWindowSystem(int abi);
using WindowSystemEntry = UiServices* (*)(int abi);

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool DisplayNamed();

// The path of the window-system library: beside the shared object holding this code.
std::string WindowSystemLibraryPath();

// The window-system factory of the extension: null without a display (nothing is loaded
// then), null when the toolkit cannot start on the display, and null after one message on
// standard error naming the file and the reason when the library cannot be opened or has
// no entry point; the caller then uses the console.
// The library stays loaded for the life of the process.
std::unique_ptr<UiServices> LoadWindowSystem();
// The same with the library at `path`.
std::unique_ptr<UiServices> LoadWindowSystemFrom(const std::string& path);

}  // namespace zaro
