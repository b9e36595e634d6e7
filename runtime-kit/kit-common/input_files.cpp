#include "input_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "xml_text.h"

namespace zpk {

namespace {

// Names are copied into the signature files, which are XML: a name XML 1.0 cannot hold
// (or that is no UTF-8) cannot be stored. Empty when it can.
std::string CharacterRefusal(const std::string& name) {
  const std::optional<char32_t> bad = FirstNonXml10Char(name);
  if (!bad) return {};
  return " (it contains the character " + CodePointName(*bad) + ", which XML 1.0 cannot hold)";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string Reason(int error) { return std::strerror(error); }

class Collector {
 public:
  Collector(std::vector<PackageEntry>& entries, struct stat* output) : entries_(entries), output_(output) {}

  Outcome Add(const std::string& name, const std::string& source, const struct stat& st) {
    if (output_ != nullptr && st.st_dev == output_->st_dev && st.st_ino == output_->st_ino)
      return Outcome::Ok();  // an earlier package inside a packaged folder
    static const std::set<std::string> reserved = {kMimetypeEntry, kDescriptorEntry, kSignaturesEntry};
    if (reserved.count(name) != 0) return UsageError(name + ": this entry name is reserved for the package itself");
    auto found = byName_.find(name);
    if (found != byName_.end()) {
      const PackageEntry& earlier = entries_[found->second];
      if (earlier.device == static_cast<std::uint64_t>(st.st_dev) && earlier.inode == static_cast<std::uint64_t>(st.st_ino))
        return Outcome::Ok();  // the same file named twice
      return UsageError(name + ": given twice, from " + earlier.source + " and " + source);
    }
    PackageEntry entry;
    entry.name = name;
    entry.source = source;
    entry.directory = S_ISDIR(st.st_mode);
    entry.mode = st.st_mode & 0777;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    entry.stated = true;
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.mtime = st.st_mtime;
    byName_[name] = entries_.size();
    entries_.push_back(entry);
    return Outcome::Ok();
  }

  Outcome AddPath(const std::string& name, const std::string& source, const std::string& given) {
    // One look at each file; only a name that cannot be followed is looked at again, to
    // tell a missing file from a link that leads nowhere.
    struct stat st {};
    if (stat(source.c_str(), &st) != 0) {
      const int error = errno;
      struct stat link {};
      if (lstat(source.c_str(), &link) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return NoSuchFile(given);
        return Fail(kExitDescriptor, source + ": error 300: the file cannot be read (" + Reason(errno) + ")\n");
      }
      return Fail(kExitDescriptor, source + ": error 300: the file cannot be read (" + Reason(error) + ")\n");
    }
    if (S_ISDIR(st.st_mode)) return AddFolder(name, source, st);
    if (!S_ISREG(st.st_mode))
      return Fail(kExitDescriptor, source + ": error 300: not a regular file\n");
    if (faccessat(AT_FDCWD, source.c_str(), R_OK, AT_EACCESS) != 0)
      return Fail(kExitDescriptor, source + ": error 300: the file cannot be read (" + Reason(errno) + ")\n");
    return Add(name, source, st);
  }

 private:
  Outcome AddFolder(const std::string& name, const std::string& source, const struct stat& st) {
    // Links to folders are followed; a folder met again on the same branch would loop.
    auto key = std::make_pair(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
    if (!branch_.insert(key).second)
      return Fail(kExitDescriptor, source + ": error 300: the folder contains itself through a link\n");
    DIR* dir = opendir(source.c_str());
    if (dir == nullptr) {
      branch_.erase(key);
      return Fail(kExitDescriptor, source + ": error 300: the folder cannot be read (" + Reason(errno) + ")\n");
    }
    std::vector<std::string> children;
    while (dirent* item = readdir(dir)) {
      std::string child = item->d_name;
      if (child != "." && child != "..") children.push_back(child);
    }
    closedir(dir);
    std::sort(children.begin(), children.end());
    Outcome result = Outcome::Ok();
    if (children.empty()) {
      result = Add(name + "/", source, st);
    }
    for (const std::string& child : children) {
      std::string childName = name + "/" + child;
      std::string normalized;
      if (!NormalizeEntryName(childName, normalized)) {
        result = UsageError(JoinPath(source, child) + ": this file name cannot be stored in a package" +
                            CharacterRefusal(child));
        break;
      }
      result = AddPath(normalized, JoinPath(source, child), childName);
      if (!result.ok()) break;
    }
    branch_.erase(key);
    return result;
  }

  std::vector<PackageEntry>& entries_;
  struct stat* output_;
  std::map<std::string, size_t> byName_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> branch_;
};

bool ReadPrefix(const std::string& path, unsigned char* buffer, size_t size, size_t& got, int& error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  got = 0;
  while (got < size) {
    ssize_t n = read(fd, buffer + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return true;
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

bool NormalizeEntryName(const std::string& given, std::string& name) {
  name.clear();
  if (given.empty() || given.front() == '/' || FirstNonXml10Char(given)) return false;
  if (given.size() >= 2 && given[1] == ':') return false;
  size_t start = 0;
  while (start <= given.size()) {
    size_t slash = given.find('/', start);
    std::string part = given.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      if (!name.empty()) name += '/';
      name += part;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return !name.empty() && IsSafeRelativePath(name);
}

Outcome CollectEntries(const std::vector<FileSet>& sets, const std::string& outputPath,
                       std::vector<PackageEntry>& entries) {
  entries.clear();
  struct stat output {};
  bool haveOutput = stat(outputPath.c_str(), &output) == 0;
  Collector collector(entries, haveOutput ? &output : nullptr);
  for (const FileSet& set : sets) {
    for (const std::string& given : set.names) {
      std::string name;
      if (!CharacterRefusal(given).empty()) return UsageError(given + ": refused" + CharacterRefusal(given));
      if (!NormalizeEntryName(given, name))
        return UsageError(given + ": refused, a package entry must stay inside the folder given with -C");
      Outcome added = collector.AddPath(name, JoinPath(set.folder, name), given);
      if (!added.ok()) return added;
    }
  }
  return Outcome::Ok();
}

Outcome CheckReferencedFiles(const DescriptorInfo& info, const std::vector<PackageEntry>& entries,
                             const std::string& descriptorPath) {
  auto findFile = [&](const std::string& name) -> const PackageEntry* {
    for (const PackageEntry& e : entries)
      if (!e.directory && e.name == name) return &e;
    return nullptr;
  };
  auto isFolder = [&](const std::string& name) {
    for (const PackageEntry& e : entries)
      if (e.name.compare(0, name.size() + 1, name + "/") == 0) return true;
    return false;
  };

  const PackageEntry* movie = findFile(info.content);
  if (movie == nullptr)
    return DescriptorError(descriptorPath, 302, "the root content " + info.content + " is not among the packaged files");
  unsigned char head[24];
  size_t got = 0;
  int error = 0;
  if (!ReadPrefix(movie->source, head, 3, got, error))
    return DescriptorError(movie->source, 300, "the file cannot be read (" + Reason(error) + ")");
  if (got < 3 || std::memcmp(head, "QMV", 3) != 0)
    return DescriptorError(movie->source, 304, info.content + " is not a QMV movie (it does not start with QMV)");

  for (const IconReference& icon : info.icons) {
    const PackageEntry* file = findFile(icon.path);
    if (file == nullptr) {
      if (isFolder(icon.path))
        return DescriptorError(icon.path, 200, "the icon cannot be opened: it is a folder (" + icon.element + ")");
      return DescriptorError(descriptorPath, 303,
                             "the icon " + icon.path + " (" + icon.element + ") is not among the packaged files");
    }
    if (!ReadPrefix(file->source, head, sizeof head, got, error))
      return DescriptorError(file->source, 200, "the icon cannot be opened (" + Reason(error) + ")");
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (got < sizeof head || std::memcmp(head, kPng, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0)
      return DescriptorError(file->source, 202, icon.element + " is not a PNG image");
    std::uint32_t width = BigEndian32(head + 16), height = BigEndian32(head + 20);
    if (width != static_cast<std::uint32_t>(icon.size) || height != static_cast<std::uint32_t>(icon.size))
      return DescriptorError(file->source, 201,
                             icon.element + " must be " + std::to_string(icon.size) + "x" + std::to_string(icon.size) +
                                 " pixels, the image is " + std::to_string(width) + "x" + std::to_string(height));
  }
  return Outcome::Ok();
}

}  // namespace zpk
