#include "entry_compressor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <libdeflate.h>
#include <zlib.h>

#include "deflate_blocks.h"
#include "openssl_util.h"

namespace zpk {

namespace {

constexpr std::size_t kWindow = 32768;  // what a deflate block may refer back to

struct File {
  int fd = -1;
  explicit File(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd >= 0) close(fd);
  }
};

// Reads `size` bytes at `offset` into `into`; the reason when fewer are there.
std::string ReadAt(const File& file, char* into, std::uint64_t size, std::uint64_t offset) {
  std::uint64_t done = 0;
  while (done < size) {
    const ssize_t n = pread(file.fd, into + done, static_cast<size_t>(size - done), static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::strerror(errno);
    if (n == 0) return "the file shrank while it was packaged";
    done += static_cast<std::uint64_t>(n);
  }
  return "";
}

// Empty when the file ends at `size`.
std::string EndsAt(const File& file, std::uint64_t size) {
  char extra;
  ssize_t n;
  do {
    n = pread(file.fd, &extra, 1, static_cast<off_t>(size));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return std::strerror(errno);
  return n == 0 ? "" : "the file grew while it was packaged";
}

}  // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t lengthB) {
  return static_cast<std::uint32_t>(crc32_combine64(crcA, crcB, static_cast<z_off64_t>(lengthB)));
}

// What one compressing thread keeps from job to job.
struct EntryCompressor::Worker {
  libdeflate_compressor* whole = nullptr;
  z_stream blocks{};
  bool blocksReady = false;
  std::unique_ptr<char[]> buffer;  // never cleared: every byte used is read first
  std::size_t capacity = 0;

  explicit Worker(int level) : whole(libdeflate_alloc_compressor(level)) {
    blocksReady = deflateInit2(&blocks, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Worker() {
    libdeflate_free_compressor(whole);
    if (blocksReady) deflateEnd(&blocks);
  }
  char* Room(std::size_t size) {
    if (size > capacity) {
      buffer.reset(new char[size]);
      capacity = size;
    }
    return buffer.get();
  }
};

EntryCompressor::EntryCompressor(CompressorOptions options) : options_(options) {
  if (options_.threads == 0) options_.threads = 1;
  if (options_.blockSize < kWindow) options_.blockSize = kWindow;
  for (unsigned i = 0; i < options_.threads; ++i) threads_.emplace_back([this] { Work(); });
}

EntryCompressor::~EntryCompressor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::size_t EntryCompressor::BlockCount(std::uint64_t size) const {
  return size == 0 ? 1 : static_cast<std::size_t>((size + options_.blockSize - 1) / options_.blockSize);
}

EntryCompressor::Job& EntryCompressor::OpenJob(bool batch) {
  if (!jobs_.empty()) {
    Job& last = *jobs_.back();
    if (batch && !last.sealed) return last;
    if (!last.sealed) {
      last.sealed = true;
      changed_.notify_all();
    }
  }
  jobs_.push_back(std::make_unique<Job>());
  jobs_.back()->firstTicket = nextTicket_;
  return *jobs_.back();
}

std::size_t EntryCompressor::Add(std::string path, std::uint64_t size, bool compress) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool batch = size <= options_.batchBytes;
  if (batch && !jobs_.empty() && !jobs_.back()->sealed &&
      (jobs_.back()->items.size() >= options_.batchFiles || jobs_.back()->bytes + size > options_.batchBytes)) {
    jobs_.back()->sealed = true;
    changed_.notify_all();
  }
  Job& job = OpenJob(batch);
  Item item;
  item.path = std::move(path);
  item.size = size;
  item.length = size;
  item.compress = compress;
  job.items.push_back(std::move(item));
  job.bytes += size;
  if (!batch) {
    job.sealed = true;
    changed_.notify_all();
  }
  return nextTicket_++;
}

std::size_t EntryCompressor::AddBlocks(std::string path, std::uint64_t size, bool compress) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t first = nextTicket_;
  const std::size_t count = BlockCount(size);
  for (std::size_t i = 0; i < count; ++i) {
    Job& job = OpenJob(false);
    Item item;
    item.path = path;
    item.size = size;
    item.block = true;
    item.offset = i * options_.blockSize;
    item.length = std::min<std::uint64_t>(options_.blockSize, size - item.offset);
    item.compress = compress;
    job.bytes = item.length;
    job.items.push_back(std::move(item));
    job.sealed = true;
    ++nextTicket_;
  }
  changed_.notify_all();
  return first;
}

PreparedEntry EntryCompressor::Take(std::size_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ticket != nextTake_ || jobs_.empty()) {
    PreparedEntry wrong;
    wrong.error = "internal error: entries taken out of order";
    return wrong;
  }
  Job& job = *jobs_.front();
  if (!job.sealed) {
    job.sealed = true;
    changed_.notify_all();
  }
  changed_.wait(lock, [&job] { return job.ready; });
  PreparedEntry entry = std::move(job.items[ticket - job.firstTicket].result);
  ++nextTake_;
  if (++job.taken == job.items.size()) {
    bytesHeld_ -= job.bytes;
    jobs_.pop_front();
    --nextToStart_;
    changed_.notify_all();
  }
  return entry;
}

