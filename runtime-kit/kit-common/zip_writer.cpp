#include "zip_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include <openssl/evp.h>

namespace zpk {

namespace {

constexpr zip_uint32_t kDeflateLevel = 6;

std::string Lower(std::string s) {
  for (char& c : s) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

struct PackageWriter::State {
  std::vector<EntryDigest> digests;  // in entry order
  std::vector<bool> complete;
  Outcome inputFailure;              // first input that could not be read
  Outcome finalFailure;
  std::string finalName;
  FinalEntryMaker finalMaker;
};

namespace {

// A file source that digests what libzip reads.
struct HashingSource {
  PackageWriter::State* state;
  size_t slot;
  std::string path;
  zip_uint64_t size = 0;
  time_t mtime = 0;
  int fd = -1;
  EVP_MD_CTX* md = nullptr;
  zip_uint64_t readSoFar = 0;
  zip_error_t error;
};

zip_int64_t HashingCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* source = static_cast<HashingSource*>(userdata);
  auto fail = [&](const std::string& why) -> zip_int64_t {
    if (source->state->inputFailure.ok())
      source->state->inputFailure = DescriptorError(source->path, 300, "the file cannot be read (" + why + ")");
    zip_error_set(&source->error, ZIP_ER_READ, EIO);
    return -1;
  };
  switch (cmd) {
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &source->error);
      if (st == nullptr) return -1;
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      st->size = source->size;
      st->mtime = source->mtime;
      return sizeof(*st);
    }
    case ZIP_SOURCE_OPEN:
      source->fd = open(source->path.c_str(), O_RDONLY | O_CLOEXEC);
      if (source->fd < 0) return fail(std::strerror(errno));
      source->readSoFar = 0;
      if (source->md == nullptr) source->md = EVP_MD_CTX_new();
      if (source->md == nullptr || EVP_DigestInit_ex(source->md, EVP_sha256(), nullptr) != 1) return fail("digest");
      return 0;
    case ZIP_SOURCE_READ: {
      ssize_t n;
      do {
        n = read(source->fd, data, len);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return fail(std::strerror(errno));
      if (n > 0) {
        EVP_DigestUpdate(source->md, data, static_cast<size_t>(n));
        source->readSoFar += static_cast<zip_uint64_t>(n);
        if (source->readSoFar > source->size) return fail("the file grew while it was packaged");
        return n;
      }
      if (source->readSoFar != source->size) return fail("the file shrank while it was packaged");
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int size = 0;
      EVP_DigestFinal_ex(source->md, digest, &size);
      source->state->digests[source->slot].sha256.assign(reinterpret_cast<char*>(digest), size);
      source->state->complete[source->slot] = true;
      return 0;
    }
    case ZIP_SOURCE_CLOSE:
      if (source->fd >= 0) close(source->fd);
      source->fd = -1;
      return 0;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, len);
    case ZIP_SOURCE_FREE:
      if (source->fd >= 0) close(source->fd);
      EVP_MD_CTX_free(source->md);
      zip_error_fini(&source->error);
      delete source;
      return 0;
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// The last entry: made when libzip reaches it, after every other entry is written.
struct FinalSource {
  PackageWriter::State* state;
  std::string content;
  bool made = false;
  zip_uint64_t offset = 0;
  zip_error_t error;
};

bool MakeFinal(FinalSource* source) {
  if (source->made) return true;
  for (bool done : source->state->complete) {
    if (!done) {
      source->state->finalFailure = Fail(kExitUnknown, "internal error: the signature was requested too early\n");
      return false;
    }
  }
  source->state->finalFailure = source->state->finalMaker(source->state->digests, source->content);
  if (!source->state->finalFailure.ok()) return false;
  source->made = true;
  return true;
}

zip_int64_t FinalCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* source = static_cast<FinalSource*>(userdata);
  switch (cmd) {
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &source->error);
      if (st == nullptr) return -1;
      if (!MakeFinal(source)) {
        zip_error_set(&source->error, ZIP_ER_INTERNAL, 0);
        return -1;
      }
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      st->size = source->content.size();
      st->mtime = time(nullptr);
      return sizeof(*st);
    }
    case ZIP_SOURCE_OPEN:
      if (!MakeFinal(source)) {
        zip_error_set(&source->error, ZIP_ER_INTERNAL, 0);
        return -1;
      }
      source->offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      zip_uint64_t left = source->content.size() - source->offset;
      zip_uint64_t n = left < len ? left : len;
      std::memcpy(data, source->content.data() + source->offset, n);
      source->offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, len);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&source->error);
      delete source;
      return 0;
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

bool IsAlreadyCompressed(const std::string& name) {
  static const std::set<std::string> extensions = {
      "png", "jpg", "jpeg", "gif", "webp", "qmv", "zip", "zaro", "zaroi", "gz", "tgz", "bz2", "xz", "7z",
      "zst", "mp3", "mp4", "m4a", "m4v", "aac", "ogg", "oga", "ogv", "opus", "webm", "mov", "avi", "flac",
      "jar", "woff", "woff2"};
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return extensions.count(Lower(name.substr(dot + 1))) != 0;
}

PackageWriter::PackageWriter() : state_(std::make_unique<State>()) {}

PackageWriter::~PackageWriter() {
  if (archive_ != nullptr) zip_discard(archive_);
}

Outcome PackageWriter::Open(const std::string& path) {
  int error = 0;
  path_ = path;
  archive_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive_ == nullptr) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    Outcome failed = Fail(kExitOutput, path + ": cannot be written (" + zip_error_strerror(&ze) + ")\n");
    zip_error_fini(&ze);
    return failed;
  }
  return Outcome::Ok();
}

