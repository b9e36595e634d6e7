// A stand-in publishing module for the host's own tests. It exercises the callback table:
// each command prints what it got through the table on standard output, one line each,
// prefixed "testmodule:".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/host_abi.h"

namespace {

HostEnvironment g_table{};
std::uint32_t g_tableSize = 0;
ScriptContext g_rememberedContext = 0;  // Remember() keeps the call's context and object
ScriptObject g_rememberedObject = 0;

template <typename Fn>
Fn Entry(int index) {
  return reinterpret_cast<Fn>(g_table.entries[index]);
}

std::string Narrow(const char16_t* text, std::uint32_t length) {
  std::string out;
  for (std::uint32_t i = 0; i < length; ++i) {
    char buffer[12];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(text[i]));
    out += text[i] < 0x80 ? std::string(1, static_cast<char>(text[i])) : std::string(buffer);
  }
  return out;
}

// "<null>" when there is no text, else the text in brackets with its reported length.
std::string Describe(ScriptContext context, ScriptValue value) {
  std::uint32_t length = 0;
  const char16_t* text = Entry<ValueToStringFn>(kValueToStringEntry)(context, value, &length);
  return text == nullptr ? "<null>" : "[" + Narrow(text, length) + "]/" + std::to_string(length);
}

void Line(const std::string& text) {
  std::printf("testmodule: %s\n", text.c_str());
  std::fflush(stdout);
}

std::int32_t Evaluate(ScriptContext context, ScriptObject object, const std::u16string& script, ScriptValue* raw) {
  static constexpr char16_t kSource[] = u".\\TestModule";
  return Entry<ExecuteScriptFn>(kExecuteScriptEntry)(context, object, script.c_str(),
                                                      static_cast<std::uint32_t>(script.size()), kSource, 7, raw);
}

// Echo(a, b): prints the arguments as texts and answers the first one.
std::int32_t Echo(ScriptContext context, ScriptObject, std::uint32_t argc, ScriptValue* argv, ScriptValue* result) {
  std::string line = "Echo argc=" + std::to_string(argc);
  for (std::uint32_t i = 0; i < argc; ++i) line += " " + Describe(context, argv[i]);
  Line(line);
  *result = argv[0];
  return 1;
}

// Evaluate(script): runs the script through ExecuteScript and answers its result.
std::int32_t EvaluateCommand(ScriptContext context, ScriptObject object, std::uint32_t, ScriptValue* argv,
                             ScriptValue* result) {
  std::uint32_t length = 0;
  const char16_t* text = Entry<ValueToStringFn>(kValueToStringEntry)(context, argv[0], &length);
  const std::u16string script = text ? std::u16string(text, length) : std::u16string();
  ScriptValue raw = 0;
  const std::int32_t ran = Evaluate(context, object, script, &raw);
  std::int32_t integer = -99, boolean = -99;
  Entry<ValueToIntegerFn>(kValueToIntegerEntry)(context, raw, &integer);
  Entry<ValueToBooleanFn>(kValueToBooleanEntry)(context, raw, &boolean);
  Line("Evaluate ran=" + std::to_string(ran) + " raw=" + (raw == kNoScriptValue ? "none" : "value") +
       " text=" + Describe(context, raw) + " integer=" + std::to_string(integer) + " boolean=" + std::to_string(boolean));
  *result = raw;
  return 1;
}

std::int32_t Fail(ScriptContext, ScriptObject, std::uint32_t, ScriptValue*, ScriptValue*) {
  Line("Fail");
  return 0;
}

// Remember() keeps the call's context; UseRemembered() evaluates with it in a later call.
std::int32_t Remember(ScriptContext context, ScriptObject object, std::uint32_t, ScriptValue*, ScriptValue*) {
  g_rememberedContext = context;
  g_rememberedObject = object;
  return 1;
}

std::int32_t UseRemembered(ScriptContext, ScriptObject, std::uint32_t, ScriptValue*, ScriptValue*) {
  ScriptValue raw = 0;
  const std::int32_t ran = Evaluate(g_rememberedContext, g_rememberedObject, u"1 + 1", &raw);
  Line("UseRemembered ran=" + std::to_string(ran));
  return 1;
}

// Table(): which entries the host filled, and the size it handed over.
std::int32_t Table(ScriptContext, ScriptObject, std::uint32_t, ScriptValue*, ScriptValue*) {
  std::string filled;
  for (int i = 0; i < kHostEnvironmentEntries; ++i) {
    if (g_table.entries[i] != nullptr) filled += (filled.empty() ? "" : ",") + std::to_string(i);
  }
  Line("Table size=" + std::to_string(g_tableSize) + " filled=" + filled);
  return 1;
}

// Environment(): the answers environment the host set up before loading the module.
std::int32_t Environment(ScriptContext, ScriptObject, std::uint32_t, ScriptValue*, ScriptValue*) {
  const char* answers = std::getenv("TESSEL_ANSWERS");
  const char* log = std::getenv("TESSEL_UI_LOG");
  Line(std::string("Environment answers=") + (answers ? answers : "<unset>") + " log=" + (log ? log : "<unset>"));
  return 1;
}

// LogUi(line): appends a line to the UI log, as the module's scripted user interface does.
std::int32_t LogUi(ScriptContext context, ScriptObject, std::uint32_t, ScriptValue* argv, ScriptValue*) {
  std::uint32_t length = 0;
  const char16_t* text = Entry<ValueToStringFn>(kValueToStringEntry)(context, argv[0], &length);
  const char* log = std::getenv("TESSEL_UI_LOG");
  if (text == nullptr || log == nullptr) return 0;
  std::ofstream(log, std::ios::app) << Narrow(text, length) << "\n";
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void KX_InitWrapper(const HostEntry* table, std::uint32_t size) {
  g_tableSize = size;
  for (int i = 0; i < kHostEnvironmentEntries; ++i) {
    g_table.entries[i] = static_cast<std::uint64_t>(i) * sizeof(HostEntry) < size ? table[i] : nullptr;
  }
  auto define = Entry<DefineCommandFn>(kDefineCommandEntry);
  if (define == nullptr) return;
  struct Definition {
    const char* name;
    CommandHandler handler;
    std::uint32_t argc;
  };
  for (const Definition& d : {Definition{"Echo", Echo, 2}, Definition{"Evaluate", EvaluateCommand, 1},
                              Definition{"Fail", Fail, 0},
                              Definition{"Remember", Remember, 0}, Definition{"UseRemembered", UseRemembered, 0},
                              Definition{"Table", Table, 0},
                              Definition{"Environment", Environment, 0}, Definition{"LogUi", LogUi, 1}}) {
    const std::u16string name(d.name, d.name + std::char_traits<char>::length(d.name));
    const std::int32_t defined = define(g_table.entries[kLibraryObjectEntry], name.c_str(), d.handler, d.argc);
    if (defined == 0) Line(std::string("could not define ") + d.name);
  }
  // A definition against another library object must be refused.
  int other = 0;
  if (define(&other, u"Refused", Fail, 0) != 0) Line("DefineCommand accepted a foreign library object");
}
