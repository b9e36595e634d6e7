// For a whole publish of the example document in each interface this machine offers:
//   scripted   tessel with an answers file; the box is the line in its UI log
//   console    tessel at a pseudo-terminal without a display; the box is its text there
//   wx         tessel under Xvfb (when Xvfb is installed); the box is its window mapping
// it prints the time from the packaging tool's exit to the result box, and for the scripted
// and console runs the publish's overhead: its wall time less that of the packaging tool
// run alone with the arguments the publish handed it. The Java launcher is reached through
// a small script that writes down those arguments, runs the real launcher and then the
// moment it ended. Every round runs each contender once, in an order that rotates from
// round to round; the medians follow.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef PUBLISH_OVERHEAD_X11
#include <X11/Xlib.h>
#endif

#include "settings/registry_values.h"
#include "tessel_e2e.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 7;
constexpr const char* kBoxTitle = "Corvane Tessel KV5";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteText(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Wall-clock seconds since the epoch, as the launcher script writes them.
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void ExecTessel(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// When the launcher script saw the tool end in the last publish.
std::optional<double> ToolEnded(const fs::path& recordings) {
  const std::string text = ReadText(recordings / "ended");
  if (text.empty()) return std::nullopt;
  return std::atof(text.c_str());
}

// The arguments the launcher script saw in the last publish (NUL-separated).
std::vector<std::string> ToolArguments(const fs::path& recordings) {
  std::vector<std::string> args;
  const std::string all = ReadText(recordings / "args");
  size_t start = 0;
  for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
    args.push_back(all.substr(start, end - start));
  }
  return args;
}

// The packaging tool alone, as the publish ran it; its wall time in ms.
std::optional<double> ToolAlone(const fs::path& java, const std::vector<std::string>& toolArgs) {
  std::vector<std::string> argv = {java.string()};
  argv.insert(argv.end(), toolArgs.begin(), toolArgs.end());
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const double start = Now();
  pid_t pid = 0;
  const int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0 || Wait(pid) != 0) return std::nullopt;
  return (Now() - start) * 1e3;
}

// Scripted: the result box is the last line the module appends to the UI log. `wallMs`
// gets the whole command's wall time.
std::optional<double> ScriptedRound(const std::vector<std::string>& publish, const fs::path& log,
                                    double* wallMs = nullptr) {
  fs::remove(log);
  std::vector<std::string> argv = publish;
  argv.insert(argv.end(), {"--ui-log", log.string()});
  const double start = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    ExecTessel(argv);
  }
  if (Wait(pid) != 0) return std::nullopt;
  if (wallMs != nullptr) *wallMs = (Now() - start) * 1e3;
  struct stat st {};
  if (stat(log.c_str(), &st) != 0 || ReadText(log).find("\"event\":\"message\"") == std::string::npos)
    return std::nullopt;
  return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

// Console: tessel at a pseudo-terminal; the box is its title appearing there.
std::optional<double> ConsoleRound(const std::vector<std::string>& publish, double* wallMs = nullptr) {
  const double start = Now();
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    unsetenv("TESSEL_ANSWERS");
    unsetenv("TESSEL_UI_LOG");
    ExecTessel(publish);
  }
  if (pid < 0) return std::nullopt;
  std::string seen;
  std::optional<double> shown;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
    seen.append(buffer, static_cast<size_t>(n));
    if (!shown && seen.find(std::string("[") + kBoxTitle + "]") != std::string::npos) shown = Now();
  }
  close(master);
  if (Wait(pid) != 0) return std::nullopt;
  if (wallMs != nullptr) *wallMs = (Now() - start) * 1e3;
  return shown;
}

#ifdef PUBLISH_OVERHEAD_X11
// wx: tessel on an X server of its own; the box is the mapping of the window with its title.
class XServer {
 public:
  bool Start() {
    for (int number = 91; number < 140; ++number) {
      if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
      name_ = ":" + std::to_string(number);
      pid_ = fork();
      if (pid_ == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", name_.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
        _exit(127);
      }
      for (int i = 0; i < 100 && display_ == nullptr; ++i) {
        usleep(50000);
        display_ = XOpenDisplay(name_.c_str());
      }
      if (display_ != nullptr) return true;
      Stop();
    }
    return false;
  }
  void Stop() {
    if (display_ != nullptr) XCloseDisplay(display_);
    display_ = nullptr;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      Wait(pid_);
    }
    pid_ = -1;
  }
  ~XServer() { Stop(); }
  Display* display() const { return display_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  pid_t pid_ = -1;
  Display* display_ = nullptr;
};

