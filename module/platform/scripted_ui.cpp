#include "platform/scripted_ui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/text.h"

namespace zaro {
namespace {

using Json = nlohmann::ordered_json;

// The fields of a "set" or "expect" step: names and texts in the file's order.
bool ParseFieldTexts(const Json& item, const char* key, std::vector<std::pair<std::string, std::u16string>>& fields,
                     std::string* error) {
  if (!item[key].is_object()) {
    *error = std::string("\"") + key + "\" must be an object of field names and texts";
    return false;
  }
  for (const auto& [name, value] : item[key].items()) {
    const std::string text = value.is_string() ? value.get<std::string>() : value.dump();
    fields.emplace_back(name, FromUtf8(text));
  }
  return true;
}

bool ParseStep(const Json& item, FormStep& step, std::string* error) {
  if (item.contains("set")) {
    if (!ParseFieldTexts(item, "set", step.fields, error)) return false;
  } else if (item.contains("expect")) {
    if (!ParseFieldTexts(item, "expect", step.expect, error)) return false;
  } else if (item.contains("press") && item["press"].is_string()) {
    step.press = item["press"].get<std::string>();
  } else if (item.contains("wait") && item["wait"].is_number_integer()) {
    step.waitMs = item["wait"].get<int>();
  } else {
    *error = "a form step needs \"set\", \"expect\", \"press\" or \"wait\": " + item.dump();
    return false;
  }
  return true;
}

bool ParseAnswer(const Json& item, ScriptedAnswer& answer, std::string* error) {
  if (!item.is_object()) {
    *error = "every answer must be an object: " + item.dump();
    return false;
  }
  auto optionalPath = [](const Json& value) -> std::optional<std::u16string> {
    if (value.is_null()) return std::nullopt;
    return FromUtf8(value.get<std::string>());
  };
  if (item.contains("message")) {
    answer.kind = ScriptedAnswer::Kind::Button;
    answer.button = item["message"].is_string() ? ButtonFromName(item["message"].get<std::string>()) : 0;
    if (answer.button == 0) {
      *error = "unknown button in " + item.dump() + " (ok, cancel, yes, no, abort, retry, ignore)";
      return false;
    }
  } else if (item.contains("file") && (item["file"].is_string() || item["file"].is_null())) {
    answer.kind = ScriptedAnswer::Kind::File;
    answer.path = optionalPath(item["file"]);
  } else if (item.contains("folder") && (item["folder"].is_string() || item["folder"].is_null())) {
    answer.kind = ScriptedAnswer::Kind::Folder;
    answer.path = optionalPath(item["folder"]);
  } else if (item.contains("form") && item["form"].is_string()) {
    answer.kind = ScriptedAnswer::Kind::Form;
    answer.form = item["form"].get<std::string>();
    if (item.contains("steps")) {
      if (!item["steps"].is_array()) {
        *error = "\"steps\" must be a list";
        return false;
      }
      for (const auto& stepItem : item["steps"]) {
        FormStep step;
        if (!ParseStep(stepItem, step, error)) return false;
        answer.steps.push_back(std::move(step));
      }
    }
  } else {
    *error = "an answer needs \"message\", \"file\", \"folder\" or \"form\": " + item.dump();
    return false;
  }
  return true;
}

std::string JsonLine(const UiEvent& event) {
  Json line = {{"event", event.kind}, {"text", ToUtf8(event.text)}};
  if (!event.title.empty()) line["title"] = ToUtf8(event.title);
  if (event.style != 0) line["style"] = event.style;
  if (!event.answer.empty()) line["answer"] = event.answer;
  if (!event.fields.empty()) {
    Json fields = Json::object();
    for (const auto& [name, text] : event.fields) fields[name] = ToUtf8(text);
    line["fields"] = std::move(fields);
  }
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

bool ScriptedUi::LoadAnswers(std::string_view json, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const Json document = Json::parse(json, nullptr, false);
  if (document.is_discarded()) {
    *error = "the answers are not valid JSON";
    return false;
  }
  const Json* list = &document;
  if (document.is_object()) {
    if (!document.contains("answers")) {
      *error = "the answers file needs a list named \"answers\"";
      return false;
    }
    list = &document["answers"];
  }
  if (!list->is_array()) {
    *error = "\"answers\" must be a list";
    return false;
  }
  std::vector<ScriptedAnswer> parsed;
  for (const auto& item : *list) {
    ScriptedAnswer answer;
    if (!ParseAnswer(item, answer, error)) return false;
    parsed.push_back(std::move(answer));
  }
  for (auto& answer : parsed) answers_.push_back(std::move(answer));
  return true;
}

void ScriptedUi::QueueButton(int id) {
  ScriptedAnswer answer;
  answer.button = id;
  answers_.push_back(std::move(answer));
}

void ScriptedUi::QueueFile(std::optional<std::u16string> path) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::File;
  answer.path = std::move(path);
  answers_.push_back(std::move(answer));
}

void ScriptedUi::QueueFolder(std::optional<std::u16string> path) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::Folder;
  answer.path = std::move(path);
  answers_.push_back(std::move(answer));
}

void ScriptedUi::QueueForm(std::string form, std::vector<FormStep> steps) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::Form;
  answer.form = std::move(form);
  answer.steps = std::move(steps);
  answers_.push_back(std::move(answer));
}

const ScriptedAnswer* ScriptedUi::Take(ScriptedAnswer::Kind kind, const std::string& form) {
  if (next_ >= answers_.size()) return nullptr;
  const ScriptedAnswer& candidate = answers_[next_];
  if (candidate.kind != kind) return nullptr;
  if (kind == ScriptedAnswer::Kind::Form && candidate.form != form) return nullptr;
  ++next_;
  return &candidate;
}

