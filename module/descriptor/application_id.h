#pragma once
// The rule every application identifier must satisfy.
#include <string_view>

namespace zaro {

inline constexpr std::size_t kMaxApplicationIdLength = 212;

// 1 to 212 characters, each one of a-z, A-Z, 0-9, "." and "-".
bool IsValidApplicationId(std::u16string_view id);

}  // namespace zaro
