// A hash map from a line key to the newest kept line with that key. The
// entries live in the bucket table itself (open addressing with linear
// probing), so a lookup reads one cache line of the table rather than a
// bucket and then an entry elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/LineRecordPool.h"
#include "dedup/Prefetch.h"
#include "platform/LargeBuffer.h"

struct FingerprintAssoc {
  uint32_t key;      // the line key
  uint32_t headRef;  // number + 1 of the newest kept line with this key; 0: a free bucket

  RecordRef Head() const { return headRef - 1; }
  void SetHead(RecordRef record) { headRef = record + 1; }
};

// A value drawn at start-up, which the hash tables mix into their buckets.
uint32_t DrawHashSeed();

class CFingerprintMap {
 public:
  static constexpr uint32_t kInitialBuckets = 1000;

  CFingerprintMap();

  // The key's entry, whose head may be read or replaced; null when the key is
  // new. It stays valid until the next AddKey.
  FingerprintAssoc* Find(uint32_t key) {
    if (!m_pBuckets) return nullptr;
    for (uint32_t b = BucketOf(key);;) {
      FingerprintAssoc& assoc = m_pBuckets[b];
      if (assoc.headRef == 0) return nullptr;
      if (assoc.key == key) return &assoc;
      if (++b == m_nBuckets) b = 0;
    }
  }
  // Adds a key that Find did not find.
  void AddKey(uint32_t key, RecordRef record);
  // Takes now the memory the next AddKey needs, if any; a failed allocation
  // changes nothing.
  void ReserveKey();

  // Cache hint: the bucket where the key's search starts.
  void Prefetch(uint32_t key) const {
    if (m_pBuckets) PrefetchForRead(&m_pBuckets[BucketOf(key)]);
  }

  uint32_t Buckets() const { return m_nBuckets; }
  uint32_t Entries() const { return m_nEntries; }
  size_t Bytes() const { return m_table.Size(); }
  // The memory the next AddKey takes on top of Bytes(): the first table, or
  // the table twice the size that growing fills while the old one empties.
  size_t BytesToAddKey() const {
    if (!m_pBuckets) return size_t{m_nBuckets} * sizeof(FingerprintAssoc);
    return NeedsGrowth() ? size_t{m_nBuckets} * 2 * sizeof(FingerprintAssoc) : 0;
  }

 private:
  // Line keys of similar lines differ mostly in their low bits, so the bucket
  // is taken from the high bits of a multiplicative mix of the whole key,
  // scaled to the table size without a division. The key is first xored
  // with a value drawn at start-up: a line's key is easy to choose, and lines
  // made to crowd one stretch of the table would make every lookup slow.
  uint32_t BucketOf(uint32_t key) const {
    const uint32_t mixed = (key ^ m_nSeed) * 0x9E3779B1u;
    return static_cast<uint32_t>((uint64_t{mixed} * m_nBuckets) >> 32);
  }
  // Past three quarters full, runs of taken buckets grow long.
  bool NeedsGrowth() const { return m_nEntries + 1 > m_nBuckets / 4 * 3; }
  void Place(uint32_t key, uint32_t headRef);
  void Grow();

  CLargeBuffer m_table;
  FingerprintAssoc* m_pBuckets = nullptr;  // in m_table
  uint32_t m_nBuckets = kInitialBuckets;
  uint32_t m_nEntries = 0;
  uint32_t m_nSeed = 0;
};
