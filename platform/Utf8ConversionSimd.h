// UTF-16 to UTF-8 eight units at a time with SSSE3 (x86-64): the processor-
// specific code of Utf8Conversion.cpp. Elsewhere, or on a processor without
// it, HasUtf8ConversionSimd() is false and Utf16ToUtf8Simd may not be called.
#pragma once

#include <cstddef>

bool HasUtf8ConversionSimd();

// Converts eight units at a time while 32 bytes of room are left; sets
// *consumed to the units taken and returns the bytes written.
size_t Utf16ToUtf8Simd(const char16_t* src, size_t n, char* dst, size_t capacity, size_t* consumed);
