#include "package_entries.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

#include <zlib.h>

#include "openssl_util.h"

namespace zpk {

namespace {

constexpr std::size_t kChunkBytes = 65536;

// Inflates a deflated entry's raw bytes. libzip's own reader stops once it has the stored
// size and so takes a stream whose end was never written (unzip refuses that entry, and
// what it leaves on disk is not what was digested): the stream must end exactly where the
// entry's compressed data does, giving the stored size and CRC.
bool InflateEntry(zip_file_t* file, const zip_stat_t& st, const EntrySink& sink, std::string& error) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    error = "out of memory";
    return false;
  }
  std::vector<unsigned char> in(kChunkBytes), out(kChunkBytes);
  uLong crc = crc32(0, nullptr, 0);
  zip_uint64_t produced = 0;
  int status = Z_OK;
  zip_int64_t n = 0;
  bool stopped = false;
  while (!stopped && status != Z_STREAM_END && (n = zip_fread(file, in.data(), in.size())) > 0) {
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      status = inflate(&z, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
      const std::size_t got = out.size() - z.avail_out;
      crc = crc32(crc, out.data(), static_cast<uInt>(got));
      produced += got;
      if (got != 0 && !sink(reinterpret_cast<const char*>(out.data()), got)) stopped = true;
    } while (!stopped && status != Z_STREAM_END && (z.avail_in != 0 || z.avail_out == 0));
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
  }
  const bool trailing = status == Z_STREAM_END && (z.avail_in != 0 || (n = zip_fread(file, in.data(), 1)) > 0);
  inflateEnd(&z);
  if (stopped) return false;
  if (n < 0) error = zip_file_strerror(file);
  else if (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR) error = "Compression error";
  else if (status != Z_STREAM_END) error = "Compressed data ends before its end mark";
  else if (trailing) error = "Data follows the end of the compressed stream";
  else if (produced != st.size) error = "Wrong uncompressed size";
  else if (crc != st.crc) error = "CRC error";
  return error.empty();
}

}  // namespace

bool ReadEntry(zip_t* archive, zip_uint64_t index, const EntrySink& sink, std::string& error) {
  error.clear();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) != 0) {
    error = zip_strerror(archive);
    return false;
  }
  const bool deflated = (st.valid & ZIP_STAT_COMP_METHOD) != 0 && st.comp_method == ZIP_CM_DEFLATE &&
                        (st.valid & ZIP_STAT_SIZE) != 0 && (st.valid & ZIP_STAT_CRC) != 0;
  zip_file_t* file = zip_fopen_index(archive, index, deflated ? ZIP_FL_COMPRESSED : 0);
  if (file == nullptr) {
    error = zip_strerror(archive);
    return false;
  }
  bool ok;
  if (deflated) {
    ok = InflateEntry(file, st, sink, error);
  } else {
    std::vector<char> buffer(kChunkBytes);
    zip_int64_t n;
    bool stopped = false;
    while (!stopped && (n = zip_fread(file, buffer.data(), buffer.size())) > 0)
      stopped = !sink(buffer.data(), static_cast<std::size_t>(n));
    if (!stopped && n < 0) error = zip_file_strerror(file);
    ok = !stopped && n == 0;
  }
  zip_fclose(file);
  return ok;
}

bool ReadEntryLimited(zip_t* archive, zip_uint64_t index, std::size_t limit, std::string& data, std::string& error) {
  data.clear();
  bool tooLong = false;
  const bool ok = ReadEntry(archive, index, [&](const char* bytes, std::size_t size) {
    tooLong = data.size() + size > limit;
    if (!tooLong) data.append(bytes, size);
    return !tooLong;
  }, error);
  if (tooLong) {
    data.clear();
    error = "longer than " + std::to_string(limit) + " bytes";
  }
  return ok;
}

bool DigestEntry(zip_t* archive, zip_uint64_t index, std::string& digest, std::string& error) {
  MdCtxPtr md(EVP_MD_CTX_new());
  EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr);
  const bool ok = ReadEntry(archive, index, [&](const char* bytes, std::size_t size) {
    EVP_DigestUpdate(md.get(), bytes, size);
    return true;
  }, error);
  if (!ok) return false;
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(md.get(), out, &size);
  digest.assign(reinterpret_cast<char*>(out), size);
  return true;
}

bool IsPlainEntry(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
  if (system != ZIP_OPSYS_UNIX) return true;
  unsigned type = (attributes >> 16) & S_IFMT;
  return type == 0 || type == S_IFREG || type == S_IFDIR;
}

std::string EntryShapeProblem(zip_t* archive, zip_uint64_t index, bool generated) {
  const char* raw = zip_get_name(archive, index, 0);
  const std::string_view name = raw == nullptr ? "" : raw;
  const bool folder = !name.empty() && name.back() == '/';
  zip_stat_t st;
  zip_stat_init(&st);
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_stat_index(archive, index, 0, &st) != 0 ||
      zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
    return "cannot be read";
  // unzip makes the folder and drops what a folder entry carries: data nobody signed.
  if (folder && (((st.valid & ZIP_STAT_SIZE) != 0 && st.size != 0) ||
                 ((st.valid & ZIP_STAT_COMP_SIZE) != 0 && st.comp_size != 0)))
    return "is a folder that carries data";
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE) return "is encrypted";
  if ((st.valid & ZIP_STAT_COMP_METHOD) != 0 && st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE)
    return "is compressed by a method the kit does not write";
  if (system != ZIP_OPSYS_UNIX) return {};
  const unsigned mode = attributes >> 16;
  const unsigned type = mode & S_IFMT;
  if (type != 0 && type != static_cast<unsigned>(folder ? S_IFDIR : S_IFREG)) {
    const char* kind = type == S_IFLNK   ? "a symbolic link"
                       : type == S_IFDIR ? "a folder under a file's name"
                       : type == S_IFREG ? "a file under a folder's name"
                                         : "a device, pipe or socket";
    return std::string("is not a regular file or folder (") + kind + ")";
  }
  if ((mode & 07000) != 0) return "carries a set-id or sticky bit";
  if (generated && !folder && (mode & 0111) != 0) return "is marked executable";
  return {};
}

