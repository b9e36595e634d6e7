#pragma once
// Checks an application descriptor: well-formed XML in a supported namespace, only known
// elements and attributes, required elements present, values valid.
#include <string>
#include <string_view>
#include <vector>

#include "relative_paths.h"
#include "tool_result.h"

namespace zpk {

inline constexpr const char* kDescriptorNamespacePrefix = "http://ns.corvane.example/zaro/application/";

struct IconReference {
  std::string element;  // e.g. "application.icon.image48x48"
  int size = 0;         // N of imageNxN
  std::string path;     // relative path, URL escapes decoded
};

// One file type association as the installer registers it with the desktop.
struct FileTypeInfo {
  std::string name;
  std::string extension;
  std::string description;
  std::string contentType;
  std::vector<IconReference> icons;  // in document order
};

struct DescriptorInfo {
  std::string namespaceVersion;
  std::string id;
  std::string filename;
  std::string version;
  std::string installFolder;  // "/" separators, empty when not given
  std::string content;        // root content, URL escapes decoded
  std::string name;            // the application name (the first text of a localised one)
  std::vector<IconReference> icons;  // application icons first, then file type icons
  std::vector<FileTypeInfo> fileTypes;
};

// Checks the descriptor text. `displayPath` starts every error line. On failure the
// outcome is exit code 12 with one "PATH: error NNN: detail" line.
Outcome CheckDescriptor(std::string_view xml, const std::string& displayPath, DescriptorInfo& info);

}  // namespace zpk
