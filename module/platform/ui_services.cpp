#include "platform/ui_services.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/console_ui.h"
#include "platform/scripted_ui.h"

namespace zaro {
namespace {

std::unique_ptr<UiServices>& Current() {
  static std::unique_ptr<UiServices> current;
  return current;
}

// The packaging worker may report a start failure before the interface thread has asked
// for the window system; whoever comes first sets it up, and only once.
std::mutex& CurrentLock() {
  static std::mutex lock;
  return lock;
}

UiFactory& WindowSystemFactory() {
  static UiFactory factory = nullptr;
  return factory;
}

std::unique_ptr<UiServices> ScriptedFromEnvironment(const char* answersFile) {
  auto scripted = std::make_unique<ScriptedUi>();
  if (const char* log = std::getenv("TESSEL_UI_LOG"); log && *log) scripted->SetLogFile(log);
  std::ifstream in(answersFile, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  std::string error;
  if (!in || !scripted->LoadAnswers(content.str(), &error)) {
    // Every question then counts as unanswered, which the run reports as a failure.
    std::fprintf(stderr, "tessel: cannot use the answers file %s: %s\n", answersFile,
                 in ? error.c_str() : "it cannot be read");
  }
  return scripted;
}

std::unique_ptr<UiServices> ChooseFromEnvironment() {
  if (const char* answers = std::getenv("TESSEL_ANSWERS"); answers && *answers) {
    return ScriptedFromEnvironment(answers);
  }
  if (UiFactory factory = WindowSystemFactory()) {
    if (auto ui = factory()) return ui;
  }
  return std::make_unique<ConsoleUi>();
}

}  // namespace

std::vector<int> MessageBoxButtons(unsigned style) {
  switch (style & kMbButtonsMask) {
    case kMbOkCancel: return {kIdOk, kIdCancel};
    case kMbAbortRetryIgnore: return {kIdAbort, kIdRetry, kIdIgnore};
    case kMbYesNoCancel: return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo: return {kIdYes, kIdNo};
    case kMbRetryCancel: return {kIdRetry, kIdCancel};
    default: return {kIdOk};
  }
}

int DefaultMessageBoxButton(unsigned style) {
  const std::vector<int> buttons = MessageBoxButtons(style);
  const size_t index = (style & kMbDefaultMask) == kMbDefButton3 ? 2 : (style & kMbDefaultMask) == kMbDefButton2 ? 1 : 0;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

std::string ButtonName(int id) {
  switch (id) {
    case kIdOk: return "ok";
    case kIdCancel: return "cancel";
    case kIdAbort: return "abort";
    case kIdRetry: return "retry";
    case kIdIgnore: return "ignore";
    case kIdYes: return "yes";
    case kIdNo: return "no";
    default: return std::to_string(id);
  }
}

int ButtonFromName(std::string_view name) {
  for (int id = kIdOk; id <= kIdNo; ++id) {
    if (ButtonName(id) == name) return id;
  }
  return 0;
}

UiServices& Ui() {
  const std::lock_guard<std::mutex> guard(CurrentLock());
  auto& current = Current();
  if (!current) current = ChooseFromEnvironment();
  return *current;
}

std::unique_ptr<UiServices> InstallUi(std::unique_ptr<UiServices> ui) {
  const std::lock_guard<std::mutex> guard(CurrentLock());
  auto old = std::move(Current());
  Current() = std::move(ui);
  return old;
}

void SetWindowSystemFactory(UiFactory factory) { WindowSystemFactory() = factory; }

}  // namespace zaro
