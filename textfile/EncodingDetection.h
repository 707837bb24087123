// What the first block of a source says about its encoding: byte-order
// marks, UTF-16 without a mark, and UTF-8 read in a code page of another kind.
#pragma once

#include <cstddef>
#include <cstdint>

// Encodings of a CTextFile.
enum Encoding : int32_t {
  encAnsi = 0,
  encAutoDetect = -5,
  // UTF-8 whatever the code page: compared by Unicode's rules and written
  // unchanged (Windows' number for it).
  encUtf8 = 65001,
  encUtf16LE = 0xFEFF,
  encUtf16BE = 0xFFFE,
};

inline bool IsUtf16(Encoding encoding) { return encoding == encUtf16LE || encoding == encUtf16BE; }

struct DetectedEncoding {
  Encoding encoding;
  uint32_t markLength;
};

// Without a mark, UTF-16 is looked for only in a source longer than four
// bytes: a stream's first block waits for a fifth.
constexpr uint32_t kUnmarkedMinBytes = 5;

// Classifies a source by the count bytes of its first block (fewer than
// kUnmarkedMinBytes only when the source is that short). A byte-order mark
// decides from two bytes on (three for UTF-8). Without one, a source longer
// than four bytes is UTF-16 when its first two code units lie in
// U+0001..U+00FF, or when its units hold a line end and other characters of
// U+0001..U+00FF but nothing that 8-bit text with stray NULs would show
// instead. Else it is 8-bit (encAnsi); whether that is UTF-8 is ExamineUtf8's
// to say.
DetectedEncoding DetectEncoding(const uint8_t* bytes, uint32_t count);

// The length of the byte-order mark of encoding at the start of bytes, or 0:
// what a reader told its encoding skips. 8-bit text has none.
uint32_t MarkLengthOf(Encoding encoding, const uint8_t* bytes, uint32_t count);

enum class Utf8Verdict {
  Ascii,  // well-formed, but without a byte of a multi-byte sequence
  Utf8,   // well-formed, with a multi-byte sequence
  Other,  // not UTF-8
};

// What bytes taken from the start of a block say of UTF-8. A sequence cut by
// the end of the bytes counts as well-formed: the block ends there, not the
// text.
Utf8Verdict ExamineUtf8(const uint8_t* bytes, size_t count);
