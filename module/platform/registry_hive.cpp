#include "platform/registry_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

// File format (UTF-8, one record a line, "\n" line ends):
//
//   tessel-registry 1
//   key<TAB>Software
//   key<TAB>Software\Corvane
//   sz<TAB>value name<TAB>value text
//   end
//
// Keys are listed by full path, a parent before its subkeys, each in creation order; the
// "sz" lines after a key line are that key's REG_SZ values in creation order. In every
// field the bytes below 0x20, 0x7F and "%" are written as "%" and two hex digits, so a
// line never holds a tab, a line break or any other control character of the text. The
// closing "end" line tells a complete file from a cut-off one.

namespace zaro::platform {

struct HiveNode {
  std::u16string name;
  HiveNode* parent = nullptr;
  std::vector<RegistryValue> values;
  std::vector<std::unique_ptr<HiveNode>> subkeys;
};

namespace {

constexpr std::string_view kHeader = "tessel-registry 1";

char16_t FoldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

HiveNode* FindSubkey(HiveNode& node, std::u16string_view name) {
  for (auto& subkey : node.subkeys) {
    if (SameName(subkey->name, name)) return subkey.get();
  }
  return nullptr;
}

RegistryValue* FindValue(HiveNode& node, std::u16string_view name) {
  for (auto& value : node.values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

// Splits "A\B\C" into its parts; nothing when a part is empty.
std::optional<std::vector<std::u16string>> SplitKeyPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = path.find(u'\\', start);
    const std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (part.empty()) return std::nullopt;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) return parts;
    start = end + 1;
  }
}

// ---- Encoding -------------------------------------------------------------------------

void AppendEscaped(std::string& out, std::u16string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char byte : ToUtf8(text)) {
    const auto b = static_cast<unsigned char>(byte);
    if (b < 0x20 || b == 0x7F || b == '%') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += byte;
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The text of one escaped field; nothing when it holds a raw control character, a broken
// escape or bytes that are not UTF-8.
std::optional<std::u16string> Unescape(std::string_view field) {
  std::string bytes;
  bytes.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    const auto b = static_cast<unsigned char>(field[i]);
    if (b < 0x20 || b == 0x7F) return std::nullopt;
    if (b != '%') {
      bytes += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int high = HexDigit(field[i + 1]);
    const int low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  std::u16string text = FromUtf8(bytes);
  if (ToUtf8(text) != bytes) return std::nullopt;  // not valid UTF-8
  return text;
}

void AppendKey(std::string& out, const HiveNode& node, const std::u16string& path) {
  out += "key\t";
  AppendEscaped(out, path);
  out += '\n';
  for (const auto& value : node.values) {
    out += "sz\t";
    AppendEscaped(out, value.name);
    out += '\t';
    AppendEscaped(out, value.data);
    out += '\n';
  }
  for (const auto& subkey : node.subkeys) AppendKey(out, *subkey, path + u'\\' + subkey->name);
}

std::string Serialize(const HiveNode& root) {
  std::string out(kHeader);
  out += '\n';
  for (const auto& key : root.subkeys) AppendKey(out, *key, key->name);
  out += "end\n";
  return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t end = line.find('\t', start);
    fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

// Parses a whole file into `root`; false when it is not a complete hive file.
bool Parse(std::string_view content, HiveNode& root) {
  if (content.empty()) return true;  // an empty file holds no keys yet
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    const size_t end = content.find('\n');
    if (end == std::string_view::npos) return false;  // cut off inside a line
    lines.push_back(content.substr(0, end));
    content.remove_prefix(end + 1);
  }
  if (lines.size() < 2 || lines.front() != kHeader || lines.back() != "end") return false;
  HiveNode* current = nullptr;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const auto fields = SplitTabs(lines[i]);
    if (fields[0] == "key" && fields.size() == 2) {
      const auto path = Unescape(fields[1]);
      if (!path) return false;
      const auto parts = SplitKeyPath(*path);
      if (!parts) return false;
      HiveNode* parent = &root;
      for (size_t k = 0; k + 1 < parts->size(); ++k) {
        parent = FindSubkey(*parent, (*parts)[k]);
        if (!parent) return false;  // a parent is always listed before its subkeys
      }
      if (FindSubkey(*parent, parts->back())) return false;  // listed twice
      auto node = std::make_unique<HiveNode>();
      node->name = parts->back();
      node->parent = parent;
      current = node.get();
      parent->subkeys.push_back(std::move(node));
    } else if (fields[0] == "sz" && fields.size() == 3) {
      if (!current) return false;
      auto name = Unescape(fields[1]);
      auto data = Unescape(fields[2]);
      if (!name || !data || FindValue(*current, *name)) return false;
      current->values.push_back({std::move(*name), std::move(*data)});
    } else {
      return false;
    }
  }
  return true;
}

// ---- Files ----------------------------------------------------------------------------

std::string FolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// The hive holds the user's paths: a new file is readable by its owner only.
bool ReplaceFile(const std::string& target, std::string_view content) {
  return ReplaceFileAtomically(ToWindowsForm(target), content, 0600);
}

enum class ReadResult { Missing, Read, Failed };

ReadResult ReadWholeFile(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadResult::Failed;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return ReadResult::Read;
}

// Moves an unreadable hive out of the way under a name that is not taken yet.
bool SetAside(const std::string& file) {
  for (int n = 1; n <= 1000; ++n) {
    const std::string target = file + ".corrupt" + (n == 1 ? std::string() : "." + std::to_string(n));
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) continue;
    return ::rename(file.c_str(), target.c_str()) == 0;
  }
  return false;
}

// Temporary files of hive writes that were killed half-way. Every write happens under the
// lock, so while this process holds it no other writer is at work and each one is stale.
void SweepStaleTemporaries(const std::string& file) {
  const std::string folder = FolderOf(file);
  const size_t slash = file.rfind('/');
  const std::string prefix = (slash == std::string::npos ? file : file.substr(slash + 1)) + ".tmp-";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

// ---- The process's view of the hive while keys are open --------------------------------

struct Session {
  std::recursive_mutex mutex;  // held from the first open key to the last close
  int openKeys = 0;
  int lockFd = -1;
  std::string file;
  HiveNode root;
};

Session& TheSession() {
  static Session session;
  return session;
}

void Release(Session& session) {
  if (--session.openKeys == 0) {
    session.root = HiveNode();
    if (session.lockFd >= 0) ::close(session.lockFd);  // also drops the flock
    session.lockFd = -1;
  }
  session.mutex.unlock();
}

// Takes the lock and, for the first open key, loads the file. False (nothing held) when the
// hive cannot be used.
bool Acquire(Session& session) {
  session.mutex.lock();
  if (session.openKeys > 0) {
    ++session.openKeys;
    return true;
  }
  const std::string file = RegistryHiveFile();
  bool ok = !file.empty();
  if (ok) {
    std::error_code error;
    std::filesystem::create_directories(FolderOf(file), error);
    session.lockFd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ok = session.lockFd >= 0;
  }
  while (ok && ::flock(session.lockFd, LOCK_EX) != 0) {
    ok = errno == EINTR;
  }
  if (ok) SweepStaleTemporaries(file);
  if (ok) {
    std::string content;
    switch (ReadWholeFile(file, content)) {
      case ReadResult::Missing:
        break;
      case ReadResult::Failed:
        ok = false;  // never replace a file we could not read
        break;
      case ReadResult::Read:
        if (!Parse(content, session.root)) {
          session.root = HiveNode();
          ok = SetAside(file);
        }
        break;
    }
  }
  if (!ok) {
    session.root = HiveNode();
    if (session.lockFd >= 0) ::close(session.lockFd);
    session.lockFd = -1;
    session.mutex.unlock();
    return false;
  }
  session.file = file;
  session.openKeys = 1;
  return true;
}

bool Save(Session& session) { return ReplaceFile(session.file, Serialize(session.root)); }

}  // namespace

std::string RegistryHiveFile() {
  if (const char* file = std::getenv("TESSEL_REGISTRY_FILE"); file && *file) return file;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else {
    std::string home;
    if (const char* value = std::getenv("HOME"); value && *value) {
      home = value;
    } else if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
      home = entry->pw_dir;
    }
    if (home.empty()) return {};
    config = home + "/.config";
  }
  return config + "/corvane/tessel-11/registry";
}

