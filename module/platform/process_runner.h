#pragma once
// Starting the kit's tools. Command lines are Windows command lines (see command_line.h);
// the program named first is a Windows-form or "/"-form path, or a bare name looked up in
// PATH. Every tool runs in a process group of its own with standard input on /dev/null.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zaro {

// One call keeps at most this many bytes of a tool's output. Later bytes are still read,
// so the tool never blocks on a full pipe, and then dropped.
inline constexpr std::size_t kMaxCapturedOutput = std::size_t{1} << 20;

// Runs `commandLine`.
// capture: standard output and standard error both go to one pipe that is read while the
//   tool runs; the bytes are appended to `output` in the order written (at most
//   kMaxCapturedOutput of them). The call returns once the tool has ended, with its exit
//   code (128 + the signal number when a signal ended it). While waiting, a non-zero
//   `*cancel` asks the tool's whole tree to stop within 50 milliseconds: SIGTERM to its
//   process group and to every descendant, also those that left the group or session or
//   were orphaned (the caller is their subreaper while the tool runs), then SIGKILL to
//   what is left after a grace period of two seconds. The output collected so far and
//   the stopped tool's status come back. Anything the tool leaves running when it ends
//   is stopped the same way, so nothing of its tree outlives the call.
//   `onOutput`, when given, is called on the calling thread with each piece as it is
//   appended, so another thread can follow the tool's progress while it runs.
// no capture: the tool inherits the caller's standard output and error and runs on
//   unobserved; the result is 0 once it has started. It is started through a short-lived
//   intermediate process, so it is never the caller's child and never left as a zombie.
// Result -1: empty command line, no pipe could be made, or the program could not be
//   started; the last case is also shown in the "Error" box (ReportSystemError).
using OutputListener = std::function<void(std::string_view piece)>;
int CreateWinProcess(std::u16string_view commandLine, bool capture, std::string& output,
                     const std::atomic<unsigned char>* cancel, const OutputListener* onOutput = nullptr);

// Shows "<operation> failed with error <n>: <system text>" in a box titled "Error" with a
// single OK button, and returns. The first form reports the current errno.
void ReportSystemError(std::u16string_view operation);
void ReportSystemError(std::u16string_view operation, int errorNumber);

}  // namespace zaro
