// The runtime kit's packaging tool: packages, intermediate files, signatures, time stamps,
// self-signed certificates and verification. Prints nothing and exits 0 on success.
#include <cstdio>
#include <string>
#include <vector>

#include "tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  zpk::Outcome outcome = zpk::RunTool(args);
  if (!outcome.text.empty()) {
    std::FILE* stream = outcome.ok() ? stdout : stderr;
    std::fwrite(outcome.text.data(), 1, outcome.text.size(), stream);
    std::fflush(stream);
  }
  return outcome.code;
}
