#include "platform/process_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/platform_test_support.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

// Waits (bounded) until `done` holds; the bound only keeps a broken runner from hanging.
template <typename Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// True when the process is gone or only a zombie waiting for its reaper.
bool ProcessEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

class ProcessRunner : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root.empty()); }
  // Runs the line capturing into `output`.
  int Run(std::u16string_view line, const std::atomic<unsigned char>* cancel = nullptr) {
    return CreateWinProcess(line, true, output, cancel);
  }
  // A shell command as a Windows command line; `script` must not hold double quotes.
  static std::u16string Shell(std::string_view script) {
    return u"sh -c \"" + FromUtf8(script) + u"\"";
  }
  // Sets `flag` from another thread once `ready` holds (or the wait gave up).
  template <typename Condition>
  static std::thread CancelWhen(std::atomic<unsigned char>& flag, Condition ready) {
    return std::thread([&flag, ready] {
      Eventually(ready);
      flag.store(1);
    });
  }

  testing::ScratchFolder scratch{"runner"};
  const fs::path root = scratch.Path();
  testing::ScopedScriptedUi ui;
  std::string output;
};

TEST_F(ProcessRunner, CapturesOutputAndErrorInTheOrderWrittenAfterWhatTheTextHeld) {
  output = "before|";
  EXPECT_EQ(Run(Shell("echo one; echo two >&2; echo three; printf 'no newline' >&2; printf '\\000z'")), 0);
  EXPECT_EQ(output, std::string("before|one\ntwo\nthree\nno newline\0z", 33));
  EXPECT_TRUE(ui->Events().empty());
}

// The listener hears the output while the tool still runs: the tool goes on only once the
// listener has answered its first line.
TEST_F(ProcessRunner, AnOutputListenerFollowsTheToolWhileItRuns) {
  const fs::path go = root / "go";
  std::string heard;
  const OutputListener listener = [&](std::string_view piece) {
    heard += piece;
    if (heard.find("first\n") != std::string::npos) std::ofstream(go).put('1');
  };
  const std::string script = "echo first; i=0; while [ ! -f '" + go.string() +
                             "' ] && [ $i -lt 500 ]; do sleep 0.01; i=$((i+1)); done; [ -f '" + go.string() +
                             "' ] && echo released";
  EXPECT_EQ(CreateWinProcess(Shell(script), true, output, nullptr, &listener), 0);
  EXPECT_EQ(output, "first\nreleased\n");
  EXPECT_EQ(heard, output);
}

TEST_F(ProcessRunner, ManyMegabytesOfOutputFinishAndTheFirstMegabyteIsKept) {
  // seq 1 800000 writes about 5.5 MB, far more than a pipe holds.
  EXPECT_EQ(Run(Shell("seq 1 800000; echo tail >&2; exit 3")), 3);
  std::string expected;
  for (int i = 1; expected.size() < kMaxCapturedOutput; ++i) expected += std::to_string(i) + "\n";
  expected.resize(kMaxCapturedOutput);
  ASSERT_EQ(output.size(), kMaxCapturedOutput);
  EXPECT_TRUE(output == expected) << "the kept bytes are the first ones, in order";
}

TEST_F(ProcessRunner, ExitCodesComeBackUnchangedAndASignalGivesOneHundredTwentyEightPlusItsNumber) {
  const std::pair<const char*, int> cases[] = {{"exit 0", 0}, {"exit 7", 7}, {"exit 255", 255},
                                               {"kill -TERM $$", 128 + SIGTERM}};
  for (const auto& [script, code] : cases) EXPECT_EQ(Run(Shell(script)), code) << script;
}

TEST_F(ProcessRunner, StandardInputIsEmptyAndCallerDescriptorsAreNotInherited) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(leaked, 3);
  const std::string check = "cat; test -e /proc/self/fd/" + std::to_string(leaked) + " && echo open || echo closed";
  EXPECT_EQ(Run(Shell(check)), 0);
  ::close(leaked);
  EXPECT_EQ(output, "closed\n");
}

TEST_F(ProcessRunner, WindowsFormProgramPathsAndQuotedArgumentsReachTheTool) {
  const fs::path tool = root / "kit tools" / "args.sh";
  fs::create_directories(tool.parent_path());
  std::ofstream(tool) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done\n";
  fs::permissions(tool, fs::perms::owner_all);
  const std::u16string line =
      u"\"" + platform::ToWindowsForm(tool.string()) + u"\" \"two words\" a\\\"b \"C:\\dir\\\\\" \"\"";
  EXPECT_EQ(Run(line), 0);
  EXPECT_EQ(output, "[two words][a\"b][C:\\dir\\][]");
}

