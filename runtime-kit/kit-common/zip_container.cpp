#include "zip_container.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zpk {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;
constexpr std::uint32_t kMax32 = 0xffffffffu;
constexpr std::uint16_t kVersionMadeBy = (3 << 8) | 63;  // Unix, 6.3
constexpr std::uint16_t kFlagDescriptor = 1u << 3;
constexpr std::uint16_t kFlagUtf8 = 1u << 11;
// A deflated entry may come out a little larger than its data; past this the sizes of an
// entry whose data follows its header are written with 64 bits.
constexpr std::uint64_t kZip64Hint = 0xff000000u;

class Record {
 public:
  Record& U16(std::uint16_t v) {
    bytes_ += static_cast<char>(v & 0xff);
    bytes_ += static_cast<char>(v >> 8);
    return *this;
  }
  Record& U32(std::uint32_t v) { return U16(static_cast<std::uint16_t>(v & 0xffff)).U16(static_cast<std::uint16_t>(v >> 16)); }
  Record& U64(std::uint64_t v) { return U32(static_cast<std::uint32_t>(v & kMax32)).U32(static_cast<std::uint32_t>(v >> 32)); }
  Record& Bytes(std::string_view s) {
    bytes_.append(s.data(), s.size());
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

std::uint16_t Flags(const ZipEntryInfo& info, bool sizesFollow) {
  std::uint16_t flags = sizesFollow ? kFlagDescriptor : 0;
  for (unsigned char c : info.name)
    if (c >= 0x80) return flags | kFlagUtf8;
  return flags;
}

std::uint32_t Clamp32(std::uint64_t v) { return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v); }

}  // namespace

ZipContainer::~ZipContainer() {
  if (fd_ >= 0) close(fd_);
}

bool ZipContainer::Failed(const std::string& why) {
  if (error_.empty()) error_ = why;
  return false;
}

bool ZipContainer::Open(const std::string& path) {
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd_ < 0) return Failed(std::strerror(errno));
  buffer_.reset(new char[kBufferSize]);
  return true;
}