// Also notes when the progress dialog's window went away, so the figure can be split into
// closing the dialog and building the box.
std::optional<double> WxRound(XServer& server, const std::vector<std::string>& publish, double& dialogGone) {
  Display* display = server.display();
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, True);
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("TESSEL_ANSWERS");
    unsetenv("TESSEL_UI_LOG");
    setenv("DISPLAY", server.name().c_str(), 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    ExecTessel(publish);
  }
  std::optional<double> shown;
  Window progress = 0;
  const double deadline = Now() + 60;
  while (!shown && Now() < deadline) {
    if (XPending(display) == 0) {
      pollfd fd{ConnectionNumber(display), POLLIN, 0};
      poll(&fd, 1, 100);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    const double at = Now();
    if (event.type == UnmapNotify && progress != 0 && event.xunmap.window == progress) dialogGone = at;
    if (event.type != MapNotify) continue;
    char* title = nullptr;
    std::string name;
    if (XFetchName(display, event.xmap.window, &title) != 0 && title != nullptr) {
      name = title;
      XFree(title);
    }
    if (name == kBoxTitle) shown = at;
    // The progress dialog is the first window without a title.
    if (name.empty() && progress == 0) progress = event.xmap.window;
  }
  XSelectInput(display, DefaultRootWindow(display), NoEventMask);
  // The box waits for an author; the figure is taken, so the host is ended here.
  kill(pid, SIGTERM);
  Wait(pid);
  return shown;
}
#endif

