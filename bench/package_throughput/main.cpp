// Packaging throughput: generated trees packaged and signed by the kit's tool, beside
// contenders that do the same work on the same tree with a warm cache:
//   ZPK -package            the kit's packaging tool, signing, no time stamp
//   mpk -package            the kit's iPhone packager signing the same tree (ipa-test)
//   zip -r -q -n SUFFIXES   zip with the tool's own rule for what is stored (the fair zip)
//   zip -r -q -0            store only: the floor for writing an archive
//   jar cf + jarsigner      a Java archive signed with a PKCS12 keystore (with --java)
//   read and hash           every file read and its SHA-256 taken on one core: the floor
//                           for any signer
// Every round runs each contender once, in an order that turns by one place each round, so
// that a change of load on a shared machine falls on all of them alike. The median time,
// the peak memory of the process and the size of its output are printed, then the tool's
// ratios to the fair zip and to the floor, and the load average before and after.
//
// Usage: package_throughput [--runs N] [--java] [TREE...]
//   mixed   (the default) real text (the system's C headers), random media, 3,000 small
//           files, one 120 MB text file and one 30 MB video
//   small   20,000 files of 1 KB
//   2G      one 2 GB text file (on request only: it takes minutes)
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "testing/profile_maker.h"
#include "zip_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Real text: the system's C headers, concatenated, as much as is asked for (repeated when
// there is less).
class HeaderText {
 public:
  HeaderText() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/include", fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator() && text_.size() < (64u << 20); it.increment(ec)) {
      if (ec || !it->is_regular_file(ec) || it->path().extension() != ".h") continue;
      std::ifstream in(it->path(), std::ios::binary);
      text_.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (text_.empty()) text_ = "#define NOTHING_HERE 1 /* no headers were found */\n";
  }
  // `size` bytes of text starting at `at` (wrapping around).
  std::string Slice(size_t at, size_t size) const {
    std::string out;
    out.reserve(size);
    at %= text_.size();
    while (out.size() < size) {
      const size_t n = std::min(size - out.size(), text_.size() - at);
      out.append(text_, at, n);
      at = 0;
    }
    return out;
  }
  void WriteTo(const fs::path& path, size_t size, size_t at = 0) const {
    std::ofstream out(path, std::ios::binary);
    at %= text_.size();
    for (size_t done = 0; done < size;) {
      const size_t n = std::min(size - done, text_.size() - at);
      out.write(text_.data() + at, static_cast<std::streamsize>(n));
      done += n;
      at = 0;
    }
  }
  size_t size() const { return text_.size(); }

 private:
  std::string text_;
};

struct Measure {
  double seconds = -1;   // -1: failed
  double peakMb = 0;     // largest resident set of the process
  double cpuSeconds = 0; // processor time of the process (user and system)
};

// Runs a program in `folder` with its standard output and error discarded.
Measure Run(const std::vector<std::string>& argv, const fs::path& folder) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    if (chdir(folder.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  Measure measure;
  if (pid < 0) return measure;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) measure.seconds = seconds;
  measure.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return measure;
}

// Reads every file under `tree` and takes its SHA-256, in this process on one thread.
Measure ReadAndHash(const fs::path& tree) {
  const auto start = Clock::now();
  std::vector<char> buffer(1 << 20);
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  for (const auto& item : fs::recursive_directory_iterator(tree)) {
    if (!item.is_regular_file()) continue;
    const int fd = open(item.path().c_str(), O_RDONLY);
    if (fd < 0) continue;
    EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) EVP_DigestUpdate(md, buffer.data(), n);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(md, digest, &size);
    close(fd);
  }
  EVP_MD_CTX_free(md);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {seconds, 0, seconds};
}

