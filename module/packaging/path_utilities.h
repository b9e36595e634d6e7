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
// The file name at the end of a path ("\" or "/" separators); the whole text without one.
std::u16string FileNamePart(std::u16string_view path);
// A path lies inside a folder (given with its trailing separator) when it starts with it; a
// path that holds the folder's text further along (a copy of the tree elsewhere) does not.
bool IsInsideFolder(std::u16string_view path, std::u16string_view folder);
// `path` relative to `folder` when it lies inside it; otherwise `path` as it is.
std::u16string RelativeToFolder(std::u16string_view path, std::u16string_view folder);

}  // namespace zaro
