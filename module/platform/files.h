#pragma once
// Files and folders. Callers pass Windows-form text ("\" separators) or "/"-form text;
// every "\" is mapped to "/" at this boundary and nowhere else.
#include <optional>
#include <string>
#include <string_view>

namespace zaro::platform {

// The POSIX path (UTF-8) for a Windows-form or "/"-form path text.
std::string ToPosixPath(std::u16string_view path);
// The Windows-form text ("\" separators) for a POSIX path.
std::u16string ToWindowsForm(std::string_view posixPath);

bool PathExists(std::u16string_view path);   // a file or a folder
bool FileExists(std::u16string_view path);   // a regular file (or a link to one)
bool FolderExists(std::u16string_view path);

// Copies a file, replacing the target atomically; false when either side fails.
bool CopyFileOverwrite(std::u16string_view from, std::u16string_view to);
// Creates one folder; true when it exists afterwards.
bool CreateFolder(std::u16string_view path);
bool DeleteFileAt(std::u16string_view path);

std::optional<std::string> ReadFileBytes(std::u16string_view path);
// Writes the whole content to a temporary file beside the target, flushes it to disk and
// renames it over the target, then flushes the folder so the rename itself is durable. On
// any failure the target is left as it was. A new file gets `newFileMode` (less the umask);
// an existing one keeps its permission bits.
bool ReplaceFileAtomically(std::u16string_view path, std::string_view content, unsigned newFileMode = 0666);

// A relative path made full against the current folder, Windows form; a full path, or
// one the current folder cannot be found for, comes back as it was given.
std::u16string FullPath(std::u16string_view path);

// Full path of the running program, Windows form (the host's program file).
std::u16string ExecutablePath();
// The machine's common application data folder, Windows form, without a trailing "\":
// TESSEL_COMMON_APPDATA when set, else "ProgramData" beside the program's folder.
std::optional<std::u16string> CommonAppDataFolder();

}  // namespace zaro::platform
