#pragma once
// The terminal window system: message boxes on standard error with their title, icon and
// buttons; questions answered at the terminal, or by the default button without one.
#include <cstdio>

#include "platform/ui_services.h"

namespace zaro {

class ConsoleUi : public UiServices {
 public:
  // Questions are read from `input` only when it is a terminal.
  explicit ConsoleUi(std::FILE* input = stdin, std::FILE* output = stderr) : in_(input), out_(output) {}

  int ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) override;
  std::optional<std::u16string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
  bool OpenLink(std::u16string_view url) override;
  int RunModal(ModalForm& form) override;

 private:
  bool Interactive() const;
  int RunTimerForm(ModalForm& form);
  std::optional<std::u16string> AskPath(std::u16string_view title);

  std::FILE* in_;
  std::FILE* out_;
};

}  // namespace zaro
