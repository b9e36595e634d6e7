// The kit's Java launcher. The kit's archives are native programs, so "-jar ARCHIVE ARGS..."
// replaces this process with ARCHIVE and ARGS: exit code, output and signals are the tool's.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;

int Usage(const std::string& problem) {
  // "\r\n" before "usage:" keeps the problem line whole for readers that drop the character
  // in front of "\nusage:".
  std::fprintf(stderr, "%s\r\nusage: java -jar ARCHIVE [ARGS...]\n", problem.c_str());
  return kUsageError;
}

std::string PosixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no archive given");
  const std::string option = argv[1];
  if (option != "-jar") return Usage("unknown option " + option);
  if (argc < 3 || argv[2][0] == '\0') return Usage("no archive given");

  const std::string archive = PosixPath(argv[2]);
  if (::access(archive.c_str(), F_OK) != 0) return Usage("no such file " + archive);

  std::vector<char*> args;
  args.push_back(const_cast<char*>(archive.c_str()));
  for (int i = 3; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  ::execv(archive.c_str(), args.data());
  std::fprintf(stderr, "cannot run %s: %s\n", archive.c_str(), std::strerror(errno));
  return 1;
}
