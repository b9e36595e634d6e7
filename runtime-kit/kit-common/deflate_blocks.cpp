#include "deflate_blocks.h"

#include <cstdint>
#include <vector>

namespace zpk {

namespace {

constexpr unsigned kMaxBits = 15;

class Bits {
 public:
  explicit Bits(const std::string& data) : data_(reinterpret_cast<const unsigned char*>(data.data())), size_(data.size()) {}
  std::uint64_t position() const { return position_; }
  bool overrun() const { return position_ > size_ * 8; }
  // The next `count` bits (up to 25), lowest first, without taking them.
  std::uint32_t Peek(unsigned count) const {
    std::uint32_t value = 0;
    const std::uint64_t byte = position_ >> 3;
    for (unsigned i = 0; i < 4 && byte + i < size_; ++i) value |= std::uint32_t(data_[byte + i]) << (8 * i);
    return (value >> (position_ & 7)) & ((1u << count) - 1);
  }
  void Skip(unsigned count) { position_ += count; }
  std::uint32_t Take(unsigned count) {
    const std::uint32_t value = Peek(count);
    Skip(count);
    return value;
  }
  void Align() { position_ = (position_ + 7) & ~std::uint64_t{7}; }

 private:
  const unsigned char* data_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

// A canonical code looked up by its next 15 bits: symbol << 4 | length, 0 for no code.
class Code {
 public:
  bool Build(const unsigned char* lengths, unsigned count) {
    table_.assign(1u << kMaxBits, 0);
    unsigned perLength[kMaxBits + 1] = {};
    for (unsigned s = 0; s < count; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    unsigned next[kMaxBits + 1] = {};
    for (unsigned bits = 1, code = 0; bits <= kMaxBits; ++bits) {
      code = (code + perLength[bits - 1]) << 1;
      next[bits] = code;
    }
    for (unsigned s = 0; s < count; ++s) {
      const unsigned length = lengths[s];
      if (length == 0) continue;
      const unsigned code = next[length]++;
      if (code >= (1u << length)) return false;  // over-subscribed
      unsigned reversed = 0;
      for (unsigned i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
      for (unsigned fill = reversed; fill < (1u << kMaxBits); fill += 1u << length)
        table_[fill] = static_cast<std::uint32_t>((s << 4) | length);
    }
    return true;
  }
  // The next symbol, or -1.
  int Decode(Bits& bits) const {
    const std::uint32_t entry = table_[bits.Peek(kMaxBits)];
    if (entry == 0) return -1;
    bits.Skip(entry & 15);
    return static_cast<int>(entry >> 4);
  }

 private:
  std::vector<std::uint32_t> table_;
};

bool ReadDynamicCodes(Bits& bits, Code& literals, Code& distances) {
  static const unsigned char kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  const unsigned literalCount = bits.Take(5) + 257, distanceCount = bits.Take(5) + 1, lengthCount = bits.Take(4) + 4;
  unsigned char lengths[320] = {};
  for (unsigned i = 0; i < lengthCount; ++i) lengths[kOrder[i]] = static_cast<unsigned char>(bits.Take(3));
  Code lengthCode;
  if (literalCount > 286 || distanceCount > 30 || !lengthCode.Build(lengths, 19)) return false;
  unsigned char all[320] = {};
  for (unsigned i = 0; i < literalCount + distanceCount;) {
    const int symbol = lengthCode.Decode(bits);
    if (symbol < 0 || bits.overrun()) return false;
    unsigned repeat = 1;
    unsigned char value = static_cast<unsigned char>(symbol);
    if (symbol == 16) {
      if (i == 0) return false;
      value = all[i - 1];
      repeat = 3 + bits.Take(2);
    } else if (symbol == 17) {
      value = 0;
      repeat = 3 + bits.Take(3);
    } else if (symbol == 18) {
      value = 0;
      repeat = 11 + bits.Take(7);
    }
    if (i + repeat > literalCount + distanceCount) return false;
    while (repeat-- > 0) all[i++] = value;
  }
  return literals.Build(all, literalCount) && distances.Build(all + literalCount, distanceCount);
}

// Walks the codes of one Huffman block up to its end-of-block code.
bool SkipCodes(Bits& bits, const Code& literals, const Code& distances) {
  for (;;) {
    const int symbol = literals.Decode(bits);
    if (symbol < 0 || bits.overrun()) return false;
    if (symbol < 256) continue;
    if (symbol == 256) return true;
    if (symbol > 285) return false;
    if (symbol >= 265 && symbol < 285) bits.Skip(static_cast<unsigned>((symbol - 261) / 4));
    const int distance = distances.Decode(bits);
    if (distance < 0 || distance > 29) return false;
    if (distance >= 4) bits.Skip(static_cast<unsigned>(distance / 2 - 1));
  }
}

}  // namespace

bool MakeContinuable(std::string& stream) {
  Bits bits(stream);
  Code literals, distances;
  for (;;) {
    const std::uint64_t start = bits.position();
    const bool final = bits.Take(1) == 1;
    const unsigned type = bits.Take(2);
    if (type == 0) {
      bits.Align();
      const std::uint32_t length = bits.Take(16), check = bits.Take(16);
      if ((length ^ 0xffff) != check) return false;
      bits.Skip(length * 8);
    } else if (type == 1) {
      unsigned char fixed[288 + 30];
      for (unsigned s = 0; s < 288; ++s) fixed[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
      for (unsigned s = 0; s < 30; ++s) fixed[288 + s] = 5;
      if (!literals.Build(fixed, 288) || !distances.Build(fixed + 288, 30) || !SkipCodes(bits, literals, distances))
        return false;
    } else if (type == 2) {
      if (!ReadDynamicCodes(bits, literals, distances) || !SkipCodes(bits, literals, distances)) return false;
    } else {
      return false;
    }
    if (bits.overrun()) return false;
    if (!final) continue;
    const std::uint64_t end = bits.position();
    if ((end + 7) / 8 != stream.size()) return false;  // something after the last block
    stream[start / 8] = static_cast<char>(stream[start / 8] & ~(1 << (start % 8)));
    // An empty stored block: three zero bits (the padding after the end, or a new byte),
    // then, on the next byte boundary, its length and the length's complement.
    const unsigned spare = end % 8 == 0 ? 0 : 8 - end % 8;
    if (spare > 0) stream.back() = static_cast<char>(stream.back() & ((1 << (end % 8)) - 1));
    if (spare < 3) stream += '\0';
    stream.append("\x00\x00\xff\xff", 4);
    return true;
  }
}

}  // namespace zpk