Outcome PackageWriter::Added(zip_int64_t index, const std::string& name, zip_int32_t method, unsigned mode,
                             bool directory) {
  if (index < 0) return Fail(kExitUnknown, name + ": cannot be added (" + zip_strerror(archive_) + ")\n");
  if (!directory && zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), method,
                                             method == ZIP_CM_DEFLATE ? kDeflateLevel : 0) != 0)
    return Fail(kExitUnknown, name + ": " + zip_strerror(archive_) + "\n");
  zip_uint32_t attributes = ((directory ? S_IFDIR : S_IFREG) | (mode & 0777)) << 16;
  zip_file_set_external_attributes(archive_, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX, attributes);
  return Outcome::Ok();
}

Outcome PackageWriter::AddBuffer(const std::string& name, std::string data, bool compress) {
  EntryDigest digest{name, Sha256(data)};
  state_->digests.push_back(digest);
  state_->complete.push_back(true);
  // The buffer must outlive zip_close: libzip frees it (freep = 1).
  void* copy = std::malloc(data.size() == 0 ? 1 : data.size());
  std::memcpy(copy, data.data(), data.size());
  zip_source_t* source = zip_source_buffer(archive_, copy, data.size(), 1);
  if (source == nullptr) {
    std::free(copy);
    return Fail(kExitUnknown, name + ": " + zip_strerror(archive_) + "\n");
  }
  zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) zip_source_free(source);
  return Added(index, name, compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0644, false);
}

Outcome PackageWriter::AddEntry(const PackageEntry& entry) {
  if (entry.directory) {
    state_->digests.push_back(EntryDigest{entry.name, Sha256("")});
    state_->complete.push_back(true);
    std::string name = entry.name;
    if (!name.empty() && name.back() == '/') name.pop_back();
    zip_int64_t index = zip_dir_add(archive_, name.c_str(), ZIP_FL_ENC_UTF_8);
    return Added(index, entry.name, ZIP_CM_STORE, entry.mode, true);
  }
  struct stat st {};
  if (stat(entry.source.c_str(), &st) != 0)
    return DescriptorError(entry.source, 300, std::string("the file cannot be read (") + std::strerror(errno) + ")");
  size_t slot = state_->digests.size();
  state_->digests.push_back(EntryDigest{entry.name, {}});
  state_->complete.push_back(false);
  auto* hashing = new HashingSource{state_.get(), slot, entry.source, static_cast<zip_uint64_t>(st.st_size),
                                    st.st_mtime, -1, nullptr, 0, {}};
  zip_error_init(&hashing->error);
  zip_source_t* source = zip_source_function(archive_, HashingCallback, hashing);
  if (source == nullptr) {
    zip_error_fini(&hashing->error);
    delete hashing;
    return Fail(kExitUnknown, entry.name + ": " + zip_strerror(archive_) + "\n");
  }
  zip_int64_t index = zip_file_add(archive_, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) zip_source_free(source);
  return Added(index, entry.name, IsAlreadyCompressed(entry.name) ? ZIP_CM_STORE : ZIP_CM_DEFLATE, entry.mode, false);
}

Outcome PackageWriter::AddCopy(zip_t* from, zip_uint64_t index, const EntryDigest& digest, unsigned mode) {
  state_->digests.push_back(digest);
  state_->complete.push_back(true);
  bool directory = !digest.name.empty() && digest.name.back() == '/';
  zip_source_t* source = zip_source_zip(archive_, from, index, ZIP_FL_COMPRESSED, 0, -1);
  if (source == nullptr) return Fail(kExitUnknown, digest.name + ": " + zip_strerror(archive_) + "\n");
  zip_int64_t added = zip_file_add(archive_, digest.name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (added < 0) {
    zip_source_free(source);
    return Fail(kExitUnknown, digest.name + ": " + zip_strerror(archive_) + "\n");
  }
  // Keep the entry's own method so that its data is copied as it is.
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(from, index, 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_METHOD) != 0)
    zip_set_file_compression(archive_, static_cast<zip_uint64_t>(added), st.comp_method, 0);
  zip_uint32_t attributes = ((directory ? S_IFDIR : S_IFREG) | (mode & 0777)) << 16;
  zip_file_set_external_attributes(archive_, static_cast<zip_uint64_t>(added), 0, ZIP_OPSYS_UNIX, attributes);
  return Outcome::Ok();
}

void PackageWriter::SetFinalEntry(const std::string& name, FinalEntryMaker maker) {
  state_->finalName = name;
  state_->finalMaker = std::move(maker);
}

Outcome PackageWriter::Close() {
  if (state_->finalMaker) {
    auto* final = new FinalSource{state_.get(), {}, false, 0, {}};
    zip_error_init(&final->error);
    zip_source_t* source = zip_source_function(archive_, FinalCallback, final);
    if (source == nullptr) {
      zip_error_fini(&final->error);
      delete final;
      return Fail(kExitUnknown, state_->finalName + ": " + zip_strerror(archive_) + "\n");
    }
    zip_int64_t index = zip_file_add(archive_, state_->finalName.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) zip_source_free(source);
    Outcome added = Added(index, state_->finalName, ZIP_CM_DEFLATE, 0644, false);
    if (!added.ok()) return added;
  }
  if (zip_close(archive_) != 0) {
    std::string reason = zip_strerror(archive_);
    zip_discard(archive_);
    archive_ = nullptr;
    if (!state_->finalFailure.ok()) return state_->finalFailure;
    if (!state_->inputFailure.ok()) return state_->inputFailure;
    return Fail(kExitOutput, path_ + ": cannot be written (" + reason + ")\n");
  }
  archive_ = nullptr;
  return Outcome::Ok();
}

}  // namespace zpk
