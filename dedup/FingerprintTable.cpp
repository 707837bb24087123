#include "dedup/FingerprintTable.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

// The smallest page of memory.
constexpr size_t kPage = 4096;

}  // namespace

CFingerprintTable::CFingerprintTable(size_t buckets, bool writeNow) {
  if (buckets == 0) return;
  Allocate(buckets, &m_large, &m_pSmall);
  m_pBuckets = m_pSmall ? m_pSmall.get() : static_cast<Bucket*>(m_large.Data());
  m_nBuckets = buckets;
  m_nLimit = LimitOf(buckets);
  if (writeNow) WriteAhead(m_large.Size());
}

// Zeroed memory is free slots.
void CFingerprintTable::Allocate(size_t buckets, CLargeBuffer* large, std::unique_ptr<Bucket[]>* small) {
  // A home bucket is scaled from 32 bits of the fingerprint.
  if (buckets > (uint64_t{1} << 32)) throw std::bad_alloc();
  if (BytesOf(buckets) >= CLargeBuffer::kHugePage) {
    *large = CLargeBuffer(BytesOf(buckets), false);
  } else {
    small->reset(new Bucket[buckets]());
  }
}

// A page read before it is written is mapped to the shared zero page, and
// the write that follows must then take that back from every processor the
// run's threads use, which costs far more than the write itself: each page
// of a mapped table is written once before anything reads the table.
bool CFingerprintTable::WriteAhead(size_t bytes) {
  auto* memory = static_cast<volatile char*>(m_large.Data());
  const size_t end = std::min(m_large.Size(), m_nWritten + bytes);
  for (; m_nWritten < end; m_nWritten += kPage) memory[m_nWritten] = 0;
  return m_nWritten >= m_large.Size();
}

void CFingerprintTable::Add(const LineFingerprint& fingerprint, LineState state) {
  Place(fingerprint, state);
  ++m_nEntries;
}

// The first free slot from the home bucket on, marking the full buckets
// passed on the way.
void CFingerprintTable::Place(const LineFingerprint& fingerprint, LineState state) {
  for (size_t b = HomeOf(fingerprint);; b = b + 1 == m_nBuckets ? 0 : b + 1) {
    Bucket& bucket = m_pBuckets[b];
    for (size_t s = 0; s < kSlotsPerBucket; ++s) {
      if (bucket.slots[s].lengthCode == 0) {
        bucket.slots[s] = fingerprint;
        SetState({b, s, true}, state);
        return;
      }
    }
    bucket.flags |= kPassedOn;
  }
}

void CFingerprintTable::Resize(size_t buckets) {
  if (LimitOf(buckets) < m_nEntries) throw std::bad_alloc();
  CLargeBuffer large;
  std::unique_ptr<Bucket[]> small;
  Allocate(buckets, &large, &small);
  CLargeBuffer oldLarge = std::exchange(m_large, std::move(large));
  std::unique_ptr<Bucket[]> oldSmall = std::exchange(m_pSmall, std::move(small));
  const Bucket* old = std::exchange(m_pBuckets, m_pSmall ? m_pSmall.get() : static_cast<Bucket*>(m_large.Data()));
  const size_t oldBuckets = std::exchange(m_nBuckets, buckets);
  m_nLimit = LimitOf(buckets);
  m_nWritten = 0;
  WriteAhead(m_large.Size());
  // The entries come in about the order of their new places: the buckets
  // a few ahead are fetched while these are placed.
  constexpr size_t kAhead = 8;
  for (size_t b = 0; b < oldBuckets; ++b) {
    if (b + kAhead < oldBuckets) PrefetchForRead(&m_pBuckets[HomeOf(old[b + kAhead].slots[0])]);
    for (size_t s = 0; s < kSlotsPerBucket; ++s) {
      const LineFingerprint& slot = old[b].slots[s];
      if (slot.lengthCode != 0) Place(slot, static_cast<LineState>(old[b].flags >> StateShift(s) & kStateMask));
    }
  }
}

void CFingerprintTable::CopyBuckets(size_t first, size_t end, CFingerprintTable& table) const {
  for (size_t b = first; b < end; ++b) {
    for (size_t s = 0; s < kSlotsPerBucket; ++s) {
      const LineFingerprint& slot = m_pBuckets[b].slots[s];
      if (slot.lengthCode != 0) table.Add(slot, StateAt({b, s, true}));
    }
  }
}

size_t CFingerprintTable::EntriesFrom(size_t first) const {
  size_t entries = 0;
  for (size_t b = first; b < m_nBuckets; ++b) {
    for (const LineFingerprint& slot : m_pBuckets[b].slots) entries += slot.lengthCode != 0 ? 1 : 0;
  }
  return entries;
}
