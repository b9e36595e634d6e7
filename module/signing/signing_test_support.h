#pragma once
// Scaffolding shared by the signing and settings-sheet tests: a temporary folder holding
// the registry hive and the application data folder, an empty settings store and the
// scripted window system.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "ui/form_state.h"
#include "testing/scratch.h"

namespace zaro::testing_support {

// Scripted form steps: press a button, or set fields and then press.
inline FormStep PressStep(std::string button) { return {{}, std::move(button), 0, {}}; }
inline FormStep SetAndPress(std::vector<std::pair<std::string, std::u16string>> fields, std::string button) {
  return {std::move(fields), std::move(button), 0, {}};
}

class SigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    ::setenv("TESSEL_REGISTRY_FILE", (root_ / "registry").c_str(), 1);
    ::setenv("TESSEL_COMMON_APPDATA", (root_ / "ProgramData").c_str(), 1);
    testing::ClearSettings();
  }

  void TearDown() override { testing::ClearSettings(); }

  // Creates a file under the test folder and returns its path in Windows form.
  std::u16string MakeFile(const std::string& relative, const std::string& content = "x") {
    const std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return WindowsForm(path);
  }

  static std::u16string WindowsForm(const std::filesystem::path& path) { return platform::ToWindowsForm(path.string()); }

  static std::u16string Slashes(std::u16string text) {
    std::replace(text.begin(), text.end(), u'\\', u'/');
    return text;
  }

  // Sets the fields of a form in order; a refused one fails the test.
  static void Set(FormState& form, const std::vector<std::pair<std::string, std::u16string>>& fields) {
    for (const auto& [name, value] : fields) ASSERT_TRUE(form.SetField(name, value)) << name;
  }

  static std::u16string Registry(std::u16string_view name) {
    std::u16string value;
    ReadRegistryValue(name, value);
    return value;
  }

  static std::vector<std::u16string> RegistryList(std::u16string_view subkey) {
    std::vector<std::u16string> list;
    ReadRegistryList(subkey, list);
    return list;
  }

  // The texts of the message boxes shown so far, in order.
  std::vector<std::u16string> Messages() const {
    std::vector<std::u16string> texts;
    for (const UiEvent& event : ui_->Events()) {
      if (event.kind == "message") texts.push_back(event.text);
    }
    return texts;
  }

  const UiEvent* LastMessage() const {
    for (auto event = ui_->Events().rbegin(); event != ui_->Events().rend(); ++event) {
      if (event->kind == "message") return &*event;
    }
    return nullptr;
  }

  testing::ScratchFolder scratch_{"signing-test"};
  const std::filesystem::path root_ = scratch_.Path();
  testing::ScopedScriptedUi ui_;
};

}  // namespace zaro::testing_support
