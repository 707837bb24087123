// A set of line fingerprints: a flat table of buckets, each one cache line
// of five 12-byte fingerprints. The index is many of these, one a part;
// sifting lines set aside on disk uses one at a time.
//
// A fingerprint's home bucket comes from its hashMid bits, scaled to the
// table's size without a division, so a table may have any size: it grows by
// half, not by doubling, which keeps it fuller on average. A fingerprint goes
// to the first free slot from its home bucket on; a bucket that was full when
// a fingerprint passed it on is marked, so that a search for a fingerprint
// that is not there mostly ends in its home bucket, one cache line.
//
// Beside each fingerprint the table keeps two bits of state (LineState), in
// the bucket's spare word: room the cache line has anyway, so that counting
// a line's occurrences costs neither memory nor hash bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "dedup/LineFingerprinter.h"
#include "dedup/Prefetch.h"
#include "platform/LargeBuffer.h"

// What a table knows of a line besides its fingerprint.
enum LineState : uint8_t {
  stateOnce,      // seen once (or, when repeats are not counted, at least once)
  stateRepeated,  // seen more than once
  stateExcluded,  // a line of an exclusion list
  stateDone,      // dealt with for good: written, or left out
};

class CFingerprintTable {
 public:
  static constexpr size_t kSlotsPerBucket = 5;
  // Past this share of taken slots, more searches go past their home bucket.
  static constexpr uint32_t kMaxLoadPercent = 80;

  struct Spot {
    size_t bucket;
    size_t slot;
    bool found;  // else: where the fingerprint would go
  };

  // A table of `buckets`; from 2 MiB on, with writeNow false, its memory is
  // taken from the system by WriteAhead, a piece at a time, before the table
  // is used.
  explicit CFingerprintTable(size_t buckets = 0, bool writeNow = true);
  CFingerprintTable(CFingerprintTable&&) noexcept = default;
  CFingerprintTable& operator=(CFingerprintTable&&) noexcept = default;

  // Where fingerprint is, or where it would go. The table must have buckets.
  Spot Find(const LineFingerprint& fingerprint) const {
    for (size_t b = HomeOf(fingerprint);; b = b + 1 == m_nBuckets ? 0 : b + 1) {
      const Bucket& bucket = m_pBuckets[b];
      for (size_t s = 0; s < kSlotsPerBucket; ++s) {
        const LineFingerprint& slot = bucket.slots[s];
        if (slot.lengthCode == 0) return {b, s, false};
        if (slot == fingerprint) return {b, s, true};
      }
      // Nothing whose search passes here went on: it is not in the table.
      if (!(bucket.flags & kPassedOn)) return {b, kSlotsPerBucket, false};
    }
  }
  bool Contains(const LineFingerprint& fingerprint) const { return m_nBuckets > 0 && Find(fingerprint).found; }
  // Where a fingerprint of this hashMid is that same(fingerprint) accepts,
  // or where one would go: for fingerprints that hold other data than hash
  // bits beside their hashMid. The table must have buckets.
  template <typename Same>
  Spot FindWhere(uint32_t hashMid, Same same) const {
    for (size_t b = HomeOf(hashMid);; b = b + 1 == m_nBuckets ? 0 : b + 1) {
      const Bucket& bucket = m_pBuckets[b];
      for (size_t s = 0; s < kSlotsPerBucket; ++s) {
        const LineFingerprint& slot = bucket.slots[s];
        if (slot.lengthCode == 0) return {b, s, false};
        if (slot.hashMid == hashMid && same(slot)) return {b, s, true};
      }
      if (!(bucket.flags & kPassedOn)) return {b, kSlotsPerBucket, false};
    }
  }
  // The first fingerprint of this hashMid in its home bucket, or null: for a
  // cache hint of what FindWhere will look at.
  const LineFingerprint* FirstIn(uint32_t hashMid) const {
    if (m_nBuckets == 0) return nullptr;
    for (const LineFingerprint& slot : m_pBuckets[HomeOf(hashMid)].slots) {
      if (slot.hashMid == hashMid && slot.lengthCode != 0) return &slot;
    }
    return nullptr;
  }
  // Adds a fingerprint Find did not find; the table must not be Full().
  void Add(const LineFingerprint& fingerprint, LineState state = stateOnce);
  // The same where Find answered place, and the table did not change since.
  void AddAt(const Spot& place, const LineFingerprint& fingerprint, LineState state = stateOnce) {
    if (place.slot == kSlotsPerBucket) {
      Add(fingerprint, state);  // its home bucket is full: it goes on from there
      return;
    }
    m_pBuckets[place.bucket].slots[place.slot] = fingerprint;
    SetState(place, state);
    ++m_nEntries;
  }

