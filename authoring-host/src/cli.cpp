#include "cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "document.h"
#include "module_loader.h"
#include "script_engine.h"

namespace tessel {
namespace fs = std::filesystem;

namespace {

constexpr int kExitRan = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const std::map<std::string, std::string> kCommandOfVerb = {
    {"publish", "Publish"}, {"settings", "OpenSettingDialog"}, {"test", "TestMovie"}, {"debug", "DebugMovie"}};

// Options each verb accepts (besides --help).
const std::map<std::string, std::set<std::string>> kVerbOptions = {
    {"new", {"--target", "--as-version"}},
    {"publish", {"--kit", "--answers", "--ui-log", "--module", "--trace"}},
    {"settings", {"--kit", "--answers", "--ui-log", "--module", "--trace"}},
    {"test", {"--kit", "--answers", "--ui-log", "--module", "--profile", "--no-host-debug", "--trace"}},
    {"debug", {"--kit", "--answers", "--ui-log", "--module", "--profile", "--no-host-debug", "--trace"}},
    {"run", {"--kit", "--answers", "--ui-log", "--module", "--no-host-debug", "--trace"}},
    {"help", {}},
};

const std::set<std::string> kValueOptions = {"--kit",   "--profile", "--answers",   "--ui-log",
                                             "--module", "--target", "--as-version"};

bool Usage(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::string JsString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
          out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";  // line ends in JS source
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::optional<std::string> ReadWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

// The absolute form of a document operand, or a usage error.
bool ResolveDocument(const std::string& operand, fs::path& file, std::string* error) {
  std::error_code code;
  file = fs::absolute(operand, code).lexically_normal();
  if (code) return Usage(error, "cannot make a path of " + operand);
  if (file.extension() != ".tsd") return Usage(error, "a document name ends in .tsd: " + operand);
  // The module reads paths back from file URLs, where these characters change meaning.
  for (char c : file.string()) {
    if (c == '%' || c == '|' || c == '\\') {
      return Usage(error, std::string("the document path must not contain \"") + c + "\": " + file.string());
    }
  }
  return true;
}

// --answers and --ui-log: the environment the module's scripted user interface reads,
// and the check of its log after the command.
class AnswersRun {
 public:
  ~AnswersRun() {
    if (ownLog_) ::unlink(log_.c_str());
  }

  // False (a usage error) when the answers file cannot be read or is not JSON.
  bool Prepare(const Invocation& invocation, std::string* error) {
    ::unsetenv("TESSEL_ANSWERS");
    ::unsetenv("TESSEL_UI_LOG");
    if (!invocation.answers) {
      if (invocation.uiLog) return Usage(error, "--ui-log records the answered questions; it needs --answers");
      // The module's terminal window system notes there the dialogs it could not show.
      if (!MakeOwnLog(error)) return false;
      ::setenv("TESSEL_UI_LOG", log_.c_str(), 1);
      active_ = true;
      return true;
    }
    answered_ = true;
    std::error_code code;
    answers_ = fs::absolute(*invocation.answers, code).lexically_normal();
    const std::optional<std::string> content = ReadWholeFile(answers_);
    if (!content) return Usage(error, "cannot read the answers file " + answers_.string());
    const Json parsed = Json::parse(*content, nullptr, false);
    if (parsed.is_discarded() || !(parsed.is_array() || (parsed.is_object() && parsed.contains("answers")))) {
      return Usage(error, "the answers file " + answers_.string() + " is not JSON of the form {\"answers\": [...]}");
    }
    if (invocation.uiLog) {
      log_ = fs::absolute(*invocation.uiLog, code).lexically_normal();
      struct stat info {};
      if (::stat(log_.c_str(), &info) == 0) offset_ = info.st_size;
      if (!std::ofstream(log_, std::ios::app)) return Usage(error, "cannot write the UI log " + log_.string());
    } else if (!MakeOwnLog(error)) {
      return false;
    }
    ::setenv("TESSEL_ANSWERS", answers_.c_str(), 1);
    ::setenv("TESSEL_UI_LOG", log_.c_str(), 1);
    active_ = true;
    return true;
  }

  // Questions the answers did not answer, and form steps that could not be applied.
  std::vector<std::string> Problems() const {
    std::vector<std::string> problems;
    if (!active_) return problems;
    std::ifstream in(log_, std::ios::binary);
    in.seekg(offset_);
    std::string line;
    while (std::getline(in, line)) {
      const Json event = Json::parse(line, nullptr, false);
      if (event.is_discarded() || !event.is_object()) continue;
      const std::string kind = event.value("event", "");
      if (kind == "unanswered" || kind == "form-error") {
        problems.push_back(kind + ": " + event.value("text", "") + " (" + event.value("answer", "") + ")");
      }
    }
    return problems;
  }

  const fs::path& AnswersFile() const { return answers_; }
  bool Answered() const { return answered_; }

 private:
  bool MakeOwnLog(std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-ui-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return Usage(error, "cannot create a log file for the dialogs shown in " + pattern);
    ::close(fd);
    log_ = pattern;
    ownLog_ = true;
    return true;
  }

  bool answered_ = false;
  bool active_ = false;
  bool ownLog_ = false;
  fs::path answers_;
  fs::path log_;
  long long offset_ = 0;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tessel: %s\nRun 'tessel --help' for the verbs and options.\n", message.c_str());
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "tessel: %s\n", message.c_str());
  return kExitFailed;
}

int RunNew(const Invocation& invocation) {
  fs::path file;
  std::string error;
  if (!ResolveDocument(invocation.operands[0], file, &error)) return UsageError(error);
  std::error_code code;
  if (fs::exists(file, code)) return Failure(file.string() + " already exists; a new document needs a new name");
  if (!fs::is_directory(file.parent_path(), code)) return Failure("the folder " + file.parent_path().string() + " does not exist");
  const Document document = MakeNewDocument(file, invocation.target == "iphone", invocation.asVersion);
  if (!SaveDocument(document, &error)) return Failure("cannot write the document " + file.string() + ": " + error);
  const fs::path movie = MoviePathFor(file);
  if (!WriteFileAtomically(movie, CompileMovie(document), &error)) {
    return Failure("cannot write the movie " + movie.string() + ": " + error);
  }
  std::printf("tessel: made %s (%s, script version %d) and its movie %s\n", file.c_str(),
              document.playerTarget.c_str(), document.asVersion, movie.c_str());
  return kExitRan;
}

// Everything a module command or a host script needs: the document (optional), the
// answers, the loaded module and the engine with the module's commands defined.
int RunWithModule(const Invocation& invocation, const std::optional<fs::path>& documentFile, const fs::path* scriptFile) {
  std::string error;
  std::optional<Document> document;
  if (documentFile) {
    std::error_code code;
    if (!fs::exists(*documentFile, code)) return UsageError("there is no document " + documentFile->string());
    document = LoadDocument(*documentFile, &error);
    if (!document) return Failure("cannot open the document " + documentFile->string() + ": " + error);
  }
  std::string source;
  if (scriptFile) {
    std::error_code code;
    if (!fs::exists(*scriptFile, code)) return UsageError("there is no script " + scriptFile->string());
    const std::optional<std::string> content = ReadWholeFile(*scriptFile);
    if (!content) return Failure("cannot read the script " + scriptFile->string());
    source = *content;
  }

  AnswersRun answers;
  if (!answers.Prepare(invocation, &error)) return UsageError(error);

  std::error_code code;
  const fs::path moduleFile = invocation.module ? fs::absolute(*invocation.module, code).lexically_normal()
                                                : ExecutableFolder() / kModuleFileName;
  const std::optional<LoadedModule> module = LoadModule(moduleFile, &error);
  if (!module) return Failure(error);

  ScriptEngine engine(EngineOptions{invocation.hostDebug, invocation.trace});
  if (!engine.Ready()) return Failure("the script engine could not be created");
  RunValues values;
  values.kitVersion = invocation.kit;
  if (document) {
    engine.SetDocument(&*document);
    values.documentUrl = FileUrl(document->file);
    values.movieUrl = FileUrl(MoviePathFor(document->file));
  }
  engine.SetRunValues(values);
  module->initWrapper(engine.Table().entries, static_cast<std::uint32_t>(sizeof(HostEnvironment)));

  int status = kExitRan;
  if (scriptFile) {
    if (!engine.RunScript(source, scriptFile->string(), &error)) {
      status = Failure("the script " + scriptFile->string() + " failed: " + error);
    }
  } else {
    const std::string command = kCommandOfVerb.at(invocation.verb);
    if (!engine.HasCommand(command)) {
      std::string defined;
      for (const std::string& name : engine.CommandNames()) defined += (defined.empty() ? "" : ", ") + name;
      return Failure("the module " + moduleFile.string() + " did not define the command \"" + command +
                     "\" (it defined: " + (defined.empty() ? "none" : defined) + ")");
    }
    const std::string documentUrl = JsString(*values.documentUrl);
    const std::string movieUrl = JsString(*values.movieUrl);
    const std::string kit = JsString(invocation.kit);
    const std::string profile = invocation.profile ? JsString(*invocation.profile) : "undefined";
    std::string call;
    if (command == "TestMovie") {
      call = "zaro.TestMovie(" + movieUrl + ", " + documentUrl + ", " + kit + ", " + profile + ");";
    } else if (command == "DebugMovie") {
      call = "zaro.DebugMovie(" + documentUrl + ", " + movieUrl + ", " + kit + ", " + profile + ");";
    } else {
      call = "zaro." + command + "(" + documentUrl + ", " + movieUrl + ", " + kit + ");";
    }
    if (!engine.RunScript(call, "tessel " + invocation.verb, &error)) {
      status = Failure("the command \"" + command + "\" reported failure: " + error);
    }
  }

  if (document && document->Changed()) {
    if (SaveDocument(*document, &error)) {
      document->MarkSaved();
    } else {
      status = Failure("cannot save the document " + document->file.string() + ": " + error);
    }
  }
  const std::vector<std::string> problems = answers.Problems();
  if (!problems.empty()) {
    std::string list;
    for (const std::string& problem : problems) list += "\n  " + problem;
    status = answers.Answered()
                 ? Failure("the answers file " + answers.AnswersFile().string() + " did not answer everything:" + list)
                 : Failure("a dialog could not be shown, so the command did not finish:" + list);
  }
  if (engine.HostFailures() > 0) status = kExitFailed;
  return status;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& arguments, Invocation& invocation, std::string* error) {
  std::vector<std::pair<std::string, std::string>> options;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
      invocation.help = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      std::string name = argument;
      std::optional<std::string> value;
      if (const size_t equals = argument.find('='); equals != std::string::npos && argument.rfind("--", 0) == 0) {
        name = argument.substr(0, equals);
        value = argument.substr(equals + 1);
      }
      if (kValueOptions.count(name) != 0) {
        if (!value) {
          if (i + 1 >= arguments.size()) return Usage(error, name + " needs a value");
          value = arguments[++i];
        }
      } else if (name != "--no-host-debug" && name != "--trace") {
        return Usage(error, "unknown option " + name);
      } else if (value) {
        return Usage(error, name + " takes no value");
      }
      options.emplace_back(name, value.value_or(""));
    } else if (invocation.verb.empty()) {
      invocation.verb = argument;
    } else {
      invocation.operands.push_back(argument);
    }
  }
  if (invocation.help) return true;
  if (invocation.verb.empty()) return Usage(error, "no verb given");
  const auto allowed = kVerbOptions.find(invocation.verb);
  if (allowed == kVerbOptions.end()) return Usage(error, "unknown verb " + invocation.verb);
  if (invocation.verb == "help") {
    invocation.help = true;
    return true;
  }
  for (const auto& [name, value] : options) {
    if (allowed->second.count(name) == 0) return Usage(error, "tessel " + invocation.verb + " takes no " + name);
    if (name == "--kit") {
      if (value.empty()) return Usage(error, "--kit needs a version such as 2.0");
      invocation.kit = value;
    } else if (name == "--profile") {
      invocation.profile = value;
    } else if (name == "--answers") {
      invocation.answers = value;
    } else if (name == "--ui-log") {
      invocation.uiLog = value;
    } else if (name == "--module") {
      invocation.module = value;
    } else if (name == "--target") {
      if (value != "desktop" && value != "iphone") return Usage(error, "--target is desktop or iphone");
      invocation.target = value;
    } else if (name == "--as-version") {
      if (value != "1" && value != "2" && value != "3") return Usage(error, "--as-version is 1, 2 or 3");
      invocation.asVersion = value[0] - '0';
    } else if (name == "--no-host-debug") {
      invocation.hostDebug = false;
    } else if (name == "--trace") {
      invocation.trace = true;
    }
  }
  const size_t count = invocation.operands.size();
  if (invocation.verb == "run") {
    if (count < 1 || count > 2) return Usage(error, "tessel run takes a script and optionally a document");
  } else if (count != 1) {
    return Usage(error, "tessel " + invocation.verb + " takes one document (DOC.tsd)");
  }
  return true;
}

