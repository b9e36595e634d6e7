#include "ui/element_text_field.h"

#include "platform/text.h"

namespace zaro {

bool ElementTextField::Load(DescriptorDocument& document, std::u16string_view tag, size_t limit) {
  shown_.clear();
  cut_ = false;
  std::u16string text;
  if (GetElementText(document, tag, text) != 0) return false;
  cut_ = text.size() > limit;
  text = CutToLimit(text, limit);
  shown_ = std::move(text);
  return true;
}

}  // namespace zaro
