#pragma once
// Running a packaging command on a worker thread while the progress dialog is shown, and
// turning the tool's exit code and output into the author's message.
#include <atomic>
#include <string>
#include <string_view>

#include "packaging/package_command.h"
#include "packaging/tool_progress.h"
#include "platform/wake_signal.h"

namespace zaro {

// Shared by the user-interface thread and the worker for one run.
struct RunnerJob {
  std::string output;                  // the tool's standard output and error (UTF-8)
  std::u16string commandLine;          // the worker's own copy
  std::atomic<unsigned char> flag{0};  // 1: the author cancelled, or the run has ended
  int exitCode = -1;                   // the runner's result
  WakeSignal ended;                    // notified by the worker once it has set the flag
  ToolProgressWatcher progress;        // fed by the worker as the output arrives
};

struct PackagingRun {
  int exitCode = -1;
  std::u16string output;
  bool cancelled = false;  // the author pressed Cancel; the tool was killed
};

// Runs the command with the progress dialog and returns once the worker has finished,
// also after Cancel, so the result and the job are never touched while it still runs.
PackagingRun RunWithProgress(std::u16string_view commandLine);

// The row of the result table that applies and its message (catalogue text and detail,
// without the error prefix). The tool's progress lines are not part of its result and are
// left out first. Row 1 is success; row 9 is the time-stamp failure, which has
// no message; an empty message elsewhere means nothing is shown.
struct PackagingOutcome {
  int row = 0;
  std::u16string message;
};
PackagingOutcome InterpretPackagingResult(PackageTarget target, std::u16string_view signingMode, int exitCode,
                                          std::u16string_view output);

// Shows the outcome: the success message, or "创建文件时出错。\n\n" + message for a
// failure. A time-stamp failure offers the retry dialog and runs the command again, as it
// was or with "-tsa none", until another outcome or the author's Cancel ends it.
void ReportPackagingResult(PackageTarget target, std::u16string_view signingMode, int exitCode,
                           std::u16string_view output, std::u16string_view commandLine);

// The command with its time-stamp option "-tsa " + the default authority (outside any
// quoted argument) turned into "-tsa none"; unchanged when it has none.
std::u16string WithoutTimestamp(std::u16string_view commandLine);

}  // namespace zaro
