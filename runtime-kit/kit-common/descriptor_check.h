#pragma once
// Checks an application descriptor: well-formed XML in a supported namespace, only known
// elements and attributes, required elements present, values valid.
#include <string>
#include <string_view>
#include <vector>

#include "tool_result.h"

namespace zpk {

inline constexpr const char* kDescriptorNamespacePrefix = "http://ns.corvane.example/zaro/application/";

struct IconReference {
  std::string element;  // e.g. "application.icon.image48x48"
  int size = 0;         // N of imageNxN
  std::string path;     // relative path, URL escapes decoded
};

struct DescriptorInfo {
  std::string namespaceVersion;
  std::string id;
  std::string filename;
  std::string version;
  std::string installFolder;  // "/" separators, empty when not given
  std::string content;        // root content, URL escapes decoded
  std::vector<IconReference> icons;  // application icons first, then file type icons
};

// Checks the descriptor text. `displayPath` starts every error line. On failure the
// outcome is exit code 12 with one "PATH: error NNN: detail" line.
Outcome CheckDescriptor(std::string_view xml, const std::string& displayPath, DescriptorInfo& info);

// Decodes %XX escapes; false for a malformed escape.
bool DecodeUrlEscapes(std::string_view text, std::string& decoded);

// A relative path that stays inside its folder: no empty, "." or ".." component, no
// leading "/", no drive letter, no "\" and no control characters.
bool IsSafeRelativePath(std::string_view path);

}  // namespace zpk
