#include "dedup/DuplicateIndex.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

CDuplicateIndex::CDuplicateIndex(const CCaseFolder& folder, uint64_t budget, uint32_t lanes)
    : m_fingerprinter(folder),
      m_parts(new Part[kParts]),
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

LineVerdict CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint, LineState stateIfNew,
                                        const TextCheck* check) {
  const uint32_t index = PartOf(fingerprint);
  Part& part = m_parts[index];
  if (part.old.Buckets() > 0) MoveSome(index, kMoveStep);
  if (part.table.Entries() >= part.prepareFrom) Prepare(index);
  CFingerprintTable& table = part.table;
  const LineFingerprint remembered = check ? WithLocation(fingerprint, check->location) : fingerprint;
  if (table.Full()) {
    if (table.Buckets() > 0) {
      const CFingerprintTable::Spot place = Search(table, fingerprint, check);
      if (place.found) return Found(table, place);
    }
    if (!Grow(index)) return lineNoRoom;
    table.Add(remembered, stateIfNew);
    return lineNew;
  }
  const CFingerprintTable::Spot place = Search(table, fingerprint, check);
  if (place.found) return Found(table, place);
  // An entry still in the old table has not moved yet: the table would hold it.
  if (part.old.Buckets() > 0) {
    const CFingerprintTable::Spot there = Search(part.old, fingerprint, check);
    if (there.found) return Found(part.old, there);
  }
  table.AddAt(place, remembered, stateIfNew);
  return lineNew;
}

LineVerdict CDuplicateIndex::Look(const LineFingerprint& fingerprint, const TextCheck* check) {
  Part& part = m_parts[PartOf(fingerprint)];
  for (CFingerprintTable* table : {&part.table, &part.old}) {
    if (table->Buckets() == 0) continue;
    const CFingerprintTable::Spot place = Search(*table, fingerprint, check);
    if (place.found) return Found(*table, place);
  }
  return lineNoRoom;
}

CFingerprintTable::Spot CDuplicateIndex::Search(const CFingerprintTable& table, const LineFingerprint& fingerprint,
                                                const TextCheck* check) {
  if (!check) return table.Find(fingerprint);
  return table.FindWhere(fingerprint.hashMid, [check](const LineFingerprint& remembered) {
    return check->same(check->context, LocationOf(remembered));
  });
}

LineState CDuplicateIndex::StateOf(const LineFingerprint& fingerprint) const {
  const Part& part = m_parts[PartOf(fingerprint)];
  const CFingerprintTable::Spot place = part.table.Find(fingerprint);
  return place.found ? part.table.StateAt(place) : part.old.StateAt(part.old.Find(fingerprint));
}

// A line found again: counted when repeats count.
LineVerdict CDuplicateIndex::Found(CFingerprintTable& table, const CFingerprintTable::Spot& place) const {
  const LineState state = table.StateAt(place);
  if (state == stateExcluded) return lineExcluded;
  if (m_bCountRepeats && state == stateOnce) table.SetState(place, stateRepeated);
  return lineDuplicate;
}

uint64_t CDuplicateIndex::Bytes() const {
  uint64_t bytes = 0;
  for (uint32_t l = 0; l < m_nLanes; ++l) bytes += m_pLaneBytes[l].load(std::memory_order_relaxed);
  return bytes;
}

uint64_t CDuplicateIndex::Entries() const {
  uint64_t entries = 0;
  for (uint32_t p = 0; p < kParts; ++p) {
    const Part& part = m_parts[p];
    entries += part.table.Entries() + (part.old.Buckets() > 0 ? part.old.EntriesFrom(part.moved) : 0);
  }
  return entries;
}

// Counts bytes more for the lane of part index, if its budget allows.
bool CDuplicateIndex::Take(uint32_t index, uint64_t bytes) {
  std::atomic<uint64_t>& laneBytes = m_pLaneBytes[index % m_nLanes];
  const uint64_t now = laneBytes.load(std::memory_order_relaxed);
  if (bytes > m_nLaneBudget || now > m_nLaneBudget - bytes) return false;
  laneBytes.store(now + bytes, std::memory_order_relaxed);
  return true;
}

// Near its limit, a large table's successor is mapped, and its memory taken
// from the system a piece at a time. A budget or a system that cannot spare
// it now leaves the growth to the moment it is needed.
void CDuplicateIndex::Prepare(uint32_t index) {
  Part& part = m_parts[index];
  if (!MakeNext(index) || part.next.WriteAhead(kWriteStep)) part.prepareFrom = SIZE_MAX;
}

// The part's next table, mapped but not yet written, unless it is there
// already; false when the budget or the system cannot spare it.
bool CDuplicateIndex::MakeNext(uint32_t index) {
  Part& part = m_parts[index];
  if (part.next.Buckets() > 0) return true;
  const size_t buckets = BucketsAfter(index, part.grown);
  if (!Take(index, CFingerprintTable::BytesOf(buckets))) return false;
  try {
    part.next = CFingerprintTable(buckets, false);
  } catch (const std::bad_alloc&) {
    m_pLaneBytes[index % m_nLanes].fetch_sub(CFingerprintTable::BytesOf(buckets), std::memory_order_relaxed);
    return false;  // the system refuses: as good as no room
  }
  return true;
}

// The new table is counted from before it is taken until the old one is
// given back, so the budget bounds the peak. A part still moving its last
// growth's entries finishes first.
bool CDuplicateIndex::Grow(uint32_t index) {
  Part& part = m_parts[index];
  if (part.old.Buckets() > 0) MoveSome(index, part.old.Buckets());
  if (!MakeNext(index)) return false;
  part.next.WriteAhead(SIZE_MAX);
  part.old = std::move(part.table);
  part.table = std::move(part.next);
  part.next = CFingerprintTable();
  part.moved = 0;
  ++part.grown;
  // Preparing the next growth takes one line for every kWriteStep bytes of
  // its table, with a margin; small tables come at once, from the heap.
  const uint64_t nextBytes = CFingerprintTable::BytesOf(BucketsAfter(index, part.grown));
  const size_t lines = static_cast<size_t>(nextBytes / kWriteStep) + 64;
  const size_t limit = CFingerprintTable::LimitOf(part.table.Buckets());
  part.prepareFrom = nextBytes < CLargeBuffer::kHugePage || lines >= limit ? SIZE_MAX : limit - lines;
  MoveSome(index, kMoveStep);
  return true;
}

// Moves entries of the old table to the new one, `buckets` at most; gives the
// old table back once it is empty.
void CDuplicateIndex::MoveSome(uint32_t index, size_t buckets) {
  Part& part = m_parts[index];
  const size_t end = std::min(part.old.Buckets(), part.moved + buckets);
  part.old.CopyBuckets(part.moved, end, part.table);
  part.moved = end;
  if (end < part.old.Buckets()) {
    // The part's next step comes after lines of other parts, too far apart
    // for the processor to see the two tables read in order.
    part.old.PrefetchCopy(end, std::min(part.old.Buckets(), end + buckets), part.table);
    return;
  }
  m_pLaneBytes[index % m_nLanes].fetch_sub(part.old.Bytes(), std::memory_order_relaxed);
  part.old = CFingerprintTable();
}

size_t CDuplicateIndex::BucketsAfter(uint32_t part, uint32_t grown) {
  // Two buckets first: a small run, or a small budget, takes little.
  const double step = static_cast<double>(grown) + static_cast<double>(part) / kParts;
  return static_cast<size_t>(2.0 * std::pow(CFingerprintTable::kGrowth, step));
}
