// A hint that memory will be read soon, so that its cache miss overlaps other
// work: the processor- and compiler-specific code of the index's lookups.
#pragma once

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

inline void PrefetchForRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
  (void)address;
#endif
}
