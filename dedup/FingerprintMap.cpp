#include "dedup/FingerprintMap.h"

#include <chrono>
#include <random>
#include <stdexcept>

uint32_t DrawHashSeed() {
  try {
    return std::random_device()();
  } catch (const std::exception&) {
    return static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

CFingerprintMap::CFingerprintMap() : m_nSeed(DrawHashSeed()) {}

void CFingerprintMap::AddKey(uint32_t key, RecordRef record) {
  ReserveKey();
  Place(key, record + 1);
  ++m_nEntries;
}

void CFingerprintMap::ReserveKey() {
  if (!m_pBuckets) {
    m_table = CLargeBuffer(size_t{m_nBuckets} * sizeof(FingerprintAssoc));
    m_pBuckets = static_cast<FingerprintAssoc*>(m_table.Data());
  }
  if (NeedsGrowth()) Grow();
}

void CFingerprintMap::Place(uint32_t key, uint32_t headRef) {
  uint32_t b = BucketOf(key);
  while (m_pBuckets[b].headRef != 0) {
    if (++b == m_nBuckets) b = 0;
  }
  m_pBuckets[b] = {key, headRef};
}

// Moves the entries to a table twice the size, in table order, giving the
// old table's memory back a huge page at a time as it is emptied: growing
// never holds both tables whole.
void CFingerprintMap::Grow() {
  if (m_nBuckets > UINT32_MAX / 2) {
    if (m_nEntries + 1 < m_nBuckets) return;  // fuller, but still room
    throw std::length_error("too many distinct lines");
  }
  CLargeBuffer table(size_t{m_nBuckets} * 2 * sizeof(FingerprintAssoc));  // before anything changes
  CLargeBuffer old = std::move(m_table);
  const FingerprintAssoc* from = m_pBuckets;
  const uint32_t oldBuckets = m_nBuckets;
  m_nBuckets *= 2;
  m_table = std::move(table);
  m_pBuckets = static_cast<FingerprintAssoc*>(m_table.Data());

  // A table on huge pages is given back a whole huge page at a time, since
  // giving back part of one splits it.
  const size_t unit = old.Size() >= CLargeBuffer::kHugePage ? CLargeBuffer::kHugePage : 64 * 1024;
  const auto perUnit = static_cast<uint32_t>(unit / sizeof(FingerprintAssoc));
  for (uint32_t b = 0; b < oldBuckets; ++b) {
    if (from[b].headRef != 0) Place(from[b].key, from[b].headRef);
    if ((b + 1) % perUnit == 0) old.Discard(size_t{b + 1 - perUnit} * sizeof(FingerprintAssoc), unit);
  }
}