struct Interface {
  Interface(std::string label, std::function<std::optional<double>()> run)
      : name(std::move(label)), round(std::move(run)) {}
  std::string name;
  std::function<std::optional<double>()> round;
  std::vector<double> latencies;
  bool failed = false;
};

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  tessel::e2e::Sandbox box;
  if (!box.Ready()) {
    std::fprintf(stderr, "publish_overhead: %s\n", box.Error().c_str());
    return 1;
  }
  const fs::path stage = tessel::e2e::Sandbox::Stage();
  const fs::path realJava = stage / "ProgramData" / "Corvane" / "KV5" / "jre" / "bin" / "java.exe";
  if (!fs::exists(tessel::e2e::Sandbox::Tessel()) || !fs::exists(realJava)) {
    std::fprintf(stderr, "publish_overhead: build the staged tree first (%s)\n", stage.c_str());
    return 1;
  }

  // The example document when the source tree has one, else a new one.
  fs::path document;
  const fs::path example = fs::path(ZARO_SOURCE_DIR) / "examples" / "Hello";
  std::error_code code;
  if (fs::exists(example / "Hello.tsd", code)) {
    fs::copy(example, box.WorkFolder() / "Hello", fs::copy_options::recursive, code);
    document = box.WorkFolder() / "Hello" / "Hello.tsd";
  } else if (auto made = box.NewDocument("Hello")) {
    document = *made;
  } else {
    std::fprintf(stderr, "publish_overhead: %s\n", box.Error().c_str());
    return 1;
  }

  // A Java launcher that writes down its arguments, runs the real one and then writes down
  // when it ended (bash's clock variable, so no program start lies between the tool's end
  // and the record).
  const fs::path appData = box.Root() / "RecordingProgramData";
  const fs::path recordings = box.Root() / "recorded";
  const fs::path shimFolder = appData / "Corvane" / "KV5" / "jre" / "bin";
  fs::create_directories(shimFolder, code);
  fs::create_directories(recordings, code);
  WriteText(shimFolder / "java.exe", "#!/bin/bash\nprintf '%s\\0' \"$@\" > '" + (recordings / "args").string() +
                                     "'\n'" + realJava.string() + "' \"$@\"\nrc=$?\n"
                                     "echo \"$EPOCHREALTIME\" > '" + (recordings / "ended").string() + "'\n"
                                     "exit $rc\n");
  ::chmod((shimFolder / "java.exe").c_str(), 0755);

  ::setenv("TESSEL_REGISTRY_FILE", box.RegistryFile().c_str(), 1);
  ::setenv("TESSEL_COMMON_APPDATA", appData.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (box.Root() / "home" / ".config").c_str(), 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  // An unsigned intermediate needs no certificate, so no interface asks anything.
  zaro::WriteRegistryValue(u"DigitalSign", u"prepare");
  const fs::path answers = box.Root() / "answers.json";
  WriteText(answers, "{\"answers\": []}");
  const fs::path log = box.Root() / "ui-log.jsonl";

  const std::vector<std::string> publish = {tessel::e2e::Sandbox::Tessel().string(), "publish", document.string()};
  std::vector<std::string> scripted = publish;
  scripted.insert(scripted.end(), {"--answers", answers.string()});
  // The first publish writes the descriptor; it warms the caches and is not counted.
  if (!ScriptedRound(scripted, log)) {
    std::fprintf(stderr, "publish_overhead: the warm-up publish failed\n");
    return 1;
  }

  // The scripted and console publishes also give their wall time, set against the tool
  // run alone right after them with the same arguments.
  std::vector<double> scriptedOverheads, consoleOverheads, toolTimes;
  auto withOverhead = [&](std::vector<double>& overheads, const std::function<std::optional<double>(double*)>& run) {
    return [&, run]() -> std::optional<double> {
      double wallMs = 0;
      const std::optional<double> shown = run(&wallMs);
      if (!shown) return shown;
      const std::optional<double> toolMs = ToolAlone(realJava, ToolArguments(recordings));
      if (!toolMs) return std::nullopt;
      toolTimes.push_back(*toolMs);
      overheads.push_back(wallMs - *toolMs);
      std::printf("  publish %.1f ms, packaging tool alone %.1f ms, overhead %.1f ms\n", wallMs, *toolMs,
                  wallMs - *toolMs);
      return shown;
    };
  };
  std::vector<Interface> interfaces;
  interfaces.emplace_back("scripted (answers file)",
                          withOverhead(scriptedOverheads, [&](double* wall) { return ScriptedRound(scripted, log, wall); }));
  interfaces.emplace_back("console (pseudo-terminal)",
                          withOverhead(consoleOverheads, [&](double* wall) { return ConsoleRound(publish, wall); }));
#ifdef PUBLISH_OVERHEAD_X11
  XServer server;
  const bool haveXvfb = std::system("command -v Xvfb >/dev/null 2>&1") == 0 && server.Start();
  double dialogGone = 0;
  std::vector<double> dialogLatencies;
  if (haveXvfb) {
    interfaces.emplace_back("wx (Xvfb)", [&] {
                            dialogGone = 0;
                            const std::optional<double> shown = WxRound(server, publish, dialogGone);
                            const std::optional<double> ended = ToolEnded(recordings);
                            if (shown && ended && dialogGone > 0) {
                              dialogLatencies.push_back((dialogGone - *ended) * 1e3);
                              std::printf("  tool exit to progress dialog gone %.1f ms\n", dialogLatencies.back());
                            }
                            return shown;
                          });
  }
  else std::printf("wx: skipped (Xvfb is not installed or did not start)\n");
#else
  std::printf("wx: skipped (built without X11)\n");
#endif

  int failures = 0;
  for (int round = 1; round <= kRounds; ++round) {
    for (size_t turn = 0; turn < interfaces.size(); ++turn) {
      Interface& ui = interfaces[(turn + static_cast<size_t>(round)) % interfaces.size()];
      if (ui.failed) continue;
      fs::remove(recordings / "ended", code);
      std::printf("%s, round %d:\n", ui.name.c_str(), round);
      const std::optional<double> shown = ui.round();
      const std::optional<double> ended = ToolEnded(recordings);
      if (!shown || !ended) {
        std::printf("  no result box seen\n");
        ui.failed = true;
        ++failures;
        continue;
      }
      const double ms = (*shown - *ended) * 1000.0;
      ui.latencies.push_back(ms);
      std::printf("  tool exit to result box %.1f ms\n", ms);
    }
  }
  std::printf("\ntool exit to result box, median of %d publishes:\n", kRounds);
  for (const Interface& ui : interfaces) {
    if (!ui.latencies.empty()) std::printf("  %-28s %7.1f ms\n", ui.name.c_str(), Median(ui.latencies));
  }
#ifdef PUBLISH_OVERHEAD_X11
  if (!dialogLatencies.empty())
    std::printf("  %-28s %7.1f ms (of the wx figure: the rest builds and maps the box)\n",
                "wx: tool exit to dialog gone", Median(dialogLatencies));
#endif
  std::printf("\npublish overhead beyond the packaging tool alone (wall time), median of %d:\n", kRounds);
  if (!toolTimes.empty()) std::printf("  %-28s %7.1f ms\n", "packaging tool alone", Median(toolTimes));
  if (!scriptedOverheads.empty())
    std::printf("  %-28s %7.1f ms\n", "scripted (answers file)", Median(scriptedOverheads));
  if (!consoleOverheads.empty())
    std::printf("  %-28s %7.1f ms\n", "console (pseudo-terminal)", Median(consoleOverheads));
  return failures == 0 ? 0 : 1;
}
