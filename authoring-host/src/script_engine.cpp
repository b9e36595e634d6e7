#include "script_engine.h"

#include <duktape.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "launcher.h"
#include "text_codec.h"

namespace tessel {
namespace {

ScriptEngine* g_current = nullptr;

constexpr const char kValuesKey[] = "tesselValues";
constexpr const char kLibraryKey[] = "tesselLibrary";
constexpr const char kDocumentKey[] = "tesselDocument";
constexpr const char kCommandIndexKey[] = DUK_HIDDEN_SYMBOL("tesselCommand");

void FatalHandler(void*, const char* message) {
  std::fprintf(stderr, "tessel: the script engine failed: %s\n", message ? message : "no detail");
  std::fflush(stderr);
  std::abort();
}

void PushText(duk_context* ctx, std::string_view utf8) {
  const std::string internal = Utf8ToCesu8(utf8);
  duk_push_lstring(ctx, internal.data(), internal.size());
}

// String(value) of the value at idx, without running into an error.
std::string SafeText(duk_context* ctx, duk_idx_t idx) {
  duk_dup(ctx, idx);
  duk_size_t length = 0;
  const char* text = duk_safe_to_lstring(ctx, -1, &length);
  std::string result = Cesu8ToUtf8(std::string_view(text, length));
  duk_pop(ctx);
  return result;
}

// The text of an error value: its stack trace when it has one.
std::string ErrorText(duk_context* ctx, duk_idx_t idx) {
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "stack");
    if (duk_is_string(ctx, -1)) {
      std::string stack = SafeText(ctx, -1);
      duk_pop(ctx);
      return stack;
    }
    duk_pop(ctx);
  }
  return SafeText(ctx, idx);
}

bool HasArg(duk_context* ctx, duk_idx_t idx) {
  return idx < duk_get_top(ctx) && !duk_is_undefined(ctx, idx);
}

bool ParseNumber(duk_context* ctx, duk_idx_t idx, double& out) {
  if (duk_is_number(ctx, idx)) {
    out = duk_get_number(ctx, idx);
    return std::isfinite(out);
  }
  if (!duk_is_string(ctx, idx)) return false;
  const std::string text = SafeText(ctx, idx);
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' && std::isfinite(out);
}

// One printed line per host-side call, with the arguments as received.
void PrintCall(duk_context* ctx, const char* name) {
  std::string line = std::string("tessel: ") + name + "(";
  const duk_idx_t count = duk_get_top(ctx);
  for (duk_idx_t i = 0; i < count; ++i) {
    if (i > 0) line += ", ";
    line += "\"" + SafeText(ctx, i) + "\"";
  }
  line += ")\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string ToPosixForm(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

}  // namespace

// Native functions and C callbacks. A native function that raises a script error leaves
// its message in pendingError_ and returns kThrow; the outer function then throws with no
// C++ object alive in its frame.
struct EngineAccess {
  static constexpr int kThrow = -1;

  static ScriptEngine& E() { return *g_current; }

  static duk_ret_t Raise(duk_context* ctx, duk_errcode_t code) {
    duk_push_error_object(ctx, code, "%s", E().pendingError_.c_str());
    return duk_throw(ctx);
  }

  static int Fail(std::string message) {
    E().pendingError_ = std::move(message);
    return kThrow;
  }

  static Document* Doc() { return E().document_; }

  // ---- commands ----

  static int CallCommand(duk_context* ctx) {
    ScriptEngine& e = E();
    const duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kCommandIndexKey);
    const duk_uint_t index = duk_get_uint(ctx, -1);
    duk_pop_2(ctx);
    if (index >= e.commands_.size()) return Fail("this command is not defined");
    const ScriptEngine::Command command = e.commands_[index];  // a handler may define more

    const ScriptContext context = e.nextContext_++;
    e.activeContexts_.push_back(context);
    const std::uint32_t base = e.valueCount_;
    duk_push_this(ctx);
    const ScriptObject object = e.TakeValue();
    std::vector<ScriptValue> argv;
    for (duk_idx_t i = 0; i < count; ++i) {
      duk_dup(ctx, i);
      argv.push_back(e.TakeValue());
    }
    // The handler may read every argument it declared, given or not.
    while (argv.size() < command.argc) argv.push_back(kNoScriptValue);
    const auto argc = static_cast<std::uint32_t>(argv.size());
    argv.push_back(kNoScriptValue);

