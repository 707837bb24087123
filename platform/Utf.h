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

// The end of the character that starts at units[i] (i < end): past a
// surrogate pair, else past the unit (ICU's U16_FWD_1).
inline size_t NextUtf16(const char16_t* units, size_t i, size_t end) {
  const bool pair = IsLeadSurrogate(units[i]) && i + 1 < end && IsTrailSurrogate(units[i + 1]);
  return i + (pair ? 2 : 1);
}

// The start of the character that ends at units[i] (start < i): before a
// surrogate pair, else before the unit (ICU's U16_BACK_1).
inline size_t PreviousUtf16(const char16_t* units, size_t start, size_t i) {
  const bool pair = IsTrailSurrogate(units[i - 1]) && i - 1 > start && IsLeadSurrogate(units[i - 2]);
  return i - (pair ? 2 : 1);
}

// The character at units[*i] (i < end), *i moved past it; an unpaired
// surrogate stands for itself (ICU's U16_NEXT).
inline int32_t DecodeUtf16(const char16_t* units, size_t* i, size_t end) {
  const size_t at = *i;
  *i = NextUtf16(units, at, end);
  return *i - at == 2 ? SupplementaryOf(units[at], units[at + 1]) : units[at];
}

// Writes c in UTF-16 at units; returns the units written (1 or 2).
inline size_t PutUtf16(int32_t c, char16_t* units) {
  if (c < 0x10000) {
    units[0] = static_cast<char16_t>(c);
    return 1;
  }
  units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
  units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return 2;
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

namespace utf8_detail {

inline void Put3(char* dst, uint32_t bytes) {
  dst[0] = static_cast<char>(bytes);
  dst[1] = static_cast<char>(bytes >> 8);
  dst[2] = static_cast<char>(bytes >> 16);
}

}  // namespace utf8_detail

// The character at src[in] (in < n) into dst, which has room for four bytes;
// returns its length in bytes and sets *units to the units it took. An
// unpaired surrogate becomes U+FFFD.
inline size_t EncodeUtf8Character(const char16_t* src, size_t in, size_t n, char* dst, size_t* units) {
  using utf8_detail::Put3;
  const uint32_t u = src[in];
  *units = 1;
  if (u < 0x80) {
    dst[0] = static_cast<char>(u);
    return 1;
  }
  if (u < 0x800) {
    Put3(dst, 0x80C0u | u >> 6 | (u & 0x3Fu) << 8);
    return 2;
  }
  if (!IsSurrogate(u)) {
    Put3(dst, 0x8080E0u | u >> 12 | (u >> 6 & 0x3Fu) << 8 | (u & 0x3Fu) << 16);
    return 3;
  }
  if (IsLeadSurrogate(u) && in + 1 < n && IsTrailSurrogate(src[in + 1])) {
    const auto c = static_cast<uint32_t>(SupplementaryOf(u, src[in + 1]));
    dst[0] = static_cast<char>(0xF0 | c >> 18);
    Put3(dst + 1, (0x80 | (c >> 12 & 0x3F)) | (0x80 | (c >> 6 & 0x3F)) << 8 | (0x80 | (c & 0x3F)) << 16);
    *units = 2;
    return 4;
  }
  Put3(dst, 0xBDBFEF);  // U+FFFD
  return 3;
}
