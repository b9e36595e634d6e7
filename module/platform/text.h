#pragma once
// Module text is UTF-16; the operating system and the kit tools speak UTF-8.
#include <string>
#include <string_view>

namespace zaro {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Leading decimal digits of a text as a number; non-numeric text reads as 0.
long LeadingNumber(std::u16string_view text);

// The text with every `from` character turned into `to` ("/" and "\" separators).
std::u16string ReplacedChar(std::u16string_view text, char16_t from, char16_t to);
// A-Z turned into a-z; other characters as they are.
std::u16string AsciiLower(std::u16string_view text);
// True when `text` begins with `prefix`, A-Z and a-z counting as equal.
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

}  // namespace zaro
