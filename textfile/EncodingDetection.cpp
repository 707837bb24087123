#include "textfile/EncodingDetection.h"

#include <algorithm>

#include "platform/Utf.h"

namespace {

bool StartsWith(const uint8_t* bytes, uint32_t count, const char* mark, uint32_t length) {
  return count >= length && std::equal(bytes, bytes + length, reinterpret_cast<const uint8_t*>(mark));
}

// Whether the bytes read as UTF-16 in that byte order look like text that
// 8-bit text could not be. Text of every script holds characters of
// U+0001..U+00FF (line ends, spaces, digits, punctuation), which put a zero
// byte in the high half of their unit; 8-bit text holds no zero byte at all,
// so it never passes. Text with stray NULs is kept out by what UTF-16 text
// does not hold: a zero unit, an unpaired surrogate, and LF or CR bytes in
// the high half, where 8-bit line ends fall half the time (UTF-16 has them
// there only in U+0A00..U+0AFF and U+0D00..U+0DFF, whose scripts then need a
// mark).
bool LooksLikeUtf16(const uint8_t* bytes, uint32_t count, bool bigEndian) {
  uint32_t lineEnds = 0;
  uint32_t zeroHigh = 0;
  bool leadPending = false;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    const uint8_t high = bytes[i + (bigEndian ? 0 : 1)];
    const uint32_t unit = uint32_t{high} << 8 | bytes[i + (bigEndian ? 1 : 0)];
    // A lead surrogate last may have its trail in the next block.
    if (unit == 0 || IsTrailSurrogate(unit) != leadPending || high == '\n' || high == '\r') return false;
    leadPending = IsLeadSurrogate(unit);
    if (high == 0) ++zeroHigh;
    if (unit == '\n' || unit == '\r') ++lineEnds;
  }
  // Two zero high bytes at least: an LF with a NUL after it is no evidence.
  return lineEnds > 0 && zeroHigh >= 2;
}

}  // namespace

DetectedEncoding DetectEncoding(const uint8_t* b, uint32_t count) {
  for (const Encoding marked : {encUtf16LE, encUtf16BE, encUtf8}) {
    if (const uint32_t length = MarkLengthOf(marked, b, count)) return {marked, length};
  }
  if (count < kUnmarkedMinBytes) return {encAnsi, 0};
  if (b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0) return {encUtf16LE, 0};
  if (b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0) return {encUtf16BE, 0};
  if (LooksLikeUtf16(b, count, false)) return {encUtf16LE, 0};
  if (LooksLikeUtf16(b, count, true)) return {encUtf16BE, 0};
  return {encAnsi, 0};
}

uint32_t MarkLengthOf(Encoding encoding, const uint8_t* bytes, uint32_t count) {
  switch (encoding) {
    case encUtf16LE:
      return StartsWith(bytes, count, "\xFF\xFE", 2) ? 2 : 0;
    case encUtf16BE:
      return StartsWith(bytes, count, "\xFE\xFF", 2) ? 2 : 0;
    case encUtf8:
      return StartsWith(bytes, count, "\xEF\xBB\xBF", 3) ? 3 : 0;
    default:
      return 0;
  }
}

Utf8Verdict ExamineUtf8(const uint8_t* bytes, size_t count) {
  bool multiByte = false;
  size_t i = 0;
  while (i < count) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    const uint8_t lead = bytes[i];
    if (NextUtf8(bytes, &i, count) >= 0) {
      multiByte = true;
      continue;
    }
    // Cut by the end when every byte up to it fitted.
    const bool cut = i == count && lead >= 0xC2 && lead <= 0xF4;
    if (!cut) return Utf8Verdict::Other;
  }
  return multiByte ? Utf8Verdict::Utf8 : Utf8Verdict::Ascii;
}
