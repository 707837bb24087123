#include "platform/Utf8Conversion.h"

#include <cstdint>
#include <cstring>

#include "platform/Utf.h"
#include "platform/Utf8ConversionSimd.h"

size_t Utf16ToUtf8(const char16_t* src, size_t n, char* dst, size_t capacity, size_t* consumed) {
  size_t in = 0;
  size_t out = 0;
  if (HasUtf8ConversionSimd()) out = Utf16ToUtf8Simd(src, n, dst, capacity, &in);
  size_t units = 0;
  // With four bytes of room any character fits.
  while (in < n && capacity - out >= 4) {
    out += EncodeUtf8Character(src, in, n, dst + out, &units);
    in += units;
  }
  // The last few bytes of room take whole characters only.
  while (in < n) {
    char bytes[4];
    const size_t length = EncodeUtf8Character(src, in, n, bytes, &units);
    if (capacity - out < length) break;
    std::memcpy(dst + out, bytes, length);
    out += length;
    in += units;
  }
  *consumed = in;
  return out;
}
