#pragma once
// Module text is UTF-16; the operating system and the kit tools speak UTF-8.
#include <string>
#include <string_view>

namespace zaro {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Leading decimal digits of a text as a number; non-numeric text reads as 0.
long LeadingNumber(std::u16string_view text);

// Every occurrence of `from` replaced by `to`, left to right; an empty `from` changes
// nothing.
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to);
// The text without leading and trailing blanks, tabs, carriage returns and line feeds.
std::u16string Trimmed(std::u16string_view text);
// "A"-"Z" as "a"-"z"; every other unit as it is. Comparisons "without regard to case"
// fold ASCII letters only, so Chinese and other texts compare exactly.
char16_t FoldAscii(char16_t c);
std::u16string LowerAscii(std::u16string_view text);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
// At most `limit` units of a text: what a fixed buffer of limit + 1 units shows. A
// surrogate pair is never split.
std::u16string CutToLimit(std::u16string_view text, size_t limit);
// The longest beginning of a text whose UTF-8 form has at most `bytes` bytes (what a
// fixed 8-bit buffer of bytes + 1 shows); a character is never split.
std::u16string CutAtUtf8Bytes(std::u16string_view text, size_t bytes);

}  // namespace zaro
