// Answers whether a line equal to the offered one was kept before. A kept
// line is remembered by its key, CRC-32 and length alone, never by its text.
#pragma once

#include <cstdint>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintMap.h"
#include "dedup/FingerprintSet.h"
#include "dedup/LineFingerprinter.h"
#include "dedup/LineRecordPool.h"

class CDuplicateIndex {
 public:
  explicit CDuplicateIndex(const CCaseFolder& folder = CCaseFolder::System());

  // True when no equal line was kept before; the line is then remembered.
  // False for a duplicate. line holds length bytes and no NUL among them; its
  // bytes are never changed.
  bool TestAndAdd(const char* line, int32_t length, bool caseSensitive);

  // The same for a line whose fingerprints were taken already (by a
  // CLineFingerprinter), so that a caller can take them elsewhere and fetch
  // the memory of many lookups ahead (Prefetch) before it makes them.
  // entry: what PrefetchRecord answered for this key, while still valid, or
  // null to look the key up here.
  bool TestAndAdd(const LineFingerprint& fingerprint, FingerprintAssoc* entry = nullptr);

  // Hints for the cache, in rounds: the bucket where the key's search
  // starts, then the newest kept line with the key. They change nothing.
  void PrefetchBucket(uint32_t key) const { m_map.Prefetch(key); }
  // Answers the key's entry, or null when the key is new. An entry stays
  // valid until the map grows, which changes Map().Buckets().
  FingerprintAssoc* PrefetchRecord(uint32_t key);

  const CLineRecordPool& Pool() const { return m_pool; }
  const CFingerprintMap& Map() const { return m_map; }

 private:
  // A chain this long means many different lines share one key, which
  // crafted input can do at will (and chance almost never): the key's lines
  // then move to a flat set of whole fingerprints, and a lookup probes that
  // instead of walking the chain. Measured on 6.3M crafted lines, 63 to a key
  // and spread over the file: a walk of 63 records took 2.4 times as long as
  // distinct keys.
  static constexpr uint32_t kLongChain = 8;

  void MoveToLongKeys(uint32_t key, RecordRef head);

  CLineFingerprinter m_fingerprinter;
  CLineRecordPool m_pool;
  CFingerprintMap m_map;
  CFingerprintSet m_longKeys;
};
