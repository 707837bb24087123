// The SIMD core of the fingerprints (x86-64 with SSE4.1, carry-less
// multiplication and AES instructions): the keyed hash of a text sixteen
// bytes at a time, over bytes that a caller may change on the way, as case
// folding does.
//
// The text's blocks B1 .. Bm (the last padded with zeros) are the
// coefficients of a polynomial in the secret point H of GF(2^128), and its
// length n the constant term: Y = n + B1 H^m + ... + Bm H. For two different
// texts the difference is a nonzero polynomial of degree m at most, so Y
// collides for at most m of the 2^128 points. Y is then encrypted with
// AES-128 under a second secret key, whose first 80 bits no chosen text can
// steer.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"

namespace fingerprint_blocks {

// Products of 128-bit polynomials, summed before they are reduced: the low
// and high halves of the 256-bit products and their middle terms.
struct Products {
  __m128i low = _mm_setzero_si128();
  __m128i middle = _mm_setzero_si128();
  __m128i high = _mm_setzero_si128();
};

__attribute__((target("sse4.1,pclmul"), always_inline)) inline void MultiplyAdd(Products* sum, __m128i a, __m128i b) {
  sum->low = _mm_xor_si128(sum->low, _mm_clmulepi64_si128(a, b, 0x00));
  sum->high = _mm_xor_si128(sum->high, _mm_clmulepi64_si128(a, b, 0x11));
  sum->middle =
      _mm_xor_si128(sum->middle, _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x01), _mm_clmulepi64_si128(a, b, 0x10)));
}

// The sum modulo x^128 + x^7 + x^2 + x + 1, where x^128 is 0x87: the top 64
// bits times x^192 = x^64 * 0x87 first, then what stands at x^128.
__attribute__((target("sse4.1,pclmul"), always_inline)) inline __m128i Reduce(const Products& sum) {
  __m128i low = _mm_xor_si128(sum.low, _mm_slli_si128(sum.middle, 8));
  __m128i high = _mm_xor_si128(sum.high, _mm_srli_si128(sum.middle, 8));
  const __m128i x128 = _mm_cvtsi32_si128(0x87);
  const __m128i top = _mm_clmulepi64_si128(high, x128, 0x01);
  high = _mm_xor_si128(high, _mm_srli_si128(top, 8));
  low = _mm_xor_si128(low, _mm_slli_si128(top, 8));
  return _mm_xor_si128(low, _mm_clmulepi64_si128(high, x128, 0x00));
}

__attribute__((target("sse4.1,pclmul"), always_inline)) inline __m128i Multiply(__m128i a, __m128i b) {
  Products product;
  MultiplyAdd(&product, a, b);
  return Reduce(product);
}

// H^k, k from 1 to FingerprintKey::kPowers.
__attribute__((target("sse4.1"), always_inline)) inline __m128i Power(const FingerprintKey& key, size_t k) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(key.powers[k - 1]));
}

// The n bytes at p, n below 16, as a block padded with zeros, read in
// overlapping words without touching a byte past them: a copy to a buffer
// and a 16-byte load from it would stall on the store.
__attribute__((target("sse4.1"), always_inline)) inline __m128i ShortBlock(const uint8_t* p, size_t n) {
  uint64_t low = 0;
  uint64_t high = 0;
  if (n >= 8) {
    std::memcpy(&low, p, 8);
    if (n > 8) {
      std::memcpy(&high, p + n - 8, 8);
      high >>= 8 * (16 - n);
    }
  } else if (n >= 4) {
    uint32_t first;
    uint32_t last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + n - 4, 4);
    low = first | uint64_t{last} << (8 * (n - 4));
  } else if (n > 0) {
    low = p[0] | uint64_t{p[n / 2]} << (8 * (n / 2)) | uint64_t{p[n - 1]} << (8 * (n - 1));
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Sixteen bytes loaded at kMoveDown + n move a register's bytes down by n
// places, zeros on top.
alignas(16) inline constexpr unsigned char kMoveDown[32] = {
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

__attribute__((target("sse4.1"), always_inline)) inline __m128i MoveDown(__m128i v, size_t n) {
  return _mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMoveDown + n)));
}

// y carried over kCount more blocks (1 to kPowers) with one reduction:
// (y + B1) H^kCount + ... + B H, block j being what block(j, &v) puts in v.
// False when block() refuses its bytes.
template <size_t kCount, typename Block>
__attribute__((target("sse4.1,pclmul"), always_inline)) inline bool AddBlocks(__m128i* y, const FingerprintKey& key,
                                                                              const Block& block) {
  Products sum;
  __m128i v;
#pragma GCC unroll 8
  for (size_t j = 0; j < kCount; ++j) {
    if (!block(j, &v)) return false;
    MultiplyAdd(&sum, j == 0 ? _mm_xor_si128(v, *y) : v, Power(key, kCount - j));
  }
  *y = Reduce(sum);
  return true;
}

