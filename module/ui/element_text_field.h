#pragma once
// A descriptor element's text as a page field shows it. Pages read element texts into a
// buffer of 512 UTF-16 units, so at most 511 characters are shown; a longer value is shown
// cut and stays whole in the descriptor unless the author edits the field.
#include <string>
#include <string_view>

#include "descriptor/descriptor_document.h"

namespace zaro {

inline constexpr size_t kElementTextLimit = 511;

class ElementTextField {
 public:
  // Reads the first `tag` element's text, cut to the limit (never inside a surrogate pair).
  // False, with an empty text, when there is no such element or nothing is parsed.
  bool Load(DescriptorDocument& document, std::u16string_view tag, size_t limit = kElementTextLimit);
  const std::u16string& Shown() const { return shown_; }
  // True when the field still holds the cut part of a longer value: writing it back would
  // lose the rest, so the commit leaves the element as it is.
  bool KeepsStoredValue(std::u16string_view fieldText) const { return cut_ && fieldText == shown_; }

 private:
  std::u16string shown_;
  bool cut_ = false;
};

}  // namespace zaro