TEST_F(ProcessRunner, CancelKillsTheToolAndItsGrandchildAndReturnsWhatWasCollected) {
  const fs::path pidFile = root / "grandchild";
  const std::string script = "echo started; sleep 100 & echo $! > '" + pidFile.string() + "'; sleep 100; echo never";
  std::atomic<unsigned char> cancel{0};
  std::thread canceller = CancelWhen(cancel, [&] { return ReadText(pidFile).find('\n') != std::string::npos; });
  const auto start = std::chrono::steady_clock::now();
  const int result = Run(Shell(script), &cancel);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_EQ(result, 128 + SIGTERM);
  EXPECT_EQ(output, "started\n");
  const pid_t grandchild = std::stoi(ReadText(pidFile));
  EXPECT_TRUE(Eventually([&] { return ProcessEnded(grandchild); })) << "the grandchild must be killed too";
  RecordProperty("cancel_run_ms",
                 static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  EXPECT_EQ(Run(u"sleep 100", &cancel), 128 + SIGTERM) << "a flag set before the start stops the tool at once";
}

// Cancel asks first: a tool that catches SIGTERM removes its temporary file and reports,
// and one that ignores it is killed after the grace period.
TEST_F(ProcessRunner, CancelLetsTheToolCleanUpAndKillsOneThatIgnoresTheRequest) {
  const fs::path temporary = root / "partial.tmp";
  const std::string polite = "echo data > '" + temporary.string() + "'; trap 'rm -f " + temporary.string() +
                             "; echo cleaned; exit 3' TERM; echo started; while :; do sleep 0.05; done";
  std::atomic<unsigned char> cancel{0};
  std::thread canceller = CancelWhen(cancel, [&] { return fs::exists(temporary); });
  EXPECT_EQ(Run(Shell(polite), &cancel), 3);
  canceller.join();
  // The shell may also report its sleeping child as terminated in between.
  EXPECT_EQ(output.rfind("started\n", 0), 0u) << output;
  EXPECT_EQ(output.substr(output.size() - 8), "cleaned\n") << output;
  EXPECT_FALSE(fs::exists(temporary));

  const fs::path trapped = root / "trapped";
  std::atomic<unsigned char> stubborn{0};
  std::thread presser = CancelWhen(stubborn, [&] { return fs::exists(trapped); });
  output.clear();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(Shell("trap '' TERM; echo stays; touch '" + trapped.string() + "'; while :; do sleep 0.05; done"),
                &stubborn),
            128 + SIGKILL);
  presser.join();
  EXPECT_EQ(output.rfind("stays\n", 0), 0u) << output;
  RecordProperty("ignored_term_stop_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - start).count()));
}

// Descendants that leave the process group (setsid) or are orphaned by a parent that exits
// at once are stopped too; none of them is left as a zombie of the caller.
TEST_F(ProcessRunner, CancelStopsDescendantsThatLeftTheGroupOrWereOrphaned) {
  const fs::path pids = root / "pids";
  const std::string script = "setsid sleep 100 & echo $! >> '" + pids.string() + "'; " +
                             "sh -c 'setsid sleep 100 & echo $! >> " + pids.string() + "'; " +
                             "echo ready >> '" + pids.string() + "'; sleep 100";
  std::atomic<unsigned char> cancel{0};
  std::thread canceller = CancelWhen(cancel, [&] { return ReadText(pids).find("ready") != std::string::npos; });
  Run(Shell(script), &cancel);
  canceller.join();
  std::istringstream lines(ReadText(pids));
  std::vector<pid_t> started;
  for (std::string line; std::getline(lines, line) && line != "ready";) started.push_back(std::stoi(line));
  ASSERT_EQ(started.size(), 2u) << ReadText(pids);
  for (pid_t pid : started) {
    EXPECT_TRUE(Eventually([&] { return ProcessEnded(pid); })) << "descendant " << pid << " survived";
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid))) << "descendant " << pid << " left as a zombie";
  }
}

