#include "platform/Utf8ConversionSimd.h"

#include "platform/Utf.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstring>

namespace {

const bool kHasSsse3 = __builtin_cpu_supports("ssse3");

// Shuffles that gather the bytes of eight characters of one or two bytes
// (each in a 16-bit lane), or of four characters of one to three bytes (each
// in a 32-bit lane), indexed by which characters take more than one byte.
struct ShuffleTables {
  alignas(16) uint8_t upTo2[256][16];
  uint8_t upTo2Length[256];
  alignas(16) uint8_t upTo3[256][16];
  uint8_t upTo3Length[256];

  ShuffleTables() {
    for (int m = 0; m < 256; ++m) {
      std::memset(upTo2[m], 0x80, 16);
      int at = 0;
      for (int k = 0; k < 8; ++k) {
        upTo2[m][at++] = static_cast<uint8_t>(2 * k);
        if (m >> k & 1) upTo2[m][at++] = static_cast<uint8_t>(2 * k + 1);
      }
      upTo2Length[m] = static_cast<uint8_t>(at);
      // Bits 0-3: the character takes two bytes or more; bits 4-7: three.
      std::memset(upTo3[m], 0x80, 16);
      at = 0;
      for (int k = 0; k < 4; ++k) {
        const int length = 1 + (m >> k & 1) + (m >> (k + 4) & 1);
        for (int b = 0; b < length; ++b) upTo3[m][at++] = static_cast<uint8_t>(4 * k + b);
      }
      upTo3Length[m] = static_cast<uint8_t>(at);
    }
  }
};
const ShuffleTables kShuffles;

// Eight characters below U+10000, none a surrogate. The first two bytes of
// each form are worked out in 16-bit lanes and the right ones kept; the last
// byte (10xxxxxx of bits 0-5, the same for both longer forms) goes beside
// them, so that each character has a 32-bit lane of its bytes; then each half
// goes out by its shuffle. ascii and upTo2 mark the characters of one byte and
// of at most two. Writes up to 28 bytes.
__attribute__((target("ssse3"))) inline size_t EncodeEight(__m128i v, __m128i ascii, __m128i upTo2, char* dst) {
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i cont = _mm_set1_epi16(0x80);
  const __m128i last = _mm_or_si128(_mm_and_si128(v, low6), cont);
  const __m128i two = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0)), _mm_slli_epi16(last, 8));
  const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 6), low6), cont);
  const __m128i three =
      _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 12), _mm_set1_epi16(0xE0)), _mm_slli_epi16(middle, 8));
  __m128i first = _mm_or_si128(_mm_and_si128(upTo2, two), _mm_andnot_si128(upTo2, three));
  first = _mm_or_si128(_mm_and_si128(ascii, v), _mm_andnot_si128(ascii, first));
  const int longer = ~_mm_movemask_epi8(_mm_packs_epi16(ascii, ascii)) & 0xFF;
  const int longest = ~_mm_movemask_epi8(_mm_packs_epi16(upTo2, upTo2)) & 0xFF;
  const int low = (longer & 0xF) | (longest & 0xF) << 4;
  const int high = longer >> 4 | (longest >> 4) << 4;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                   _mm_shuffle_epi8(_mm_unpacklo_epi16(first, last),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffles.upTo3[low]))));
  const size_t at = kShuffles.upTo3Length[low];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at),
                   _mm_shuffle_epi8(_mm_unpackhi_epi16(first, last),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffles.upTo3[high]))));
  return at + kShuffles.upTo3Length[high];
}

// Eight units at a time while 32 bytes of room are left: ASCII, one- and
// two-byte, and up to three-byte characters each by its own shuffle; eight
// units holding a surrogate go one character at a time.
}  // namespace

bool HasUtf8ConversionSimd() { return kHasSsse3; }

__attribute__((target("ssse3"))) size_t Utf16ToUtf8Simd(const char16_t* src, size_t n, char* dst, size_t capacity,
                                                        size_t* consumed) {
  size_t in = 0;
  size_t out = 0;
  const __m128i zero = _mm_setzero_si128();
  while (n - in >= 8 && capacity - out >= 32) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    const __m128i high = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800)));
    const __m128i upTo2 = _mm_cmpeq_epi16(high, zero);
    if (_mm_movemask_epi8(ascii) == 0xFFFF) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + out), _mm_packus_epi16(v, v));
      out += 8;
    } else if (_mm_movemask_epi8(upTo2) == 0xFFFF) {
      const __m128i form2 = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(static_cast<short>(0x80C0))),
                                         _mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi16(0x3F)), 8));
      const __m128i bytes = _mm_or_si128(_mm_and_si128(ascii, v), _mm_andnot_si128(ascii, form2));
      const int m = (_mm_movemask_epi8(_mm_packs_epi16(ascii, ascii)) & 0xFF) ^ 0xFF;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + out),
                       _mm_shuffle_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffles.upTo2[m]))));
      out += kShuffles.upTo2Length[m];
    } else if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_set1_epi16(static_cast<short>(0xD800)))) == 0) {
      out += EncodeEight(v, ascii, upTo2, dst + out);
    } else {
      // A pair that starts as the eighth unit ends one unit further.
      const size_t stop = in + 8;
      size_t units = 0;
      while (in < stop) {
        out += EncodeUtf8Character(src, in, n, dst + out, &units);
        in += units;
      }
      continue;
    }
    in += 8;
  }
  *consumed = in;
  return out;
}

#else

bool HasUtf8ConversionSimd() { return false; }
size_t Utf16ToUtf8Simd(const char16_t*, size_t, char*, size_t, size_t* consumed) {
  *consumed = 0;
  return 0;
}

#endif
