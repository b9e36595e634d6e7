// URL-to-path conversion of the host's movie and folder URLs: any text converts without
// fault, and the path is never longer than the URL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "packaging/path_utilities.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string url = zaro::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  if (zaro::UrlToFilePath(url).size() > url.size()) std::abort();
  return 0;
}
