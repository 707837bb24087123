// A hint that memory will be read soon, so that its cache miss overlaps other
// work: the processor- and compiler-specific code of the index's lookups.
#pragma once

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

inline void PrefetchForRead(const void* address) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  // Not __builtin_prefetch: GCC takes a function whose only effect is that
  // for one without any, and drops calls to it before they are inlined.
  __asm__ volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#elif defined(__GNUC__)
  __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
  (void)address;
#endif
}
