// The SIMD core of the fingerprints (x86-64 with SSE4.1 and carry-less
// multiplication): the key and the CRC-32 of a line sixteen bytes at a time,
// over bytes that a caller may change on the way, as case folding does.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace fingerprint_blocks {

// The CRC-32 by carry-less multiplication: the line is folded sixteen bytes at
// a time into a 128-bit remainder that is reduced to 32 bits once, at the end.
// The constants are x^n modulo the polynomial, bit-reflected like the CRC and
// moved up one bit (the product of two reflected 64-bit values lands one bit low).
inline constexpr long long kFold128 = 0x1751997D0;  // x^(128+32): the first half of the remainder
inline constexpr long long kFold64 = 0xCCAA009E;    // x^(128-32): the second half, and 128 to 64 bits
inline constexpr long long kFold32 = 0x163CD6124;   // x^64: 64 to 32 bits
inline constexpr long long kPolynomial = 0x1DB710641;
inline constexpr long long kBarrett = 0x1F7011641;  // x^64 / polynomial

// The remainder carried over the next sixteen bytes.
__attribute__((target("sse4.1,pclmul"))) inline __m128i FoldBlock(__m128i crc, __m128i next) {
  const __m128i k = _mm_set_epi64x(kFold64, kFold128);
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(crc, k, 0x00), _mm_clmulepi64_si128(crc, k, 0x11)), next);
}

// Sixteen bytes loaded at kShuffle + n move a register's bytes up by 16 - n
// places, the vacated bytes zero and marked by their high bit (a blend mask);
// loaded at kShuffle + 16 + n they move the bytes down by n places.
alignas(16) inline constexpr unsigned char kShuffle[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// The remainder carried over the line's last n (1 to 15) bytes, last being the
// line's last sixteen bytes: the remainder moves down by n bytes and takes the
// n new bytes on top, and its first n bytes, pushed out, are folded in as a
// block of their own padded with leading zeros.
__attribute__((target("sse4.1,pclmul"))) inline __m128i FoldTail(__m128i crc, __m128i last, size_t n) {
  const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShuffle + n));
  const __m128i down = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShuffle + 16 + n));
  const __m128i rest = _mm_blendv_epi8(last, _mm_shuffle_epi8(crc, down), up);
  return FoldBlock(_mm_shuffle_epi8(crc, up), rest);
}

// The 128-bit remainder times x^32 modulo the polynomial: the CRC register.
__attribute__((target("sse4.1,pclmul"))) inline uint32_t ReduceCrc(__m128i crc) {
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  crc = _mm_xor_si128(_mm_srli_si128(crc, 8), _mm_clmulepi64_si128(crc, _mm_cvtsi64_si128(kFold64), 0x00));
  crc = _mm_xor_si128(_mm_srli_si128(crc, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(crc, low32), _mm_cvtsi64_si128(kFold32), 0x00));
  // Barrett: the quotient by the polynomial from x^64 / polynomial, then crc
  // minus quotient times polynomial, whose low 32 bits are zero.
  const __m128i k = _mm_set_epi64x(kBarrett, kPolynomial);
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(crc, low32), k, 0x10);
  q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), k, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(crc, q), 1));
}

// kPowers[k] = P^k.
inline constexpr std::array<uint32_t, 17> kPowers = [] {
  std::array<uint32_t, 17> powers{};
  uint32_t power = 1;
  for (uint32_t& entry : powers) {
    entry = power;
    power *= 9551u;
  }
  return powers;
}();

// The key's sixteen products b0*P^15 + ... + b15 of a block in four lanes of 32 bits.
__attribute__((target("sse4.1"))) inline __m128i KeyProducts(__m128i v) {
  auto lanes = [](int k) {
    return _mm_setr_epi32(static_cast<int>(kPowers[k + 3]), static_cast<int>(kPowers[k + 2]),
                          static_cast<int>(kPowers[k + 1]), static_cast<int>(kPowers[k]));
  };
  const __m128i b0 = _mm_mullo_epi32(_mm_cvtepi8_epi32(v), lanes(12));
  const __m128i b1 = _mm_mullo_epi32(_mm_cvtepi8_epi32(_mm_srli_si128(v, 4)), lanes(8));
  const __m128i b2 = _mm_mullo_epi32(_mm_cvtepi8_epi32(_mm_srli_si128(v, 8)), lanes(4));
  const __m128i b3 = _mm_mullo_epi32(_mm_cvtepi8_epi32(_mm_srli_si128(v, 12)), lanes(0));
  return _mm_add_epi32(_mm_add_epi32(b0, b1), _mm_add_epi32(b2, b3));
}

// Sixteen bytes a step for a line of 16 bytes or more: the key's products in
// four lanes (summed at the end, each having been multiplied by P^16 per step
// like the whole key), the CRC folded beside them. The last partial block is
// the line's last sixteen bytes, those already counted masked off for the key
// and shifted out for the CRC. The bytes are those load(at, &v) puts in v for
// the sixteen at offset at, which may change them (fold their case) or refuse
// them, answering false, and then so does this. The key and the CRC-32 go to
// *keyOut and *crcOut.
template <typename Load>
__attribute__((target("sse4.1,pclmul"), always_inline)) inline bool KeyAndCrc32OfBlocks(size_t length, const Load& load,
                                                                                        uint32_t* keyOut,
                                                                                        uint32_t* crcOut) {
  __m128i v;
  if (!load(0, &v)) return false;
  __m128i key = KeyProducts(v);
  __m128i crc = _mm_xor_si128(v, _mm_cvtsi32_si128(-1));  // the register's initial ones meet the first bytes
  const __m128i step = _mm_set1_epi32(static_cast<int>(kPowers[16]));
  size_t i = 16;
  for (; i + 16 <= length; i += 16) {
    if (!load(i, &v)) return false;
    key = _mm_add_epi32(_mm_mullo_epi32(key, step), KeyProducts(v));
    crc = FoldBlock(crc, v);
  }
  if (const size_t n = length - i; n > 0) {
    if (!load(length - 16, &v)) return false;
    const __m128i counted = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShuffle + n));
    key = _mm_add_epi32(_mm_mullo_epi32(key, _mm_set1_epi32(static_cast<int>(kPowers[n]))),
                        KeyProducts(_mm_blendv_epi8(v, _mm_setzero_si128(), counted)));
    crc = FoldTail(crc, v, n);
  }
  key = _mm_add_epi32(key, _mm_shuffle_epi32(key, 0x4E));
  key = _mm_add_epi32(key, _mm_shuffle_epi32(key, 0xB1));
  *keyOut = static_cast<uint32_t>(_mm_cvtsi128_si32(key));
  *crcOut = ~ReduceCrc(crc);
  return true;
}

}  // namespace fingerprint_blocks
#endif
