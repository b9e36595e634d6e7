#include "package_entries.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>

#include "openssl_util.h"

namespace zpk {

bool ReadEntryLimited(zip_t* archive, zip_uint64_t index, std::size_t limit, std::string& data, std::string& error) {
  data.clear();
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) {
    error = zip_strerror(archive);
    return false;
  }
  char buffer[65536];
  zip_int64_t n;
  bool tooLong = false;
  while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) {
    if (data.size() + static_cast<size_t>(n) > limit) {
      tooLong = true;
      break;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
  if (n < 0) error = zip_file_strerror(file);
  zip_fclose(file);
  if (tooLong) {
    data.clear();
    error = "longer than " + std::to_string(limit) + " bytes";
    return false;
  }
  return n == 0;
}

bool DigestEntry(zip_t* archive, zip_uint64_t index, std::string& digest, std::string& error) {
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) {
    error = zip_strerror(archive);
    return false;
  }
  MdCtxPtr md(EVP_MD_CTX_new());
  EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr);
  char buffer[65536];
  zip_int64_t n;
  while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) EVP_DigestUpdate(md.get(), buffer, static_cast<size_t>(n));
  if (n < 0) error = zip_file_strerror(file);
  zip_fclose(file);
  if (n < 0) return false;
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

std::string FirstEntryNeedingLaterZip(const std::string& path, unsigned long long start) {
  constexpr unsigned kWrittenVersion = 45;
  constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{64} << 20;
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
  const std::uint64_t tail = std::min<std::uint64_t>(size, 22 + 65535);
  std::string bytes(tail, '\0');
  in.seekg(static_cast<std::streamoff>(size - tail));
  if (!in.read(bytes.data(), static_cast<std::streamsize>(tail))) return {};
  auto u16 = [](const std::string& b, size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(b[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8;
  };
  auto u32 = [&](const std::string& b, size_t at) { return u16(b, at) | static_cast<std::uint64_t>(u16(b, at + 2)) << 16; };
  const size_t end = bytes.rfind(std::string("PK\5\6", 4));
  if (end == std::string::npos || end + 22 > bytes.size()) return {};
  const std::uint64_t directorySize = u32(bytes, end + 12);
  const std::uint64_t directoryOffset = u32(bytes, end + 16);
  if (directoryOffset == 0xffffffff || directorySize > kMaxDirectoryBytes) return {};
  std::string directory(directorySize, '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(start + directoryOffset));
  if (!in.read(directory.data(), static_cast<std::streamsize>(directorySize))) return {};
  for (size_t at = 0; at + 46 <= directory.size() && directory.compare(at, 4, "PK\1\2", 4) == 0;) {
    const size_t nameLength = u16(directory, at + 28);
    const size_t next = at + 46 + nameLength + u16(directory, at + 30) + u16(directory, at + 32);
    if (next > directory.size()) return {};
    if ((u16(directory, at + 6) & 0xff) > kWrittenVersion) return directory.substr(at + 46, nameLength);
    at = next;
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
