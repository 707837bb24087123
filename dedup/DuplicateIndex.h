// Answers whether a line equal to the offered one was kept before. A kept
// line is remembered by its key, CRC-32 and length alone, never by its text.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintMap.h"
#include "dedup/LineRecordPool.h"

struct LineFingerprint {
  uint32_t key;
  uint32_t crc;
  int32_t length;
};

class CDuplicateIndex {
 public:
  explicit CDuplicateIndex(const CaseFolder& folder = CaseFolder::System());

  // True when no equal line was kept before; the line is then remembered.
  // False for a duplicate. line holds length bytes and no NUL among them; its
  // bytes are never changed.
  bool TestAndAdd(const char* line, int32_t length, bool caseSensitive);

  // The same in two steps, so that a caller can fetch the memory of many
  // lookups ahead (Prefetch) before it makes them.
  LineFingerprint Fingerprint(const char* line, int32_t length, bool caseSensitive);
  bool TestAndAdd(const LineFingerprint& fingerprint);

  // Hints for the cache, in three rounds: the key's bucket, then its first
  // entry, then the newest kept line with the key. Each round reads what the
  // round before fetched. They change nothing.
  void PrefetchBucket(uint32_t key) const { m_map.PrefetchBucket(key); }
  void PrefetchEntry(uint32_t key) const { m_map.PrefetchEntry(key); }
  void PrefetchRecord(uint32_t key);

  const CLineRecordPool& Pool() const { return m_pool; }
  const CFingerprintMap& Map() const { return m_map; }

 private:
  const CaseFolder& m_folder;
  CLineRecordPool m_pool;
  CFingerprintMap m_map;
  std::vector<char> m_folded;  // reused for the lower-cased copy of every line
};
