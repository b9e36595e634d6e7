#include "host/script_bridge.h"

#include <cstdio>
#include <source_location>

#include "host/command_paths.h"
#include "host/host_table.h"
#include "platform/text.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

struct RememberedPair {
  ScriptContext context = 0;
  ScriptObject object = 0;
};

RememberedPair& Remembered() {
  static RememberedPair pair;
  return pair;
}

constexpr std::u16string_view kDom = u"tx.getDocumentDOM().";

std::u16string CopyText(const HostText& text) {
  if (text.text == nullptr) return {};
  if (text.length > 0) return std::u16string(text.text, text.length);
  return std::u16string(text.text);
}

// Evaluates a snippet; the caller's line identifies the call site for the host's reports.
SnippetResult Evaluate(ScriptContext context, ScriptObject object, std::u16string_view snippet, bool wantText,
                       std::source_location where = std::source_location::current()) {
  SnippetResult result;
  result.ran = HostExecuteScript(context, object, snippet, static_cast<std::int32_t>(where.line()), result.raw);
  if (wantText) {
    const HostText text = HostValueToString(context, result.raw);
    result.hasText = text.text != nullptr;
    result.reportedLength = text.length;
    result.text = CopyText(text);
  }
  return result;
}

std::u16string GetDataSnippet(std::u16string_view key) {
  return std::u16string(kDom) + u"getDataFromDocument(\"" + EscapeScriptString(key) + u"\");";
}

std::u16string ExportSnippet(std::u16string_view movieUrl) {
  return std::u16string(kDom) + u"exportQMV(\"" + EscapeScriptString(movieUrl) + u"\", \"true\");";
}

// A text that is there, not empty and not exactly "0".
bool LoadableText(const SnippetResult& result) {
  return result.hasText && !result.text.empty() && result.text[0] != u'\0' && result.text != u"0";
}

void ApplyTarget(ScriptContext context, ScriptObject object, std::u16string_view snippet,
                 std::u16string_view iphoneValue) {
  const SnippetResult result = Evaluate(context, object, snippet, true);
  if (result.reportedLength > 0 && result.text == iphoneValue) {
    SetSetting(keys::kPubIpa, u"true");
    return;
  }
  SetSetting(keys::kPubIpa, u"false");
  SetSetting(keys::kPubZaro, u"true");
}

}  // namespace

std::u16string EscapeScriptString(std::u16string_view value) {
  std::u16string escaped;
  escaped.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'\\': escaped += u"\\\\"; break;
      case u'"': escaped += u"\\\""; break;
      case u'\n': escaped += u"\\n"; break;
      case u'\r': escaped += u"\\r"; break;
      case u'\t': escaped += u"\\t"; break;
      default:
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
          escaped += FromUtf8(buffer);
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

void RememberScriptContext(ScriptContext context, ScriptObject object) { Remembered() = {context, object}; }
ScriptContext RememberedContext() { return Remembered().context; }
ScriptObject RememberedObject() { return Remembered().object; }

SnippetResult EvaluateSnippet(ScriptContext context, ScriptObject object, std::u16string_view snippet,
                              bool wantText) {
  return Evaluate(context, object, snippet, wantText);
}

bool IsScriptVersion3(ScriptContext context, ScriptObject object) {
  const SnippetResult result = Evaluate(context, object, u"tx.getDocumentDOM().asVersion", true);
  return result.hasText && result.text == u"3";
}

bool DocumentPathChanged(ScriptContext context, ScriptObject object) {
  const SnippetResult path = Evaluate(context, object, u"tx.getDocumentDOM().path;", true);
  if (!path.Present()) return false;  // a document never saved counts as unchanged
  const SnippetResult stored = Evaluate(context, object, GetDataSnippet(keys::kDocumentPath), true);
  if (!stored.Present()) return true;
  std::u16string current = path.text;
  for (char16_t& c : current) {
    if (c == u'\\') c = u'/';
  }
  return stored.text != current;
}

bool MovieFolderUnset(ScriptContext context, ScriptObject object) {
  return !Evaluate(context, object, GetDataSnippet(keys::kMovieFolder), true).Present();
}

ExportResult ExportMovie(ScriptContext context, ScriptObject object, std::u16string_view movieUrl) {
  const SnippetResult result = Evaluate(context, object, ExportSnippet(movieUrl), false);
  return {result.ran, result.raw};
}

bool ExportCurrentMovie() {
  const SnippetResult result =
      Evaluate(RememberedContext(), RememberedObject(), ExportSnippet(CurrentCommandPaths().movieUrl), false);
  std::int32_t exported = 0;
  if (result.ran == 1) HostValueToBoolean(RememberedContext(), result.raw, exported);
  return result.ran == 1 && exported == 1;
}

bool IsDebugForMovie() {
  const SnippetResult result =
      Evaluate(RememberedContext(), RememberedObject(), u"tx.getDocumentDOM().getDebugForQmv();", false);
  std::int32_t debug = 0;
  if (result.ran == 1) HostValueToBoolean(RememberedContext(), result.raw, debug);
  return result.ran == 1 && debug == 1;
}

void SetDebugForMovie(bool debug) {
  const std::u16string snippet =
      std::u16string(kDom) + u"setDebugForQmv(" + (debug ? u"true" : u"false") + u",false);";
  Evaluate(RememberedContext(), RememberedObject(), snippet, false);
}

void ReadDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key, std::u16string& out) {
  if (key.empty()) return;
  const SnippetResult result = Evaluate(context, object, GetDataSnippet(key), true);
  if (result.Present()) out = result.text;
}

void LoadDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key) {
  if (key.empty()) return;
  const SnippetResult result = Evaluate(context, object, GetDataSnippet(key), true);
  if (LoadableText(result)) SetSetting(key, result.text);
}

void StoreDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key) {
  if (key.empty()) return;
  const std::u16string value = GetSetting(key);
  if (value.empty()) {
    RemoveDocumentValue(context, object, key);
    return;
  }
  const std::u16string snippet = std::u16string(kDom) + u"addDataToDocument(\"" + EscapeScriptString(key) +
                                 u"\", \"string\", \"" + EscapeScriptString(value) + u"\");";
  Evaluate(context, object, snippet, false);
}

void RemoveDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key) {
  if (key.empty()) return;
  Evaluate(context, object,
           std::u16string(kDom) + u"removeDataFromDocument(\"" + EscapeScriptString(key) + u"\");", false);
}

void RemoveDocumentIncludedItems(ScriptContext context, ScriptObject object) {
  const SnippetResult result = Evaluate(context, object, GetDataSnippet(keys::kIncludedCount), true);
  if (!LoadableText(result)) return;
  const long count = IncludedItemCount(result.text);
  for (long i = 0; i < count; ++i) RemoveDocumentValue(context, object, IncludedItemKey(i));
}

void ApplyPlayerTarget(ScriptContext context, ScriptObject object) {
  ApplyTarget(context, object, u"tx.getDocumentDOM().playerTarget;", u"iPhone OS");
}

void ApplyOutputType(ScriptContext context, ScriptObject object) {
  ApplyTarget(context, object, GetDataSnippet(keys::kOutputType), u"ipa");
}

std::int32_t EvaluateForInteger(ScriptContext context, ScriptObject object, std::u16string_view snippet) {
  const SnippetResult result = Evaluate(context, object, snippet, false);
  std::int32_t value = 0;
  if (result.ran == 1) HostValueToInteger(context, result.raw, value);
  return value;
}

}  // namespace zaro
