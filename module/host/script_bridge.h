#pragma once
// Everything the module learns from or tells the open document goes through short host
// script snippets evaluated with the host's ExecuteScript callback.
#include <string>
#include <string_view>

#include "host/host_abi.h"

namespace zaro {

struct SnippetResult {
  std::int32_t ran = 0;               // 1 when the host ran the snippet
  ScriptValue raw = kNoScriptValue;   // the raw result word
  bool hasText = false;               // ValueToString gave a text
  std::u16string text;
  std::uint32_t reportedLength = 0;
  // A text that is non-null, non-empty by the reported length, and not the raw word 1.
  bool Present() const { return hasText && reportedLength > 0 && raw != kNoScriptValue; }
};

// Escapes a value for splicing between the double quotes of a script string literal.
std::u16string EscapeScriptString(std::u16string_view value);

void RememberScriptContext(ScriptContext context, ScriptObject object);
ScriptContext RememberedContext();
ScriptObject RememberedObject();

SnippetResult EvaluateSnippet(ScriptContext context, ScriptObject object, std::u16string_view snippet,
                              bool wantText = true);

bool IsScriptVersion3(ScriptContext context, ScriptObject object);
bool DocumentPathChanged(ScriptContext context, ScriptObject object);
bool MovieFolderUnset(ScriptContext context, ScriptObject object);
struct ExportResult {
  std::int32_t ran = 0;
  ScriptValue raw = kNoScriptValue;
};
ExportResult ExportMovie(ScriptContext context, ScriptObject object, std::u16string_view movieUrl);
// These three use the remembered context; ExportCurrentMovie exports the command's movie.
bool ExportCurrentMovie();
bool IsDebugForMovie();
void SetDebugForMovie(bool debug);

void ReadDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key, std::u16string& out);
void LoadDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key);
void StoreDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key);
void RemoveDocumentValue(ScriptContext context, ScriptObject object, std::u16string_view key);
void RemoveDocumentIncludedItems(ScriptContext context, ScriptObject object);
void ApplyPlayerTarget(ScriptContext context, ScriptObject object);
void ApplyOutputType(ScriptContext context, ScriptObject object);

// Evaluates a snippet with the given context and reads its result as an integer (0 when
// it did not run). Used by the host debugging run.
std::int32_t EvaluateForInteger(ScriptContext context, ScriptObject object, std::u16string_view snippet);

}  // namespace zaro
