#include "dedup/FingerprintTable.h"

#include <new>
#include <utility>

CFingerprintTable::CFingerprintTable(size_t buckets) {
  if (buckets > 0) Resize(buckets);
}

void CFingerprintTable::Add(const LineFingerprint& fingerprint) {
  Place(fingerprint);
  ++m_nEntries;
}

// The first free slot from the home bucket on, marking the full buckets
// passed on the way.
void CFingerprintTable::Place(const LineFingerprint& fingerprint) {
  for (size_t b = HomeOf(fingerprint);; b = b + 1 == m_nBuckets ? 0 : b + 1) {
    Bucket& bucket = m_pBuckets[b];
    for (LineFingerprint& slot : bucket.slots) {
      if (slot.lengthCode == 0) {
        slot = fingerprint;
        return;
      }
    }
    bucket.passedOn = 1;
  }
}

void CFingerprintTable::Resize(size_t buckets) {
  // A home bucket is scaled from 32 bits of the fingerprint.
  if (buckets > (uint64_t{1} << 32) || LimitOf(buckets) < m_nEntries) throw std::bad_alloc();
  // Zeroed memory is free slots.
  CLargeBuffer large;
  std::unique_ptr<Bucket[]> small;
  if (BytesOf(buckets) >= CLargeBuffer::kHugePage) {
    large = CLargeBuffer(BytesOf(buckets));
  } else {
    small.reset(new Bucket[buckets]());
  }
  CLargeBuffer oldLarge = std::exchange(m_large, std::move(large));
  std::unique_ptr<Bucket[]> oldSmall = std::exchange(m_pSmall, std::move(small));
  const Bucket* old = std::exchange(m_pBuckets, m_pSmall ? m_pSmall.get() : static_cast<Bucket*>(m_large.Data()));
  const size_t oldBuckets = std::exchange(m_nBuckets, buckets);
  m_nLimit = LimitOf(buckets);
  for (size_t b = 0; b < oldBuckets; ++b) {
    for (const LineFingerprint& slot : old[b].slots) {
      if (slot.lengthCode != 0) Place(slot);
    }
  }
}
