#pragma once
// Real PNG files for icon tests, made without an image library: a grey RGB picture whose
// zlib stream holds stored (uncompressed) blocks.
#include <algorithm>
#include <cstdint>
#include <string>

namespace publish_e2e {

// A grey RGB PNG of side x side pixels.
inline std::string MakePng(int side) {
  auto big32 = [](std::uint32_t value) {
    return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
  };
  auto crc32 = [](const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    return big32(static_cast<std::uint32_t>(data.size())) + type + data + big32(crc32(type + data));
  };
  std::string raw;
  for (int y = 0; y < side; ++y) raw += std::string(1, '\0') + std::string(3 * static_cast<size_t>(side), '\x80');
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  // Stored blocks hold at most 65535 bytes each; the last one is marked final.
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at < raw.size(); at += 65535) {
    const auto size = static_cast<std::uint16_t>(std::min<size_t>(65535, raw.size() - at));
    const std::uint16_t inverse = ~size;
    zlib += std::string{char(at + size >= raw.size() ? 1 : 0), char(size & 0xFF), char(size >> 8),
                        char(inverse & 0xFF), char(inverse >> 8)} +
            raw.substr(at, size);
  }
  zlib += big32((b << 16) | a);
  const std::string header = big32(side) + big32(side) + std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", "");
}

}  // namespace publish_e2e
