#include "dedup/FingerprintTable.h"

#include <new>

namespace {

// The smallest page of memory.
constexpr size_t kTouchStep = 4096;

}  // namespace
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
    // Written before anything reads it: a page read first is mapped to the
    // shared zero page, and the write that follows must then take it back
    // from every processor the run's threads use, which costs far more.
    auto* bytes = static_cast<volatile char*>(large.Data());
    for (size_t at = 0; at < large.Size(); at += kTouchStep) bytes[at] = 0;
  } else {
    small.reset(new Bucket[buckets]());
  }
  CLargeBuffer oldLarge = std::exchange(m_large, std::move(large));
  std::unique_ptr<Bucket[]> oldSmall = std::exchange(m_pSmall, std::move(small));
  const Bucket* old = std::exchange(m_pBuckets, m_pSmall ? m_pSmall.get() : static_cast<Bucket*>(m_large.Data()));
  const size_t oldBuckets = std::exchange(m_nBuckets, buckets);
  m_nLimit = LimitOf(buckets);
  // The entries come in about the order of their new places: the buckets
  // a few ahead are fetched while these are placed.
  constexpr size_t kAhead = 8;
  for (size_t b = 0; b < oldBuckets; ++b) {
    if (b + kAhead < oldBuckets) PrefetchForRead(&m_pBuckets[HomeOf(old[b + kAhead].slots[0])]);
    for (const LineFingerprint& slot : old[b].slots) {
      if (slot.lengthCode != 0) Place(slot);
    }
  }
}
