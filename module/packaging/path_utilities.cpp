#include "packaging/path_utilities.h"

#include <algorithm>
#include <array>

#include "platform/text.h"

namespace zaro {

std::u16string UrlToFilePath(std::u16string_view url) {
  static constexpr std::array<std::u16string_view, 3> kSchemes = {u"http://", u"file:///", u"file://localhost/"};
  size_t skip = 0;
  bool matched = false;
  for (std::u16string_view scheme : kSchemes) {
    if (StartsWithNoCase(url, scheme)) {
      skip = scheme.size();
      matched = true;
      break;
    }
  }
  // "file:C:/a" loses its scheme; "file:/C:/a" is converted whole.
  if (!matched && StartsWithNoCase(url, u"file:") && (url.size() <= 5 || url[5] != u'/')) skip = 5;

  std::u16string path;
  path.reserve(url.size());
  for (size_t i = skip; i < url.size(); ++i) {
    const char16_t c = url[i];
    if (c == u'%') {
      if (i + 2 < url.size() && url[i + 1] == u'2' && url[i + 2] == u'0') {
        path += u' ';
        i += 2;
      }
      continue;  // any other escape loses its "%" and keeps the characters after it
    }
    path += c == u'/' ? u'\\' : c == u'|' ? u':' : c;
  }
  return path;
}

std::u16string GetDirectoryPart(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(0, slash + 1));
}

std::u16string GetBaseName(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  const size_t dot = path.rfind(u'.');
  if (slash == std::u16string_view::npos || dot == std::u16string_view::npos || dot <= slash + 1) {
    return std::u16string(path);
  }
  return std::u16string(path.substr(slash + 1, dot - slash - 1));
}

void ReplaceBackslashes(std::u16string& path, char16_t replacement) {
  for (char16_t& c : path) {
    if (c == u'\\') c = replacement;
  }
}

std::u16string WithSlashes(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return path;
}

std::u16string WithBackslashes(std::u16string path) {
  std::replace(path.begin(), path.end(), u'/', u'\\');
  return path;
}

std::u16string BlanksEscaped(std::u16string_view path) { return ReplaceAll(std::u16string(path), u" ", u"%20"); }

std::u16string BlanksUnescaped(std::u16string_view path) { return ReplaceAll(std::u16string(path), u"%20", u" "); }

std::u16string FileNamePart(std::u16string_view path) {
  const size_t separator = path.find_last_of(u"\\/");
  return std::u16string(separator == std::u16string_view::npos ? path : path.substr(separator + 1));
}

bool IsInsideFolder(std::u16string_view path, std::u16string_view folder) {
  return !folder.empty() && path.substr(0, folder.size()) == folder;
}

std::u16string RelativeToFolder(std::u16string_view path, std::u16string_view folder) {
  if (!IsInsideFolder(path, folder)) return std::u16string(path);
  return std::u16string(path.substr(folder.size()));
}

}  // namespace zaro