// The run whose time is the median, with the largest peak memory of all runs; a failed
// run makes the whole a failure.
Measure Median(std::vector<Measure> all) {
  if (all.empty()) return {};
  for (const Measure& m : all)
    if (m.seconds < 0) return m;
  std::sort(all.begin(), all.end(), [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
  Measure median = all[all.size() / 2];
  for (const Measure& m : all) median.peakMb = std::max(median.peakMb, m.peakMb);
  return median;
}

struct Contender {
  Contender(std::string n, std::function<Measure()> run, fs::path out)
      : name(std::move(n)), once(std::move(run)), output(std::move(out)) {}
  std::string name;
  std::function<Measure()> once;
  fs::path output;  // what it writes, removed before every run
  std::vector<Measure> runs;
  double outputMb = 0;
};

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

double MegaBytes(const fs::path& path) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<double>(size) / 1e6;
}

void WriteNoise(const fs::path& path, size_t size, unsigned seed) {
  std::string data;
  data.reserve(size + 8);
  unsigned long long x = 0x9e3779b97f4a7c15ULL ^ (static_cast<unsigned long long>(seed) << 32);
  while (data.size() < size) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    data.append(reinterpret_cast<const char*>(&x), sizeof x);
  }
  data.resize(size);
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The movie folder: a movie, its descriptor and data/ with the tree's files.
void MakeTree(const fs::path& movie, const std::string& shape, const HeaderText& text) {
  fs::create_directories(movie / "data");
  std::ofstream(movie / "Movie.qmv", std::ios::binary) << "QMV\x05" << std::string(4092, '\x2a');
  std::ofstream(movie / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?><application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>bench</id><version>1.0</version><filename>Bench</filename><name>Bench</name>"
         "<initialWindow><content>Movie.qmv</content></initialWindow></application>";
  const fs::path data = movie / "data";
  if (shape == "small") {
    for (int i = 0; i < 20000; ++i) {
      const fs::path folder = data / ("d" + std::to_string(i % 100));
      fs::create_directories(folder);
      std::ofstream(folder / ("f" + std::to_string(i) + ".txt"), std::ios::binary) << text.Slice(i * 7919u, 1024);
    }
  } else if (shape == "2G") {
    text.WriteTo(data / "large.txt", size_t{2} << 30);
  } else {  // mixed
    size_t at = 0;
    for (int i = 0; i < 3000; ++i) {  // many small files, a third of them small images
      const fs::path folder = data / "small" / ("d" + std::to_string(i % 30));
      fs::create_directories(folder);
      const size_t size = 512 + (i * 2654435761u) % 7680;
      if (i % 3 == 0) WriteNoise(folder / ("s" + std::to_string(i) + ".png"), size, i);
      else std::ofstream(folder / ("s" + std::to_string(i) + ".txt"), std::ios::binary) << text.Slice(at += size, size);
    }
    for (int i = 0; i < 64; ++i) {  // headers as they are: 100 KB to 1.5 MB of text each
      const size_t size = 100000 + (i * 2654435761u) % 1400000;
      fs::create_directories(data / "text");
      text.WriteTo(data / "text" / ("h" + std::to_string(i) + ".h"), size, at += size);
    }
    fs::create_directories(data / "media");
    for (int i = 0; i < 40; ++i) {
      const char* suffix = i % 3 == 0 ? ".jpg" : i % 3 == 1 ? ".png" : ".m4a";
      WriteNoise(data / "media" / ("m" + std::to_string(i) + suffix), 250000 + (i * 40503u) % 1500000, 1000 + i);
    }
    text.WriteTo(data / "large.txt", 120u << 20, at);
    WriteNoise(data / "clip.mp4", 30u << 20, 7);
  }
}

// Bytes and files under `tree`.
void TreeSize(const fs::path& tree, double& megabytes, size_t& files) {
  megabytes = 0;
  files = 0;
  for (const auto& item : fs::recursive_directory_iterator(tree))
    if (item.is_regular_file()) {
      megabytes += static_cast<double>(item.file_size()) / 1e6;
      ++files;
    }
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string Seconds(const Measure& m) {
  char text[32];
  if (m.seconds < 0) return "  failed";
  std::snprintf(text, sizeof text, "%8.3f", m.seconds);
  return text;
}

// A keystore and a test profile that fit each other, for the iPhone packager's runs.
bool MakeIphoneCredentials(const fs::path& root, std::string& keystore, std::string& profile) {
  const zaro::testing::TestIdentity identity = zaro::testing::MakeTestIdentity("Bench");
  keystore = (root / "phone.p12").string();
  profile = (root / "bench.mobileprovision").string();
  zaro::testing::ProfileContent content;
  content.applicationIdentifier = "ABCDE12345.bench";
  content.developerCertificates = {identity.certificateDer};
  content.provisionedDevices = {"bench-device"};
  return zaro::testing::WriteKeystore(keystore, identity, "benchpass") &&
         zaro::testing::WriteProfile(profile, content);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int runs = 5;
  bool java = false;
  std::vector<std::string> shapes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--java") {
      java = true;
    } else if (arg == "mixed" || arg == "small" || arg == "2G") {
      shapes.push_back(arg);
    } else {
      std::fprintf(stderr, "usage: package_throughput [--runs N] [--java] [mixed|small|2G]...\n");
      return 2;
    }
  }
  if (shapes.empty()) shapes.push_back("mixed");

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/zpk-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  const std::string tool = ZPK_TOOL_PATH;
  const std::string keystore = (root / "bench.p12").string();
  if (Run({tool, "-certificate", "-cn", "Bench", "-ou", "Bench", "-o", "Bench", "-c", "US", "2048-RSA", keystore,
           "benchpass"}, root).seconds < 0) {
    std::printf("could not create the keystore\n");
    return 1;
  }
  const bool haveZip = Have("zip");
  const bool haveJava = java && Have("jar") && Have("jarsigner") && Have("keytool");
  const std::string javaStore = (root / "java.p12").string();
  if (haveJava) {
    Run({"keytool", "-genkeypair", "-alias", "bench", "-keyalg", "RSA", "-keysize", "2048", "-dname", "CN=Bench",
         "-validity", "365", "-storetype", "PKCS12", "-keystore", javaStore, "-storepass", "benchpass", "-keypass",
         "benchpass"}, root);
  }
  std::string phoneKeystore, profile;
  const bool havePhone = MakeIphoneCredentials(root, phoneKeystore, profile);
  std::string suffixes;
  for (const std::string& suffix : zpk::StoredSuffixes()) suffixes += (suffixes.empty() ? "." : ":.") + suffix;
  {
    // Every tree is made first and the text let go before any run: a child starts with the
    // memory of this process, and its peak would count it.
    const auto text = std::make_unique<HeaderText>();
    for (const std::string& shape : shapes) MakeTree(root / shape / "Movie", shape, *text);
  }
  malloc_trim(0);
  std::printf("%d cores; load average at the start %s\n", static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)),
              LoadAverage().c_str());

  int failures = 0;
  for (const std::string& shape : shapes) {
    const fs::path movie = root / shape / "Movie";
    double treeMb = 0;
    size_t files = 0;
    TreeSize(movie, treeMb, files);
    std::system(("find '" + movie.string() + "' -type f -exec cat {} + > /dev/null").c_str());  // warm the cache

    std::vector<Contender> contenders;
    contenders.push_back({"ZPK -package (sign, no time stamp)", [&] {
                            return Run({tool, "-package", "-storetype", "PKCS12", "-keystore", keystore, "-storepass",
                                        "benchpass", "-tsa", "none", (root / "bench.zaro").string(),
                                        (movie / "Movie-app.xml").string(), "-C", movie.string(), "Movie.qmv", "data"},
                                       root);
                          }, root / "bench.zaro"});
    if (havePhone)
      contenders.push_back({"mpk -package (ipa-test)", [&] {
                              return Run({MPK_TOOL_PATH, "-package", "-target", "ipa-test", "-provisioning-profile",
                                          profile, "-storetype", "PKCS12", "-keystore", phoneKeystore, "-storepass",
                                          "benchpass", (root / "bench.ipa").string(),
                                          (movie / "Movie-app.xml").string(), "-C", movie.string(), "Movie.qmv",
                                          "data"}, root);
                            }, root / "bench.ipa"});
    if (haveZip) {
      contenders.push_back({"zip -r -q -n SUFFIXES (fair zip)", [&] {
                              return Run({"zip", "-r", "-q", "-n", suffixes, (root / "fair.zip").string(), "."}, movie);
                            }, root / "fair.zip"});
      contenders.push_back({"zip -r -q -0 (store only)", [&] {
                              return Run({"zip", "-r", "-q", "-0", (root / "stored.zip").string(), "."}, movie);
                            }, root / "stored.zip"});
    }
    if (haveJava)
      contenders.push_back({"jar cf + jarsigner (PKCS12)", [&] {
                              const std::string jarFile = (root / "bench.jar").string();
                              const Measure jar = Run({"jar", "cf", jarFile, "-C", movie.string(), "."}, root);
                              if (jar.seconds < 0) return jar;
                              const Measure sign = Run({"jarsigner", "-storetype", "PKCS12", "-keystore", javaStore,
                                                        "-storepass", "benchpass", jarFile, "bench"}, root);
                              if (sign.seconds < 0) return sign;
                              return Measure{jar.seconds + sign.seconds, std::max(jar.peakMb, sign.peakMb),
                                             jar.cpuSeconds + sign.cpuSeconds};
                            }, root / "bench.jar"});
    contenders.push_back({"read and hash (one core, the floor)", [&] { return ReadAndHash(movie); }, {}});

    std::printf("\ntree %s: %zu files, %.0f MB; %d rounds, contenders alternated\n", shape.c_str(), files, treeMb, runs);
    for (int round = 0; round < runs; ++round) {
      for (size_t k = 0; k < contenders.size(); ++k) {
        Contender& c = contenders[(k + static_cast<size_t>(round)) % contenders.size()];
        std::error_code ignored;
        if (!c.output.empty()) fs::remove(c.output, ignored);
        c.runs.push_back(c.once());
        if (!c.output.empty()) c.outputMb = MegaBytes(c.output);
      }
    }
    std::printf("  %-36s %8s  %8s  %9s  %9s\n", "contender (median)", "seconds", "cpu s", "peak MB", "output MB");
    std::vector<Measure> medians;
    for (const Contender& c : contenders) {
      medians.push_back(Median(c.runs));
      std::printf("  %-36s %s  %8.3f  %9.1f  %9.1f\n", c.name.c_str(), Seconds(medians.back()).c_str(),
                  medians.back().cpuSeconds, medians.back().peakMb, c.outputMb);
    }
    const Measure zpk = medians.front();
    if (zpk.seconds < 0) ++failures;
    const Measure verify = Run({tool, "-verify", (root / "bench.zaro").string()}, root);
    std::printf("  %-36s %s  (the package %s)\n", "ZPK -verify (once)", Seconds(verify).c_str(),
                verify.seconds < 0 ? "does NOT verify" : "verifies");
    if (verify.seconds < 0) ++failures;
    const Measure floor = medians.back();
    if (zpk.seconds > 0) {
      if (haveZip && medians[havePhone ? 2 : 1].seconds > 0) {
        const size_t fair = havePhone ? 2 : 1;
        std::printf("  tool / fair zip: %.2f (time), %.2f (processor time), %.3f (size)\n",
                    zpk.seconds / medians[fair].seconds, zpk.cpuSeconds / medians[fair].cpuSeconds,
                    contenders.front().outputMb / contenders[fair].outputMb);
      }
      if (floor.seconds > 0) std::printf("  tool / read and hash: %.2f\n", zpk.seconds / floor.seconds);
    }
    std::printf("  load average after the tree: %s\n", LoadAverage().c_str());
    for (const Contender& c : contenders) {
      std::error_code ignored;
      if (!c.output.empty()) fs::remove(c.output, ignored);
    }
    fs::remove_all(root / shape);
  }

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return failures == 0 ? 0 : 1;
}
