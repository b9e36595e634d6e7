#include "descriptor/application_id.h"

namespace zaro {

bool IsValidApplicationId(std::u16string_view id) {
  if (id.empty() || id.size() > kMaxApplicationIdLength) return false;
  for (char16_t c : id) {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool digit = c >= u'0' && c <= u'9';
    if (!letter && !digit && c != u'.' && c != u'-') return false;
  }
  return true;
}

}  // namespace zaro
