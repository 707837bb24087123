// The scan for the bytes that end or split a line, sixteen at a time with
// SSE2 where the processor has it (every x86-64): the line reader's code for
// one kind of processor.
#pragma once

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

// The first LF, CR or NUL in [p, end), or end.
inline const char* FindSpecial(const char* p, const char* end) {
#if defined(__SSE2__) || defined(_M_X64)
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i nul = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, nul));
    int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + std::countr_zero(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '\n' && *p != '\r' && *p != '\0') ++p;
  return p;
}
