// Packaging throughput: generated trees packaged and signed by the kit's tool, beside
// contenders that do the same work on the same tree with a warm cache:
//   mpk -package            the kit's iPhone packager signing the same tree (ipa-test)
//   zip -r -q -n SUFFIXES   zip with the tool's own rule for what is stored (the fair zip)
//   zip -r -q -0            store only: the floor for writing an archive
//   jar cf + jarsigner      a Java archive signed with a PKCS12 keystore
//   read and hash           every file read and its SHA-256 taken on one core: the floor
//                           for any signer
// Each is run several times; the median time, the peak memory of the process and the size
// of its output are printed, then the tool's ratios to the fair zip and to the floor.
//
// Usage: package_throughput [--runs N] [TREE...]
//   TREE: 10M, 200M (the default), 1G, or small (10,000 files of 1 KB).
#include <fcntl.h>
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
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "testing/profile_maker.h"
#include "zip_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TreeShape {
  std::string name;
  int files = 0;          // small files, half already compressed (.jpg), half text
  double smallMb = 0;     // their total size
  int largeFiles = 0;     // files over the tool's whole-file bound (.mp4 and .txt)
  double largeMb = 0;     // size of each
};

bool ShapeFor(const std::string& name, TreeShape& shape) {
  if (name == "10M") shape = {name, 100, 10, 0, 0};
  else if (name == "200M") shape = {name, 2000, 180, 2, 10};
  else if (name == "1G") shape = {name, 8000, 900, 4, 25};
  else if (name == "small") shape = {name, 10000, 10, 0, 0};
  else return false;
  return true;
}

struct Measure {
  double seconds = -1;   // -1: failed
  double peakMb = 0;     // largest resident set of the process
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
  return {std::chrono::duration<double>(Clock::now() - start).count(), 0};
}

