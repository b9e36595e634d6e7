#pragma once
// Writes the zip container in one pass, front to back, through a large buffer: local
// headers, entry data, data descriptors for entries whose sizes are known only after their
// data, the central directory and its end records. Nothing already written is read or
// rewritten. Zip64 records are written for entries or offsets past 4 GB and for more than
// 65,535 entries.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zpk {

inline constexpr std::uint16_t kMethodStore = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;

struct ZipEntryInfo {
  std::string name;        // folders end in "/"
  std::uint16_t method = kMethodStore;
  unsigned mode = 0644;    // permission bits
  bool directory = false;
  std::uint16_t dosTime = 0;
  std::uint16_t dosDate = 0;
  // Known before the data unless the entry is begun with `sizesFollow`.
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
};

class ZipContainer {
 public:
  ZipContainer() = default;
  ~ZipContainer();
  ZipContainer(const ZipContainer&) = delete;
  ZipContainer& operator=(const ZipContainer&) = delete;

  // Opens `path` (truncated) for writing.
  bool Open(const std::string& path);
  // Writes the local header. With `sizesFollow` the CRC and sizes come after the data, in
  // a data descriptor; `sizeHint` (the expected uncompressed size) decides whether its
  // sizes need 64 bits.
  bool Begin(const ZipEntryInfo& info, bool sizesFollow, std::uint64_t sizeHint = 0);
  bool Append(std::string_view data);
  // Ends the entry begun last; for an entry begun with `sizesFollow`, with its CRC and sizes.
  bool End(std::uint32_t crc = 0, std::uint64_t compressedSize = 0, std::uint64_t size = 0);
  // An entry whose data is in memory.
  bool Add(const ZipEntryInfo& info, std::string_view data);
  // Writes the central directory and the end records, and closes the file.
  bool Finish();
  // The reason of the first failure.
  const std::string& error() const { return error_; }

 private:
  struct Written {
    ZipEntryInfo info;
    std::uint64_t offset = 0;
    bool sizesFollow = false;
    bool zip64Descriptor = false;
  };

  bool Put(std::string_view data);
  bool Flush();
  bool Failed(const std::string& why);

  int fd_ = -1;
  std::string error_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
  std::uint64_t offset_ = 0;      // bytes of the archive so far, buffered ones included
  std::vector<Written> entries_;
  bool open_entry_ = false;
  bool zip64Descriptor_ = false;  // the open entry's data descriptor has 64-bit sizes
  std::uint64_t entryData_ = 0;   // bytes appended to the open entry
};

}  // namespace zpk
