// Cancel leaves nothing behind: a tree of about 200 MB (half of it already compressed) is
// packaged and signed by the kit's tool through the module's process runner, and Cancel is
// pressed at a different moment of each of N runs. Afterwards the output folder must hold
// only the package of the first, completed run, and no process of any run may be alive.
//
// Usage: cancel_litter [RUNS [TOTAL_MB]]
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/process_runner.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, size_t size, bool compressible, unsigned seed) {
  std::string data;
  data.reserve(size);
  std::mt19937 random(seed);
  while (data.size() < size) {
    if (compressible) data += "line " + std::to_string(data.size()) + " of a text asset that compresses well\n";
    else data.push_back(static_cast<char>(random()));
  }
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
}

std::u16string Quoted(const std::string& text) { return u"\"" + zaro::FromUtf8(text) + u"\""; }

// Processes whose command line names the work folder: what is left of any run's tree.
int LivingToolProcesses(const std::string& marker) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), {});
    if (line.find(marker) != std::string::npos && entry.path().filename() != std::to_string(::getpid())) ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  const size_t totalMb = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
  char pattern[] = "/tmp/cancel-litter-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path work = pattern;
  const fs::path tree = work / "tree";
  const fs::path out = work / "out";
  fs::create_directories(out);

  std::printf("making a %zu MB tree...\n", totalMb);
  const size_t files = 200;
  for (size_t i = 0; i < files; ++i)
    WriteBytes(tree / ("assets/f" + std::to_string(i) + (i % 2 ? ".bin" : ".png")), totalMb * 1000000 / files, i % 2,
               static_cast<unsigned>(i));
  std::ofstream(tree / "Movie.qmv", std::ios::binary) << "QMV\x01 movie";
  std::ofstream(tree / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>com.example.Movie</id><filename>Movie</filename><version>1.0</version><initialWindow>"
         "<content>Movie.qmv</content></initialWindow></application>\n";
  const std::string keystore = (work / "k.p12").string();
  std::string ignored;
  zaro::CreateWinProcess(Quoted(ZPK_TOOL_PATH) + u" -certificate -cn Bench -ou B -o B -c CN 2048-RSA " +
                             Quoted(keystore) + u" pw",
                         true, ignored, nullptr);

  const std::u16string command = Quoted(ZPK_TOOL_PATH) + u" -package -storetype PKCS12 -keystore " + Quoted(keystore) +
                                 u" -storepass pw -tsa none " + Quoted((out / "App.zaro").string()) + u" " +
                                 Quoted((tree / "Movie-app.xml").string()) + u" -C " + Quoted(tree.string()) +
                                 u" Movie.qmv assets";
  std::string output;
  auto start = std::chrono::steady_clock::now();
  int first = zaro::CreateWinProcess(command, true, output, nullptr);
  const double full = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("completed publish: exit %d in %.1f s\n", first, full);
  if (first != 0) {
    std::printf("%s\n", output.c_str());
    return 1;
  }
  std::mt19937 random(42);
  int cancelled = 0;
  for (int run = 0; run < runs; ++run) {
    std::atomic<unsigned char> cancel{0};
    const auto delay = std::chrono::milliseconds(100 + random() % static_cast<unsigned>(full * 900));
    std::thread presser([&] {
      std::this_thread::sleep_for(delay);
      cancel.store(1);
    });
    output.clear();
    const int code = zaro::CreateWinProcess(command, true, output, &cancel);
    presser.join();
    cancelled += code != 0;
    std::printf("run %2d: cancel after %5lld ms, exit %d\n", run + 1, static_cast<long long>(delay.count()), code);
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(out)) left.push_back(entry.path().filename().string());
  const int alive = LivingToolProcesses(work.string());
  std::printf("runs cancelled: %d of %d\nfiles beside the output:", cancelled, runs);
  for (const std::string& name : left) std::printf(" %s", name.c_str());
  std::printf("\nprocesses of the tool's tree alive: %d\n", alive);
  const bool clean = left.size() == 1 && left[0] == "App.zaro" && alive == 0;
  std::printf("%s\n", clean ? "clean" : "LITTER LEFT");
  std::error_code error;
  fs::remove_all(work, error);
  return clean ? 0 : 1;
}
