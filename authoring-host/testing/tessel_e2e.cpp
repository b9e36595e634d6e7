#include "tessel_e2e.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

extern char** environ;

namespace tessel::e2e {
namespace fs = std::filesystem;

namespace {

std::map<fs::path, std::pair<fs::file_time_type, std::uintmax_t>> Snapshot(const fs::path& folder) {
  std::map<fs::path, std::pair<fs::file_time_type, std::uintmax_t>> files;
  std::error_code code;
  for (auto it = fs::recursive_directory_iterator(folder, code); !code && it != fs::recursive_directory_iterator();
       it.increment(code)) {
    std::error_code statCode;
    if (it->is_regular_file(statCode)) {
      files[fs::relative(it->path(), folder, statCode)] = {it->last_write_time(statCode), it->file_size(statCode)};
    }
  }
  return files;
}

}  // namespace

std::vector<std::string> LinesStartingWith(std::string_view text, std::string_view prefix) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

Json Answers(Json list) { return Json{{"answers", std::move(list)}}; }

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& file, const std::string& content) {
  std::error_code code;
  fs::create_directories(file.parent_path(), code);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

Sandbox::Sandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-e2e-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot make a temporary folder from " + pattern + ": " + std::strerror(errno);
    return;
  }
  std::error_code code;
  root_ = fs::canonical(pattern, code);
  if (code) root_ = pattern;
  work_ = root_ / "work";
  registry_ = root_ / "registry";
  appData_ = root_ / "ProgramData";
  for (const fs::path& folder : {work_, appData_ / "Corvane" / "KV5", root_ / "home" / ".config", root_ / ".runs"}) {
    fs::create_directories(folder, code);
  }
  const fs::path jre = Stage() / "ProgramData" / "Corvane" / "KV5" / "jre";
  if (fs::exists(jre, code)) fs::create_directory_symlink(jre, appData_ / "Corvane" / "KV5" / "jre", code);
  ready_ = fs::is_directory(work_, code);
  if (!ready_) error_ = "cannot make the folders under " + root_.string();
}

Sandbox::~Sandbox() {
  std::error_code code;
  if (!root_.empty()) fs::remove_all(root_, code);
}

fs::path Sandbox::Stage() {
  if (const char* stage = std::getenv("ZARO_STAGE"); stage && *stage) return stage;
  return TESSEL_E2E_DEFAULT_STAGE;
}

RunResult Sandbox::Run(const std::vector<std::string>& arguments, const RunOptions& options) {
  RunResult result;
  const std::string run = (root_ / ".runs" / std::to_string(++runs_)).string();
  const std::string outFile = run + ".out", errFile = run + ".err", answersFile = run + "-answers.json",
                    logFile = run + "-ui.log";

  std::vector<std::string> args{tessel_.string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  if (options.answers) {
    std::ofstream(answersFile, std::ios::binary) << options.answers->dump(2);
    args.insert(args.end(), {"--answers", answersFile, "--ui-log", logFile});
  }

  static const std::set<std::string> kReplaced = {"TESSEL_ANSWERS",       "TESSEL_UI_LOG", "TESSEL_REGISTRY_FILE",
                                                  "TESSEL_COMMON_APPDATA", "HOME",          "XDG_CONFIG_HOME"};
  std::map<std::string, std::string> environment{{"TESSEL_REGISTRY_FILE", registry_.string()},
                                                 {"TESSEL_COMMON_APPDATA", appData_.string()},
                                                 {"HOME", (root_ / "home").string()},
                                                 {"XDG_CONFIG_HOME", (root_ / "home" / ".config").string()}};
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text = *entry, name = text.substr(0, text.find('='));
    const bool display = name == "DISPLAY" || name == "WAYLAND_DISPLAY";
    if (name.size() < text.size() && kReplaced.count(name) == 0 && (options.keepDisplay || !display)) {
      environment[name] = text.substr(name.size() + 1);
    }
  }
  for (const auto& [name, value] : options.environment) environment[name] = value;
  std::vector<std::string> envText;
  for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  for (std::string& entry : envText) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  const auto before = Snapshot(work_);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, work_.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.err = "cannot run " + args[0] + ": " + std::strerror(spawned);
    return result;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) continue;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadText(outFile);
  result.err = ReadText(errFile);
  std::ifstream log(logFile, std::ios::binary);
  for (std::string line; options.answers && std::getline(log, line);) {
    const Json item = Json::parse(line, nullptr, false);
    if (item.is_object()) {
      result.events.push_back({item.value("event", ""), item.value("text", ""), item.value("style", 0u),
                               item.value("answer", ""), item});
    }
  }
  for (const auto& [path, stamp] : Snapshot(work_)) {
    const auto old = before.find(path);
    if (old == before.end() || !(old->second == stamp)) result.filesMade.push_back(path);
  }
  return result;
}

RunResult Sandbox::RunScript(const std::string& source, const std::optional<fs::path>& document,
                             const RunOptions& options, const std::vector<std::string>& extra) {
  const fs::path script = WriteFile("scripts/script" + std::to_string(++scripts_) + ".js", source);
  std::vector<std::string> arguments{"run", script.string()};
  if (document) arguments.push_back(document->string());
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return Run(arguments, options);
}

std::optional<fs::path> Sandbox::NewDocument(const std::string& relativeName, const std::string& target, int asVersion) {
  const fs::path document = work_ / (relativeName + ".tsd");
  std::error_code code;
  fs::create_directories(document.parent_path(), code);
  const RunResult run = Run({"new", document.string(), "--target", target, "--as-version", std::to_string(asVersion)});
  if (run.exitStatus != 0) {
    error_ = "tessel new failed (" + std::to_string(run.exitStatus) + "): " + run.err;
    return std::nullopt;
  }
  return document;
}

fs::path Sandbox::WriteFile(const fs::path& relative, const std::string& content) {
  WriteText(root_ / relative, content);
  return root_ / relative;
}

Json Sandbox::ReadDocument(const fs::path& document) {
  const Json parsed = Json::parse(ReadText(document), nullptr, false);
  return parsed.is_discarded() ? Json() : parsed;
}

std::optional<Json> Sandbox::DocumentValue(const fs::path& document, const std::string& key) {
  const Json parsed = ReadDocument(document);
  if (!parsed.is_object() || !parsed.contains("data") || !parsed["data"].is_array()) return std::nullopt;
  for (const Json& entry : parsed["data"]) {
    if (entry.is_object() && entry.value("key", "") == key && entry.contains("value")) return entry["value"];
  }
  return std::nullopt;
}

std::string Sandbox::FileUrl(const fs::path& path) {
  std::string url = "file:///";
  for (char c : path.string()) url += c == ' ' ? std::string("%20") : std::string(1, c);
  return url;
}

}  // namespace tessel::e2e