// The median time of `runs` runs (the one whose time is the median, with its memory).
Measure Median(int runs, const std::function<Measure()>& once) {
  std::vector<Measure> all;
  for (int i = 0; i < runs; ++i) {
    Measure m = once();
    if (m.seconds < 0) return m;
    all.push_back(m);
  }
  std::sort(all.begin(), all.end(), [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
  Measure median = all[all.size() / 2];
  for (const Measure& m : all) median.peakMb = std::max(median.peakMb, m.peakMb);
  return median;
}

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

double MegaBytes(const fs::path& path) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<double>(size) / 1e6;
}

void WriteFile(const fs::path& path, size_t size, bool compressible, unsigned seed) {
  std::string data;
  data.reserve(size + 128);
  if (compressible) {
    unsigned line = seed;
    while (data.size() < size) {
      data += "record " + std::to_string(line) + ": value=" + std::to_string((line * 2654435761u) % 100000) +
              " status=ok the quick brown fox jumps over the lazy dog\n";
      ++line;
    }
  } else {
    unsigned long long x = 0x9e3779b97f4a7c15ULL ^ (static_cast<unsigned long long>(seed) << 32);
    while (data.size() < size) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      data.append(reinterpret_cast<const char*>(&x), sizeof x);
    }
  }
  data.resize(size);
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The movie folder: a movie, its descriptor and data/ with the shape's files.
void MakeTree(const fs::path& movie, const TreeShape& shape) {
  fs::create_directories(movie / "data");
  std::ofstream(movie / "Movie.qmv", std::ios::binary) << "QMV\x05" << std::string(4092, '\x2a');
  std::ofstream(movie / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?><application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>bench</id><version>1.0</version><filename>Bench</filename><name>Bench</name>"
         "<initialWindow><content>Movie.qmv</content></initialWindow></application>";
  const auto perFile = static_cast<size_t>(shape.smallMb * 1e6 / shape.files);
  for (int i = 0; i < shape.files; ++i) {
    const fs::path folder = movie / "data" / ("d" + std::to_string(i % 20));
    fs::create_directories(folder);
    const bool compressed = i % 2 == 0;
    WriteFile(folder / ("f" + std::to_string(i) + (compressed ? ".jpg" : ".txt")), perFile, !compressed,
              static_cast<unsigned>(i));
  }
  for (int i = 0; i < shape.largeFiles; ++i) {
    const bool compressed = i % 2 == 0;
    WriteFile(movie / "data" / ("large" + std::to_string(i) + (compressed ? ".mp4" : ".txt")),
              static_cast<size_t>(shape.largeMb * 1e6), !compressed, static_cast<unsigned>(100000 + i));
  }
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
  int runs = 3;
  std::vector<TreeShape> shapes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    TreeShape shape;
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (ShapeFor(arg, shape)) {
      shapes.push_back(shape);
    } else {
      std::fprintf(stderr, "usage: package_throughput [--runs N] [10M|200M|1G|small]...\n");
      return 2;
    }
  }
  if (shapes.empty()) shapes.push_back(TreeShape{"200M", 2000, 180, 2, 10});

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
  const bool haveJava = Have("jar") && Have("jarsigner") && Have("keytool");
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

  int failures = 0;
  for (const TreeShape& shape : shapes) {
    const fs::path movie = root / shape.name / "Movie";
    MakeTree(movie, shape);
    std::system(("cat $(find '" + movie.string() + "' -type f) > /dev/null").c_str());  // warm the cache
    std::printf("\ntree %s: %d files, %.0f MB (%d of them over the tool's whole-file bound); median of %d runs\n",
                shape.name.c_str(), shape.files + shape.largeFiles + 2,
                shape.smallMb + shape.largeFiles * shape.largeMb, shape.largeFiles, runs);
    std::printf("  %-34s %8s  %9s  %9s\n", "contender", "seconds", "peak MB", "output MB");
    auto print = [](const char* name, const Measure& m, double outputMb) {
      std::printf("  %-34s %s  %9.1f  %9.1f\n", name, Seconds(m).c_str(), m.peakMb, outputMb);
    };

    const fs::path zaro = root / "bench.zaro";
    const Measure zpk = Median(runs, [&] {
      fs::remove(zaro);
      return Run({tool, "-package", "-storetype", "PKCS12", "-keystore", keystore, "-storepass", "benchpass", "-tsa",
                  "none", zaro.string(), (movie / "Movie-app.xml").string(), "-C", movie.string(), "Movie.qmv",
                  "data"}, root);
    });
    print("ZPK -package (sign, no time stamp)", zpk, MegaBytes(zaro));
    if (zpk.seconds < 0) ++failures;
    const Measure verify = Run({tool, "-verify", zaro.string()}, root);
    std::printf("  %-34s %s  (the package %s)\n", "ZPK -verify (once)", Seconds(verify).c_str(),
                verify.seconds < 0 ? "does NOT verify" : "verifies");
    if (verify.seconds < 0) ++failures;
    fs::remove(zaro);

    if (havePhone) {
      const fs::path ipa = root / "bench.ipa";
      const Measure mpk = Median(runs, [&] {
        fs::remove(ipa);
        return Run({MPK_TOOL_PATH, "-package", "-target", "ipa-test", "-provisioning-profile", profile, "-storetype",
                    "PKCS12", "-keystore", phoneKeystore, "-storepass", "benchpass", ipa.string(),
                    (movie / "Movie-app.xml").string(), "-C", movie.string(), "Movie.qmv", "data"}, root);
      });
      print("mpk -package (ipa-test)", mpk, MegaBytes(ipa));
      if (mpk.seconds < 0) ++failures;
      fs::remove(ipa);
    } else {
      std::printf("  mpk -package: skipped (no keystore or profile)\n");
    }

    Measure fairZip;
    if (haveZip) {
      const fs::path zipped = root / "bench.zip";
      fairZip = Median(runs, [&] {
        fs::remove(zipped);
        return Run({"zip", "-r", "-q", "-n", suffixes, zipped.string(), "."}, movie);
      });
      print("zip -r -q -n SUFFIXES (fair zip)", fairZip, MegaBytes(zipped));
      const Measure stored = Median(runs, [&] {
        fs::remove(zipped);
        return Run({"zip", "-r", "-q", "-0", zipped.string(), "."}, movie);
      });
      print("zip -r -q -0 (store only)", stored, MegaBytes(zipped));
      fs::remove(zipped);
    } else {
      std::printf("  zip: skipped (zip is not installed)\n");
    }

    if (haveJava) {
      const fs::path jarFile = root / "bench.jar";
      const Measure java = Median(runs, [&] {
        fs::remove(jarFile);
        const Measure jar = Run({"jar", "cf", jarFile.string(), "-C", movie.string(), "."}, root);
        if (jar.seconds < 0) return jar;
        const Measure sign = Run({"jarsigner", "-storetype", "PKCS12", "-keystore", javaStore, "-storepass",
                                  "benchpass", jarFile.string(), "bench"}, root);
        if (sign.seconds < 0) return sign;
        return Measure{jar.seconds + sign.seconds, std::max(jar.peakMb, sign.peakMb)};
      });
      print("jar cf + jarsigner (PKCS12)", java, MegaBytes(jarFile));
      fs::remove(jarFile);
    } else {
      std::printf("  jar cf + jarsigner: skipped (the JDK tools are not installed)\n");
    }

    const Measure floor = Median(runs, [&] { return ReadAndHash(movie); });
    print("read and hash (one core)", floor, 0);

    if (zpk.seconds > 0) {
      if (fairZip.seconds > 0) std::printf("  tool / fair zip:      %.2f\n", zpk.seconds / fairZip.seconds);
      if (floor.seconds > 0) std::printf("  tool / read and hash: %.2f\n", zpk.seconds / floor.seconds);
    }
    fs::remove_all(root / shape.name);
  }

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return failures == 0 ? 0 : 1;
}
