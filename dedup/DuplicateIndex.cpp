#include "dedup/DuplicateIndex.h"

#include <cmath>
#include <new>

CDuplicateIndex::CDuplicateIndex(const CCaseFolder& folder, uint64_t budget, uint32_t lanes)
    : m_fingerprinter(folder),
      m_parts(new CFingerprintTable[kParts]),
      m_pGrown(new uint8_t[kParts]()),
      m_nLanes(lanes == 0 ? 1 : lanes),
      m_nLaneBudget(budget == kUnlimited ? kUnlimited : budget / m_nLanes),
      m_pLaneBytes(new std::atomic<uint64_t>[m_nLanes]) {
  for (uint32_t l = 0; l < m_nLanes; ++l) m_pLaneBytes[l] = 0;
}

CDuplicateIndex::~CDuplicateIndex() = default;

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  const LineVerdict verdict = TestAndAdd(m_fingerprinter.Take(line, length, caseSensitive));
  if (verdict == lineNoRoom) throw std::bad_alloc();
  return verdict == lineNew;
}

LineVerdict CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint) {
  const uint32_t part = PartOf(fingerprint);
  CFingerprintTable& table = m_parts[part];
  if (table.Full()) {
    if (table.Buckets() > 0 && table.Find(fingerprint).found) return lineDuplicate;
    if (!Grow(part)) return lineNoRoom;
    table.Add(fingerprint);
    return lineNew;
  }
  const CFingerprintTable::Spot place = table.Find(fingerprint);
  if (place.found) return lineDuplicate;
  table.AddAt(place, fingerprint);
  return lineNew;
}

uint64_t CDuplicateIndex::Bytes() const {
  uint64_t bytes = 0;
  for (uint32_t l = 0; l < m_nLanes; ++l) bytes += m_pLaneBytes[l].load(std::memory_order_relaxed);
  return bytes;
}

uint64_t CDuplicateIndex::Entries() const {
  uint64_t entries = 0;
  for (uint32_t p = 0; p < kParts; ++p) entries += m_parts[p].Entries();
  return entries;
}

// The new table is counted from before it is taken until the old one is
// given back, so the budget bounds the peak.
bool CDuplicateIndex::Grow(uint32_t part) {
  CFingerprintTable& table = m_parts[part];
  const size_t oldBytes = table.Bytes();
  const size_t buckets = BucketsAfter(part, m_pGrown[part]);
  const uint64_t newBytes = CFingerprintTable::BytesOf(buckets);
  std::atomic<uint64_t>& laneBytes = m_pLaneBytes[part % m_nLanes];
  const uint64_t now = laneBytes.load(std::memory_order_relaxed);
  if (newBytes > m_nLaneBudget || now > m_nLaneBudget - newBytes) return false;
  try {
    table.Resize(buckets);
  } catch (const std::bad_alloc&) {
    return false;  // the system refuses: as good as no room
  }
  laneBytes.store(now + newBytes - oldBytes, std::memory_order_relaxed);
  ++m_pGrown[part];
  return true;
}

size_t CDuplicateIndex::BucketsAfter(uint32_t part, uint32_t grown) {
  // Two buckets first: a small run, or a small budget, takes little.
  const double step = static_cast<double>(grown) + static_cast<double>(part) / kParts;
  return static_cast<size_t>(2.0 * std::pow(CFingerprintTable::kGrowth, step));
}
