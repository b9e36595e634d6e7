#include "zip_writer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>

#include <libdeflate.h>
#include <openssl/evp.h>

#include "kit_text.h"
#include "openssl_util.h"
#include "reproducible.h"
#include "zip_container.h"

namespace zpk {

namespace {

constexpr int kDeflateLevel = 6;
constexpr std::size_t kCopyChunk = 1u << 20;

ZipEntryInfo Info(const std::string& name, std::uint16_t method, unsigned mode, std::time_t when) {
  ZipEntryInfo info;
  info.name = name;
  info.method = method;
  info.mode = mode;
  info.directory = !name.empty() && name.back() == '/';
  DosDateTime(EntryTime(when), info.dosTime, info.dosDate);
  return info;
}

// `data` deflated at the package level; false when no compressor can be made.
bool Deflate(std::string_view data, std::string& out) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kDeflateLevel);
  if (compressor == nullptr) return false;
  out.resize(libdeflate_deflate_compress_bound(compressor, data.size()));
  const size_t n = libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  out.resize(n);
  return n != 0;
}

// An entry whose data is in memory, ready to be written.
Outcome MemoryEntry(const std::string& name, std::string_view data, bool compress, std::time_t when,
                    ZipEntryInfo& info, std::string& stored) {
  info = Info(name, compress ? kMethodDeflate : kMethodStore, 0644, when);
  info.crc = Crc32(data);
  info.size = data.size();
  if (!compress) stored.assign(data.data(), data.size());
  else if (!Deflate(data, stored)) return Fail(kExitUnknown, name + ": out of memory for the compressor\n");
  info.compressedSize = stored.size();
  return Outcome::Ok();
}

struct Pending {
  enum class Kind { Memory, File, Blocks, Copy } kind = Kind::Memory;
  ZipEntryInfo info;
  std::string data;          // Memory: what is written
  std::string source;        // File, Blocks: the file
  std::uint64_t size = 0;    // File, Blocks: its size
  std::size_t ticket = 0;    // File, Blocks: the (first) ticket
  zip_t* from = nullptr;     // Copy
  zip_uint64_t index = 0;
};

}  // namespace

struct PackageWriter::State {
  ZipContainer out;
  std::unique_ptr<EntryCompressor> compressor;  // made with the first file entry
  std::vector<Pending> pending;                  // in entry order
  std::vector<EntryDigest> digests;              // in entry order, as they are written
  std::string finalName;
  FinalEntryMaker finalMaker;
  std::time_t now = 0;

  Outcome Unreadable(const std::string& path, const std::string& why) {
    return DescriptorError(path, 300, "the file cannot be read (" + why + ")");
  }
  Outcome WriteFile(Pending& entry);
  Outcome WriteBlocks(Pending& entry);
  Outcome WriteCopy(Pending& entry);
  Outcome WriteFinal();
};

const std::vector<std::string>& StoredSuffixes() {
  static const std::vector<std::string> suffixes = {
      "png", "jpg", "jpeg", "gif", "webp", "qmv", "zip", "zaro", "zaroi", "gz", "tgz", "bz2", "xz", "7z",
      "zst", "mp3", "mp4", "m4a", "m4v", "aac", "ogg", "oga", "ogv", "opus", "webm", "mov", "avi", "flac",
      "jar", "woff", "woff2"};
  return suffixes;
}

bool IsAlreadyCompressed(const std::string& name) {
  static const std::set<std::string> extensions(StoredSuffixes().begin(), StoredSuffixes().end());
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return extensions.count(Lowered(name.substr(dot + 1))) != 0;
}

PackageWriter::PackageWriter(CompressorOptions compression)
    : compression_(compression), state_(std::make_unique<State>()) {}

PackageWriter::~PackageWriter() = default;

Outcome PackageWriter::Open(const std::string& path) {
  path_ = path;
  state_->now = time(nullptr);
  if (!state_->out.Open(path)) return Fail(kExitOutput, path + ": cannot be written (" + state_->out.error() + ")\n");
  return Outcome::Ok();
}

Outcome PackageWriter::AddBuffer(const std::string& name, std::string data, bool compress) {
  Pending entry;
  Outcome made = MemoryEntry(name, data, compress, state_->now, entry.info, entry.data);
  if (!made.ok()) return made;
  state_->digests.push_back(EntryDigest{name, Sha256(data)});
  state_->pending.push_back(std::move(entry));
  return Outcome::Ok();
}

Outcome PackageWriter::AddEntry(const PackageEntry& entry) {
  Pending pending;
  if (entry.directory) {
    std::string name = entry.name;
    if (name.empty() || name.back() != '/') name += '/';
    pending.info = Info(name, kMethodStore, entry.mode, entry.stated ? entry.mtime : state_->now);
    state_->digests.push_back(EntryDigest{entry.name, Sha256("")});
    state_->pending.push_back(std::move(pending));
    return Outcome::Ok();
  }
  std::uint64_t size = entry.size;
  std::time_t mtime = entry.mtime;
  if (!entry.stated) {
    struct stat st {};
    if (stat(entry.source.c_str(), &st) != 0) return state_->Unreadable(entry.source, std::strerror(errno));
    size = static_cast<std::uint64_t>(st.st_size);
    mtime = st.st_mtime;
  }
  const bool compress = !IsAlreadyCompressed(entry.name);
  if (!state_->compressor) state_->compressor = std::make_unique<EntryCompressor>(compression_);
  EntryCompressor& compressor = *state_->compressor;
  pending.kind = compressor.InBlocks(size) ? Pending::Kind::Blocks : Pending::Kind::File;
  pending.info = Info(entry.name, compress ? kMethodDeflate : kMethodStore, entry.mode, mtime);
  pending.source = entry.source;
  pending.size = size;
  pending.ticket = pending.kind == Pending::Kind::Blocks ? compressor.AddBlocks(entry.source, size, compress)
                                                         : compressor.Add(entry.source, size, compress);
  state_->digests.push_back(EntryDigest{entry.name, {}});
  state_->pending.push_back(std::move(pending));
  return Outcome::Ok();
}

