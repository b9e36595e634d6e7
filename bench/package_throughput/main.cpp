// Packaging throughput: a generated tree of 2,000 files (about 200 MB, half of it already
// compressed) packaged and signed by the kit's tool, beside `zip -r -q` of the same tree
// and beside `jar cf` followed by `jarsigner` with a PKCS12 keystore.
//
// Usage: package_throughput [FILES [TOTAL_MB]]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/profile_maker.h"

namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; the seconds it took, or -1 when it failed.
double Timed(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  int rc = std::system(command.c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rc == 0 ? seconds : -1;
}

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

double MegaBytes(const std::string& path) {
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  return ec ? 0 : static_cast<double>(size) / 1e6;
}

void WriteFile(const fs::path& path, size_t size, bool compressible, unsigned seed) {
  std::string data;
  data.reserve(size);
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

// The kit's iPhone packager on the same tree: a test build signed with a keystore of its
// own against a profile made for it. Prints the median of `runs` runs.
void TimeIphonePackager(const fs::path& root, const fs::path& tree, int runs) {
  const zaro::testing::TestIdentity identity = zaro::testing::MakeTestIdentity("Bench");
  const std::string keystore = (root / "phone.p12").string();
  zaro::testing::ProfileContent content;
  content.applicationIdentifier = "ABCDE12345.bench";
  content.developerCertificates = {identity.certificateDer};
  content.provisionedDevices = {"bench-device"};
  const fs::path profile = root / "bench.mobileprovision";
  if (!zaro::testing::WriteKeystore(keystore, identity, "benchpass") || !zaro::testing::WriteProfile(profile, content)) {
    std::printf("mpk -package: skipped (no keystore or profile)\n");
    return;
  }
  const std::string ipa = (root / "bench.ipa").string();
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    times.push_back(Timed(Quote(MPK_TOOL_PATH) + " -package -target ipa-test -provisioning-profile " +
                          Quote(profile.string()) + " -storetype PKCS12 -keystore " + Quote(keystore) +
                          " -storepass benchpass " + Quote(ipa) + " " +
                          Quote((tree / "Movie" / "Movie-app.xml").string()) + " -C " +
                          Quote((tree / "Movie").string()) + " Movie.qmv data"));
  }
  std::sort(times.begin(), times.end());
  std::printf("mpk -package (ipa-test, median of %d): %7.2f s  output %7.1f MB\n", runs, times[times.size() / 2],
              MegaBytes(ipa));
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  const double totalMb = argc > 2 ? std::atof(argv[2]) : 200.0;
  const size_t perFile = static_cast<size_t>(totalMb * 1e6 / files);

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/zpk-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  const fs::path tree = root / "tree";
  fs::create_directories(tree / "Movie" / "data");

  // The tree: a movie, its descriptor, and files spread over 20 folders, every other one
  // already compressed (.jpg, random bytes) and the rest text.
  std::ofstream(tree / "Movie" / "Movie.qmv", std::ios::binary) << "QMV\x05" << std::string(4092, '\x2a');
  std::ofstream(tree / "Movie" / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?><application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>bench</id><version>1.0</version><filename>Bench</filename><name>Bench</name>"
         "<initialWindow><content>Movie.qmv</content></initialWindow></application>";
  double compressedMb = 0;
  for (int i = 0; i < files; ++i) {
    fs::path folder = tree / "Movie" / "data" / ("d" + std::to_string(i % 20));
    fs::create_directories(folder);
    bool compressed = i % 2 == 0;
    WriteFile(folder / ("f" + std::to_string(i) + (compressed ? ".jpg" : ".txt")), perFile, !compressed,
              static_cast<unsigned>(i));
    if (compressed) compressedMb += static_cast<double>(perFile) / 1e6;
  }
  std::system(("cat $(find " + Quote(tree.string()) + " -type f) > /dev/null").c_str());  // warm the cache
  std::printf("tree: %d files, %.1f MB (%.1f MB already compressed)\n", files + 2, totalMb, compressedMb);

  const std::string tool = ZPK_TOOL_PATH;
  const std::string keystore = (root / "bench.p12").string();
  if (Timed(Quote(tool) + " -certificate -cn Bench -ou Bench -o Bench -c US 2048-RSA " + Quote(keystore) +
            " benchpass") < 0) {
    std::printf("could not create the keystore\n");
    return 1;
  }
  const std::string zaro = (root / "bench.zaro").string();
  double zpk = Timed(Quote(tool) + " -package -storetype PKCS12 -keystore " + Quote(keystore) +
                     " -storepass benchpass -tsa none " + Quote(zaro) + " " +
                     Quote((tree / "Movie" / "Movie-app.xml").string()) + " -C " + Quote((tree / "Movie").string()) +
                     " Movie.qmv data");
  std::printf("ZPK -package (sign, no time stamp): %7.2f s  output %7.1f MB\n", zpk, MegaBytes(zaro));
  double verify = Timed(Quote(tool) + " -verify " + Quote(zaro) + " > /dev/null");
  std::printf("ZPK -verify:                        %7.2f s\n", verify);
  TimeIphonePackager(root, tree, 3);

  if (Have("zip")) {
    const std::string zipped = (root / "bench.zip").string();
    double zip = Timed("cd " + Quote((tree / "Movie").string()) + " && zip -r -q " + Quote(zipped) + " .");
    std::printf("zip -r -q:                          %7.2f s  output %7.1f MB\n", zip, MegaBytes(zipped));
  } else {
    std::printf("zip -r -q: skipped (zip is not installed)\n");
  }

  if (Have("jar") && Have("jarsigner") && Have("keytool")) {
    const std::string javaStore = (root / "java.p12").string();
    const std::string jarFile = (root / "bench.jar").string();
    Timed("keytool -genkeypair -alias bench -keyalg RSA -keysize 2048 -dname CN=Bench -validity 365 "
          "-storetype PKCS12 -keystore " + Quote(javaStore) + " -storepass benchpass -keypass benchpass > /dev/null 2>&1");
    double jar = Timed("jar cf " + Quote(jarFile) + " -C " + Quote((tree / "Movie").string()) + " .");
    double sign = Timed("jarsigner -storetype PKCS12 -keystore " + Quote(javaStore) +
                        " -storepass benchpass " + Quote(jarFile) + " bench > /dev/null 2>&1");
    std::printf("jar cf + jarsigner (PKCS12):        %7.2f s  (jar %.2f s, jarsigner %.2f s) output %7.1f MB\n",
                jar < 0 || sign < 0 ? -1.0 : jar + sign, jar, sign, MegaBytes(jarFile));
  } else {
    std::printf("jar cf + jarsigner: skipped (the JDK tools are not installed)\n");
  }

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return zpk < 0 ? 1 : 0;
}
