#pragma once
// The host's script engine (Duktape) and the callback table it gives the module.
//
// Globals: `tx.getDocumentDOM()` (the open document, null without one), `zaro` (the
// library object; commands the module defines become its functions), `print(...)` and
// `tessel` (documentURL, movieURL, kitVersion of the current run).
//
// Script values reach the module as 32-bit handles, valid until the command call in which
// they were made returns; handle 1 stands for undefined and null. Texts from ValueToString
// stay valid until the next evaluation.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <deque>
#include <vector>

#include "document.h"
#include "host/host_abi.h"

struct duk_hthread;

namespace tessel {

struct EngineOptions {
  // false: debugZAROMovie answers 2 and starts nothing, so the module starts the launcher.
  bool hostDebug = true;
  // Print every snippet the module evaluates, with its run status, on standard error.
  bool trace = false;
};

struct RunValues {
  std::optional<std::string> documentUrl;
  std::optional<std::string> movieUrl;
  std::string kitVersion;
};

class ScriptEngine {
 public:
  explicit ScriptEngine(EngineOptions options = {});
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // False when the engine could not be created (then nothing else works).
  bool Ready() const { return ctx_ != nullptr; }

  // The open document; the engine does not own it. Null: getDocumentDOM() gives null.
  void SetDocument(Document* document) { document_ = document; }
  void SetRunValues(const RunValues& values);

  // The table handed to KX_InitWrapper: 49 pointer-sized entries.
  const HostEnvironment& Table() const { return table_; }

  // Runs a script as global code (UTF-8 source); false with the error and its place.
  bool RunScript(std::string_view source, std::string_view fileName, std::string* error);
  bool HasCommand(std::string_view name) const;
  std::vector<std::string> CommandNames() const;

  // How many failures the host reported itself during the run (a launcher that would not start).
  int HostFailures() const { return hostFailures_; }

  // The one engine the C callbacks reach.
  static ScriptEngine* Current();

 private:
  struct Command {
    std::string name;
    CommandHandler handler;
    std::uint32_t argc;
  };

  friend struct EngineAccess;

  void InstallGlobals();
  // Value handles: the value on top of the stack is taken into the table (and popped).
  ScriptValue TakeValue();
  bool PushValue(ScriptValue handle);
  void TruncateValues(std::uint32_t count);
  bool ContextActive(ScriptContext context) const;
  const char16_t* KeepText(std::u16string text, std::uint32_t* length);

  duk_hthread* ctx_ = nullptr;
  EngineOptions options_;
  Document* document_ = nullptr;
  HostEnvironment table_{};
  int libraryTag_ = 0;  // its address is the library object value
  std::vector<Command> commands_;
  std::vector<ScriptContext> activeContexts_;
  ScriptContext nextContext_ = 2;
  std::uint32_t valueCount_ = 0;
  std::deque<std::u16string> texts_;  // a deque: earlier texts never move
  std::string pendingError_;  // message of the script error a native function raises
  int hostFailures_ = 0;
};

}  // namespace tessel
