// Takes the fingerprints of lines: over the line itself, or over a folded
// copy when case is to be ignored.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintKey.h"
#include "dedup/Fingerprints.h"
#include "dedup/LineFingerprint.h"

class CLineFingerprinter {
 public:
  // key: the secret, this process's unless a test brings its own.
  explicit CLineFingerprinter(const CCaseFolder& folder, const FingerprintKey& key = ProcessFingerprintKey())
      : m_folder(&folder), m_key(&key) {}

  // The folder for the lines that follow.
  void UseFolder(const CCaseFolder& folder) { m_folder = &folder; }

  // line holds length bytes and no NUL among them; it is never changed. The
  // fingerprint is that of the line, or of its folded copy (whose length, in
  // UTF-8, may differ from the line's: the Kelvin sign, three bytes, folds to k).
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
  const FingerprintKey* m_key;
  std::vector<char> m_folded;  // reused for the folded copy of every line
};
