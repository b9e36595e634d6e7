#pragma once
// Scaffolding for the module's unit tests: a private temporary folder removed at the end
// (even where a test left it read-only), the scripted window system installed for one
// test, and an empty settings store.
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/scripted_ui.h"
#include "settings/settings_store.h"

namespace zaro::testing {

class ScratchFolder {
 public:
  // Creates /tmp/<label>-XXXXXX; Path() is empty when that failed.
  explicit ScratchFolder(const std::string& label) {
    std::string pattern = "/tmp/" + label + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code error;
    for (auto entry = std::filesystem::recursive_directory_iterator(path_, error);
         !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
      if (entry->is_directory(error)) {
        std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all, error);
      }
    }
    std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Installs a fresh scripted window system and puts the previous one back at the end.
class ScopedScriptedUi {
 public:
  ScopedScriptedUi() {
    auto ui = std::make_unique<ScriptedUi>();
    ui_ = ui.get();
    previous_ = InstallUi(std::move(ui));
  }
  ~ScopedScriptedUi() { InstallUi(std::move(previous_)); }
  ScopedScriptedUi(const ScopedScriptedUi&) = delete;
  ScopedScriptedUi& operator=(const ScopedScriptedUi&) = delete;

  ScriptedUi& operator*() const { return *ui_; }
  ScriptedUi* operator->() const { return ui_; }

 private:
  ScriptedUi* ui_ = nullptr;
  std::unique_ptr<UiServices> previous_;
};

// Removes every setting, credentials included.
inline void ClearSettings() {
  const std::map<std::u16string, std::u16string, std::less<>> all(AllSettings());
  for (const auto& [key, value] : all) RemoveSetting(key);
}

}  // namespace zaro::testing
