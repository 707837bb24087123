// UTF-8 and UTF-16 code units, taken apart and put together as ICU's U8 and
// U16 macros do it, for code that the Windows build, which has no ICU, runs.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool IsLeadSurrogate(uint32_t u) { return (u & 0xFFFFFC00) == 0xD800; }
inline bool IsTrailSurrogate(uint32_t u) { return (u & 0xFFFFFC00) == 0xDC00; }
inline bool IsSurrogate(uint32_t u) { return (u & 0xFFFFF800) == 0xD800; }
inline int32_t SupplementaryOf(uint32_t lead, uint32_t trail) {
  return static_cast<int32_t>(0x10000 + ((lead - 0xD800) << 10) + (trail - 0xDC00));
}

// The bytes of c in UTF-8 (1 to 4).
inline int Utf8Length(int32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// The character at s[*i] (i < length), *i moved past it; or -1 for bytes that
// are not well-formed UTF-8, *i moved past their longest well-formed start
// (at least one byte), as ICU's U8_NEXT does.
inline int32_t NextUtf8(const uint8_t* s, size_t* i, size_t length) {
  const uint8_t lead = s[(*i)++];
  if (lead < 0x80) return lead;
  int trail;
  int32_t c;
  uint8_t low = 0x80, high = 0xBF;  // the range of the first trail byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int k = 0; k < trail; ++k) {
    if (*i >= length || s[*i] < low || s[*i] > high) return -1;
    c = c << 6 | (s[(*i)++] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return c;
}

// Writes c in UTF-8 at dst; returns the bytes written.
inline size_t PutUtf8(int32_t c, uint8_t* dst) {
  const auto u = static_cast<uint32_t>(c);
  if (u < 0x80) {
    dst[0] = static_cast<uint8_t>(u);
    return 1;
  }
  if (u < 0x800) {
    dst[0] = static_cast<uint8_t>(0xC0 | u >> 6);
    dst[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
    return 2;
  }
  if (u < 0x10000) {
    dst[0] = static_cast<uint8_t>(0xE0 | u >> 12);
    dst[1] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
    return 3;
  }
  dst[0] = static_cast<uint8_t>(0xF0 | u >> 18);
  dst[1] = static_cast<uint8_t>(0x80 | (u >> 12 & 0x3F));
  dst[2] = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
  dst[3] = static_cast<uint8_t>(0x80 | (u & 0x3F));
  return 4;
}
