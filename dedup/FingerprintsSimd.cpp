#include "dedup/FingerprintsSimd.h"

#if defined(__x86_64__)
#include "dedup/FingerprintBlocks.h"

namespace {

// Without carry-less multiplication both fingerprints take the portable code.
const bool kHasSimd = __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("pclmul");

// A-Z to a-z in the register.
inline __m128i LowerAscii(__m128i v) {
  const __m128i upper =
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
  return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// Both fingerprints of the bytes as they are, or with kLowerAscii folded from
// A-Z to a-z in the register, the answer false at a byte above 0x7F.
template <bool kLowerAscii>
__attribute__((target("sse4.1,pclmul"))) bool KeyAndCrc32Of(const unsigned char* p, size_t length, uint32_t* key,
                                                            uint32_t* crc) {
  return fingerprint_blocks::KeyAndCrc32OfBlocks(
      length,
      [p](size_t at, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
        *v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        if constexpr (kLowerAscii) {
          if (_mm_movemask_epi8(*v) != 0) return false;
          *v = LowerAscii(*v);
        }
        return true;
      },
      key, crc);
}

}  // namespace

bool HasFingerprintSimd() { return kHasSimd; }

bool KeyAndCrc32Simd(const unsigned char* p, size_t length, bool lowerAscii, uint32_t* key, uint32_t* crc) {
  return lowerAscii ? KeyAndCrc32Of<true>(p, length, key, crc) : KeyAndCrc32Of<false>(p, length, key, crc);
}

// The CRC alone, the same way, for 16 bytes or more.
__attribute__((target("sse4.1,pclmul"))) uint32_t Crc32Simd(const unsigned char* p, size_t count) {
  auto load = [p](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
  __m128i crc = _mm_xor_si128(load(0), _mm_cvtsi32_si128(-1));
  size_t i = 16;
  for (; i + 16 <= count; i += 16) crc = fingerprint_blocks::FoldBlock(crc, load(i));
  if (i < count) crc = fingerprint_blocks::FoldTail(crc, load(count - 16), count - i);
  return ~fingerprint_blocks::ReduceCrc(crc);
}

#else

bool HasFingerprintSimd() { return false; }
bool KeyAndCrc32Simd(const unsigned char*, size_t, bool, uint32_t*, uint32_t*) { return false; }
uint32_t Crc32Simd(const unsigned char*, size_t) { return 0; }

#endif
