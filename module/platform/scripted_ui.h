#pragma once
// The scripted window system: answers every question from a queue and records everything
// it was shown. Tests use it directly; the host's --answers file fills the same queue.
#include <optional>
#include <string>
#include <vector>

#include "platform/ui_services.h"

namespace zaro {

struct UiEvent {
  std::string kind;       // message, file, folder, link, form, unanswered, form-error
  std::u16string text;    // message text, dialog title, link or form name
  std::u16string title;   // message-box title
  unsigned style = 0;     // message-box style
  std::string answer;     // button name, chosen path, or form result
  // A closed form's fields and their texts, in the form's order (secret ones as "***").
  std::vector<std::pair<std::string, std::u16string>> fields;
};

struct FormStep {
  std::vector<std::pair<std::string, std::u16string>> fields;  // "set": fields in order
  std::string press;                                           // "press": a button
  int waitMs = 0;                                              // "wait": tick the form's timer
  std::vector<std::pair<std::string, std::u16string>> expect;  // "expect": fields and their texts
};

struct ScriptedAnswer {
  enum class Kind { Button, File, Folder, Form } kind = Kind::Button;
  int button = kIdOk;
  std::optional<std::u16string> path;  // nothing: the dialog was cancelled
  std::string form;
  std::vector<FormStep> steps;
};

class ScriptedUi : public UiServices {
 public:
  ScriptedUi() = default;
  // Reads {"answers": [...]} from a JSON text; false with a reason on bad input.
  bool LoadAnswers(std::string_view json, std::string* error);
  void SetLogFile(std::string posixPath) { logFile_ = std::move(posixPath); }

  void QueueButton(int id);
  void QueueFile(std::optional<std::u16string> path);
  void QueueFolder(std::optional<std::u16string> path);
  void QueueForm(std::string form, std::vector<FormStep> steps);

  const std::vector<UiEvent>& Events() const { return events_; }
  // Questions that found no fitting answer, and form steps that could not be applied.
  int Failures() const { return failures_; }
  size_t PendingAnswers() const { return answers_.size() - next_; }

  int ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) override;
  std::optional<std::u16string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
  bool OpenLink(std::u16string_view url) override;
  int RunModal(ModalForm& form) override;

 private:
  const ScriptedAnswer* Take(ScriptedAnswer::Kind kind, const std::string& form = {});
  void Record(UiEvent event);
  void Fail(std::string kind, std::u16string what, std::string detail);
  void TickUntilClosed(ModalForm& form, int limitMs);
  // Compares the fields of an "expect" step; each difference is a form-error.
  void CheckExpected(ModalForm& form, const FormStep& step);

  std::vector<ScriptedAnswer> answers_;
  size_t next_ = 0;
  std::vector<UiEvent> events_;
  int failures_ = 0;
  std::string logFile_;
};

}  // namespace zaro
