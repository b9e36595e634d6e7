#include "platform/window_system.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace zaro {

bool DisplayNamed() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

std::string WindowSystemLibraryPath() {
  Dl_info info{};
  std::string folder;
  if (::dladdr(reinterpret_cast<const void*>(&WindowSystemLibraryPath), &info) != 0 && info.dli_fname != nullptr) {
    folder = info.dli_fname;
    // The loader names a program by the way it was started; an absolute path is looked up
    // without any search.
    if (folder.front() != '/') {
      if (char* absolute = ::realpath(info.dli_fname, nullptr)) {
        folder = absolute;
        std::free(absolute);
      }
    }
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
  }
  // Without a folder the loader would search its own paths; "./" keeps it to one file.
  return (folder.empty() ? std::string("./") : folder) + kWindowSystemLibrary;
}

std::unique_ptr<UiServices> LoadWindowSystem() { return LoadWindowSystemFrom(WindowSystemLibraryPath()); }

std::unique_ptr<UiServices> LoadWindowSystemFrom(const std::string& path) {
  if (!DisplayNamed()) return nullptr;
  // Never closed: the toolkit keeps threads, handlers and atexit entries of its own.
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = ::dlerror();
    std::fprintf(stderr,
                 "zaropublish: the window views %s cannot be loaded (%s); dialogs are shown on the terminal\n",
                 path.c_str(), reason != nullptr ? reason : "unknown reason");
    return nullptr;
  }
  const auto entry = reinterpret_cast<WindowSystemEntry>(::dlsym(library, kWindowSystemEntry));
  if (entry == nullptr) {
    std::fprintf(stderr, "zaropublish: %s has no entry point %s; dialogs are shown on the terminal\n", path.c_str(),
                 kWindowSystemEntry);
    return nullptr;
  }
  // Null when the toolkit cannot start on the display: the console then answers, as it
  // always has in that case (the toolkit says why on standard error itself).
  return std::unique_ptr<UiServices>(entry(kWindowSystemAbi));
}

}  // namespace zaro
