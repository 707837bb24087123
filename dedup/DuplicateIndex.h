// Answers whether a line equal to the offered one was kept before. A kept
// line is remembered by its fingerprint alone, never by its text: the map's
// key is the fingerprint's hashLow, and a record holds the other 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintMap.h"
#include "dedup/FingerprintSet.h"
#include "dedup/LineFingerprinter.h"
#include "dedup/LineRecordPool.h"

// What the index answers for an offered line.
enum LineVerdict : int {
  lineNew,        // no equal line was kept before; this one is remembered now
  lineDuplicate,  // an equal line was kept before
  lineNoRoom,     // no equal line was kept before, and remembering this one would pass the budget
};

class CDuplicateIndex {
 public:
  static constexpr uint64_t kUnlimited = UINT64_MAX;

  // budget: the bytes the index may take, records, map and long-key set
  // together (the bytes that grow with the distinct lines).
  explicit CDuplicateIndex(const CCaseFolder& folder = CCaseFolder::System(), uint64_t budget = kUnlimited);

  // True when no equal line was kept before; the line is then remembered.
  // False for a duplicate. line holds length bytes and no NUL among them; its
  // bytes are never changed. An index without room throws std::bad_alloc.
  bool TestAndAdd(const char* line, int32_t length, bool caseSensitive);

  // The same for a line whose fingerprints were taken already (by a
  // CLineFingerprinter), so that a caller can take them elsewhere and fetch
  // the memory of many lookups ahead (Prefetch) before it makes them.
  // entry: what PrefetchRecord answered for this key, while still valid, or
  // null to look the key up here. Within the budget the index changes as
  // TestAndAdd says; lineNoRoom leaves it as it was.
  LineVerdict TestAndAdd(const LineFingerprint& fingerprint, FingerprintAssoc* entry = nullptr);
  // Whether an equal line was kept, changing nothing.
  bool Contains(const LineFingerprint& fingerprint, FingerprintAssoc* entry = nullptr);

  // Hints for the cache, in rounds: the bucket where the key's search
  // starts, then the newest kept line with the key. They change nothing.
  void PrefetchBucket(uint32_t key) const { m_map.Prefetch(key); }
  // Answers the key's entry, or null when the key is new. An entry stays
  // valid until the map grows, which changes Map().Buckets().
  FingerprintAssoc* PrefetchRecord(uint32_t key);

  // The memory the index takes now, which the budget bounds.
  uint64_t Bytes() const { return m_pool.Bytes() + m_map.Bytes() + m_longKeys.Bytes(); }

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

  // Whether moreBytes still fit the budget. Only a new block of records, a
  // bigger table or the long-key set take any, so most lines skip the sum.
  bool Fits(size_t moreBytes) const { return moreBytes == 0 || Bytes() + moreBytes <= m_nBudget; }
  // Whether the chain from head holds a line equal to fingerprint; *walked counts the records seen.
  bool ChainHolds(RecordRef head, const LineFingerprint& fingerprint, uint32_t* walked) const;
  void MoveToLongKeys(uint32_t key, RecordRef head);

  CLineFingerprinter m_fingerprinter;
  CLineRecordPool m_pool;
  CFingerprintMap m_map;
  CFingerprintSet m_longKeys;
  uint64_t m_nBudget;
};
