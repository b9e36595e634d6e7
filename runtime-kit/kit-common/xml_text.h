#pragma once
// The one rule for text that the kit copies into the XML files it generates (Info.plist,
// signature files, desktop registration files): XML 1.0 must be able to hold it. A
// descriptor declared XML 1.1 may carry control characters as character references; such
// text is refused before anything is written instead of producing a file that no longer parses.
#include <optional>
#include <string>
#include <string_view>

namespace zpk {

// Tab, line feed, carriage return, U+0020-U+D7FF, U+E000-U+FFFD and U+10000-U+10FFFF.
bool IsXml10Char(char32_t c);

// The first character of UTF-8 text that XML 1.0 cannot hold; malformed UTF-8 is answered
// as U+FFFE, which is not a character either.
std::optional<char32_t> FirstNonXml10Char(std::string_view utf8);

// "U+0001": how a refusal names a character.
std::string CodePointName(char32_t c);

}  // namespace zpk
