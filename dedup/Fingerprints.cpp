#include "dedup/Fingerprints.h"

#include <zlib.h>

#include <array>
#include <bit>
#include <cstring>

#include "dedup/FingerprintsSimd.h"

namespace {

constexpr uint32_t kP1 = 9551u;
constexpr uint32_t kP2 = kP1 * kP1;
constexpr uint32_t kP3 = kP2 * kP1;
constexpr uint32_t kP4 = kP3 * kP1;
constexpr uint32_t kP5 = kP4 * kP1;
constexpr uint32_t kP6 = kP5 * kP1;
constexpr uint32_t kP7 = kP6 * kP1;
constexpr uint32_t kP8 = kP7 * kP1;

// Byte k of a little-endian word, sign-extended.
inline uint32_t SignedByte(uint64_t word, int k) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(word >> (8 * k))));
}

inline uint32_t Signed(char byte) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
}

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

// Eight bytes of CRC-32 (the CRC register not yet complemented at the end).
inline uint32_t CrcStep8(uint32_t crc, uint64_t word) {
  const auto& t = kCrc.table;
  word ^= crc;  // little-endian: the register meets the first four bytes
  return t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^ t[4][(word >> 24) & 0xFF] ^
         t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^ t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
}

inline uint32_t CrcStep4(uint32_t crc, uint32_t word) {
  const auto& t = kCrc.table;
  word ^= crc;
  return t[3][word & 0xFF] ^ t[2][(word >> 8) & 0xFF] ^ t[1][(word >> 16) & 0xFF] ^ t[0][word >> 24];
}

inline uint32_t CrcStep1(uint32_t crc, unsigned char byte) { return kCrc.table[0][(crc ^ byte) & 0xFF] ^ (crc >> 8); }

// Eight steps of the key at once: h*P^8 + b0*P^7 + ... + b7.
inline uint32_t KeyStep8(uint32_t h, uint64_t word) {
  return h * kP8 + SignedByte(word, 0) * kP7 + SignedByte(word, 1) * kP6 + SignedByte(word, 2) * kP5 +
         SignedByte(word, 3) * kP4 + SignedByte(word, 4) * kP3 + SignedByte(word, 5) * kP2 + SignedByte(word, 6) * kP1 +
         SignedByte(word, 7);
}

inline uint32_t KeyStep4(uint32_t h, uint32_t word) {
  return h * kP4 + SignedByte(word, 0) * kP3 + SignedByte(word, 1) * kP2 + SignedByte(word, 2) * kP1 +
         SignedByte(word, 3);
}

// The last bytes of a line after its whole 8-byte words.
inline LineKeyAndCrc FinishKeyAndCrc(const unsigned char* p, size_t count, uint32_t key, uint32_t crc) {
  if (count >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    key = KeyStep8(key, word);
    crc = CrcStep8(crc, word);
    p += 8;
    count -= 8;
  }
  if (count >= 4) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    key = KeyStep4(key, word);
    crc = CrcStep4(crc, word);
    p += 4;
    count -= 4;
  }
  for (; count > 0; ++p, --count) {
    key = key * kP1 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    crc = CrcStep1(crc, *p);
  }
  return {key, ~crc};
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;
// Below this length eight bytes a step beats zlib's crc32, whose set-up pays
// off only on longer runs.
constexpr size_t kShortLine = 512;

uint32_t Crc32SliceBy8(const unsigned char* p, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (; count >= 8; p += 8, count -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    crc = CrcStep8(crc, word);
  }
  for (; count > 0; ++p, --count) crc = CrcStep1(crc, *p);
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

LineKeyAndCrc KeyAndCrc32(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  LineKeyAndCrc result;
  // One pass, long lines included: this beats the key and zlib's crc32 apart.
  if (length >= 16 && HasFingerprintSimd() && KeyAndCrc32Simd(p, length, false, &result.key, &result.crc))
    return result;
  if (!kLittleEndian || length >= kShortLine) return {HashLineKey(text, length), Crc32(text, length)};
  // One pass over a short line: the key's multiplies and the CRC's table
  // look-ups use different units of the processor and overlap.
  uint32_t key = 0;
  uint32_t crc = 0xFFFFFFFFu;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    key = KeyStep8(key, word);
    crc = CrcStep8(crc, word);
  }
  return FinishKeyAndCrc(p + i, length - i, key, crc);
}

bool KeyAndCrc32OfAsciiLowerCase(const char* text, size_t length, LineKeyAndCrc* result) {
  if (!HasFingerprintSimd()) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  if (length >= 16) return KeyAndCrc32Simd(p, length, true, &result->key, &result->crc);
  // Too short for a 16-byte load: a folded copy.
  unsigned char folded[16];
  for (size_t k = 0; k < length; ++k) {
    if (p[k] > 0x7F) return false;
    folded[k] = static_cast<unsigned char>(p[k] >= 'A' && p[k] <= 'Z' ? p[k] + 0x20 : p[k]);
  }
  *result = FinishKeyAndCrc(folded, length, 0, 0xFFFFFFFFu);
  return true;
}

uint32_t HashLineKey(const char* text) { return HashLineKey(text, std::strlen(text)); }

uint32_t Crc32(const void* bytes, size_t count) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  if (count >= 16 && HasFingerprintSimd()) return Crc32Simd(p, count);  // faster than both below at every length
  // Typical lines are short, where eight bytes a step wins; zlib's crc32 is
  // faster once its set-up pays off.
  if (kLittleEndian && count < kShortLine) return Crc32SliceBy8(p, count);
  return static_cast<uint32_t>(crc32_z(0L, static_cast<const Bytef*>(bytes), count));
}

LineKeyAndCrc CombineKeyAndCrc(LineKeyAndCrc first, LineKeyAndCrc second, size_t secondLength) {
  // The key of the first part goes through secondLength more steps: times P^secondLength.
  uint32_t power = 1;
  uint32_t square = kP1;
  for (size_t n = secondLength; n > 0; n >>= 1, square *= square) {
    if (n & 1) power *= square;
  }
  const auto crc = crc32_combine(first.crc, second.crc, static_cast<z_off_t>(secondLength));
  return {first.key * power + second.key, static_cast<uint32_t>(crc)};
}
