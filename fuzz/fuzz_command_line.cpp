// The Windows command-line splitter: any text splits without fault, and no token is longer
// than the text it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/command_line.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string line = zaro::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  size_t total = 0;
  for (const std::u16string& token : zaro::platform::SplitCommandLine(line)) total += token.size();
  if (total > line.size()) std::abort();
  return 0;
}
