#pragma once
// The files that go into a package: names given after -C DIR, folders expanded, names
// checked so that no entry can unpack outside its folder.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "arguments.h"
#include "descriptor_check.h"
#include "tool_result.h"

namespace zpk {

struct PackageEntry {
  std::string name;     // entry name, "/" separators; folders end in "/"
  std::string source;   // file on disk
  bool directory = false;
  unsigned mode = 0644;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  // Filled in when the entry was collected, so that the writer need not look again.
  bool stated = false;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
};

// Entry names the tool writes itself.
inline constexpr const char* kMimetypeEntry = "mimetype";
inline constexpr const char* kDescriptorEntry = "META-INF/ZARO/application.xml";
inline constexpr const char* kSignaturesEntry = "META-INF/signatures.xml";

// Normalises a name given on the command line ("./a//b/" -> "a/b"); false when it would
// leave its folder (absolute, "..", drive letter) or holds control characters, bytes that
// are not UTF-8 or any character XML 1.0 cannot hold (the signature files list every name).
bool NormalizeEntryName(const std::string& given, std::string& name);

// Expands the file sets into entries. `outputPath` (may not exist yet) is never added.
Outcome CollectEntries(const std::vector<FileSet>& sets, const std::string& outputPath,
                       std::vector<PackageEntry>& entries);

// The root content must be packaged and start with "QMV"; every icon the descriptor names
// must be packaged and be a PNG of its size.
Outcome CheckReferencedFiles(const DescriptorInfo& info, const std::vector<PackageEntry>& entries,
                             const std::string& descriptorPath);

}  // namespace zpk
