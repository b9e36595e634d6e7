// The packaging tool's descriptor check: any text is accepted or refused with one error
// line, without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "descriptor_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zpk::DescriptorInfo info;
  zpk::Outcome outcome =
      zpk::CheckDescriptor(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz-app.xml", info);
  if (!outcome.ok() && outcome.text.rfind("fuzz-app.xml: error ", 0) != 0) std::abort();
  return 0;
}