bool ZipContainer::Flush() {
  std::size_t done = 0;
  while (done < buffered_) {
    const ssize_t n = write(fd_, buffer_.get() + done, buffered_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
  buffered_ = 0;
  return true;
}

bool ZipContainer::Put(std::string_view data) {
  if (fd_ < 0 || !error_.empty()) return Failed(error_.empty() ? "the archive is not open" : error_);
  offset_ += data.size();
  if (buffered_ + data.size() <= kBufferSize) {
    std::memcpy(buffer_.get() + buffered_, data.data(), data.size());
    buffered_ += data.size();
    return true;
  }
  if (!Flush()) return false;
  if (data.size() < kBufferSize / 2) {
    std::memcpy(buffer_.get(), data.data(), data.size());
    buffered_ = data.size();
    return true;
  }
  std::size_t done = 0;  // large data goes out as it is
  while (done < data.size()) {
    const ssize_t n = write(fd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ZipContainer::Begin(const ZipEntryInfo& info, bool sizesFollow, std::uint64_t sizeHint) {
  if (open_entry_) return Failed("internal error: an entry was begun before the last one ended");
  if (info.name.size() > 0xffff) return Failed(info.name.substr(0, 64) + "...: the entry name is too long");
  const bool zip64 = sizesFollow ? sizeHint >= kZip64Hint : (info.size >= kMax32 || info.compressedSize >= kMax32);
  Record extra;
  if (zip64) extra.U16(0x0001).U16(16).U64(sizesFollow ? 0 : info.size).U64(sizesFollow ? 0 : info.compressedSize);
  Record header;
  header.U32(0x04034b50)
      .U16(zip64 ? 45 : 20)
      .U16(Flags(info, sizesFollow))
      .U16(info.method)
      .U16(info.dosTime)
      .U16(info.dosDate)
      .U32(sizesFollow ? 0 : info.crc)
      .U32(zip64 ? kMax32 : (sizesFollow ? 0 : static_cast<std::uint32_t>(info.compressedSize)))
      .U32(zip64 ? kMax32 : (sizesFollow ? 0 : static_cast<std::uint32_t>(info.size)))
      .U16(static_cast<std::uint16_t>(info.name.size()))
      .U16(static_cast<std::uint16_t>(extra.bytes().size()))
      .Bytes(info.name)
      .Bytes(extra.bytes());
  entries_.push_back(Written{info, offset_, sizesFollow, sizesFollow && zip64});
  open_entry_ = true;
  zip64Descriptor_ = zip64;
  entryData_ = 0;
  return Put(header.bytes());
}

bool ZipContainer::Append(std::string_view data) {
  if (!open_entry_) return Failed("internal error: data outside an entry");
  entryData_ += data.size();
  return Put(data);
}

bool ZipContainer::End(std::uint32_t crc, std::uint64_t compressedSize, std::uint64_t size) {
  if (!open_entry_) return Failed("internal error: no entry to end");
  open_entry_ = false;
  Written& entry = entries_.back();
  if (!entry.sizesFollow) {
    if (entryData_ != entry.info.compressedSize) return Failed("internal error: the entry's data is not its size");
    return true;
  }
  if (entryData_ != compressedSize) return Failed("internal error: the entry's data is not its size");
  if (!zip64Descriptor_ && (size >= kMax32 || compressedSize >= kMax32))
    return Failed(entry.info.name + ": the file grew past 4 GB while it was packaged");
  entry.info.crc = crc;
  entry.info.compressedSize = compressedSize;
  entry.info.size = size;
  Record descriptor;
  descriptor.U32(0x08074b50).U32(crc);
  if (zip64Descriptor_) descriptor.U64(compressedSize).U64(size);
  else descriptor.U32(static_cast<std::uint32_t>(compressedSize)).U32(static_cast<std::uint32_t>(size));
  return Put(descriptor.bytes());
}

bool ZipContainer::Add(const ZipEntryInfo& info, std::string_view data) {
  return Begin(info, false) && Append(data) && End();
}

bool ZipContainer::Finish() {
  if (open_entry_) return Failed("internal error: the last entry was not ended");
  const std::uint64_t directoryStart = offset_;
  for (const Written& entry : entries_) {
    const ZipEntryInfo& info = entry.info;
    Record extra;
    const bool bigSize = info.size >= kMax32, bigCompressed = info.compressedSize >= kMax32, bigOffset = entry.offset >= kMax32;
    if (bigSize || bigCompressed || bigOffset) {
      Record values;
      if (bigSize) values.U64(info.size);
      if (bigCompressed) values.U64(info.compressedSize);
      if (bigOffset) values.U64(entry.offset);
      extra.U16(0x0001).U16(static_cast<std::uint16_t>(values.bytes().size())).Bytes(values.bytes());
    }
    const std::uint32_t attributes = (static_cast<std::uint32_t>((info.directory ? 0040000 : 0100000) | (info.mode & 0777)) << 16) |
                                     (info.directory ? 0x10 : 0);
    Record central;
    central.U32(0x02014b50)
        .U16(kVersionMadeBy)
        .U16(extra.bytes().empty() && !entry.zip64Descriptor ? 20 : 45)
        .U16(Flags(info, entry.sizesFollow))
        .U16(info.method)
        .U16(info.dosTime)
        .U16(info.dosDate)
        .U32(info.crc)
        .U32(Clamp32(info.compressedSize))
        .U32(Clamp32(info.size))
        .U16(static_cast<std::uint16_t>(info.name.size()))
        .U16(static_cast<std::uint16_t>(extra.bytes().size()))
        .U16(0)
        .U16(0)
        .U16(0)
        .U32(attributes)
        .U32(Clamp32(entry.offset))
        .Bytes(info.name)
        .Bytes(extra.bytes());
    if (!Put(central.bytes())) return false;
  }
  const std::uint64_t directorySize = offset_ - directoryStart;
  const std::uint64_t count = entries_.size();
  if (count >= 0xffff || directoryStart >= kMax32 || directorySize >= kMax32) {
    const std::uint64_t zip64End = offset_;
    Record records;
    records.U32(0x06064b50).U64(44).U16(kVersionMadeBy).U16(45).U32(0).U32(0).U64(count).U64(count)
        .U64(directorySize).U64(directoryStart);
    records.U32(0x07064b50).U32(0).U64(zip64End).U32(1);
    if (!Put(records.bytes())) return false;
  }
  Record end;
  const std::uint16_t count16 = count >= 0xffff ? 0xffff : static_cast<std::uint16_t>(count);
  end.U32(0x06054b50).U16(0).U16(0).U16(count16).U16(count16).U32(Clamp32(directorySize))
      .U32(Clamp32(directoryStart)).U16(0);
  if (!Put(end.bytes()) || !Flush()) return false;
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Failed(std::strerror(errno));
  return true;
}

}  // namespace zpk
