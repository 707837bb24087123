// Takes the fingerprints of lines: over the line itself, or over a folded
// copy when case is to be ignored.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"

// The fingerprints of a line. length is that of the bytes fingerprinted: the
// folded copy, when case is ignored, which in UTF-8 may be longer or shorter
// than the line (the Kelvin sign, three bytes, folds to k).
struct LineFingerprint {
  uint32_t key;
  uint32_t crc;
  int32_t length;
};

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