std::uint64_t EntryCompressor::PeakBytesHeld() {
  std::lock_guard<std::mutex> lock(mutex_);
  return peakHeld_;
}

void EntryCompressor::Work() {
  Worker worker(options_.level);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The next job starts when it fits in what may be held ahead of the writer, or when
    // nothing is held at all (so a job the writer waits for always starts).
    changed_.wait(lock, [this] {
      if (stopping_) return true;
      if (nextToStart_ >= jobs_.size() || !jobs_[nextToStart_]->sealed) return false;
      const Job& next = *jobs_[nextToStart_];
      return bytesHeld_ == 0 || bytesHeld_ + next.bytes <= options_.bytesAhead;
    });
    if (stopping_) return;
    Job& job = *jobs_[nextToStart_];
    ++nextToStart_;
    bytesHeld_ += job.bytes;
    peakHeld_ = std::max(peakHeld_, bytesHeld_);
    lock.unlock();
    for (Item& item : job.items) Prepare(item, worker);
    lock.lock();
    job.ready = true;
    changed_.notify_all();
  }
}

void EntryCompressor::Prepare(Item& item, Worker& worker) {
  PreparedEntry& result = item.result;
  result.size = item.length;
  const File file(item.path);
  if (file.fd < 0) {
    result.error = std::strerror(errno);
    return;
  }
  const std::uint64_t prime = item.block && item.compress ? std::min<std::uint64_t>(kWindow, item.offset) : 0;
  char* bytes = worker.Room(static_cast<std::size_t>(prime + item.length));
  result.error = ReadAt(file, bytes, prime + item.length, item.offset - prime);
  if (result.error.empty() && item.offset + item.length == item.size) result.error = EndsAt(file, item.size);
  if (!result.error.empty()) return;
  const std::string_view data(bytes + prime, static_cast<std::size_t>(item.length));
  result.crc = Crc32(data);
  if (!item.block) result.sha256 = Sha256(data);
  if (!item.compress) {
    result.data.assign(data.data(), data.size());
    return;
  }
  if (item.block) result.raw.assign(data.data(), data.size());
  if (!item.block) {
    result.data.resize(libdeflate_deflate_compress_bound(worker.whole, data.size()));
    const size_t n = worker.whole == nullptr ? 0
                     : libdeflate_deflate_compress(worker.whole, data.data(), data.size(), result.data.data(),
                                                   result.data.size());
    if (n == 0) result.error = "out of memory for the compressor";
    result.data.resize(n);
    result.deflated = n != 0;
    return;
  }
  // A block: deflated on its own and made to continue into the next one, the file's last
  // block ending the stream.
  const bool last = item.offset + item.length == item.size;
  if (worker.whole != nullptr) {
    result.data.resize(libdeflate_deflate_compress_bound(worker.whole, data.size()) + 5);
    const size_t n = libdeflate_deflate_compress(worker.whole, data.data(), data.size(), result.data.data(),
                                                 result.data.size());
    result.data.resize(n);
    if (n != 0 && (last || MakeContinuable(result.data))) {
      result.deflated = true;
      return;
    }
  }
  // Otherwise zlib: primed with the bytes before the block, ended on a byte boundary (a
  // sync flush).
  z_stream& z = worker.blocks;
  if (!worker.blocksReady || deflateReset(&z) != Z_OK ||
      (prime > 0 && deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(prime)) != Z_OK)) {
    result.error = "out of memory for the compressor";
    return;
  }
  result.data.resize(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::size_t produced = 0;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(result.data.data() + produced);
    z.avail_out = static_cast<uInt>(result.data.size() - produced);
    const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    produced = result.data.size() - z.avail_out;
    if (rc == Z_STREAM_ERROR) {
      result.error = "the compressor failed";
      return;
    }
    if (z.avail_out != 0 && (last ? rc == Z_STREAM_END : z.avail_in == 0)) break;
    result.data.resize(result.data.size() * 2);
  }
  result.data.resize(produced);
  result.deflated = true;
}

}  // namespace zpk
