// Measures how long CreateWinProcess takes to return once its tool has exited.
// The tool is this program started with "--child": it writes the requested number of bytes
// to standard output, stores the monotonic clock in a file and exits at once. The runner is
// called as the packaging worker calls it: capturing, with a cancel flag.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/process_runner.h"
#include "platform/text.h"

namespace {

constexpr int kRuns = 50;
constexpr long long kLargeOutput = 10LL << 20;

long long MonotonicNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

int Child(const char* stampFile, long long bytes) {
  std::string chunk(65536, 'x');
  while (bytes > 0) {
    const size_t n = static_cast<size_t>(std::min<long long>(bytes, static_cast<long long>(chunk.size())));
    const ssize_t written = ::write(1, chunk.data(), n);
    if (written <= 0) return 3;
    bytes -= written;
  }
  const int fd = ::open(stampFile, O_WRONLY | O_TRUNC);
  if (fd < 0) return 4;
  const long long stamp = MonotonicNs();
  if (::write(fd, &stamp, sizeof stamp) != static_cast<ssize_t>(sizeof stamp)) return 5;
  ::_exit(0);  // no clean-up between the stamp and the exit
}

// Median milliseconds from the tool's stamp to the runner's return; -1 when a run failed.
double MedianLatencyMs(const std::string& self, const std::string& stampFile, long long bytes) {
  const std::u16string line = u"\"" + zaro::platform::ToWindowsForm(self) + u"\" --child \"" +
                              zaro::FromUtf8(stampFile) + u"\" " +
                              zaro::FromUtf8(std::to_string(bytes));
  std::vector<double> samples;
  std::atomic<unsigned char> cancel{0};
  for (int i = 0; i < kRuns; ++i) {
    std::string output;
    const int code = zaro::CreateWinProcess(line, true, output, &cancel);
    const long long returned = MonotonicNs();
    long long stamp = 0;
    const int fd = ::open(stampFile.c_str(), O_RDONLY);
    const bool read = fd >= 0 && ::read(fd, &stamp, sizeof stamp) == static_cast<ssize_t>(sizeof stamp);
    if (fd >= 0) ::close(fd);
    if (code != 0 || !read) {
      std::fprintf(stderr, "run %d failed: exit code %d\n", i, code);
      return -1;
    }
    samples.push_back(static_cast<double>(returned - stamp) / 1e6);
  }
  std::sort(samples.begin(), samples.end());
  std::printf("  %lld bytes: min %.3f ms, max %.3f ms over %d runs\n", bytes, samples.front(), samples.back(), kRuns);
  return (samples[kRuns / 2 - 1] + samples[kRuns / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return Child(argv[2], std::atoll(argv[3]));

  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  char stampFile[] = "/tmp/runner-latency-XXXXXX";
  const int fd = ::mkstemp(stampFile);
  if (fd < 0) return 1;
  ::close(fd);
  const double quick = MedianLatencyMs(self, stampFile, 0);
  const double large = MedianLatencyMs(self, stampFile, kLargeOutput);
  ::unlink(stampFile);
  if (quick < 0 || large < 0) return 1;
  std::printf("median exit-to-return: %.3f ms\n", quick);
  std::printf("median with 10 MiB output: %.3f ms\n", large);
  return 0;
}
