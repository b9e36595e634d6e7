#include "platform/text.h"

#include <climits>

namespace zaro {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int extra = byte < 0x80            ? 0
                      : (byte >> 5) == 0x6     ? 1
                      : (byte >> 4) == 0xE     ? 2
                      : (byte >> 3) == 0x1E    ? 3
                                               : -1;
    if (extra < 0 || i + extra >= text.size()) {  // stray or truncated sequence
      out += u'\uFFFD';
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? byte : byte & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

long LeadingNumber(std::u16string_view text) {
  long value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    if (value > (LONG_MAX - 9) / 10) break;  // far beyond any count the module stores
    value = value * 10 + (c - u'0');
  }
  return value;
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::u16string Trimmed(std::u16string_view text) {
  constexpr std::u16string_view kBlanks = u" \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::u16string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return std::u16string(text.substr(first, last - first + 1));
}

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldAscii(c);
  return out;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

std::u16string CutToLimit(std::u16string_view text, size_t limit) {
  if (text.size() <= limit) return std::u16string(text);
  size_t end = limit;
  // A high surrogate at the cut would be left without its partner.
  if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
  return std::u16string(text.substr(0, end));
}

std::u16string CutAtUtf8Bytes(std::u16string_view text, size_t bytes) {
  auto high = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  size_t used = 0;
  size_t end = 0;
  while (end < text.size()) {
    const char16_t c = text[end];
    const bool pair = high(c) && end + 1 < text.size() && text[end + 1] >= 0xDC00 && text[end + 1] <= 0xDFFF;
    const size_t width = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (used + width > bytes) break;
    used += width;
    end += pair ? 2 : 1;
  }
  return std::u16string(text.substr(0, end));
}

}  // namespace zaro