    ScriptValue result = kNoScriptValue;
    std::int32_t succeeded = 0;
    try {
      succeeded = command.handler(context, object, argc, argv.data(), &result);
    } catch (...) {
      succeeded = 0;
    }
    if (succeeded != 0 && !(result != kNoScriptValue && e.PushValue(result))) duk_push_undefined(ctx);
    e.TruncateValues(base);
    e.activeContexts_.pop_back();
    if (e.activeContexts_.empty()) e.texts_.clear();
    if (succeeded == 0) return Fail("zaro." + command.name + " failed");
    return 1;
  }

  static duk_ret_t NativeCommand(duk_context* ctx) {
    const int status = CallCommand(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_ERROR) : status;
  }

  struct Definition {
    const std::string* name;
    duk_uint_t index;
  };

  static duk_ret_t DefineOnLibrary(duk_context* ctx, void* data) {
    const auto* definition = static_cast<const Definition*>(data);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kLibraryKey);
    duk_push_c_function(ctx, NativeCommand, DUK_VARARGS);
    duk_push_uint(ctx, definition->index);
    duk_put_prop_string(ctx, -2, kCommandIndexKey);
    duk_push_string(ctx, "name");
    duk_push_lstring(ctx, definition->name->data(), definition->name->size());
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
    duk_put_prop_lstring(ctx, -2, definition->name->data(), definition->name->size());
    duk_pop_2(ctx);
    return 0;
  }

  // ---- global functions ----

  static duk_ret_t Print(duk_context* ctx) {
    std::string line;
    const duk_idx_t count = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i) {
      if (i > 0) line += ' ';
      line += SafeText(ctx, i);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return 0;
  }

  static duk_ret_t GetDocumentDom(duk_context* ctx) {
    if (Doc() == nullptr) {
      duk_push_null(ctx);
      return 1;
    }
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kDocumentKey);
    return 1;
  }

  // ---- the document object ----

  static int NeedDocument() { return Fail("no document is open"); }

  static int AsVersionImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    duk_push_int(ctx, Doc()->asVersion);
    return 1;
  }
  static duk_ret_t AsVersion(duk_context* ctx) {
    const int status = AsVersionImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int PathImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    PushText(ctx, WindowsForm(Doc()->file));
    return 1;
  }
  static duk_ret_t Path(duk_context* ctx) {
    const int status = PathImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int PlayerTargetImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    PushText(ctx, Doc()->playerTarget);
    return 1;
  }
  static duk_ret_t PlayerTarget(duk_context* ctx) {
    const int status = PlayerTargetImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int GetDataImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    if (!HasArg(ctx, 0)) return Fail("getDataFromDocument needs a key");
    const DataEntry* entry = Doc()->FindData(SafeText(ctx, 0));
    if (entry == nullptr) {
      duk_push_undefined(ctx);
    } else if (entry->value.is_string()) {
      PushText(ctx, entry->value.get_ref<const std::string&>());
    } else {
      duk_push_number(ctx, entry->value.get<double>());
    }
    return 1;
  }
  static duk_ret_t GetData(duk_context* ctx) {
    const int status = GetDataImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int AddDataImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    if (!HasArg(ctx, 0) || !HasArg(ctx, 1) || duk_get_top(ctx) < 3) {
      return Fail("addDataToDocument needs a key, a type and a value");
    }
    const std::string key = SafeText(ctx, 0);
    const std::string type = SafeText(ctx, 1);
    Json value;
    if (type == "string") {
      value = SafeText(ctx, 2);
    } else if (type == "integer" || type == "double") {
      double number = 0;
      if (!ParseNumber(ctx, 2, number)) return Fail("addDataToDocument: the value for \"" + key + "\" is not a number");
      if (type == "integer") {
        if (std::floor(number) != number || std::fabs(number) > 9007199254740992.0) {
          return Fail("addDataToDocument: the value for \"" + key + "\" is not a whole number");
        }
        value = static_cast<std::int64_t>(number);
      } else {
        value = number;
      }
    }
    std::string error;
    if (!Doc()->SetData(key, type, std::move(value), &error)) return Fail("addDataToDocument: " + error);
    return 0;
  }
  static duk_ret_t AddData(duk_context* ctx) {
    const int status = AddDataImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int RemoveDataImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    if (!HasArg(ctx, 0)) return Fail("removeDataFromDocument needs a key");
    duk_push_boolean(ctx, Doc()->RemoveData(SafeText(ctx, 0)));
    return 1;
  }
  static duk_ret_t RemoveData(duk_context* ctx) {
    const int status = RemoveDataImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int ExportImpl(duk_context* ctx) {
    PrintCall(ctx, "exportQMV");
    if (Doc() == nullptr) return NeedDocument();
    const std::string url = HasArg(ctx, 0) ? SafeText(ctx, 0) : std::string();
    const std::optional<std::filesystem::path> movie = PathFromFileUrl(url);
    bool written = false;
    if (!movie) {
      std::fprintf(stderr, "tessel: exportQMV: \"%s\" is not a file URL (file:/// and the path)\n", url.c_str());
    } else {
      std::string error;
      written = WriteFileAtomically(*movie, CompileMovie(*Doc()), &error);
      if (!written) std::fprintf(stderr, "tessel: exportQMV: cannot write the movie %s: %s\n", movie->c_str(), error.c_str());
    }
    duk_push_boolean(ctx, written);
    return 1;
  }
  static duk_ret_t Export(duk_context* ctx) {
    const int status = ExportImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int GetDebugImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    duk_push_boolean(ctx, Doc()->debugForQmv);
    return 1;
  }
  static duk_ret_t GetDebug(duk_context* ctx) {
    const int status = GetDebugImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int SetDebugImpl(duk_context* ctx) {
    if (Doc() == nullptr) return NeedDocument();
    if (!HasArg(ctx, 0)) return Fail("setDebugForQmv needs a flag");
    bool flag = false;
    if (duk_is_string(ctx, 0)) {
      flag = SafeText(ctx, 0) == "true";
    } else {
      flag = duk_to_boolean(ctx, 0) != 0;
    }
    Doc()->SetDebugForQmv(flag);
    return 0;
  }
  static duk_ret_t SetDebug(duk_context* ctx) {
    const int status = SetDebugImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  static int DebugMovieImpl(duk_context* ctx) {
    PrintCall(ctx, "debugZAROMovie");
    ScriptEngine& e = E();
    if (!e.options_.hostDebug) {
      duk_push_int(ctx, 2);  // the module then starts the launcher itself
      return 1;
    }
    if (duk_get_top(ctx) < 4) {
      return Fail("debugZAROMovie needs the launcher, the runtime folder, the descriptor and the debug flag");
    }
    const std::string launcher = ToPosixForm(SafeText(ctx, 0));
    const std::string descriptor = ToPosixForm(SafeText(ctx, 2));
    std::vector<std::string> arguments{descriptor};
    if (HasArg(ctx, 4) && !duk_is_null(ctx, 4)) {
      arguments.push_back("-profile");
      arguments.push_back(SafeText(ctx, 4));
    }
    std::string error;
    if (!StartDetached(launcher, arguments, &error)) {
      std::fprintf(stderr, "tessel: cannot start the debug launcher %s: %s\n", launcher.c_str(), error.c_str());
      ++e.hostFailures_;
      duk_push_int(ctx, 1);
      return 1;
    }
    duk_push_int(ctx, 0);
    return 1;
  }
  static duk_ret_t DebugMovie(duk_context* ctx) {
    const int status = DebugMovieImpl(ctx);
    return status == kThrow ? Raise(ctx, DUK_ERR_TYPE_ERROR) : status;
  }

  // ---- the callback table ----

  static std::int32_t DefineCommand(void* libraryObject, const char16_t* name, CommandHandler handler,
                                    std::uint32_t argc) {
    try {
      ScriptEngine* e = g_current;
      if (e == nullptr || e->ctx_ == nullptr || libraryObject != &e->libraryTag_ || name == nullptr ||
          handler == nullptr) {
        return 0;
      }
      const std::string text = Utf16ToUtf8(std::u16string_view(name));
      if (text.empty()) return 0;
      duk_uint_t index = 0;
      while (index < e->commands_.size() && e->commands_[index].name != text) ++index;
      if (index == e->commands_.size()) {
        e->commands_.push_back({text, handler, argc});
      } else {
        e->commands_[index] = {text, handler, argc};
      }
      const std::string internal = Utf8ToCesu8(text);
      Definition definition{&internal, index};
      if (!duk_check_stack(e->ctx_, 8)) return 0;
      const duk_int_t status = duk_safe_call(e->ctx_, DefineOnLibrary, &definition, 0, 1);
      duk_pop(e->ctx_);
      return status == DUK_EXEC_SUCCESS ? 1 : 0;
    } catch (...) {
      return 0;
    }
  }

  static duk_ret_t ToInt32(duk_context* ctx, void* out) {
    *static_cast<std::int32_t*>(out) = duk_to_int32(ctx, -1);
    return 0;
  }

  static std::int32_t ValueToInteger(ScriptContext, ScriptValue value, std::int32_t* out) {
    try {
      ScriptEngine* e = g_current;
      if (e == nullptr || out == nullptr || !duk_check_stack(e->ctx_, 4) || !e->PushValue(value)) return 0;
      std::int32_t number = 0;
      const duk_int_t status = duk_safe_call(e->ctx_, ToInt32, &number, 1, 1);
      duk_pop(e->ctx_);
      if (status != DUK_EXEC_SUCCESS) return 0;
      *out = number;
      return 1;
    } catch (...) {
      return 0;
    }
  }

  static std::int32_t ValueToBoolean(ScriptContext, ScriptValue value, std::int32_t* out) {
    try {
      ScriptEngine* e = g_current;
      if (e == nullptr || out == nullptr || !duk_check_stack(e->ctx_, 4) || !e->PushValue(value)) return 0;
      *out = duk_to_boolean(e->ctx_, -1) ? 1 : 0;
      duk_pop(e->ctx_);
      return 1;
    } catch (...) {
      return 0;
    }
  }

  static const char16_t* ValueToString(ScriptContext, ScriptValue value, std::uint32_t* length) {
    try {
      if (length != nullptr) *length = 0;
      ScriptEngine* e = g_current;
      if (e == nullptr || value == kNoScriptValue || !duk_check_stack(e->ctx_, 4) || !e->PushValue(value)) {
        return nullptr;
      }
      duk_size_t size = 0;
      const char* text = duk_safe_to_lstring(e->ctx_, -1, &size);
      std::u16string converted = Cesu8ToUtf16(std::string_view(text, size));
      duk_pop(e->ctx_);
      return e->KeepText(std::move(converted), length);
    } catch (...) {
      return nullptr;
    }
  }

  static std::int32_t ExecuteScript(ScriptContext context, ScriptObject, const char16_t* script,
                                    std::uint32_t length, const char16_t* sourceName, std::int32_t line,
                                    ScriptValue* result) {
    try {
      if (result != nullptr) *result = kNoScriptValue;
      ScriptEngine* e = g_current;
      if (e == nullptr || e->ctx_ == nullptr || script == nullptr) return 0;
      const std::string source = Utf16ToCesu8(std::u16string_view(script, length));
      const std::string name = sourceName ? Utf16ToCesu8(std::u16string_view(sourceName)) : std::string("snippet");
      if (!e->ContextActive(context)) {
        std::fprintf(stderr, "tessel: a script was handed a context that is not in use (%s, line %d)\n", name.c_str(),
                     static_cast<int>(line));
        return 0;
      }
      e->texts_.clear();
      duk_context* ctx = e->ctx_;
      if (!duk_check_stack(ctx, 4)) return 0;
      duk_push_lstring(ctx, name.data(), name.size());
      if (duk_eval_raw(ctx, source.data(), source.size(), DUK_COMPILE_EVAL | DUK_COMPILE_SAFE | DUK_COMPILE_NOSOURCE) !=
          DUK_EXEC_SUCCESS) {
        const std::string reason = SafeText(ctx, -1);
        duk_pop(ctx);
        std::fprintf(stderr, "tessel: a script did not run (%s, line %d): %s\n  script: %s\n", Cesu8ToUtf8(name).c_str(),
                     static_cast<int>(line), reason.c_str(), Cesu8ToUtf8(source).c_str());
        return 0;
      }
      if (e->options_.trace) std::fprintf(stderr, "tessel: ran %s\n", Cesu8ToUtf8(source).c_str());
      const ScriptValue value = e->TakeValue();
      if (result != nullptr) *result = value;
      return 1;
    } catch (...) {
      return 0;
    }
  }
};

ScriptEngine::ScriptEngine(EngineOptions options) : options_(options) {
  ctx_ = duk_create_heap(nullptr, nullptr, nullptr, nullptr, FatalHandler);
  if (ctx_ == nullptr) return;
  g_current = this;
  table_.entries[kLibraryObjectEntry] = &libraryTag_;
  table_.entries[kDefineCommandEntry] = reinterpret_cast<void*>(&EngineAccess::DefineCommand);
  table_.entries[kValueToIntegerEntry] = reinterpret_cast<void*>(&EngineAccess::ValueToInteger);
  table_.entries[kValueToBooleanEntry] = reinterpret_cast<void*>(&EngineAccess::ValueToBoolean);
  table_.entries[kValueToStringEntry] = reinterpret_cast<void*>(&EngineAccess::ValueToString);
  table_.entries[kExecuteScriptEntry] = reinterpret_cast<void*>(&EngineAccess::ExecuteScript);
  InstallGlobals();
}

ScriptEngine::~ScriptEngine() {
  if (g_current == this) g_current = nullptr;
  if (ctx_ != nullptr) duk_destroy_heap(ctx_);
}

ScriptEngine* ScriptEngine::Current() { return g_current; }

void ScriptEngine::InstallGlobals() {
  duk_context* ctx = ctx_;
  duk_push_global_stash(ctx);
  duk_push_array(ctx);
  duk_put_prop_string(ctx, -2, kValuesKey);

  // zaro: the library object.
  duk_push_global_object(ctx);
  duk_push_object(ctx);
  duk_dup(ctx, -1);
  duk_put_prop_string(ctx, -4, kLibraryKey);
  duk_put_prop_string(ctx, -2, "zaro");

  duk_push_c_function(ctx, EngineAccess::Print, DUK_VARARGS);
  duk_put_prop_string(ctx, -2, "print");

  duk_push_object(ctx);
  duk_push_c_function(ctx, EngineAccess::GetDocumentDom, 0);
  duk_put_prop_string(ctx, -2, "getDocumentDOM");
  duk_put_prop_string(ctx, -2, "tx");

  duk_push_object(ctx);
  duk_put_prop_string(ctx, -2, "tessel");
  duk_pop(ctx);  // global

  // The document object that getDocumentDOM() answers with.
  duk_push_object(ctx);
  struct Getter {
    const char* name;
    duk_c_function function;
  };
  for (const Getter& getter : {Getter{"asVersion", EngineAccess::AsVersion}, Getter{"path", EngineAccess::Path},
                               Getter{"playerTarget", EngineAccess::PlayerTarget}}) {
    duk_push_string(ctx, getter.name);
    duk_push_c_function(ctx, getter.function, 0);
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE);
  }
  struct Method {
    const char* name;
    duk_c_function function;
  };
  for (const Method& method : {Method{"getDataFromDocument", EngineAccess::GetData},
                               Method{"addDataToDocument", EngineAccess::AddData},
                               Method{"removeDataFromDocument", EngineAccess::RemoveData},
                               Method{"exportQMV", EngineAccess::Export},
                               Method{"getDebugForQmv", EngineAccess::GetDebug},
                               Method{"setDebugForQmv", EngineAccess::SetDebug},
                               Method{"debugZAROMovie", EngineAccess::DebugMovie}}) {
    duk_push_c_function(ctx, method.function, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, method.name);
  }
  duk_put_prop_string(ctx, -2, kDocumentKey);
  duk_pop(ctx);  // stash
}

void ScriptEngine::SetRunValues(const RunValues& values) {
  if (ctx_ == nullptr) return;
  duk_push_global_object(ctx_);
  duk_get_prop_string(ctx_, -1, "tessel");
  if (duk_is_object(ctx_, -1)) {
    auto put = [&](const char* name, const std::optional<std::string>& value) {
      if (value) {
        PushText(ctx_, *value);
      } else {
        duk_push_undefined(ctx_);
      }
      duk_put_prop_string(ctx_, -2, name);
    };
    put("documentURL", values.documentUrl);
    put("movieURL", values.movieUrl);
    put("kitVersion", values.kitVersion);
  }
  duk_pop_2(ctx_);
}

bool ScriptEngine::RunScript(std::string_view source, std::string_view fileName, std::string* error) {
  if (ctx_ == nullptr) {
    if (error) *error = "the script engine could not be created";
    return false;
  }
  const std::string code = Utf8ToCesu8(source);
  const std::string name = Utf8ToCesu8(fileName);
  duk_push_lstring(ctx_, name.data(), name.size());
  const duk_int_t status = duk_eval_raw(ctx_, code.data(), code.size(),
                                        DUK_COMPILE_EVAL | DUK_COMPILE_SAFE | DUK_COMPILE_NOSOURCE | DUK_COMPILE_SHEBANG);
  if (status != DUK_EXEC_SUCCESS && error) *error = ErrorText(ctx_, -1);
  duk_pop(ctx_);
  texts_.clear();
  return status == DUK_EXEC_SUCCESS;
}

bool ScriptEngine::HasCommand(std::string_view name) const {
  for (const Command& command : commands_) {
    if (command.name == name) return true;
  }
  return false;
}

std::vector<std::string> ScriptEngine::CommandNames() const {
  std::vector<std::string> names;
  for (const Command& command : commands_) names.push_back(command.name);
  return names;
}

ScriptValue ScriptEngine::TakeValue() {
  if (duk_is_undefined(ctx_, -1) || duk_is_null(ctx_, -1)) {
    duk_pop(ctx_);
    return kNoScriptValue;
  }
  duk_push_global_stash(ctx_);
  duk_get_prop_string(ctx_, -1, kValuesKey);
  duk_dup(ctx_, -3);
  duk_put_prop_index(ctx_, -2, valueCount_);
  duk_pop_3(ctx_);
  return valueCount_++ + 2;  // 0 is never handed out, 1 is "no value"
}

bool ScriptEngine::PushValue(ScriptValue handle) {
  if (handle == kNoScriptValue) {
    duk_push_undefined(ctx_);
    return true;
  }
  if (handle < 2 || handle - 2 >= valueCount_) return false;
  duk_push_global_stash(ctx_);
  duk_get_prop_string(ctx_, -1, kValuesKey);
  duk_get_prop_index(ctx_, -1, handle - 2);
  duk_remove(ctx_, -2);
  duk_remove(ctx_, -2);
  return true;
}

void ScriptEngine::TruncateValues(std::uint32_t count) {
  if (count >= valueCount_) return;
  duk_push_global_stash(ctx_);
  duk_get_prop_string(ctx_, -1, kValuesKey);
  duk_push_uint(ctx_, count);
  duk_put_prop_string(ctx_, -2, "length");
  duk_pop_2(ctx_);
  valueCount_ = count;
}

bool ScriptEngine::ContextActive(ScriptContext context) const {
  for (ScriptContext active : activeContexts_) {
    if (active == context) return true;
  }
  return false;
}

const char16_t* ScriptEngine::KeepText(std::u16string text, std::uint32_t* length) {
  texts_.push_back(std::move(text));
  if (length != nullptr) *length = static_cast<std::uint32_t>(texts_.back().size());
  return texts_.back().c_str();
}

}  // namespace tessel
