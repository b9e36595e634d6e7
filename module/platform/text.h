#pragma once
// Module text is UTF-16; the operating system and the kit tools speak UTF-8.
#include <string>
#include <string_view>

namespace zaro {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Leading decimal digits of a text as a number; non-numeric text reads as 0.
long LeadingNumber(std::u16string_view text);

// The longest beginning of a text with at most `units` UTF-16 units, or whose UTF-8 form
// has at most `bytes` bytes; a character is never split.
std::u16string CutAtUnits(std::u16string_view text, size_t units);
std::u16string CutAtUtf8Bytes(std::u16string_view text, size_t bytes);

}  // namespace zaro
