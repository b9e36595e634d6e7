#pragma once
// Reads, digests and compresses archive entries on background threads, in the order they
// were queued, ahead of one writer that takes them in the same order. Files up to a size
// bound are read whole and deflated in one call (libdeflate), many small ones to a job.
// A larger file is cut into blocks that are deflated in parallel into one deflate stream:
// each block is deflated on its own (libdeflate) and made to continue into the next one
// (deflate_blocks.h), or, should that fail, deflated with zlib primed with the 32 KB before
// it and ended with a sync flush; the last block ends the stream, and the writer joins the
// blocks' CRCs and digests their bytes in order. The input bytes held ahead of the writer are capped, so memory stays bounded
// whatever the size of the files.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zpk {

std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);
// The CRC-32 of A followed by B, from the CRCs of both and the length of B.
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t lengthB);

struct CompressorOptions {
  unsigned threads = 2;                        // compressing threads
  std::uint64_t wholeFileLimit = 4u << 20;     // larger files are cut into blocks
  std::uint64_t blockSize = 4u << 20;          // size of those blocks
  std::uint64_t bytesAhead = 24u << 20;        // input bytes held ahead of the writer
  std::uint64_t batchBytes = 256u << 10;       // small files are prepared in jobs of
  unsigned batchFiles = 64;                    //   at most this many bytes and files
  int level = 6;
};

// One prepared entry, or one block of a file cut into blocks.
struct PreparedEntry {
  bool deflated = false;     // `data` is raw deflate (queued with compress); else the file
  std::string data;
  std::uint64_t size = 0;    // uncompressed size (of the block)
  std::uint32_t crc = 0;
  std::string sha256;        // 32 raw bytes of the uncompressed data (whole files only)
  std::string raw;           // a block's uncompressed bytes, for the writer's digest
  std::string error;         // not empty: the file could not be read (the reason)
};

class EntryCompressor {
 public:
  explicit EntryCompressor(CompressorOptions options = {});
  ~EntryCompressor();
  EntryCompressor(const EntryCompressor&) = delete;
  EntryCompressor& operator=(const EntryCompressor&) = delete;

  // True for a file too large to be read whole: it is queued in blocks.
  bool InBlocks(std::uint64_t size) const { return size > options_.wholeFileLimit; }
  // The number of blocks a file of `size` is cut into.
  std::size_t BlockCount(std::uint64_t size) const;
  // Queues the file at `path`, expected to hold `size` bytes; `compress` false stores it.
  // Returns its ticket; tickets count from 0 in queue order.
  std::size_t Add(std::string path, std::uint64_t size, bool compress);
  // Queues a file in blocks: one ticket for each of its BlockCount(size) blocks, the first
  // of them returned.
  std::size_t AddBlocks(std::string path, std::uint64_t size, bool compress);
  // Waits for the entry or block of `ticket` and hands it over. Tickets are taken in queue
  // order; another one gives an entry with an error.
  PreparedEntry Take(std::size_t ticket);
  // The most input bytes held ahead of the writer at any time so far.
  std::uint64_t PeakBytesHeld();

 private:
  struct Item {
    std::string path;
    std::uint64_t size = 0;      // of the file
    std::uint64_t offset = 0;    // of a block
    std::uint64_t length = 0;    // of a block
    bool block = false;
    bool compress = true;
    PreparedEntry result;
  };
  struct Job {
    std::size_t firstTicket = 0;
    std::vector<Item> items;
    std::uint64_t bytes = 0;     // input bytes
    std::size_t taken = 0;
    bool sealed = false;         // no more items join it
    bool ready = false;
  };
  struct Worker;

  Job& OpenJob(bool batch);
  void Work();
  void Prepare(Item& item, Worker& worker);

  CompressorOptions options_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // from the oldest one not yet taken
  std::size_t nextTicket_ = 0;
  std::size_t nextTake_ = 0;
  std::size_t nextToStart_ = 0;            // index in jobs_ of the next job to start
  std::uint64_t bytesHeld_ = 0;            // input bytes of started jobs not yet taken
  std::uint64_t peakHeld_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zpk
