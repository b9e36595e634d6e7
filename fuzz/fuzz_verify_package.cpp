// -verify on any file: a package, an installer or anything else is verified or refused
// with an exit code and a bounded report, without fault and without reading an entry
// further than it may be long.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "verifier.h"

namespace {
std::string g_file;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* shm = "/dev/shm";
  std::string base = std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path().string();
  g_file = base + "/zaro-fuzz-package-" + std::to_string(::getpid()) + ".zaro";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  zpk::VerifyArgs args;
  args.package = g_file;
  zpk::Outcome outcome = zpk::VerifyPackage(args);
  if (outcome.code != zpk::kExitOk && outcome.code != zpk::kExitVerifyFailed && outcome.code != zpk::kExitUnknown)
    std::abort();
  // Every line the verifier prints about package content is short.
  for (size_t start = 0, end; start < outcome.text.size(); start = end + 1) {
    end = outcome.text.find('\n', start);
    if (end == std::string::npos) end = outcome.text.size();
    if (end - start > g_file.size() + 400) std::abort();
  }
  return 0;
}
