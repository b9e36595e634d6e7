#include "packaging/packaging_result.h"

#include <memory>
#include <system_error>
#include <thread>

#include "packaging/timestamp_authority.h"
#include "platform/process_runner.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "settings/messages.h"
#include "ui/progress_dialog.h"
#include "ui/timestamp_retry_dialog.h"

namespace zaro {
namespace {

constexpr unsigned kCreateFileErrorMessage = 8089;
constexpr int kSuccessRow = 1;
constexpr int kTimestampRow = 9;

// Exit codes with a message of their own; exit code 2 is handled before these.
struct ExitCodeRow {
  int exitCode;
  int row;
  unsigned message;
};
constexpr ExitCodeRow kExitCodeRows[] = {
    {5, 4, 8055}, {6, 5, 8056}, {7, 6, 8057}, {8, 7, 8058}, {9, 8, 8059},
};

// Output texts in the order they are tested; the first one found decides.
struct TextRow {
  std::u16string_view marker;
  int row;
  unsigned message;
};
constexpr TextRow kTextRows[] = {
    {u"error 100", 10, 8031}, {u"error 101", 11, 8032}, {u"error 102", 12, 8033}, {u"error 103", 13, 8034},
    {u"error 104", 14, 8035}, {u"error 105", 15, 8036}, {u"error 106", 16, 8037}, {u"error 107", 17, 8038},
    {u"error 200", 18, 8039}, {u"error 201", 19, 8040}, {u"error 202", 20, 8041}, {u"error 300", 21, 8042},
    {u"error 301", 22, 8043}, {u"error 302", 23, 8044}, {u"error 303", 24, 8045}, {u"error 304", 25, 8082},
    {u"error 305", 26, 8083}, {u"password may be incorrect", 27, 8046},
};

constexpr size_t npos = std::u16string_view::npos;

unsigned SuccessMessage(PackageTarget target, std::u16string_view signingMode) {
  if (target == IphonePackage) return 8107;
  if (target == NativeInstaller) return 8108;
  return signingMode == u"prepare" ? 8015 : 8014;
}

// The name after "no such file ", without the character before "\nusage:".
std::u16string MissingFileDetail(std::u16string_view output) {
  constexpr std::u16string_view kMarker = u"no such file ";
  const size_t p = output.find(kMarker);
  if (p == npos) return {};
  const size_t q = output.find(u"\nusage:", p + kMarker.size());
  if (q == npos || q <= p + kMarker.size()) return {};
  return u"\n(" + std::u16string(output.substr(p + 13, q - p - 14)) + u")";
}

// The element named between "error 105: " and " contains".
std::u16string InvalidValueDetail(std::u16string_view output) {
  const size_t p = output.find(u"error 105:");
  if (p == npos) return {};
  const size_t q = output.find(u"contains", p + 11);
  if (q == npos || q <= p + 12) return {};
  return u"\n(" + std::u16string(output.substr(p + 11, q - p - 12)) + u")";
}

// The text after "error 103" and the one character following it; nothing when the
// output ends before that.
std::u16string UnexpectedElementDetail(std::u16string_view output, size_t p) {
  if (p + 10 > output.size()) return u"\n";
  return u"\n" + std::u16string(output.substr(p + 10));
}

void RunJob(RunnerJob* job) {
  const OutputListener follow = [job](std::string_view piece) { job->progress.Feed(piece); };
  job->exitCode = CreateWinProcess(job->commandLine, true, job->output, &job->flag, &follow);
  job->flag.store(1);
  // The dialog closes now, not at its next timer tick.
  job->ended.Notify();
}

}  // namespace

PackagingRun RunWithProgress(std::u16string_view commandLine) {
  auto job = std::make_unique<RunnerJob>();
  job->commandLine.assign(commandLine);
  job->output.clear();
  job->flag.store(0);

  PackagingProgressDlg dialog(job->progress);
  dialog.SetFlag(&job->flag, &job->ended);
  // The window system is set up here, on the interface thread, before the worker can
  // need it for a start failure (a toolkit takes the thread that starts it as its main one).
  UiServices& ui = Ui();
  std::thread worker;
  try {
    worker = std::thread(RunJob, job.get());
  } catch (const std::system_error&) {
    // No thread to be had: run in place, without a dialog to cancel it.
    RunJob(job.get());
  }
  if (worker.joinable()) {
    try {
      ui.RunModal(dialog);
    } catch (...) {
      // A window system that fails to show the dialog must not leave the worker behind.
    }
    // After Cancel the runner still kills the tool and collects its output; the job is
    // read only once that has finished.
    worker.join();
  }

  PackagingRun run;
  run.exitCode = job->exitCode;
  run.output = FromUtf8(job->output);
  run.cancelled = dialog.Cancelled();
  return run;
}

PackagingOutcome InterpretPackagingResult(PackageTarget target, std::u16string_view signingMode, int exitCode,
                                          std::u16string_view toolOutput) {
  const std::u16string whole = WithoutProgressLines(toolOutput);
  const std::u16string_view output(whole);
  if (exitCode == 0 && output.empty()) return {kSuccessRow, LoadMessage(SuccessMessage(target, signingMode))};
  if (exitCode == 2) {
    const std::u16string detail = MissingFileDetail(output);
    if (!detail.empty()) return {2, LoadMessage(8042) + detail};
    return {3, LoadMessage(8054) + u"\n" + whole};
  }
  for (const ExitCodeRow& row : kExitCodeRows) {
    if (exitCode == row.exitCode) return {row.row, LoadMessage(row.message) + u"\n" + whole};
  }
  if (exitCode == 10) return {kTimestampRow, {}};
  for (const TextRow& row : kTextRows) {
    const size_t p = output.find(row.marker);
    if (p == npos) continue;
    std::u16string message = LoadMessage(row.message);
    if (row.row == 13) message += UnexpectedElementDetail(output, p);
    if (row.row == 15) message += InvalidValueDetail(output);
    return {row.row, std::move(message)};
  }
  return {28, whole};
}

std::u16string WithoutTimestamp(std::u16string_view commandLine) {
  const std::u16string option = u"-tsa " + std::u16string(kDefaultTimestampAuthorityUrl);
  bool quoted = false;
  size_t backslashes = 0;
  for (size_t i = 0; i < commandLine.size(); ++i) {
    const char16_t c = commandLine[i];
    if (!quoted && (i == 0 || commandLine[i - 1] == u' ') && commandLine.substr(i, option.size()) == option) {
      std::u16string changed(commandLine);
      changed.replace(i, option.size(), u"-tsa none");
      return changed;
    }
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"' && backslashes % 2 == 0) quoted = !quoted;
    backslashes = 0;
  }
  return std::u16string(commandLine);
}

void ReportPackagingResult(PackageTarget target, std::u16string_view signingMode, int exitCode,
                           std::u16string_view output, std::u16string_view commandLine) {
  std::u16string command(commandLine);
  PackagingRun run{exitCode, std::u16string(output), false};
  for (;;) {
    const PackagingOutcome outcome = InterpretPackagingResult(target, signingMode, run.exitCode, run.output);
    if (outcome.row == kSuccessRow) {
      ShowMessage(outcome.message, kMbIconInformation);
      return;
    }
    if (outcome.row != kTimestampRow) {
      if (!outcome.message.empty()) {
        ShowMessage(LoadMessage(kCreateFileErrorMessage) + outcome.message, kMbIconExclamation);
      }
      return;
    }
    CTimestampRetryDlg retry;
    const int choice = Ui().RunModal(retry);
    if (choice == CTimestampRetryDlg::kDisableTimestamp) {
      command = WithoutTimestamp(command);
    } else if (choice != CTimestampRetryDlg::kRetry) {
      return;
    }
    run = RunWithProgress(command);
    if (run.cancelled) return;
  }
}

}  // namespace zaro
