#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/text.h"

namespace zaro::platform {
namespace {

bool StatPath(std::u16string_view path, struct stat& info) {
  if (path.empty()) return false;
  return ::stat(ToPosixPath(path).c_str(), &info) == 0;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string TemporaryNameBeside(const std::string& target) {
  static std::mt19937_64 generator{std::random_device{}()};
  std::ostringstream name;
  name << target << ".tmp-" << ::getpid() << '-' << std::hex << generator();
  return name.str();
}

}  // namespace

std::string ToPosixPath(std::u16string_view path) {
  std::u16string mapped(path);
  for (char16_t& c : mapped) {
    if (c == u'\\') c = u'/';
  }
  return ToUtf8(mapped);
}

std::u16string ToWindowsForm(std::string_view posixPath) {
  std::u16string text = FromUtf8(posixPath);
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

bool PathExists(std::u16string_view path) {
  struct stat info {};
  return StatPath(path, info);
}

bool FileExists(std::u16string_view path) {
  struct stat info {};
  return StatPath(path, info) && S_ISREG(info.st_mode);
}

bool FolderExists(std::u16string_view path) {
  struct stat info {};
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool CopyFileOverwrite(std::u16string_view from, std::u16string_view to) {
  if (!FileExists(from)) return false;
  const auto content = ReadFileBytes(from);
  return content && ReplaceFileAtomically(to, *content);
}

bool CreateFolder(std::u16string_view path) {
  if (path.empty()) return false;
  const std::string posix = ToPosixPath(path);
  if (::mkdir(posix.c_str(), 0777) == 0) return true;
  return FolderExists(path);
}

bool DeleteFileAt(std::u16string_view path) {
  return !path.empty() && ::unlink(ToPosixPath(path).c_str()) == 0;
}

std::optional<std::string> ReadFileBytes(std::u16string_view path) {
  if (!FileExists(path)) return std::nullopt;
  std::ifstream in(ToPosixPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

bool ReplaceFileAtomically(std::u16string_view path, std::string_view content, unsigned newFileMode) {
  if (path.empty()) return false;
  const std::string target = ToPosixPath(path);
  const std::string temporary = TemporaryNameBeside(target);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
  // A file that already exists keeps its permission bits.
  struct stat old {};
  if (ok && ::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

std::u16string FullPath(std::u16string_view path) {
  const std::filesystem::path posix = ToPosixPath(path);
  if (posix.empty() || posix.is_absolute()) return std::u16string(path);
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(posix, error);
  if (error) return std::u16string(path);
  return ToWindowsForm(full.string());
}

std::u16string ExecutablePath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return ToWindowsForm(path.string());
}

std::optional<std::u16string> CommonAppDataFolder() {
  if (const char* overridden = std::getenv("TESSEL_COMMON_APPDATA"); overridden && *overridden) {
    std::string folder = overridden;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return ToWindowsForm(folder);
  }
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  const auto folder = program.parent_path().parent_path() / "ProgramData";
  return ToWindowsForm(folder.lexically_normal().string());
}

}  // namespace zaro::platform
