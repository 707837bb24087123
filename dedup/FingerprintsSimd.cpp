#include "dedup/FingerprintsSimd.h"

#if defined(__x86_64__)
#include "dedup/FingerprintBlocks.h"

namespace {

using fingerprint_blocks::Power;
using fingerprint_blocks::ShortBlock;

const bool kHasSimd =
    __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");

// A-Z to a-z in the register.
__attribute__((target("sse4.1"), always_inline)) inline __m128i LowerAscii(__m128i v) {
  const __m128i upper =
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
  return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

template <bool kLowerAscii>
__attribute__((target("sse4.1,pclmul,aes"))) bool FingerprintOf(const FingerprintKey& key, const uint8_t* p,
                                                                size_t length, LineFingerprint* fingerprint) {
  auto load = [p](size_t at, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
    *v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    if constexpr (kLowerAscii) {
      if (_mm_movemask_epi8(*v) != 0) return false;
      *v = LowerAscii(*v);
    }
    return true;
  };
  __m128i y;
  if (length > 16) {
    if (!fingerprint_blocks::PolynomialOfBlocks<true>(length, key, load, &y)) return false;
  } else {
    __m128i v = length == 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)) : ShortBlock(p, length);
    if constexpr (kLowerAscii) {
      if (_mm_movemask_epi8(v) != 0) return false;
      v = LowerAscii(v);
    }
    y = fingerprint_blocks::Multiply(v, Power(key, 1));
  }
  *fingerprint = fingerprint_blocks::Finish(key, y, length);
  return true;
}

// The next AES-128 round key; the round constant must be known when compiling.
template <int kRoundConstant>
__attribute__((target("sse4.1,aes"))) __m128i NextRoundKey(__m128i key) {
  const __m128i word = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(key, kRoundConstant), 0xFF);
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 8));
  return _mm_xor_si128(key, word);
}

__attribute__((target("sse4.1"))) void Store(uint64_t* to, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i*>(to), v);
}

}  // namespace

bool HasFingerprintSimd() { return kHasSimd; }

__attribute__((target("sse4.1,pclmul,aes"))) void ExpandFingerprintKeySimd(const uint8_t* secret, FingerprintKey* key) {
  const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(secret));
  __m128i power = h;
  for (auto& slot : key->powers) {
    Store(slot, power);
    power = fingerprint_blocks::Multiply(power, h);
  }
  __m128i round = _mm_loadu_si128(reinterpret_cast<const __m128i*>(secret + 16));
  auto* rounds = key->roundKeys;
  Store(rounds[0], round);
  Store(rounds[1], round = NextRoundKey<0x01>(round));
  Store(rounds[2], round = NextRoundKey<0x02>(round));
  Store(rounds[3], round = NextRoundKey<0x04>(round));
  Store(rounds[4], round = NextRoundKey<0x08>(round));
  Store(rounds[5], round = NextRoundKey<0x10>(round));
  Store(rounds[6], round = NextRoundKey<0x20>(round));
  Store(rounds[7], round = NextRoundKey<0x40>(round));
  Store(rounds[8], round = NextRoundKey<0x80>(round));
  Store(rounds[9], round = NextRoundKey<0x1B>(round));
  Store(rounds[10], NextRoundKey<0x36>(round));
}

bool FingerprintSimd(const FingerprintKey& key, const uint8_t* p, size_t length, bool lowerAscii,
                     LineFingerprint* fingerprint) {
  return lowerAscii ? FingerprintOf<true>(key, p, length, fingerprint)
                    : FingerprintOf<false>(key, p, length, fingerprint);
}

__attribute__((target("sse4.1,pclmul"))) void AddBlocksSimd(const FingerprintKey& key, uint64_t polynomial[2],
                                                            const uint8_t* p, size_t blocks) {
  __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(polynomial));
  auto block = [&p](size_t j, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
    *v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * j));
    return true;
  };
  for (; blocks >= FingerprintKey::kPowers; blocks -= FingerprintKey::kPowers, p += 16 * FingerprintKey::kPowers) {
    fingerprint_blocks::AddBlocks<FingerprintKey::kPowers>(&y, key, block);
  }
  auto lastBlock = [&](__m128i * v) __attribute__((target("sse4.1"), always_inline)) { return block(blocks - 1, v); };
  if (blocks > 0) fingerprint_blocks::AddBlocks(&y, blocks, key, block, lastBlock);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(polynomial), y);
}

__attribute__((target("sse4.1,pclmul,aes"))) LineFingerprint FinishSimd(const FingerprintKey& key,
                                                                        const uint64_t polynomial[2],
                                                                        const uint8_t* tail, size_t tailLength,
                                                                        uint64_t length) {
  __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(polynomial));
  if (tailLength > 0) y = fingerprint_blocks::Multiply(_mm_xor_si128(y, ShortBlock(tail, tailLength)), Power(key, 1));
  return fingerprint_blocks::Finish(key, y, length);
}

#else

bool HasFingerprintSimd() { return false; }
void ExpandFingerprintKeySimd(const uint8_t*, FingerprintKey*) {}
bool FingerprintSimd(const FingerprintKey&, const uint8_t*, size_t, bool, LineFingerprint*) { return false; }
void AddBlocksSimd(const FingerprintKey&, uint64_t*, const uint8_t*, size_t) {}
LineFingerprint FinishSimd(const FingerprintKey&, const uint64_t*, const uint8_t*, size_t, uint64_t) { return {}; }

#endif
