#include "dedup/FingerprintMap.h"

RecordRef* CFingerprintMap::FindHead(uint32_t key) {
  if (!m_pBuckets) return nullptr;
  for (uint32_t e = m_pBuckets[BucketOf(key)]; e != kNoEntry;) {
    FingerprintAssoc& assoc = m_entries[e - 1];
    if (assoc.key == key) return &assoc.head;
    e = assoc.next;
  }
  return nullptr;
}

void CFingerprintMap::AddKey(uint32_t key, RecordRef record) {
  if (!m_pBuckets) AllocateBuckets();
  if (m_nEntries == m_entries.Capacity()) m_entries.AddBlock();
  const uint32_t e = m_nEntries++;
  const uint32_t bucket = BucketOf(key);
  m_entries[e] = {m_pBuckets[bucket], key, record};
  m_pBuckets[bucket] = e + 1;
  // A fixed table would make every lookup walk entries / buckets entries. At
  // three quarters full the chains stay short enough that one fetched entry
  // usually settles a lookup.
  if (m_nEntries > m_nBuckets / 4 * 3) GrowBuckets();
}

void CFingerprintMap::AllocateBuckets() {
  m_bucketTable = CLargeBuffer();  // free the old table before taking the new one
  m_bucketTable = CLargeBuffer(size_t{m_nBuckets} * sizeof(uint32_t));
  m_pBuckets = static_cast<uint32_t*>(m_bucketTable.Data());
}

void CFingerprintMap::GrowBuckets() {
  if (m_nBuckets > UINT32_MAX / 2) return;
  m_nBuckets *= 2;
  AllocateBuckets();
  for (uint32_t e = 0; e < m_nEntries; ++e) {
    FingerprintAssoc& assoc = m_entries[e];
    const uint32_t bucket = BucketOf(assoc.key);
    assoc.next = m_pBuckets[bucket];
    m_pBuckets[bucket] = e + 1;
  }
}
