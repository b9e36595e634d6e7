#pragma once
// Text conversions at the host's boundaries: the module speaks UTF-16, the script engine
// keeps strings as CESU-8 (surrogates encoded one by one), files and the terminal use UTF-8.
#include <string>
#include <string_view>

namespace tessel {

// UTF-16 to the engine's internal form; lone surrogates survive the round trip.
std::string Utf16ToCesu8(std::u16string_view text);
// The engine's internal form (or plain UTF-8) to UTF-16. Bytes that do not decode become U+FFFD.
std::u16string Cesu8ToUtf16(std::string_view bytes);
// UTF-16 to UTF-8 for files and output; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Engine text to well-formed UTF-8.
inline std::string Cesu8ToUtf8(std::string_view bytes) { return Utf16ToUtf8(Cesu8ToUtf16(bytes)); }
inline std::string Utf8ToCesu8(std::string_view bytes) { return Utf16ToCesu8(Cesu8ToUtf16(bytes)); }

}  // namespace tessel
