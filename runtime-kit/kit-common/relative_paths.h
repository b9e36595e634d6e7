#pragma once
// Paths inside a package as a descriptor or an argument names them.
#include <string>
#include <string_view>

namespace zpk {

// Decodes %XX escapes; false for a malformed escape.
bool DecodeUrlEscapes(std::string_view text, std::string& decoded);

// A relative path that stays inside its folder: no empty, "." or ".." component, no
// leading "/", no drive letter, no "\" and no control characters.
bool IsSafeRelativePath(std::string_view path);

}  // namespace zpk