// The host's own children, started before the tool, are neither signalled nor reaped by a
// cancel, although the runner adopts and reaps the orphans of the tool's tree.
TEST_F(ProcessRunner, CancelSparesTheProcessesTheHostAlreadyHad) {
  const pid_t hostChild = ::fork();
  ASSERT_GE(hostChild, 0);
  if (hostChild == 0) for (;;) ::pause();
  const pid_t hostEnded = ::fork();  // ended, its status not yet collected by the host
  ASSERT_GE(hostEnded, 0);
  if (hostEnded == 0) ::_exit(7);
  ASSERT_TRUE(Eventually([&] { return ProcessEnded(hostEnded); }));
  const fs::path ready = root / "ready";
  std::atomic<unsigned char> cancel{0};
  std::thread canceller = CancelWhen(cancel, [&] { return fs::exists(ready); });
  EXPECT_EQ(Run(Shell("sh -c 'sleep 100 &'; touch '" + ready.string() + "'; sleep 100"), &cancel),
            128 + SIGTERM);
  canceller.join();
  int status = 0;
  EXPECT_FALSE(ProcessEnded(hostChild)) << "the host's child was stopped";
  EXPECT_EQ(::waitpid(hostChild, &status, WNOHANG), 0) << "the host's child was reaped or signalled";
  ::kill(hostChild, SIGKILL);
  EXPECT_EQ(::waitpid(hostChild, &status, 0), hostChild);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(::waitpid(hostEnded, &status, 0), hostEnded) << "the host's ended child was reaped by the runner";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

// A tool that cannot start shows the system's reason in a box, in both modes, and leaves
// the output alone; an empty command line is refused without a box.
TEST_F(ProcessRunner, StartFailuresShowTheErrorBoxAndReturnMinusOne) {
  const fs::path plain = root / "plain.exe";
  std::ofstream(plain) << "data";
  const std::u16string notFound = u"CreateWinProcess failed with error 2: No such file or directory";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"\"\\no\\such\\kit\\java.exe\" -jar x.jar", notFound},
      {u"no-such-tool-anywhere --help", notFound},
      {platform::ToWindowsForm(plain.string()), u"CreateWinProcess failed with error 13: Permission denied"},
      {u"", u""},
      {u"  \t", u""},
  };
  for (const auto& [line, box] : cases) {
    for (const bool capture : {true, false}) {
      SCOPED_TRACE(ToUtf8(line) + (capture ? " captured" : " detached"));
      const size_t before = ui->Events().size();
      output = "kept";
      EXPECT_EQ(CreateWinProcess(line, capture, output, nullptr), -1);
      EXPECT_EQ(output, "kept");
      ASSERT_EQ(ui->Events().size(), before + (box.empty() ? 0 : 1));
      if (box.empty()) continue;
      const UiEvent& shown = ui->Events().back();
      EXPECT_EQ(shown.kind + " " + ToUtf8(shown.title) + " " + std::to_string(shown.style), "message Error 0");
      EXPECT_EQ(shown.text, box);
    }
  }
  EXPECT_EQ(Run(u"true"), 0) << "still running: the next call works as usual";
}

// Out of file descriptors, no pipe can be made: the caller still hears why nothing ran.
TEST_F(ProcessRunner, APipeThatCannotBeMadeShowsTheErrorBoxInBothModes) {
  const auto runWithoutDescriptors = [this] {
    // A start failure first, while descriptors remain, takes the same path to the box: the
    // undefined-behaviour checker looks at each call's object once, and it needs a pipe to look.
    CreateWinProcess(u"missing-program-xyz.exe", true, output, nullptr);
    const struct rlimit none = {0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);
    const int captured = CreateWinProcess(u"true", true, output, nullptr);
    const int detached = CreateWinProcess(u"true", false, output, nullptr);
    const auto& events = ui->Events();
    const bool reported = events.size() == 3 && events[1].text == events[2].text &&
                          events[1].text == u"CreateWinProcess failed with error 24: Too many open files";
    std::_Exit(captured == -1 && detached == -1 && reported ? 0 : 1);
  };
  EXPECT_EXIT(runWithoutDescriptors(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ProcessRunner, WithoutCaptureTheCallReturnsWhileTheToolRunsOnAndLeavesNoChildBehind) {
  // The tool waits for a file that the test makes only after the call has returned.
  const fs::path go = root / "go";
  const fs::path marker = root / "marker";
  const std::string script = "i=0; while [ ! -e '" + go.string() + "' ] && [ $i -lt 500 ]; do sleep 0.01; i=$((i+1)); done; " +
                             "if [ -e '" + go.string() + "' ]; then echo saw-go; else echo gave-up; fi > '" +
                             marker.string() + "'";
  EXPECT_EQ(CreateWinProcess(Shell(script), false, output, nullptr), 0);
  std::ofstream(go) << "";
  ASSERT_TRUE(Eventually([&] { return ReadText(marker).find('\n') != std::string::npos; }));
  EXPECT_EQ(ReadText(marker), "saw-go\n");
  EXPECT_TRUE(output.empty());
  // The tool was started through an intermediate process that has been reaped: this
  // process has no child at all, so nothing can be left as a zombie here.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace zaro
