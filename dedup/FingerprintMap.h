// A chained hash map from a line key to the newest kept line with that key.
#pragma once

#include <cstdint>

#include "dedup/BlockArray.h"
#include "dedup/LineRecordPool.h"
#include "platform/LargeBuffer.h"

struct FingerprintAssoc {
  uint32_t next;   // number + 1 of the next entry in the same bucket; 0 ends it
  uint32_t key;    // the line key
  RecordRef head;  // newest kept line with this key
};

class CFingerprintMap {
 public:
  static constexpr uint32_t kInitialBuckets = 1000;
  static constexpr uint32_t kEntriesPerBlock = 100;

  // The head of the key's chain, to read or replace; null when the key is new.
  RecordRef* FindHead(uint32_t key);
  // Adds a key that FindHead did not find.
  void AddKey(uint32_t key, RecordRef record);

  // Cache hints: the key's bucket slot; the first entry of that bucket.
  void PrefetchBucket(uint32_t key) const {
    if (m_pBuckets) __builtin_prefetch(&m_pBuckets[BucketOf(key)]);
  }
  void PrefetchEntry(uint32_t key) const {
    if (!m_pBuckets) return;
    const uint32_t first = m_pBuckets[BucketOf(key)];
    if (first != kNoEntry) __builtin_prefetch(&m_entries[first - 1]);
  }

  // The second entry of the bucket, when the first holds another key.
  void PrefetchSecondEntry(uint32_t key) const {
    if (!m_pBuckets) return;
    const uint32_t first = m_pBuckets[BucketOf(key)];
    if (first == kNoEntry) return;
    const FingerprintAssoc& assoc = m_entries[first - 1];
    if (assoc.key != key && assoc.next != kNoEntry) __builtin_prefetch(&m_entries[assoc.next - 1]);
  }

  uint32_t Buckets() const { return m_nBuckets; }
  uint32_t Entries() const { return m_nEntries; }

 private:
  // Buckets and chains hold entry number + 1, so zero-filled memory is an
  // empty table.
  static constexpr uint32_t kNoEntry = 0;

  // Line keys of similar lines differ mostly in their low bits, so the bucket
  // is taken from the high bits of a multiplicative mix of the whole key,
  // scaled to the table size without a division.
  uint32_t BucketOf(uint32_t key) const {
    const uint32_t mixed = key * 0x9E3779B1u;
    return static_cast<uint32_t>((uint64_t{mixed} * m_nBuckets) >> 32);
  }
  void GrowBuckets();

  void AllocateBuckets();

  CLargeBuffer m_bucketTable;
  uint32_t* m_pBuckets = nullptr;  // first entry of each bucket, in m_bucketTable
  uint32_t m_nBuckets = kInitialBuckets;
  uint32_t m_nEntries = 0;
  BlockArray<FingerprintAssoc, kEntriesPerBlock> m_entries;
};
