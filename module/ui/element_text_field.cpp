#include "ui/element_text_field.h"

namespace zaro {

bool ElementTextField::Load(DescriptorDocument& document, std::u16string_view tag, size_t limit) {
  shown_.clear();
  cut_ = false;
  std::u16string text;
  if (GetElementText(document, tag, text) != 0) return false;
  if (text.size() > limit) {
    size_t keep = limit;
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;  // half a pair
    text.resize(keep);
    cut_ = true;
  }
  shown_ = std::move(text);
  return true;
}

}  // namespace zaro
