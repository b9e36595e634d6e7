// The archive writer on random trees: files of random sizes and contents (some cut into
// blocks, some stored), folders and entries made in memory, with random compressor
// bounds. What libzip reads back must be every entry, in order, with its data, and the
// digests handed to the last entry must be those of the data.
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "openssl_util.h"
#include "zip_writer.h"

namespace {

namespace fs = std::filesystem;
fs::path g_folder;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  unsigned Byte() { return at_ < size_ ? data_[at_++] : 0; }
  unsigned Word() { return Byte() | (Byte() << 8); }
  // `size` bytes: taken from the input, or a repeated pattern when it runs short.
  std::string Bytes(size_t size) {
    std::string out;
    const size_t take = std::min(size, size_ - std::min(at_, size_));
    out.assign(reinterpret_cast<const char*>(data_ + at_), take);
    at_ += take;
    while (out.size() < size) out += static_cast<char>('a' + out.size() % 7);
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

struct Expected {
  std::string name;
  std::string data;
};

std::string ReadEntry(zip_t* archive, zip_uint64_t index) {
  zip_stat_t st;
  if (zip_stat_index(archive, index, 0, &st) != 0) std::abort();
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) std::abort();
  std::string data(static_cast<size_t>(st.size), '\0');
  if (zip_fread(file, data.data(), data.size()) != static_cast<zip_int64_t>(data.size())) std::abort();
  zip_fclose(file);
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  const fs::path base = fs::is_directory(shm) ? fs::path(shm) : fs::temp_directory_path();
  g_folder = base / ("zaro-fuzz-writer-" + std::to_string(::getpid()));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  fs::remove_all(g_folder);
  fs::create_directories(g_folder);
  zpk::CompressorOptions options;
  options.threads = 1 + input.Byte() % 3;
  options.wholeFileLimit = 1 + input.Word();
  options.blockSize = 1 + input.Word() * 4;
  options.bytesAhead = 1 + input.Word() * 8;
  options.batchBytes = input.Word();
  options.batchFiles = 1 + input.Byte() % 80;
  static const char* const kSuffixes[] = {".txt", ".png", ".bin", ".MP4", ""};
  std::vector<Expected> expected;
  const std::string archive = (g_folder / "out.zip").string();
  {
    zpk::PackageWriter writer(options);
    if (!writer.Open(archive).ok()) std::abort();
    for (unsigned i = 0; !input.empty() && i < 200; ++i) {
      const unsigned kind = input.Byte();
      std::string name = "d" + std::to_string(kind % 5) + "/e" + std::to_string(i) + kSuffixes[(kind >> 3) % 5];
      if (kind % 11 == 0) {
        zpk::PackageEntry folder;
        folder.name = name + "/";
        folder.directory = true;
        if (!writer.AddEntry(folder).ok()) std::abort();
        expected.push_back({folder.name, ""});
        continue;
      }
      const size_t length = (kind & 0x80) != 0 ? input.Word() * 16u : input.Byte();
      std::string bytes = input.Bytes(length);
      if (kind % 7 == 0) {
        if (!writer.AddBuffer(name, bytes, (kind & 1) != 0).ok()) std::abort();
      } else {
        const fs::path source = g_folder / ("f" + std::to_string(i));
        std::ofstream(source, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        zpk::PackageEntry entry;
        entry.name = name;
        entry.source = source.string();
        if (!writer.AddEntry(entry).ok()) std::abort();
      }
      expected.push_back({name, std::move(bytes)});
    }
    bool checked = false;
    writer.SetFinalEntry("last", [&](const std::vector<zpk::EntryDigest>& digests, std::string& content) {
      if (digests.size() != expected.size()) std::abort();
      for (size_t i = 0; i < digests.size(); ++i)
        if (digests[i].name != expected[i].name || digests[i].sha256 != zpk::Sha256(expected[i].data)) std::abort();
      checked = true;
      content = "end";
      return zpk::Outcome::Ok();
    });
    if (!writer.Close().ok() || !checked) std::abort();
    // Input held ahead of the writer: at most the cap, or one job when nothing else is held.
    const uint64_t job = std::max({options.blockSize, uint64_t{32768}, options.wholeFileLimit, options.batchBytes});
    if (writer.PeakBytesAhead() > std::max(options.bytesAhead, job)) std::abort();
  }
  int error = 0;
  zip_t* read = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (read == nullptr || zip_get_num_entries(read, 0) != static_cast<zip_int64_t>(expected.size() + 1)) std::abort();
  for (size_t i = 0; i < expected.size(); ++i) {
    const char* name = zip_get_name(read, i, 0);
    if (name == nullptr || expected[i].name != name || ReadEntry(read, i) != expected[i].data) std::abort();
  }
  if (ReadEntry(read, expected.size()) != "end") std::abort();
  zip_discard(read);
  return 0;
}
