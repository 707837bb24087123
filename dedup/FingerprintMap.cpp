#include "dedup/FingerprintMap.h"

#include <algorithm>

RecordRef* CFingerprintMap::FindHead(uint32_t key) {
  if (!m_pBuckets) return nullptr;
  for (uint32_t e = m_pBuckets[BucketOf(key)]; e != kNoEntry;) {
    FingerprintAssoc& assoc = m_entries[e];
    if (assoc.key == key) return &assoc.head;
    e = assoc.next;
  }
  return nullptr;
}

void CFingerprintMap::SetHead(uint32_t key, RecordRef record) {
  if (RecordRef* head = FindHead(key)) {
    *head = record;
  } else {
    AddKey(key, record);
  }
}

void CFingerprintMap::AddKey(uint32_t key, RecordRef record) {
  if (!m_pBuckets) {
    m_pBuckets.reset(new uint32_t[m_nBuckets]);
    std::fill_n(m_pBuckets.get(), m_nBuckets, kNoEntry);
  }
  if (m_nEntries == m_entries.Capacity()) m_entries.AddBlock();
  const uint32_t e = m_nEntries++;
  const uint32_t bucket = BucketOf(key);
  m_entries[e] = {m_pBuckets[bucket], key, record};
  m_pBuckets[bucket] = e;
  // A fixed table would make every lookup walk entries / buckets entries.
  if (m_nEntries > m_nBuckets) GrowBuckets();
}

void CFingerprintMap::GrowBuckets() {
  if (m_nBuckets > UINT32_MAX / 2) return;
  m_nBuckets *= 2;
  m_pBuckets.reset();  // free the old table before taking the new one
  m_pBuckets.reset(new uint32_t[m_nBuckets]);
  std::fill_n(m_pBuckets.get(), m_nBuckets, kNoEntry);
  for (uint32_t e = 0; e < m_nEntries; ++e) {
    FingerprintAssoc& assoc = m_entries[e];
    const uint32_t bucket = BucketOf(assoc.key);
    assoc.next = m_pBuckets[bucket];
    m_pBuckets[bucket] = e;
  }
}
