#pragma once
// Real PNG files for icon tests, made without an image library: a grey RGB picture whose
// zlib stream holds stored (uncompressed) blocks.
#include <algorithm>
#include <cstdint>
#include <string>

namespace publish_e2e {

inline std::uint32_t PngCrc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutBig32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A grey RGB PNG of side x side pixels.
inline std::string MakePng(int side) {
  std::string raw;
  for (int y = 0; y < side; ++y) raw += std::string(1, '\0') + std::string(3 * static_cast<size_t>(side), '\x80');
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  std::string zlib = "\x78\x01";
  // Stored blocks hold at most 65535 bytes each; the last one is marked final.
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t size = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + size >= raw.size();
    zlib += static_cast<char>(last ? 1 : 0);
    const auto length = static_cast<std::uint16_t>(size);
    zlib += static_cast<char>(length & 0xFF);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xFF);
    zlib += static_cast<char>((~length >> 8) & 0xFF);
    zlib += raw.substr(at, size);
    if (last) break;
  }
  PutBig32(zlib, (b << 16) | a);
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out;
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    out += type + data;
    PutBig32(out, PngCrc32(type + data));
    return out;
  };
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(side));
  PutBig32(header, static_cast<std::uint32_t>(side));
  header += std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", "");
}

}  // namespace publish_e2e
