#pragma once
// Loading the publishing module: a shared library that exports KX_InitWrapper.
#include <filesystem>
#include <optional>
#include <string>

#include "host/host_abi.h"

namespace tessel {

inline constexpr const char* kModuleFileName = "libzaropublish.so";

struct LoadedModule {
  std::filesystem::path file;
  InitWrapperFn initWrapper = nullptr;
};

// The folder of the running program (its launch folder).
std::filesystem::path ExecutableFolder();
// Loads the module; it stays loaded for the life of the process. On failure `error`
// says why (no such file, not loadable, no KX_InitWrapper).
std::optional<LoadedModule> LoadModule(const std::filesystem::path& file, std::string* error);

}  // namespace tessel
