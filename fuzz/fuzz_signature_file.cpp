// The packaging tool's signature-file reader: any text is read or refused without fault;
// what is read has a signature and a signer, and its manifest is the signed bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "signature_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zpk::ParsedSignatures parsed;
  std::string error;
  if (zpk::ParseSignaturesFile(text, parsed, error)) {
    if (parsed.certificates.empty() || text.find(parsed.manifest) == std::string_view::npos) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
