#include "dedup/SipHash.h"

#include <bit>

namespace {

// Compilers make this one load on a little-endian processor.
uint64_t LittleEndianWord(const uint8_t* bytes) {
  uint64_t word = 0;
  for (int k = 0; k < 8; ++k) word |= uint64_t{bytes[k]} << (8 * k);
  return word;
}

}  // namespace

// The 128-bit variant starts with v1 ^ 0xEE.
CSipHash128::CSipHash128(const uint8_t* key)
    : m_v0(LittleEndianWord(key) ^ 0x736F6D6570736575ull),
      m_v1(LittleEndianWord(key + 8) ^ 0x646F72616E646F6Dull ^ 0xEE),
      m_v2(LittleEndianWord(key) ^ 0x6C7967656E657261ull),
      m_v3(LittleEndianWord(key + 8) ^ 0x7465646279746573ull) {}

void CSipHash128::Round() {
  m_v0 += m_v1;
  m_v1 = std::rotl(m_v1, 13) ^ m_v0;
  m_v0 = std::rotl(m_v0, 32);
  m_v2 += m_v3;
  m_v3 = std::rotl(m_v3, 16) ^ m_v2;
  m_v0 += m_v3;
  m_v3 = std::rotl(m_v3, 21) ^ m_v0;
  m_v2 += m_v1;
  m_v1 = std::rotl(m_v1, 17) ^ m_v2;
  m_v2 = std::rotl(m_v2, 32);
}

void CSipHash128::Compress(uint64_t word) {
  m_v3 ^= word;
  Round();
  Round();
  m_v0 ^= word;
}

void CSipHash128::AddWords(const uint8_t* bytes, size_t words) {
  for (size_t i = 0; i < words; ++i) Compress(LittleEndianWord(bytes + 8 * i));
}

void CSipHash128::Finish(const uint8_t* tail, size_t tailLength, uint64_t length, uint64_t out[2]) {
  uint64_t last = length << 56;
  for (size_t k = 0; k < tailLength; ++k) last |= uint64_t{tail[k]} << (8 * k);
  Compress(last);
  m_v2 ^= 0xEE;
  for (int i = 0; i < 4; ++i) Round();
  out[0] = m_v0 ^ m_v1 ^ m_v2 ^ m_v3;
  m_v1 ^= 0xDD;
  for (int i = 0; i < 4; ++i) Round();
  out[1] = m_v0 ^ m_v1 ^ m_v2 ^ m_v3;
}
