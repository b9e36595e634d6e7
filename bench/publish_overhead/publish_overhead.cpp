// Publishes the example document several times with the staged host, module and kit, and
// runs the packaging tool alone with the arguments each publish handed it. Prints both
// wall times per round and, on the last line, "overhead: N ms" (the median difference).
//
// The Java launcher is reached through a small recording script that writes down its
// arguments and then runs the real launcher; its cost counts towards the overhead.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/registry_values.h"
#include "tessel_e2e.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;

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

// Runs a program and waits; the exit status, or -1.
int RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<std::string> RecordedArgs(const fs::path& file) {
  std::vector<std::string> args;
  const std::string all = ReadText(file);
  size_t start = 0;
  for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
    args.push_back(all.substr(start, end - start));
  }
  return args;
}

}  // namespace

int main() {
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

  // A Java launcher that records its arguments and then runs the real one.
  const fs::path appData = box.Root() / "RecordingProgramData";
  const fs::path recordings = box.Root() / "recorded";
  const fs::path shimFolder = appData / "Corvane" / "KV5" / "jre" / "bin";
  fs::create_directories(shimFolder, code);
  fs::create_directories(recordings, code);
  WriteText(shimFolder / "java.exe", "#!/bin/sh\n"
                                     "n=$(( $(cat '" + recordings.string() + "/count' 2>/dev/null || echo 0) + 1 ))\n"
                                     "echo \"$n\" > '" + recordings.string() + "/count'\n"
                                     ": > '" + recordings.string() + "/args.'$n\n"
                                     "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + recordings.string() +
                                     "/args.'$n; done\n"
                                     "exec '" + realJava.string() + "' \"$@\"\n");
  ::chmod((shimFolder / "java.exe").c_str(), 0755);

  ::setenv("TESSEL_REGISTRY_FILE", box.RegistryFile().c_str(), 1);
  ::setenv("TESSEL_COMMON_APPDATA", appData.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (box.Root() / "home" / ".config").c_str(), 1);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  // An unsigned intermediate needs no certificate; the tool's work is the same on both sides.
  zaro::WriteRegistryValue(u"DigitalSign", u"prepare");
  const fs::path answers = box.Root() / "answers.json";
  WriteText(answers, "{\"answers\": []}");

  const std::vector<std::string> publish = {tessel::e2e::Sandbox::Tessel().string(), "publish", document.string(),
                                            "--answers", answers.string()};
  // The first publish writes the descriptor; it warms the caches and is not counted.
  if (RunProgram(publish) != 0) {
    std::fprintf(stderr, "publish_overhead: the warm-up publish failed\n");
    return 1;
  }

  std::vector<double> commandTimes, toolTimes, overheads;
  for (int round = 1; round <= kRounds; ++round) {
    fs::remove_all(recordings, code);
    fs::create_directories(recordings, code);
    const Clock::time_point start = Clock::now();
    const int status = RunProgram(publish);
    const double command = Milliseconds(Clock::now() - start);
    const int runs = std::atoi(ReadText(recordings / "count").c_str());
    if (status != 0 || runs < 1) {
      std::fprintf(stderr, "publish_overhead: round %d: publish status %d, %d tool runs\n", round, status, runs);
      return 1;
    }
    double tool = 0;
    for (int run = 1; run <= runs; ++run) {
      std::vector<std::string> argv = {realJava.string()};
      for (std::string& arg : RecordedArgs(recordings / ("args." + std::to_string(run)))) argv.push_back(std::move(arg));
      const Clock::time_point toolStart = Clock::now();
      RunProgram(argv);
      tool += Milliseconds(Clock::now() - toolStart);
    }
    commandTimes.push_back(command);
    toolTimes.push_back(tool);
    overheads.push_back(command - tool);
    std::printf("round %d: publish command %.1f ms, packaging tool alone %.1f ms (%d run%s)\n", round, command, tool,
                runs, runs == 1 ? "" : "s");
  }
  std::printf("publish command (median): %.1f ms\n", Median(commandTimes));
  std::printf("packaging tool alone (median): %.1f ms\n", Median(toolTimes));
  std::printf("overhead: %.0f ms\n", Median(overheads));
  return 0;
}
