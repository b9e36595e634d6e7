#include "host/host_table.h"

#include <string>

namespace zaro {
namespace {

HostEnvironment& Table() {
  static HostEnvironment table{};  // all null until the host hands its table over
  return table;
}

template <typename Fn>
Fn Entry(int index) {
  return reinterpret_cast<Fn>(Table().entries[index]);
}

}  // namespace

void CopyHostTable(const HostEntry* table, std::uint32_t sizeInBytes) {
  HostEnvironment& own = Table();
  int copied = 0;
  if (table != nullptr) {
    // The test is made at the start of each entry, so a size that ends inside an entry
    // still copies that whole entry.
    while (copied < kHostEnvironmentEntries &&
           static_cast<std::uint64_t>(copied) * sizeof(HostEntry) < sizeInBytes) {
      own.entries[copied] = table[copied];
      ++copied;
    }
  }
  for (int i = copied; i < kHostEnvironmentEntries; ++i) own.entries[i] = nullptr;
}

const HostEnvironment& HostTable() { return Table(); }

std::int32_t HostDefineCommand(std::u16string_view name, CommandHandler handler, std::uint32_t argc) {
  auto define = Entry<DefineCommandFn>(kDefineCommandEntry);
  if (define == nullptr) return 0;
  const std::u16string terminated(name);
  return define(Table().entries[kLibraryObjectEntry], terminated.c_str(), handler, argc);
}

HostText HostValueToString(ScriptContext context, ScriptValue value) {
  HostText result;
  if (auto convert = Entry<ValueToStringFn>(kValueToStringEntry)) {
    result.text = convert(context, value, &result.length);
    if (result.text == nullptr) result.length = 0;
  }
  return result;
}

void HostValueToInteger(ScriptContext context, ScriptValue value, std::int32_t& out) {
  if (auto convert = Entry<ValueToIntegerFn>(kValueToIntegerEntry)) convert(context, value, &out);
}

void HostValueToBoolean(ScriptContext context, ScriptValue value, std::int32_t& out) {
  if (auto convert = Entry<ValueToBooleanFn>(kValueToBooleanEntry)) convert(context, value, &out);
}

std::int32_t HostExecuteScript(ScriptContext context, ScriptObject object, std::u16string_view script,
                               std::int32_t line, ScriptValue& result) {
  auto execute = Entry<ExecuteScriptFn>(kExecuteScriptEntry);
  if (execute == nullptr) return 0;
  const std::u16string terminated(script);
  static constexpr char16_t kSourceName[] = u".\\QuessaJSExtension";
  return execute(context, object, terminated.c_str(), static_cast<std::uint32_t>(terminated.size()), kSourceName,
                 line, &result);
}

}  // namespace zaro
