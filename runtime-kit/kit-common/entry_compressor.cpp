#include "entry_compressor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <libdeflate.h>

#include "openssl_util.h"

namespace zpk {

namespace {

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using CompressorPtr = std::unique_ptr<libdeflate_compressor, CompressorFree>;

// Raw deflate with a compressor that is already made.
bool DeflateWith(libdeflate_compressor* compressor, std::string_view data, std::string& out) {
  if (compressor == nullptr) return false;
  out.resize(libdeflate_deflate_compress_bound(compressor, data.size()));
  const size_t n = libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size());
  if (n == 0) {
    out.clear();
    return false;
  }
  out.resize(n);
  out.shrink_to_fit();
  return true;
}

// Reads exactly `size` bytes of the file; the reason when it cannot, or when the file is
// not that size any more.
std::string ReadExactly(const std::string& path, std::uint64_t size, std::string& data) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  data.resize(size);
  std::uint64_t done = 0;
  std::string error;
  while (error.empty()) {
    char extra;
    char* into = done < size ? data.data() + done : &extra;
    const size_t want = done < size ? static_cast<size_t>(size - done) : 1;
    const ssize_t n = read(fd, into, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
    } else if (n == 0) {
      if (done < size) error = "the file shrank while it was packaged";
      break;
    } else if (done >= size) {
      error = "the file grew while it was packaged";
    } else {
      done += static_cast<std::uint64_t>(n);
    }
  }
  close(fd);
  return error;
}

}  // namespace

bool DeflateRaw(std::string_view data, int level, std::string& out) {
  CompressorPtr compressor(libdeflate_alloc_compressor(level));
  return DeflateWith(compressor.get(), data, out);
}

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

EntryCompressor::EntryCompressor(CompressorOptions options) : options_(options) {
  if (options_.threads == 0) options_.threads = 1;
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

std::size_t EntryCompressor::Add(std::string path, std::uint64_t size, bool compress) {
  auto job = std::make_unique<Job>();
  job->path = std::move(path);
  job->size = size;
  job->compress = compress;
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.push_back(std::move(job));
  changed_.notify_all();
  return firstTicket_ + jobs_.size() - 1;
}

PreparedEntry EntryCompressor::Take(std::size_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ticket != firstTicket_ || jobs_.empty()) {
    PreparedEntry wrong;
    wrong.error = "internal error: entries taken out of order";
    return wrong;
  }
  changed_.wait(lock, [this] { return jobs_.front()->ready; });
  std::unique_ptr<Job> job = std::move(jobs_.front());
  jobs_.pop_front();
  ++firstTicket_;
  bytesHeld_ -= job->size;
  changed_.notify_all();
  return std::move(job->result);
}

void EntryCompressor::Work() {
  CompressorPtr compressor(libdeflate_alloc_compressor(options_.level));
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The next job starts when it fits in what may be held ahead of the writer, or when
    // nothing is held at all (so a job the writer waits for always starts).
    changed_.wait(lock, [this] {
      if (stopping_) return true;
      if (nextToStart_ >= firstTicket_ + jobs_.size()) return false;
      const Job& next = *jobs_[nextToStart_ - firstTicket_];
      return bytesHeld_ == 0 || bytesHeld_ + next.size <= options_.bytesAhead;
    });
    if (stopping_) return;
    Job& job = *jobs_[nextToStart_ - firstTicket_];
    ++nextToStart_;
    bytesHeld_ += job.size;
    lock.unlock();
    Prepare(job, compressor.get());
    lock.lock();
    job.ready = true;
    changed_.notify_all();
  }
}

void EntryCompressor::Prepare(Job& job, void* compressor) {
  PreparedEntry& result = job.result;
  result.size = job.size;
  std::string data;
  result.error = ReadExactly(job.path, job.size, data);
  if (!result.error.empty()) return;
  result.sha256 = Sha256(data);
  result.crc = Crc32(data);
  if (!job.compress) {
    result.data = std::move(data);
  } else if (DeflateWith(static_cast<libdeflate_compressor*>(compressor), data, result.data)) {
    result.deflated = true;
  } else {
    result.error = "out of memory for the compressor";
  }
}

}  // namespace zpk
