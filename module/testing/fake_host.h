#pragma once
// A small stand-in for the host's callback table in unit tests: it records every snippet,
// answers the document-data snippets from a map and everything else from canned answers.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "host/host_table.h"

namespace zaro::testing {

class FakeHost {
 public:
  FakeHost() {
    instance_ = this;
    table_.entries[kLibraryObjectEntry] = this;
    table_.entries[kDefineCommandEntry] = reinterpret_cast<void*>(&Define);
    table_.entries[kValueToIntegerEntry] = reinterpret_cast<void*>(&ToInteger);
    table_.entries[kValueToBooleanEntry] = reinterpret_cast<void*>(&ToBoolean);
    table_.entries[kValueToStringEntry] = reinterpret_cast<void*>(&ToString);
    table_.entries[kExecuteScriptEntry] = reinterpret_cast<void*>(&Execute);
  }
  ~FakeHost() {
    instance_ = nullptr;
    CopyHostTable(nullptr, 0);
  }
  void Install(std::uint32_t size = sizeof(HostEnvironment)) { CopyHostTable(table_.entries, size); }
  HostEnvironment& Table() { return table_; }

  // A host value for a text argument; nothing gives the "no value" word.
  ScriptValue Value(std::optional<std::u16string> text) {
    if (!text) return kNoScriptValue;
    values_.push_back(*text);
    return static_cast<ScriptValue>(values_.size() + 1);
  }

  std::map<std::u16string, std::u16string> data;          // document data
  std::map<std::u16string, std::optional<std::u16string>> answers;  // snippet -> result text
  std::vector<std::u16string> scripts;                     // every evaluated snippet
  std::vector<std::pair<std::u16string, std::uint32_t>> defined;
  std::u16string failDefine;                               // a command whose definition fails

 private:
  static inline FakeHost* instance_ = nullptr;
  static std::int32_t Define(void* self, const char16_t* name, CommandHandler, std::uint32_t argc) {
    auto* host = static_cast<FakeHost*>(self);
    if (host->failDefine == name) return 0;
    host->defined.emplace_back(name, argc);
    return 1;
  }
  static std::int32_t ToInteger(ScriptContext, ScriptValue value, std::int32_t* out) {
    const auto* text = instance_->Text(value);
    if (text) *out = std::stoi(std::string(text->begin(), text->end()));
    return 1;
  }
  static std::int32_t ToBoolean(ScriptContext, ScriptValue value, std::int32_t* out) {
    const auto* text = instance_->Text(value);
    *out = text && *text == u"true" ? 1 : 0;
    return 1;
  }
  static const char16_t* ToString(ScriptContext, ScriptValue value, std::uint32_t* length) {
    const auto* text = instance_->Text(value);
    if (!text) return nullptr;
    *length = static_cast<std::uint32_t>(text->size());
    return text->c_str();
  }
  static std::int32_t Execute(ScriptContext, ScriptObject, const char16_t* script, std::uint32_t length,
                              const char16_t*, std::int32_t, ScriptValue* result) {
    FakeHost& host = *instance_;
    const std::u16string text(script, length);
    host.scripts.push_back(text);
    return host.Run(text, *result) ? 1 : 0;
  }

  const std::u16string* Text(ScriptValue value) const {
    if (value < 2 || value - 2 >= values_.size()) return nullptr;
    return &values_[value - 2];
  }

  // Reads the double-quoted string literals of a snippet, undoing the escapes.
  static std::optional<std::vector<std::u16string>> Literals(const std::u16string& text) {
    std::vector<std::u16string> literals;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != u'"') continue;
      std::u16string literal;
      for (++i; i < text.size() && text[i] != u'"'; ++i) {
        if (text[i] == u'\n') return std::nullopt;  // a raw line break ends the script line
        if (text[i] != u'\\') {
          literal += text[i];
          continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
          case u'n': literal += u'\n'; break;
          case u'r': literal += u'\r'; break;
          case u't': literal += u'\t'; break;
          case u'u': literal += static_cast<char16_t>(std::stoi(std::string(text.begin() + i + 1, text.begin() + i + 5), nullptr, 16)); i += 4; break;
          default: literal += text[i];
        }
      }
      if (i >= text.size()) return std::nullopt;
      literals.push_back(literal);
    }
    return literals;
  }

  bool Run(const std::u16string& text, ScriptValue& result) {
    result = kNoScriptValue;
    if (const auto canned = answers.find(text); canned != answers.end()) {
      result = Value(canned->second);
      return true;
    }
    const auto literals = Literals(text);
    if (!literals) return false;  // a snippet whose quoted arguments do not parse does not run
    auto has = [&](std::u16string_view call) { return text.find(call) != std::u16string::npos; };
    if (has(u".getDataFromDocument(") && literals->size() == 1) {
      const auto found = data.find((*literals)[0]);
      if (found != data.end()) result = Value(found->second);
      return true;
    }
    if (has(u".addDataToDocument(") && literals->size() == 3) {
      data[(*literals)[0]] = (*literals)[2];
      return true;
    }
    if (has(u".removeDataFromDocument(") && literals->size() == 1) {
      data.erase((*literals)[0]);
      return true;
    }
    return true;
  }

  HostEnvironment table_{};
  std::vector<std::u16string> values_;
};

}  // namespace zaro::testing