DirectoryProblem FirstDirectoryProblem(const std::string& path, unsigned long long start) {
  constexpr unsigned kWrittenVersion = 45;
  constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{64} << 20;
  constexpr std::uint32_t kMax32 = 0xffffffff;
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
  auto read = [&](std::uint64_t at, std::size_t count) {
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    if (at > size || count > size - at || !in.read(bytes.data(), static_cast<std::streamsize>(count))) bytes.clear();
    return bytes;
  };
  auto u16 = [](const std::string& b, size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(b[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8;
  };
  auto u32 = [&](const std::string& b, size_t at) { return u16(b, at) | static_cast<std::uint64_t>(u16(b, at + 2)) << 16; };
  auto u64 = [&](const std::string& b, size_t at) { return u32(b, at) | u32(b, at + 4) << 32; };

  const std::uint64_t tailSize = std::min<std::uint64_t>(size, 22 + 65535);
  const std::string tail = read(size - tailSize, tailSize);
  const size_t end = tail.rfind(std::string("PK\5\6", 4));
  if (end == std::string::npos || end + 22 > tail.size()) return {};
  std::uint64_t directorySize = u32(tail, end + 12);
  std::uint64_t directoryOffset = u32(tail, end + 16);
  if (directoryOffset == kMax32 || directorySize == kMax32) {
    // The zip64 end record, found through its locator just before the plain one.
    if (end < 20 || tail.compare(end - 20, 4, "PK\6\7", 4) != 0) return {};
    const std::string record = read(start + u64(tail, end - 20 + 8), 56);
    if (record.size() != 56 || record.compare(0, 4, "PK\6\6", 4) != 0) return {};
    directorySize = u64(record, 40);
    directoryOffset = u64(record, 48);
  }
  if (directorySize > kMaxDirectoryBytes) return {};
  const std::string directory = read(start + directoryOffset, directorySize);

  struct Span {
    std::uint64_t from, to;
    std::string name;
  };
  std::vector<Span> spans;
  for (size_t at = 0; at + 46 <= directory.size() && directory.compare(at, 4, "PK\1\2", 4) == 0;) {
    const size_t nameLength = u16(directory, at + 28);
    const size_t extraLength = u16(directory, at + 30);
    const size_t next = at + 46 + nameLength + extraLength + u16(directory, at + 32);
    if (next > directory.size()) return {};
    std::string name = directory.substr(at + 46, nameLength);
    if ((u16(directory, at + 6) & 0xff) > kWrittenVersion) return {DirectoryProblem::kLaterZipVersion, name};
    std::uint64_t compressed = u32(directory, at + 20);
    std::uint64_t offset = u32(directory, at + 42);
    // 64-bit values stand in the zip64 extra field, in this order, for the fields that say so.
    for (size_t extra = at + 46 + nameLength; extra + 4 <= at + 46 + nameLength + extraLength;) {
      const size_t length = u16(directory, extra + 2);
      if (u16(directory, extra) == 1) {
        size_t field = extra + 4;
        auto take = [&](std::uint64_t& value) {
          if (value != kMax32 || field + 8 > extra + 4 + length) return;
          value = u64(directory, field);
          field += 8;
        };
        std::uint64_t uncompressed = u32(directory, at + 24);
        take(uncompressed);
        take(compressed);
        take(offset);
      }
      extra += 4 + length;
    }
    // unzip takes an entry by its local header, libzip by the directory: they must agree on
    // the flags (a data descriptor, encryption) and the method.
    const std::string local = read(start + offset, 30);
    if (local.size() != 30 || local.compare(0, 4, "PK\3\4", 4) != 0 || u16(local, 6) != u16(directory, at + 8) ||
        u16(local, 8) != u16(directory, at + 10))
      return {DirectoryProblem::kLocalHeaderDiffers, name};
    spans.push_back({offset, offset + 30 + u16(local, 26) + u16(local, 28) + compressed, std::move(name)});
    at = next;
  }
  // unzip refuses an archive whose entries overlap (one way to make a small file unpack huge).
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
  for (size_t i = 0; i < spans.size(); ++i) {
    const std::uint64_t limit = i + 1 < spans.size() ? spans[i + 1].from : directoryOffset;
    if (spans[i].to > limit) return {DirectoryProblem::kOverlapping, spans[i].name};
  }
  return {};
}

unsigned EntryPermissions(zip_t* archive, zip_uint64_t index, unsigned fallback) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 && system == ZIP_OPSYS_UNIX &&
      ((attributes >> 16) & 0777) != 0)
    return (attributes >> 16) & 0777;
  return fallback;
}

std::string DirectoryProblemText(DirectoryProblem::Kind kind, const std::string& writer) {
  switch (kind) {
    case DirectoryProblem::kLaterZipVersion: return "asks for a later zip version than " + writer + " writes";
    case DirectoryProblem::kLocalHeaderDiffers: return "has a local header that does not match its directory record";
    case DirectoryProblem::kOverlapping: return "overlaps the entry that follows it";
    case DirectoryProblem::kNone: break;
  }
  return {};
}

std::string Excerpt(std::string_view text) {
  size_t length = text.size();
  if (length > kMaxEchoedBytes) {
    length = kMaxEchoedBytes;
    // Cut before a character, not inside one.
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  }
  if (length < text.size()) out += "...";
  return out;
}

}  // namespace zpk
