#include "platform/console_ui.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>

#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "platform/wake_signal.h"

namespace zaro {
namespace {

const char* IconWord(unsigned style) {
  switch (style & kMbIconMask) {
    case kMbIconStop: return "error";
    case kMbIconQuestion: return "question";
    case kMbIconExclamation: return "warning";
    case kMbIconInformation: return "information";
    default: return "message";
  }
}

std::string ReadLine(std::FILE* in) {
  std::string line;
  for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) line += static_cast<char>(c);
  return line;
}

}  // namespace

bool ConsoleUi::Interactive() const { return in_ != nullptr && ::isatty(::fileno(in_)) == 1; }

int ConsoleUi::ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) {
  const std::vector<int> buttons = MessageBoxButtons(style);
  const int fallback = DefaultMessageBoxButton(style);
  std::string choices;
  for (int button : buttons) {
    std::string name = ButtonName(button);
    if (button == fallback && buttons.size() > 1) {
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    choices += (choices.empty() ? "" : "/") + name;
  }
  std::fprintf(out_, "\n[%s] %s: %s\n  [%s]\n", ToUtf8(title).c_str(), IconWord(style), ToUtf8(text).c_str(),
               choices.c_str());
  if (buttons.size() == 1) return buttons.front();
  if (!Interactive()) {
    std::fprintf(out_, "  (no terminal: answered %s)\n", ButtonName(fallback).c_str());
    return fallback;
  }
  for (;;) {
    std::fprintf(out_, "  answer> ");
    std::fflush(out_);
    if (std::feof(in_)) return fallback;
    const std::string line = ReadLine(in_);
    if (line.empty()) return fallback;
    std::string lower;
    for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int button : buttons) {
      const std::string name = ButtonName(button);
      if (lower == name || (lower.size() == 1 && lower[0] == name[0])) return button;
    }
  }
}

std::optional<std::u16string> ConsoleUi::AskPath(std::u16string_view title) {
  std::fprintf(out_, "\n[%s]\n", ToUtf8(title).c_str());
  if (!Interactive()) {
    std::fprintf(out_, "  (no terminal: cancelled)\n");
    return std::nullopt;
  }
  std::fprintf(out_, "  path (empty to cancel)> ");
  std::fflush(out_);
  const std::string line = ReadLine(in_);
  if (line.empty()) return std::nullopt;
  std::u16string path = FromUtf8(line);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

std::optional<std::u16string> ConsoleUi::ChooseFile(const FileDialogRequest& request) {
  return AskPath(request.title.empty() ? (request.save ? u"Save file" : u"Open file") : request.title);
}

std::optional<std::u16string> ConsoleUi::ChooseFolder(std::u16string_view title) {
  return AskPath(title.empty() ? u"Choose a folder" : title);
}

bool ConsoleUi::OpenLink(std::u16string_view url) {
  std::fprintf(out_, "\nHelp: %s\n", ToUtf8(url).c_str());
  return true;
}

int ConsoleUi::RunModal(ModalForm& form) {
  if (form.TimerIntervalMs() > 0) {
    form.OnShow();
    return RunTimerForm(form);
  }
  std::fprintf(out_,
               "\ntessel: the dialog %s needs a display; without one, run the command with "
               "--answers FILE to fill it in.\n",
               form.FormName().c_str());
  // The host reads its UI log after the command, so that a form nobody could fill in
  // fails the run instead of passing for one that was left with Cancel.
  if (const char* log = std::getenv("TESSEL_UI_LOG"); log != nullptr) {
    AppendUiLog(log, {"unanswered", FromUtf8(form.FormName()), {}, 0, "no display to show the form on", {}});
  }
  return kIdCancel;
}

int ConsoleUi::RunTimerForm(ModalForm& form) {
  // A form with a timer (the progress dialog) needs no answer. It is ticked at once when its
  // wake signal is notified (the run it waits for has ended), else by its timer. A person
  // watching the terminal sees a spinner, the form's status words and the elapsed time.
  using Clock = std::chrono::steady_clock;
  constexpr auto kFrame = std::chrono::milliseconds(100);
  const bool live = ::isatty(::fileno(out_)) == 1;
  std::u16string words = form.GetLabel("status").value_or(u"");
  if (words.empty()) words = FromUtf8(form.FormName());
  const std::string status = ToUtf8(words);
  WakeSignal* wake = form.Wakeup();
  static constexpr const char* kSpinner[] = {"|", "/", "-", "\\"};
  const auto started = Clock::now();
  auto nextTick = started + std::chrono::milliseconds(form.TimerIntervalMs());
  for (int frame = 0; !form.IsClosed(); ++frame) {
    auto now = Clock::now();
    if (live) {
      const double seconds = std::chrono::duration<double>(now - started).count();
      std::fprintf(out_, "\r%s %s %.1f s", kSpinner[frame % 4], status.c_str(), seconds);
      std::fflush(out_);
    }
    const auto until = live ? std::min(now + kFrame, nextTick) : nextTick;
    const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, Clock::duration{}));
    bool woken = false;
    if (wake != nullptr) {
      woken = wake->WaitFor(timeout);
    } else {
      std::this_thread::sleep_for(timeout);
    }
    now = Clock::now();
    if (woken || now >= nextTick) {
      nextTick = now + std::chrono::milliseconds(std::max(form.TimerIntervalMs(), 1));
      form.OnTimer();
    }
  }
  // The spinner line is wiped, so what follows starts on a clean line.
  if (live) {
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
  }
  return form.Result();
}

}  // namespace zaro
