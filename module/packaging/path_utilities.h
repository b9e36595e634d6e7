#pragma once
// Turning the host's URLs into Windows-form paths and taking them apart.
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

}  // namespace zaro
