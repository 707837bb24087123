// Takes the fingerprints of lines: over the line itself, or over a folded
// copy when case is to be ignored.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"

// The fingerprints of a line: 80 bits of a hash of its compared text (the
// folded copy when case is ignored) and a code of that text's length. Two
// lines are equal when all 96 bits agree.
struct LineFingerprint {
  uint32_t hashLow;     // bits 0-31 of the hash
  uint32_t hashMid;     // bits 32-63
  uint16_t hashHigh;    // bits 64-79
  uint16_t lengthCode;  // LengthCode(length of the compared text): never 0
  friend bool operator==(const LineFingerprint&, const LineFingerprint&) = default;
};
static_assert(sizeof(LineFingerprint) == 12, "a fingerprint is 96 bits");

// The length + 1 below 0xFFFE, else 0xFFFF (the hash covers the whole length).
constexpr uint16_t LengthCode(uint64_t length) {
  return length < 0xFFFE ? static_cast<uint16_t>(length + 1) : uint16_t{0xFFFF};
}

class CLineFingerprinter {
 public:
  explicit CLineFingerprinter(const CCaseFolder& folder) : m_folder(&folder) {}

  // The folder for the lines that follow.
  void UseFolder(const CCaseFolder& folder) { m_folder = &folder; }

  // line holds length bytes and no NUL among them; it is never changed.
  LineFingerprint Take(const char* line, int32_t length, bool caseSensitive);
  // Take, where that is quick: case-sensitive, or a line of ASCII where A-Z
  // fold. False, and nothing taken, for a line that needs folding proper.
  bool TakeQuickly(const char* line, int32_t length, bool caseSensitive, LineFingerprint* fingerprint) const;
  // Take, case ignored, for a line TakeQuickly turned down.
  LineFingerprint TakeFolded(const char* line, int32_t length);

 private:
  // A long line is folded a piece of about this many bytes at a time, so that
  // the folded copy needs no more than a few hundred KiB whatever the line's
  // length (up to three times as many bytes in UTF-8).
  static constexpr size_t kPiece = 64 * 1024;

  const CCaseFolder* m_folder;
  std::vector<char> m_folded;  // reused for the folded copy of every line
};
