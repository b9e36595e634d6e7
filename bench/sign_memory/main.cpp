// Peak resident memory of the packaging tool's -sign and -verify on an intermediate file
// holding one entry of each given size (zeros: small on disk, large to read). Every size
// runs three times; the median is printed. The target is under 64 MB whatever the size.
//
// Usage: sign_memory [MB...]   (default 16 256 600)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs the tool; its peak resident memory in KiB, or -1 when it failed.
long PeakKib(const std::vector<std::string>& args) {
  pid_t child = ::fork();
  if (child == 0) {
    std::vector<char*> argv = {const_cast<char*>(ZPK_TOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

long Median(std::vector<long> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {16, 256, 600};
  char pattern[] = "/tmp/sign-memory-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path work = pattern;
  const std::string keystore = (work / "k.p12").string();
  if (PeakKib({"-certificate", "-cn", "Bench", "-ou", "B", "-o", "B", "-c", "CN", "2048-RSA", keystore, "pw"}) < 0)
    return 1;
  std::ofstream(work / "Movie.qmv", std::ios::binary) << "QMV\x01 movie";
  std::ofstream(work / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>com.example.Movie</id><filename>Movie</filename><version>1.0</version><initialWindow>"
         "<content>Movie.qmv</content></initialWindow></application>\n";
  std::printf("%10s %14s %16s\n", "entry MB", "-sign peak MB", "-verify peak MB");
  bool within = true;
  for (long mb : sizes) {
    std::ofstream(work / "big.bin", std::ios::trunc).close();
    fs::resize_file(work / "big.bin", static_cast<uintmax_t>(mb) << 20);
    const std::string intermediate = (work / "in.zaroi").string();
    const std::string package = (work / "out.zaro").string();
    if (PeakKib({"-prepare", intermediate, (work / "Movie-app.xml").string(), "-C", work.string(), "Movie.qmv",
                 "big.bin"}) < 0)
      return 1;
    std::vector<long> sign, verify;
    for (int run = 0; run < 3; ++run) {
      sign.push_back(PeakKib({"-sign", "-storetype", "PKCS12", "-keystore", keystore, "-storepass", "pw", "-tsa",
                              "none", intermediate, package}));
      verify.push_back(PeakKib({"-verify", package}));
    }
    const double signMb = Median(sign) / 1024.0, verifyMb = Median(verify) / 1024.0;
    std::printf("%10ld %14.1f %16.1f\n", mb, signMb, verifyMb);
    within = within && Median(sign) > 0 && signMb < 64 && Median(verify) > 0 && verifyMb < 64;
  }
  std::printf("%s\n", within ? "every peak under 64 MB" : "A PEAK OF 64 MB OR MORE");
  std::error_code error;
  fs::remove_all(work, error);
  return within ? 0 : 1;
}