Outcome PackageWriter::AddCopy(zip_t* from, zip_uint64_t index, const EntryDigest& digest, unsigned mode) {
  zip_stat_t st;
  zip_stat_init(&st);
  const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
  if (zip_stat_index(from, index, 0, &st) != 0 || (st.valid & needed) != needed ||
      (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE))
    return Fail(kExitUnknown, digest.name + ": cannot be copied (" + zip_strerror(from) + ")\n");
  Pending pending;
  pending.kind = Pending::Kind::Copy;
  pending.info = Info(digest.name, static_cast<std::uint16_t>(st.comp_method), mode,
                      (st.valid & ZIP_STAT_MTIME) != 0 ? st.mtime : state_->now);
  pending.info.crc = st.crc;
  pending.info.size = st.size;
  pending.info.compressedSize = st.comp_size;
  pending.from = from;
  pending.index = index;
  state_->digests.push_back(digest);
  state_->pending.push_back(std::move(pending));
  return Outcome::Ok();
}

void PackageWriter::SetFinalEntry(const std::string& name, FinalEntryMaker maker) {
  state_->finalName = name;
  state_->finalMaker = std::move(maker);
}

Outcome PackageWriter::State::WriteFile(Pending& entry) {
  PreparedEntry prepared = compressor->Take(entry.ticket);
  if (!prepared.error.empty()) return Unreadable(entry.source, prepared.error);
  entry.info.crc = prepared.crc;
  entry.info.size = prepared.size;
  entry.info.compressedSize = prepared.data.size();
  digests[&entry - pending.data()].sha256 = std::move(prepared.sha256);
  out.Add(entry.info, prepared.data);
  return Outcome::Ok();
}

Outcome PackageWriter::State::WriteBlocks(Pending& entry) {
  MdCtxPtr md(EVP_MD_CTX_new());
  if (!md || EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr) != 1) return Fail(kExitUnknown, "out of memory\n");
  out.Begin(entry.info, true, entry.size);
  std::uint32_t crc = 0;
  std::uint64_t size = 0, compressed = 0;
  const std::size_t count = compressor->BlockCount(entry.size);
  for (std::size_t i = 0; i < count; ++i) {
    PreparedEntry block = compressor->Take(entry.ticket + i);
    if (!block.error.empty()) return Unreadable(entry.source, block.error);
    const std::string& bytes = block.deflated ? block.raw : block.data;
    EVP_DigestUpdate(md.get(), bytes.data(), bytes.size());
    crc = Crc32Combine(crc, block.crc, block.size);
    size += block.size;
    compressed += block.data.size();
    out.Append(block.data);
  }
  out.End(crc, compressed, size);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(md.get(), digest, &length);
  digests[&entry - pending.data()].sha256.assign(reinterpret_cast<char*>(digest), length);
  return Outcome::Ok();
}

Outcome PackageWriter::State::WriteCopy(Pending& entry) {
  zip_file_t* file = zip_fopen_index(entry.from, entry.index, ZIP_FL_COMPRESSED);
  if (file == nullptr) return Fail(kExitUnknown, entry.info.name + ": cannot be copied (" + zip_strerror(entry.from) + ")\n");
  out.Begin(entry.info, false);
  std::string chunk(kCopyChunk, '\0');
  std::uint64_t copied = 0;
  zip_int64_t n = 0;
  while (copied < entry.info.compressedSize && (n = zip_fread(file, chunk.data(), chunk.size())) > 0) {
    out.Append(std::string_view(chunk.data(), static_cast<size_t>(n)));
    copied += static_cast<std::uint64_t>(n);
  }
  zip_fclose(file);
  if (copied != entry.info.compressedSize)
    return Fail(kExitUnknown, entry.info.name + ": cannot be copied (its data is damaged)\n");
  out.End();
  return Outcome::Ok();
}

Outcome PackageWriter::State::WriteFinal() {
  std::string content;
  Outcome made = finalMaker(digests, content);
  if (!made.ok()) return made;
  ZipEntryInfo info;
  std::string data;
  made = MemoryEntry(finalName, content, true, now, info, data);
  if (!made.ok()) return made;
  out.Add(info, data);
  return Outcome::Ok();
}

Outcome PackageWriter::Close() {
  State& state = *state_;
  auto written = [&]() -> Outcome {
    if (state.out.error().empty()) return Outcome::Ok();
    return Fail(kExitOutput, path_ + ": cannot be written (" + state.out.error() + ")\n");
  };
  for (Pending& entry : state.pending) {
    Outcome step = Outcome::Ok();
    switch (entry.kind) {
      case Pending::Kind::Memory: state.out.Add(entry.info, entry.data); break;
      case Pending::Kind::File: step = state.WriteFile(entry); break;
      case Pending::Kind::Blocks: step = state.WriteBlocks(entry); break;
      case Pending::Kind::Copy: step = state.WriteCopy(entry); break;
    }
    std::string().swap(entry.data);
    if (step.ok()) step = written();
    if (!step.ok()) return step;
  }
  if (state.compressor) peakAhead_ = state.compressor->PeakBytesHeld();
  if (state.finalMaker) {
    Outcome step = state.WriteFinal();
    if (!step.ok()) return step;
  }
  state.out.Finish();
  return written();
}

}  // namespace zpk
