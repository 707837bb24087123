#include "dedup/Fingerprints.h"

#include <zlib.h>

#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kP1 = 9551u;
constexpr uint32_t kP2 = kP1 * kP1;
constexpr uint32_t kP3 = kP2 * kP1;
constexpr uint32_t kP4 = kP3 * kP1;

inline uint32_t Signed(char byte) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte))); }

// Tables for CRC-32 eight bytes a step: table[k][b] is the CRC of byte b
// followed by k zero bytes.
struct CrcTables {
  uint32_t table[8][256];
  CrcTables() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t c = b;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[0][b] = c;
    }
    for (int k = 1; k < 8; ++k) {
      for (int b = 0; b < 256; ++b) table[k][b] = (table[k - 1][b] >> 8) ^ table[0][table[k - 1][b] & 0xFF];
    }
  }
};
const CrcTables kCrc;

uint32_t Crc32SliceBy8(const unsigned char* p, size_t count) {
  const auto& t = kCrc.table;
  uint32_t crc = 0xFFFFFFFFu;
  for (; count >= 8; p += 8, count -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    word ^= crc;  // little-endian: the CRC meets the first four bytes
    crc = t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^ t[4][(word >> 24) & 0xFF] ^
          t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^ t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
  }
  for (; count > 0; ++p, --count) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace

uint32_t HashLineKey(const char* text, size_t length) {
  // Four bytes a step: h*P^4 + b0*P^3 + b1*P^2 + b2*P + b3 is the same value as
  // four single steps, with one multiply on the dependency chain instead of four.
  uint32_t h = 0;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    h = h * kP4 + Signed(text[i]) * kP3 + Signed(text[i + 1]) * kP2 + Signed(text[i + 2]) * kP1 + Signed(text[i + 3]);
  }
  for (; i < length; ++i) h = h * kP1 + Signed(text[i]);
  return h;
}

uint32_t HashLineKey(const char* text) { return HashLineKey(text, std::strlen(text)); }

uint32_t Crc32(const void* bytes, size_t count) {
  // Typical lines are short, where eight bytes a step wins; zlib's crc32 is
  // faster once its set-up pays off.
  if (std::endian::native == std::endian::little && count < 512) return Crc32SliceBy8(static_cast<const unsigned char*>(bytes), count);
  return static_cast<uint32_t>(crc32_z(0L, static_cast<const Bytef*>(bytes), count));
}
