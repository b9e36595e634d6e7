#pragma once
// Turning the host's URLs into Windows-form paths, taking them apart and converting
// between the stored, shown and descriptor forms of a path.
#include <string>
#include <string_view>

namespace zaro {

// "file:///C|/My%20Movies/a.qmv" -> "C:\My Movies\a.qmv".
std::u16string UrlToFilePath(std::u16string_view url);
// Up to and including the last "\"; the whole path when it holds none.
std::u16string GetDirectoryPart(std::u16string_view path);
// Between the last "\" and the last "." after it; the whole path when either is missing
// or nothing lies between them.
std::u16string GetBaseName(std::u16string_view path);
void ReplaceBackslashes(std::u16string& path, char16_t replacement);
// Stored form ("/") and shown form ("\\") of a path: plain character replacements.
std::u16string WithSlashes(std::u16string path);
std::u16string WithBackslashes(std::u16string path);
// Descriptor form of a relative path: every blank as "%20", and back.
std::u16string BlanksEscaped(std::u16string_view path);
std::u16string BlanksUnescaped(std::u16string_view path);
// `path` made relative to `folder` when it contains `folder` (the folder's length of
// leading characters dropped, as the pages do); otherwise `path` as it is. An empty folder
// leaves the path whole.
std::u16string RelativeToFolder(std::u16string_view path, std::u16string_view folder);

}  // namespace zaro
