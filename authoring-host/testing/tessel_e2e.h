#pragma once
// End-to-end harness: runs the staged `tessel` in a private temporary folder with its own
// registry hive file and common application data folder, and hands tests the exit status,
// the output, the files made and every box and dialog shown, in order.
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tessel::e2e {

using Json = nlohmann::ordered_json;

// One line of the UI log.
struct UiEvent {
  std::string event;   // message, file, folder, link, form, unanswered, form-error
  std::string text;    // message text, dialog title, link or form name
  unsigned style = 0;  // message-box style (48, 64, ...)
  std::string answer;  // button, chosen path, "cancel" or form result
  Json raw;
};

struct RunOptions {
  // The answers file content ({"answers": [...]}); none: the console user interface.
  std::optional<Json> answers;
  // Extra or replaced environment variables for this run.
  std::map<std::string, std::string> environment;
  // Keep DISPLAY and WAYLAND_DISPLAY (they are removed by default, so runs are headless).
  bool keepDisplay = false;
};

std::vector<std::string> LinesStartingWith(std::string_view text, std::string_view prefix);

struct RunResult {
  int exitStatus = -1;  // -1 when tessel could not be run or was ended by a signal
  std::string out, err;
  std::vector<UiEvent> events;  // from the UI log, in order (only with answers)
  // Files under the work folder created or changed by the run, relative, sorted.
  std::vector<std::filesystem::path> filesMade;

  // Lines of standard output that start with a prefix, e.g. "tessel: debugZAROMovie(".
  std::vector<std::string> OutputLines(std::string_view prefix) const { return LinesStartingWith(out, prefix); }
};

Json Answers(Json list);  // {"answers": list}
// A file's whole content; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& file);
// Replaces a file's content, making its folders first.
void WriteText(const std::filesystem::path& file, const std::string& content);
inline bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // False when the temporary folder could not be made; Error() says why.
  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }

  const std::filesystem::path& Root() const { return root_; }
  const std::filesystem::path& WorkFolder() const { return work_; }  // <root>/work
  // TESSEL_REGISTRY_FILE of every run (created by the module when it writes).
  const std::filesystem::path& RegistryFile() const { return registry_; }
  // TESSEL_COMMON_APPDATA of every run; Corvane/KV5/jre links to the staged Java launcher.
  const std::filesystem::path& CommonAppData() const { return appData_; }
  // Standard output of the latest run, which detached launchers may still be writing.
  std::filesystem::path LastOutputFile() const { return root_ / ".runs" / (std::to_string(runs_) + ".out"); }

  // The staged tree: $ZARO_STAGE, else the tree this harness was built for.
  static std::filesystem::path Stage();
  static std::filesystem::path Tessel() { return Stage() / "bin" / "tessel"; }
  // Later runs start this program instead of the staged tessel (a copy in another tree).
  void UseTessel(const std::filesystem::path& program) { tessel_ = program; }

  // Runs `tessel` with the arguments (the answers file and the UI log are added).
  RunResult Run(const std::vector<std::string>& arguments, const RunOptions& options = {});
  // Writes the script into the sandbox and runs `tessel run SCRIPT [DOCUMENT] EXTRA...`.
  RunResult RunScript(const std::string& source, const std::optional<std::filesystem::path>& document,
                      const RunOptions& options = {}, const std::vector<std::string>& extra = {});
  // tessel new <work>/<relativeName>.tsd; the document, or nothing (the output in Error()).
  std::optional<std::filesystem::path> NewDocument(const std::string& relativeName, const std::string& target = "desktop",
                                                   int asVersion = 3);
  // Writes a file under the sandbox (folders are made); returns its path.
  std::filesystem::path WriteFile(const std::filesystem::path& relative, const std::string& content);

  // The parsed document file; null JSON when it cannot be read or parsed.
  static Json ReadDocument(const std::filesystem::path& document);
  // The document's data value under a key; nothing when absent.
  static std::optional<Json> DocumentValue(const std::filesystem::path& document, const std::string& key);
  // "file:///" + the path with spaces as %20, as tessel hands documents to the module.
  static std::string FileUrl(const std::filesystem::path& path);

 private:
  bool ready_ = false;
  std::string error_;
  std::filesystem::path root_, work_, registry_, appData_, tessel_ = Tessel();
  int runs_ = 0, scripts_ = 0;
};

}  // namespace tessel::e2e