std::unique_ptr<RegistryKey> RegistryKey::OpenOrCreate(std::u16string_view path) {
  const auto parts = SplitKeyPath(path);
  if (!parts) return nullptr;
  Session& session = TheSession();
  if (!Acquire(session)) return nullptr;
  HiveNode* node = &session.root;
  HiveNode* firstCreatedParent = nullptr;
  for (const auto& part : *parts) {
    if (HiveNode* existing = FindSubkey(*node, part)) {
      node = existing;
      continue;
    }
    if (!firstCreatedParent) firstCreatedParent = node;
    auto created = std::make_unique<HiveNode>();
    created->name = part;
    created->parent = node;
    HiveNode* next = created.get();
    node->subkeys.push_back(std::move(created));
    node = next;
  }
  if (firstCreatedParent && !Save(session)) {
    firstCreatedParent->subkeys.pop_back();  // the new branch was appended last
    Release(session);
    return nullptr;
  }
  return std::unique_ptr<RegistryKey>(new RegistryKey(node));
}

RegistryKey::~RegistryKey() { Release(TheSession()); }

std::optional<std::u16string> RegistryKey::ReadValue(std::u16string_view name) const {
  if (const RegistryValue* value = FindValue(*node_, name)) return value->data;
  return std::nullopt;
}

bool RegistryKey::WriteValue(std::u16string_view name, std::u16string_view data) {
  Session& session = TheSession();
  if (RegistryValue* value = FindValue(*node_, name)) {
    std::u16string previous = std::move(value->data);
    value->data = std::u16string(data);
    if (Save(session)) return true;
    value->data = std::move(previous);
    return false;
  }
  node_->values.push_back({std::u16string(name), std::u16string(data)});
  if (Save(session)) return true;
  node_->values.pop_back();
  return false;
}

std::optional<RegistryValue> RegistryKey::EnumValue(size_t index) const {
  if (index >= node_->values.size()) return std::nullopt;
  return node_->values[index];
}

std::optional<std::u16string> RegistryKey::EnumSubkey(size_t index) const {
  if (index >= node_->subkeys.size()) return std::nullopt;
  return node_->subkeys[index]->name;
}

}  // namespace zaro::platform