  // The state of the fingerprint found at place.
  LineState StateAt(const Spot& place) const {
    return static_cast<LineState>(m_pBuckets[place.bucket].flags >> StateShift(place.slot) & kStateMask);
  }
  void SetState(const Spot& place, LineState state) {
    uint32_t& flags = m_pBuckets[place.bucket].flags;
    flags = (flags & ~(kStateMask << StateShift(place.slot))) | uint32_t{state} << StateShift(place.slot);
  }

  // Cache hint: the bucket where the search for fingerprint starts.
  void Prefetch(const LineFingerprint& fingerprint) const {
    if (m_nBuckets > 0) PrefetchForRead(&m_pBuckets[HomeOf(fingerprint)]);
  }

  // Cache hint: buckets first up to end, and the buckets of this table's
  // neighbour `to` (a table of another size) where their entries go when
  // copied (CopyBuckets), which lie in the same order.
  void PrefetchCopy(size_t first, size_t end, const CFingerprintTable& to) const {
    for (size_t b = first; b < end; ++b) PrefetchForRead(&m_pBuckets[b]);
    if (to.m_nBuckets == 0 || first >= end) return;
    const size_t last = std::min(to.m_nBuckets, end * to.m_nBuckets / m_nBuckets + 1);
    for (size_t b = first * to.m_nBuckets / m_nBuckets; b < last; ++b) PrefetchForRead(&to.m_pBuckets[b]);
  }

  // No room for one more without growing.
  bool Full() const { return m_nEntries >= m_nLimit; }
  size_t Entries() const { return m_nEntries; }
  size_t Buckets() const { return m_nBuckets; }
  size_t Bytes() const { return BytesOf(m_nBuckets); }

  static size_t BytesOf(size_t buckets) { return buckets * sizeof(Bucket); }
  // How much a full table grows.
  static constexpr double kGrowth = 1.5;
  // The most entries a table of `buckets` holds, and the buckets that hold
  // `entries` without growing.
  static size_t LimitOf(size_t buckets) { return buckets * kSlotsPerBucket * kMaxLoadPercent / 100; }
  static size_t BucketsFor(size_t entries) { return entries * 100 / (kSlotsPerBucket * kMaxLoadPercent) + 1; }
  // Takes the next `bytes` of the table's memory from the system; true once
  // it has all of it.
  bool WriteAhead(size_t bytes);

  // Moves the entries to a table of `buckets` (more than Entries() fill);
  // throws std::bad_alloc, leaving the table as it was.
  void Resize(size_t buckets);
  // Adds the entries of buckets [first, end) to table, which has room.
  void CopyBuckets(size_t first, size_t end, CFingerprintTable& table) const;
  // The entries in buckets from first on.
  size_t EntriesFrom(size_t first) const;

 private:
  struct alignas(64) Bucket {
    LineFingerprint slots[kSlotsPerBucket];  // free slots (length code 0) come last
    uint32_t flags;                          // kPassedOn, and each slot's LineState
  };
  static_assert(sizeof(Bucket) == 64, "a bucket is one cache line");
  // A fingerprint found the bucket full and went on.
  static constexpr uint32_t kPassedOn = 1;
  static constexpr uint32_t kStateMask = 3;
  static constexpr int StateShift(size_t slot) { return 1 + 2 * static_cast<int>(slot); }

  size_t HomeOf(const LineFingerprint& fingerprint) const { return HomeOf(fingerprint.hashMid); }
  size_t HomeOf(uint32_t hashMid) const { return static_cast<size_t>((uint64_t{hashMid} * m_nBuckets) >> 32); }
  void Place(const LineFingerprint& fingerprint, LineState state);
  static void Allocate(size_t buckets, CLargeBuffer* large, std::unique_ptr<Bucket[]>* small);

  // From 2 MiB on mapped from the system, and given back whole when the
  // table grows; smaller tables come from the heap. Not on huge pages: the
  // lookups' address translations cost less than the system's clearing of a
  // huge table at once, which stopped a batch for tens of milliseconds.
  CLargeBuffer m_large;
  std::unique_ptr<Bucket[]> m_pSmall;
  Bucket* m_pBuckets = nullptr;  // in one of them
  size_t m_nBuckets = 0;
  size_t m_nEntries = 0;
  size_t m_nLimit = 0;
  size_t m_nWritten = 0;  // bytes of m_large taken from the system
};
