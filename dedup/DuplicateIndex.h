// Answers whether a line equal to the offered one was kept before. A kept
// line is remembered by its key, CRC-32 and length alone, never by its text.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintMap.h"
#include "dedup/LineRecordPool.h"

class CDuplicateIndex {
 public:
  explicit CDuplicateIndex(const CaseFolder& folder = CaseFolder::System());

  // True when no equal line was kept before; the line is then remembered.
  // False for a duplicate. line holds length bytes and no NUL among them; its
  // bytes are never changed.
  bool TestAndAdd(const char* line, int32_t length, bool caseSensitive);

  const CLineRecordPool& Pool() const { return m_pool; }
  const CFingerprintMap& Map() const { return m_map; }

 private:
  const CaseFolder& m_folder;
  CLineRecordPool m_pool;
  CFingerprintMap m_map;
  std::vector<char> m_folded;  // reused for the lower-cased copy of every line
};
