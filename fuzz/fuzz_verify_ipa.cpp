// The iPhone packager's -verify on any file: verified or refused with an exit code and short
// lines, without fault. Differential: an archive it accepts unpacks (by unzip) to exactly
// the files and folders its code resources list, each file with its listed digest, and
// nothing else: no link, no unlisted file or folder.
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "app_bundle.h"
#include "ipa_verifier.h"
#include "openssl_util.h"

namespace {

namespace fs = std::filesystem;
fs::path g_base;
std::string g_file;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Unpacks the accepted archive and holds its tree against the code resources.
void CheckUnpackedTree() {
  const fs::path tree = g_base / "tree";
  fs::remove_all(tree);
  fs::create_directories(tree);
  const std::string command = "unzip -qq -o '" + g_file + "' -d '" + tree.string() + "' >/dev/null 2>&1";
  // unzip's own verdict is not the question (it calls local headers that differ from the
  // directory in their flags invalid, yet unpacks every entry): the tree it leaves is.
  const int status = std::system(command.c_str());
  if (!WIFEXITED(status)) std::abort();
  fs::path app;
  for (const auto& entry : fs::directory_iterator(tree / "Payload")) {
    if (!app.empty() || !entry.is_directory() || entry.is_symlink()) std::abort();
    app = entry.path();
  }
  mpk::CodeResources listed;
  if (!mpk::ParseCodeResources(ReadAll(app / mpk::kCodeResources), listed)) std::abort();
  std::set<std::string> above = {"_CodeSignature/"};  // holds the two signature files
  for (const auto& [name, digest] : listed.files) {
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      above.insert(name.substr(0, slash + 1));
  }
  size_t files = 0;
  std::set<std::string> folders;
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    const std::string name = fs::relative(entry.path(), app).string();
    if (entry.is_symlink()) std::abort();
    if (entry.is_directory()) {
      if (listed.folders.count(name + "/") == 0 && above.count(name + "/") == 0) std::abort();
      folders.insert(name + "/");
      continue;
    }
    if (!entry.is_regular_file()) std::abort();
    if (name == mpk::kCodeResources || name == mpk::kCodeSignature) continue;
    auto found = listed.files.find(name);
    if (found == listed.files.end() || zpk::Sha256(ReadAll(entry.path())) != found->second) std::abort();
    ++files;
  }
  if (files != listed.files.size()) std::abort();
  for (const std::string& folder : listed.folders)
    if (folders.count(folder) == 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zpk::LoadOpenSslProviders();
  const fs::path shm = "/dev/shm";
  g_base = (fs::is_directory(shm) ? shm : fs::temp_directory_path()) / ("zaro-fuzz-ipa-" + std::to_string(::getpid()));
  fs::create_directories(g_base);
  g_file = (g_base / "fuzz.ipa").string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(g_file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const zpk::Outcome outcome = mpk::VerifyIpa(g_file);
  if (outcome.code != 0 && outcome.code != 1 && outcome.code != 5) std::abort();
  for (size_t start = 0, end; start < outcome.text.size(); start = end + 1) {
    end = outcome.text.find('\n', start);
    if (end == std::string::npos) end = outcome.text.size();
    if (end - start > g_file.size() + 400) std::abort();
  }
  if (outcome.code == 0) CheckUnpackedTree();
  return 0;
}