// The same for `count` blocks (1 to kPowers) in a loop, the last block from
// last(&v): little code where a block takes much of its own.
template <typename Block, typename Last>
__attribute__((target("sse4.1,pclmul"), always_inline)) inline bool AddBlocks(__m128i* y, size_t count,
                                                                              const FingerprintKey& key,
                                                                              const Block& block, const Last& last) {
  Products sum;
  __m128i v;
#pragma GCC unroll 1
  for (size_t j = 0; j + 1 < count; ++j) {
    if (!block(j, &v)) return false;
    MultiplyAdd(&sum, j == 0 ? _mm_xor_si128(v, *y) : v, Power(key, count - j));
  }
  if (!last(&v)) return false;
  MultiplyAdd(&sum, count == 1 ? _mm_xor_si128(v, *y) : v, Power(key, 1));
  *y = Reduce(sum);
  return true;
}

// The polynomial of a text of `length` bytes, 16 or more, without its
// length: the bytes are those load(at, &v) puts in v for the sixteen at
// offset at, which may change them (fold their case) or refuse them,
// answering false, and then so does this. A last partial block is the
// text's last sixteen bytes moved down. kUnrolled unrolls the blocks for
// each count, which pays where a block is one load (most lines are a few
// blocks long), not where a block takes much code of its own.
template <bool kUnrolled, typename Load>
__attribute__((target("sse4.1,pclmul"), always_inline)) inline bool PolynomialOfBlocks(size_t length,
                                                                                       const FingerprintKey& key,
                                                                                       const Load& load, __m128i* y) {
  constexpr size_t kGroup = FingerprintKey::kPowers;
  *y = _mm_setzero_si128();
  size_t at = 0;
  size_t left = (length + 15) / 16;
  auto whole = [&](size_t j, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
    return load(at + 16 * j, v);
  };
  for (; left > kGroup; left -= kGroup, at += 16 * kGroup) {
    if constexpr (kUnrolled) {
      if (!AddBlocks<kGroup>(y, key, whole)) return false;
    } else if (!AddBlocks(
                   y, kGroup, key, whole, [&](__m128i * v) __attribute__((target("sse4.1"), always_inline)) {
                     return whole(kGroup - 1, v);
                   })) {
      return false;
    }
  }
  auto lastOne = [&](__m128i * v) __attribute__((target("sse4.1"), always_inline)) {
    if (!load(length - 16, v)) return false;
    if (const size_t partial = length % 16; partial != 0) *v = MoveDown(*v, 16 - partial);
    return true;
  };
  auto last = [&](size_t j, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
    return j + 1 < left ? whole(j, v) : lastOne(v);
  };
  if constexpr (!kUnrolled) {
    // Lines of up to 32 bytes, the commonest, unrolled all the same.
    if (left == 1) return AddBlocks<1>(y, key, last);
    if (left == 2) return AddBlocks<2>(y, key, last);
    return AddBlocks(y, left, key, whole, lastOne);
  } else {
    static_assert(kGroup == 8, "one case per count");
    switch (left) {
      case 1:
        return AddBlocks<1>(y, key, last);
      case 2:
        return AddBlocks<2>(y, key, last);
      case 3:
        return AddBlocks<3>(y, key, last);
      case 4:
        return AddBlocks<4>(y, key, last);
      case 5:
        return AddBlocks<5>(y, key, last);
      case 6:
        return AddBlocks<6>(y, key, last);
      case 7:
        return AddBlocks<7>(y, key, last);
      default:
        return AddBlocks<8>(y, key, last);
    }
  }
}

// AES-128 of y + length: the length meets the first round key while y is
// still being reduced.
__attribute__((target("sse4.1,aes"), always_inline)) inline __m128i Encrypt(const FingerprintKey& key, __m128i y,
                                                                            uint64_t length) {
  auto roundKey = [&key](size_t r) __attribute__((target("sse4.1"), always_inline)) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(key.roundKeys[r]));
  };
  __m128i block = _mm_xor_si128(y, _mm_xor_si128(roundKey(0), _mm_cvtsi64_si128(static_cast<long long>(length))));
#pragma GCC unroll 10
  for (size_t r = 1; r < FingerprintKey::kRounds; ++r) block = _mm_aesenc_si128(block, roundKey(r));
  return _mm_aesenclast_si128(block, roundKey(FingerprintKey::kRounds));
}

// The fingerprint of a text of `length` bytes whose polynomial is y.
__attribute__((target("sse4.1,aes"), always_inline)) inline LineFingerprint Finish(const FingerprintKey& key, __m128i y,
                                                                                   uint64_t length) {
  const __m128i hash = Encrypt(key, y, length);
  return MakeLineFingerprint(static_cast<uint64_t>(_mm_cvtsi128_si64(hash)),
                             static_cast<uint64_t>(_mm_extract_epi16(hash, 4)), length);
}

}  // namespace fingerprint_blocks
#endif
