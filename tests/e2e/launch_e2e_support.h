#pragma once
// Support for the launch end-to-end tests: a run's output once the detached launchers it
// started have finished, the launcher's report lines, traced snippets, documents that
// already store movie settings, and a private staged tree whose debug launcher records its
// arguments before running the real one.
#include <chrono>
#include <sstream>
#include <thread>

#include "publish_e2e_support.h"

namespace publish_e2e {

using tessel::e2e::Contains;
using tessel::e2e::LinesStartingWith;

// True when the module evaluated a snippet holding `part` (`--trace` reports them on stderr).
inline bool RanSnippetContaining(const RunResult& run, const std::string& part) {
  for (const std::string& line : LinesStartingWith(run.err, "tessel: ran ")) {
    if (Contains(line, part)) return true;
  }
  return false;
}

// True when some process still has the file open (a launcher writing into it).
inline bool FileHasWriters(const fs::path& file) {
  std::error_code code;
  const fs::path target = fs::canonical(file, code);
  if (code) return false;
  for (auto process = fs::directory_iterator("/proc", code); !code && process != fs::directory_iterator();
       process.increment(code)) {
    const std::string name = process->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code fdCode;
    for (auto fd = fs::directory_iterator(process->path() / "fd", fdCode); !fdCode && fd != fs::directory_iterator();
         fd.increment(fdCode)) {
      std::error_code linkCode;
      if (fs::read_symlink(fd->path(), linkCode) == target) return true;
    }
  }
  return false;
}

// A detached launcher inherits tessel's standard output and may still be writing after
// tessel has ended. Waits (bounded) until nobody holds the latest run's output file open
// and returns its whole text; nothing when a launcher is still running at the limit.
inline std::optional<std::string> OutputAfterLaunchers(const Sandbox& box) {
  const fs::path file = box.LastOutputFile();
  for (int attempt = 0; attempt < 750; ++attempt) {
    if (!FileHasWriters(file)) return ReadText(file);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

// One run of the kit's debug launcher, from its "key: value" report lines.
struct LauncherReport {
  std::string id, name, content, profile;
};

inline std::vector<LauncherReport> LauncherReports(const std::string& output) {
  std::vector<LauncherReport> reports;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(": ");
    const std::string key = line.substr(0, colon), value = colon == std::string::npos ? "" : line.substr(colon + 2);
    if (key == "id") reports.push_back({value, "", "", ""});
    if (reports.empty() || colon == std::string::npos) continue;
    if (key == "name") reports.back().name = value;
    if (key == "content") reports.back().content = value;
    if (key == "profile") reports.back().profile = value;
  }
  return reports;
}

// Stores the movie settings a document keeps once it has been published from where it is.
inline void StoreMovieSettings(const fs::path& document) {
  PutDocumentText(document, "qmv.folder.path", document.parent_path().string() + "/");
  PutDocumentText(document, "tessel.qmv.basename", document.stem().string());
  PutDocumentText(document, "tessel.tsd.filepath", document.string());
}

// A staged tree inside the sandbox, in a folder with a blank: tessel itself (linked or
// copied, since the module finds the kit beside the running program), the real module and
// kit, except that bin/zrl.exe first writes its arguments to a file of its own and then
// runs the real launcher. The sandbox's later runs use this tree.
class RecordingStage {
 public:
  explicit RecordingStage(Sandbox& box) : stage_(box.Root() / "staged kit"), records_(box.Root() / "launches") {
    const fs::path real = fs::canonical(Sandbox::Stage());
    const fs::path bin = stage_ / "bin";
    const fs::path kit = bin / "ZSK2.0";
    std::error_code code;
    fs::create_directories(kit / "bin", code);
    fs::create_directories(records_, code);
    fs::create_hard_link(real / "bin" / "tessel", bin / "tessel", code);
    if (code) fs::copy_file(real / "bin" / "tessel", bin / "tessel", code);
    fs::create_symlink(real / "bin" / "libzaropublish.so", bin / "libzaropublish.so", code);
    fs::create_directory_symlink(real / "bin" / "ZSK2.0" / "samples", kit / "samples", code);
    fs::create_directory_symlink(real / "bin" / "ZSK2.0" / "runtimes", kit / "runtimes", code);
    const std::string record = (records_ / "launch").string();
    WriteText(kit / "bin" / "zrl.exe", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record + ".tmp.'$$\nmv '" + record +
                                          ".tmp.'$$ '" + record + ".'$$\nexec '" +
                                          (real / "bin" / "ZSK2.0" / "bin" / "zrl.exe").string() + "' \"$@\"\n");
    fs::permissions(kit / "bin" / "zrl.exe", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                    code);
    ready_ = fs::exists(bin / "tessel") && fs::exists(kit / "bin" / "zrl.exe");
    box.UseTessel(bin / "tessel");
  }

  bool Ready() const { return ready_; }
  fs::path Kit() const { return stage_ / "bin" / "ZSK2.0"; }

  // The argument lists of every launch recorded so far, in no particular order.
  std::vector<std::vector<std::string>> Launches() const {
    std::vector<std::vector<std::string>> launches;
    std::error_code code;
    for (auto entry = fs::directory_iterator(records_, code); !code && entry != fs::directory_iterator();
         entry.increment(code)) {
      if (Contains(entry->path().filename().string(), ".tmp.")) continue;
      std::vector<std::string> arguments;
      std::istringstream in(ReadText(entry->path()));
      std::string line;
      while (std::getline(in, line)) arguments.push_back(line);
      launches.push_back(std::move(arguments));
    }
    return launches;
  }

  void ForgetLaunches() const {
    std::error_code code;
    fs::remove_all(records_, code);
    fs::create_directories(records_, code);
  }

 private:
  fs::path stage_;
  fs::path records_;
  bool ready_ = false;
};

}  // namespace publish_e2e
