// Takes the fingerprints of lines: over the line itself, or over a
// lower-cased copy when case is to be ignored.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"

struct LineFingerprint {
  uint32_t key;
  uint32_t crc;
  int32_t length;
};

class CLineFingerprinter {
 public:
  explicit CLineFingerprinter(const CCaseFolder& folder) : m_folder(folder) {}

  // line holds length bytes and no NUL among them; it is never changed.
  LineFingerprint Take(const char* line, int32_t length, bool caseSensitive);

 private:
  const CCaseFolder& m_folder;
  std::vector<char> m_folded;  // reused for the lower-cased copy of every line
};
