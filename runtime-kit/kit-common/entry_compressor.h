#pragma once
// Reads, digests and compresses archive entries on background threads, in the order they
// were queued, ahead of one writer that takes them in the same order. Each file is read
// whole and deflated in one call, so only files up to a size bound belong here (the writer
// streams larger ones itself), and the input bytes held ahead of the writer are capped:
// memory stays bounded. Needs only openssl_util (SHA-256) and libdeflate (deflate, CRC-32);
// any archive writer can link it.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zpk {

// Raw deflate (no header) of `data` at `level`; false when no compressor can be made.
bool DeflateRaw(std::string_view data, int level, std::string& out);
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

struct CompressorOptions {
  unsigned threads = 2;                        // compressing threads
  std::uint64_t wholeFileLimit = 4u << 20;     // larger files belong to the writer
  std::uint64_t bytesAhead = 24u << 20;        // input bytes held ahead of the writer
  int level = 6;
};

// One prepared entry.
struct PreparedEntry {
  bool deflated = false;     // `data` is raw deflate (queued with compress); else the file
  std::string data;
  std::uint64_t size = 0;    // uncompressed size
  std::uint32_t crc = 0;
  std::string sha256;        // 32 raw bytes of the uncompressed data
  std::string error;         // not empty: the file could not be read (the reason)
};

class EntryCompressor {
 public:
  explicit EntryCompressor(CompressorOptions options = {});
  ~EntryCompressor();
  EntryCompressor(const EntryCompressor&) = delete;
  EntryCompressor& operator=(const EntryCompressor&) = delete;

  // True for a file too large to be read whole: the writer streams it instead.
  bool StreamsSize(std::uint64_t size) const { return size > options_.wholeFileLimit; }
  // Queues the file at `path`, expected to hold `size` bytes; `compress` false stores it.
  // Returns its ticket; tickets count from 0 in queue order.
  std::size_t Add(std::string path, std::uint64_t size, bool compress);
  // Waits for the entry of `ticket` and hands it over. Tickets are taken in queue order;
  // another one gives an entry with an error.
  PreparedEntry Take(std::size_t ticket);

 private:
  struct Job {
    std::string path;
    std::uint64_t size = 0;
    bool compress = true;
    bool ready = false;
    PreparedEntry result;
  };

  void Work();
  void Prepare(Job& job, void* compressor);

  CompressorOptions options_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // from the oldest ticket not yet taken
  std::size_t firstTicket_ = 0;            // ticket of jobs_.front()
  std::size_t nextToStart_ = 0;            // ticket of the next job a thread picks up
  std::uint64_t bytesHeld_ = 0;            // input bytes of started jobs not yet taken
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zpk
