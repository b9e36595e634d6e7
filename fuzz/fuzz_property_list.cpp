// The iPhone packager's property-list reader: any text is read or refused without fault,
// and a code-resources list it reads is written back to text that reads as the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app_bundle.h"
#include "property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<mpk::PlistValue> value = mpk::ParsePropertyList(text);
  mpk::CodeResources resources;
  const bool listed = mpk::ParseCodeResources(text, resources);
  if (listed && !value) std::abort();
  if (listed) {
    mpk::CodeResources again;
    if (!mpk::ParseCodeResources(mpk::BuildCodeResources(resources), again)) std::abort();
    if (again.files != resources.files || again.folders != resources.folders) std::abort();
  }
  if (value && value->kind == mpk::PlistValue::Kind::Date) mpk::ParsePlistDate(value->text);
  return 0;
}
