// A flat set of whole fingerprints (key: hashLow; crc: hashMid; length:
// HighAndLengthCode, which is never 0 in its low half), for the keys that
// many different lines share. Such keys are easy to craft, and walking their
// chains would make every lookup slow; here a lookup probes one stretch of a
// table instead. The set also remembers which keys it has taken over. It
// serves as well to find the first occurrences among lines set aside on disk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/Prefetch.h"
#include "platform/LargeBuffer.h"

class CFingerprintSet {
 public:
  CFingerprintSet();

  // True when the fingerprint was not in the set; it is then added.
  bool Insert(uint32_t key, uint32_t crc, int32_t length);
  bool Contains(uint32_t key, uint32_t crc, int32_t length) const;
  // Cache hint: where the search for the fingerprint starts.
  void Prefetch(uint32_t key, uint32_t crc, int32_t length) const {
    if (m_pSlots) PrefetchForRead(&m_pSlots[SlotOf(key, crc, MarkOf(length))]);
  }

  // Whether the set holds every line of the key.
  void MarkLongKey(uint32_t key) { Insert(key, 0, kLongKeyMark); }
  bool IsLongKey(uint32_t key) const { return m_nEntries > 0 && Contains(key, 0, kLongKeyMark); }

  size_t Entries() const { return m_nEntries; }
  size_t Bytes() const { return m_nSlots * sizeof(Slot); }
  // What count more insertions may add to Bytes(): the table that growing
  // fills while the old one empties.
  size_t BytesToInsert(size_t count) const { return SlotsFor(m_nEntries + count) * sizeof(Slot); }
  // Makes room for entries in all, so that the set grows no more until then.
  void Reserve(size_t entries) {
    while (SlotsFor(entries) > 0) Grow();
  }
  // The most entries a set of `bytes` holds without growing (at least a few).
  static size_t EntriesIn(size_t bytes);

 private:
  // Twelve bytes, so that a line here costs about what a record and a map
  // entry cost elsewhere.
  struct Slot {
    uint32_t key;
    uint32_t crc;
    uint32_t lengthMark;  // the length + 2; 0: a free slot
  };
  static constexpr int32_t kLongKeyMark = 0;  // no fingerprint has length code 0

  static uint32_t MarkOf(int32_t length) { return static_cast<uint32_t>(length) + 2; }

  // The size of the next table when `entries` do not fit the one there is, else 0.
  size_t SlotsFor(size_t entries) const;
  size_t SlotOf(uint32_t key, uint32_t crc, uint32_t lengthMark) const;
  void Grow();

  CLargeBuffer m_table;
  Slot* m_pSlots = nullptr;  // in m_table
  size_t m_nSlots = 0;       // a power of two
  size_t m_nEntries = 0;
  uint32_t m_nSeed;
};
