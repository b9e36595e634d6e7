#pragma once
// Scaffolding shared by the signing and settings-sheet tests: the descriptor tests' temporary
// folder (registry hive, application data and movie folder), settings and scripted window
// system, with helpers for files, form fields, the registry and the boxes shown.
#include <algorithm>

#include "descriptor/descriptor_test_support.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "ui/form_state.h"

namespace zaro::testing_support {

// Scripted form steps: press a button, or set fields and then press.
inline FormStep PressStep(std::string button) { return {{}, std::move(button), 0, {}}; }
inline FormStep SetAndPress(std::vector<std::pair<std::string, std::u16string>> fields, std::string button) {
  return {std::move(fields), std::move(button), 0, {}};
}

class SigningTest : public DescriptorTest {
 protected:
  void TearDown() override {
    DescriptorTest::TearDown();
    testing::ClearSettings();
  }

  // Creates a file under the test folder and returns its path in Windows form.
  std::u16string MakeFile(const std::string& relative, const std::string& content = "x") {
    WriteBytes(root_ / relative, content);
    return WindowsForm(root_ / relative);
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
};

}  // namespace zaro::testing_support
