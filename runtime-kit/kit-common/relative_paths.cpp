#include "relative_paths.h"

namespace zpk {

bool DecodeUrlEscapes(std::string_view text, std::string& decoded) {
  decoded.clear();
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    decoded += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  if (path.size() >= 2 && path[1] == ':') return false;  // drive letter
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7f || c == '\\') return false;
  size_t start = 0;
  while (true) {
    size_t slash = path.find('/', start);
    std::string_view part = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

}  // namespace zpk
