#include "module_loader.h"

#include <dlfcn.h>

#include <system_error>

namespace tessel {
namespace fs = std::filesystem;

fs::path ExecutableFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::current_path(error);
  return self.parent_path();
}

std::optional<LoadedModule> LoadModule(const fs::path& file, std::string* error) {
  std::error_code code;
  if (!fs::is_regular_file(file, code)) {
    if (error) *error = "there is no module at " + file.string();
    return std::nullopt;
  }
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    if (error) *error = "cannot load the module " + file.string() + ": " + (reason ? reason : "unknown reason");
    return std::nullopt;
  }
  ::dlerror();
  void* entry = ::dlsym(handle, "KX_InitWrapper");
  if (entry == nullptr) {
    ::dlclose(handle);
    if (error) *error = file.string() + " is not a publishing module: it does not export KX_InitWrapper";
    return std::nullopt;
  }
  LoadedModule module;
  module.file = file;
  module.initWrapper = reinterpret_cast<InitWrapperFn>(entry);
  return module;
}

}  // namespace tessel