int RunTessel(const std::vector<std::string>& arguments) {
  Invocation invocation;
  std::string error;
  if (!ParseArguments(arguments, invocation, &error)) return UsageError(error);
  if (invocation.help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitRan;
  }
  // Answers named by the environment count as given, so a caller may set them either way.
  if (!invocation.answers) {
    if (const char* answers = std::getenv("TESSEL_ANSWERS"); answers && *answers) {
      invocation.answers = answers;
      if (const char* log = std::getenv("TESSEL_UI_LOG"); !invocation.uiLog && log && *log) invocation.uiLog = log;
    }
  }
  if (invocation.verb == "new") return RunNew(invocation);
  if (invocation.verb == "run") {
    std::error_code code;
    const fs::path script = fs::absolute(invocation.operands[0], code).lexically_normal();
    std::optional<fs::path> document;
    if (invocation.operands.size() == 2) {
      fs::path file;
      if (!ResolveDocument(invocation.operands[1], file, &error)) return UsageError(error);
      document = file;
    }
    return RunWithModule(invocation, document, &script);
  }
  fs::path file;
  if (!ResolveDocument(invocation.operands[0], file, &error)) return UsageError(error);
  return RunWithModule(invocation, file, nullptr);
}

const std::string& UsageText() {
  static const std::string text = R"(Usage: tessel VERB ARGUMENTS [OPTIONS]

tessel is the stand-in authoring host. It opens a document (.tsd), loads the
publishing module (libzaropublish.so in tessel's own folder), hands it the host
callback table and runs the module's script commands.

Verbs:
  new DOC.tsd [--target desktop|iphone] [--as-version 1|2|3]
        Make a document with a small stage and compile its movie DOC.qmv beside it.
        An existing file is never replaced.
  publish DOC.tsd      Run "Publish": package the movie with the stored settings
                       (or open the settings sheet when credentials are missing).
  settings DOC.tsd     Run "OpenSettingDialog": the publish settings sheet.
  test DOC.tsd [--profile P]
                       Run "TestMovie": run the movie in the kit's debug launcher.
  debug DOC.tsd [--profile P]
                       Run "DebugMovie": run the movie with debugging on.
  run SCRIPT.js [DOC.tsd]
                       Run a host script, with DOC.tsd open when given.
  help                 Show this text.

  publish, settings, test and debug call the command with the document's URL, the
  movie's URL and the kit version; "TestMovie" takes the movie URL first. URLs are
  "file:///" followed by the absolute path with spaces as %20. The movie is the file
  beside the document with the same name and .qmv. After any command or script the
  document is saved (atomically) when its data changed. A document that cannot be
  read is reported with the problem and left as it is.

Options:
  --kit V          Kit version passed to the command (default 2.0; the kit folder
                   beside tessel is ZSK followed by V).
  --profile P      Launch profile for test and debug (mobileDevice, extendedDesktop, ...).
  --answers FILE   Answer every message box and dialog from FILE (see below).
  --ui-log FILE    Append one JSON line per box and dialog shown to FILE (needs --answers;
                   without it tessel uses a temporary log of its own).
  --no-host-debug  Make debugZAROMovie answer 2 and start nothing, so the module
                   starts the debug launcher itself.
  --module FILE    Load FILE instead of libzaropublish.so beside tessel.
  --trace          Print every snippet the module evaluates that ran, on standard
                   error (snippets that did not run are always reported there).
  --target T       Player target of a new document: desktop (default) or iphone.
  --as-version N   Script version of a new document (default 3).
  -h, --help       Show this text.

Host scripts (tessel run):
  tx.getDocumentDOM()   the open document (null without one), with
      asVersion, path (the document path with "\" separators), playerTarget
      ("Desktop" or "iPhone OS"), getDataFromDocument(key) (undefined when absent),
      addDataToDocument(key, "string"|"integer"|"double", value),
      removeDataFromDocument(key), exportQMV(fileUrl, flag) (compiles the stage into
      the movie; true on success), getDebugForQmv(), setDebugForQmv(flag, x),
      debugZAROMovie(launcher, runtimeFolder, descriptor, debugFlag[, profile])
      (starts the launcher on the descriptor, with -profile P when given, without
      waiting; answers 0 when it started)
  zaro.Publish(docUrl, movieUrl, kit), zaro.OpenSettingDialog(docUrl, movieUrl, kit),
  zaro.TestMovie(movieUrl, docUrl, kit, profile), zaro.DebugMovie(docUrl, movieUrl,
      kit, profile)   the module's commands; a command that fails raises an error
  tessel.documentURL, tessel.movieURL, tessel.kitVersion   values of this run
  print(...)            writes a line on standard output

  Every exportQMV and debugZAROMovie call prints one line on standard output with
  its arguments as received, for example
      tessel: debugZAROMovie("/opt/k/bin/ZSK2.0/bin/zrl.exe", "/opt/k/bin/ZSK2.0/runtimes/zaro/win", "/work/Hello-app.xml", "true", "mobileDevice")

Answers file (--answers FILE):
  {"answers": [ANSWER, ...]}, one answer per question in the order they are asked:
    {"message": "ok"}      a message box with more than one button: ok, cancel, yes,
                           no, abort, retry or ignore (boxes with only OK need none)
    {"file": "\\home\\ann\\cert.p12"}   an open or save dialog: a Windows-form path
    {"file": null}         ... cancelled
    {"folder": "\\home\\ann\\out"}  or  {"folder": null}   the folder browser
    {"form": "Settings", "steps": [{"set": {"Signature.certpath": "\\home\\a.p12"}},
                                   {"press": "Publish"}, {"wait": 2000}]}
                           a dialog or property sheet by its form name: set fields
                           (a page's fields as PAGE.FIELD), press buttons, let its
                           timer run for some milliseconds
  Nothing is guessed: a question without a fitting answer, a form left open or a step
  that cannot be applied takes the most cautious choice, is recorded as "unanswered"
  or "form-error", and tessel lists them and exits with status 1.
  The UI log holds one JSON object per line, in order, for example
    {"event":"message","text":"...","title":"Corvane Tessel KV5","style":64,"answer":"ok"}
  with the events message, file, folder, link, form, unanswered and form-error.
  TESSEL_ANSWERS and TESSEL_UI_LOG in the environment act as --answers and --ui-log.

  Without answers the module shows real windows when a display is reachable;
  otherwise message boxes are printed on standard error, questions are asked at the
  terminal (the default button without one), and dialogs need --answers: a dialog
  that cannot be shown fails the run.

Environment:
  TESSEL_REGISTRY_FILE   the current user's registry hive file (default
                         $XDG_CONFIG_HOME/corvane/tessel-11/registry)
  TESSEL_COMMON_APPDATA  the common application data folder (default ../ProgramData
                         beside tessel's folder; the Java launcher is under
                         Corvane/KV5/jre/bin/java.exe there)

Exit status:
  0  the command or script ran
  1  it reported failure: the command failed, a script error, a document that cannot
     be read or saved, no usable module, unanswered questions, a dialog that needed
     a display, a launcher that could not be started
  2  usage error: unknown verb or option, missing argument, no such document or script
)";
  return text;
}

}  // namespace tessel