void ScriptedUi::Record(UiEvent event) {
  if (!logFile_.empty()) {
    std::ofstream log(logFile_, std::ios::app);
    log << JsonLine(event) << '\n';
  }
  events_.push_back(std::move(event));
}

void ScriptedUi::Fail(std::string kind, std::u16string what, std::string detail) {
  ++failures_;
  std::fprintf(stderr, "tessel: %s: %s (%s)\n", kind.c_str(), ToUtf8(what).c_str(), detail.c_str());
  Record({std::move(kind), std::move(what), {}, 0, std::move(detail), {}});
}

int ScriptedUi::ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) {
  const std::vector<int> buttons = MessageBoxButtons(style);
  int pressed = buttons.front();
  if (buttons.size() > 1) {
    const ScriptedAnswer* answer = Take(ScriptedAnswer::Kind::Button);
    bool fits = false;
    for (int button : buttons) fits = fits || (answer && answer->button == button);
    if (fits) {
      pressed = answer->button;
    } else {
      // No guess: the most cautious button, and the run is marked as failed.
      pressed = buttons.back();
      for (int button : buttons) {
        if (button == kIdCancel || button == kIdNo) pressed = button;
      }
      Fail("unanswered", std::u16string(text), answer ? "answer " + ButtonName(answer->button) + " does not fit the box"
                                                      : "no answer for this question");
    }
  }
  Record({"message", std::u16string(text), std::u16string(title), style, ButtonName(pressed), {}});
  return pressed;
}

std::optional<std::u16string> ScriptedUi::ChooseFile(const FileDialogRequest& request) {
  const ScriptedAnswer* answer = Take(ScriptedAnswer::Kind::File);
  if (!answer) {
    Fail("unanswered", request.title, "no answer for this file dialog");
    return std::nullopt;
  }
  Record({"file", request.title, {}, 0, answer->path ? ToUtf8(*answer->path) : "cancel", {}});
  return answer->path;
}

std::optional<std::u16string> ScriptedUi::ChooseFolder(std::u16string_view title) {
  const ScriptedAnswer* answer = Take(ScriptedAnswer::Kind::Folder);
  if (!answer) {
    Fail("unanswered", std::u16string(title), "no answer for this folder browser");
    return std::nullopt;
  }
  Record({"folder", std::u16string(title), {}, 0, answer->path ? ToUtf8(*answer->path) : "cancel", {}});
  return answer->path;
}

bool ScriptedUi::OpenLink(std::u16string_view url) {
  Record({"link", std::u16string(url), {}, 0, {}, {}});
  return true;
}

void ScriptedUi::TickUntilClosed(ModalForm& form, int limitMs) {
  const int interval = form.TimerIntervalMs();
  if (interval <= 0) return;
  // Ticks a little faster than the form asks, so a script does not wait out every second.
  const auto step = std::chrono::milliseconds(std::max(1, std::min(interval, 50)));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!form.IsClosed() && (limitMs < 0 || std::chrono::steady_clock::now() < deadline)) {
    std::this_thread::sleep_for(step);
    form.OnTimer();
  }
}

int ScriptedUi::RunModal(ModalForm& form) {
  const std::string name = form.FormName();
  form.OnShow();
  if (const ScriptedAnswer* answer = Take(ScriptedAnswer::Kind::Form, name)) {
    const std::vector<FormStep> steps = answer->steps;  // nested dialogs may grow the queue
    for (const FormStep& step : steps) {
      if (form.IsClosed()) break;
      for (const auto& [field, value] : step.fields) {
        if (!form.SetField(field, value)) Fail("form-error", FromUtf8(name), "cannot set field " + field);
      }
      CheckExpected(form, step);
      if (step.waitMs > 0) TickUntilClosed(form, step.waitMs);
      if (!step.press.empty() && !form.Press(step.press)) {
        Fail("form-error", FromUtf8(name), "cannot press " + step.press);
      }
    }
  }
  if (!form.IsClosed() && form.TimerIntervalMs() > 0) TickUntilClosed(form, -1);
  if (!form.IsClosed()) {
    Fail("unanswered", FromUtf8(name), "the form was left open; closing it with Cancel");
    form.Press("Cancel");
  }
  UiEvent closed{"form", FromUtf8(name), {}, 0, ButtonName(form.Result()), {}};
  for (const std::string& field : form.FieldNames()) {
    std::u16string text = form.GetField(field).value_or(u"");
    if (form.IsSecretField(field) && !text.empty()) text = u"***";
    closed.fields.emplace_back(field, std::move(text));
  }
  Record(std::move(closed));
  return form.Result();
}

void ScriptedUi::CheckExpected(ModalForm& form, const FormStep& step) {
  const std::u16string formName = FromUtf8(form.FormName());
  for (const auto& [field, expected] : step.expect) {
    form.RevealField(field);
    const std::optional<std::u16string> held = form.GetField(field);
    if (!held) {
      Fail("form-error", formName, "no field " + field + " to compare");
      continue;
    }
    if (*held == expected) continue;
    const bool secret = form.IsSecretField(field);
    const Json heldText = secret ? std::string("***") : ToUtf8(*held);
    const Json expectedText = secret ? std::string("***") : ToUtf8(expected);
    Fail("form-error", formName,
         "field " + field + " holds " + heldText.dump(-1, ' ', false, Json::error_handler_t::replace) +
             ", expected " + expectedText.dump(-1, ' ', false, Json::error_handler_t::replace));
  }
}

}  // namespace zaro
