// A flat set of whole fingerprints (key, CRC-32, length), for the keys that
// many different lines share. Such keys are easy to craft, and walking their
// chains would make every lookup slow; here a lookup probes one stretch of a
// table instead. The set also remembers which keys it has taken over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/LargeBuffer.h"

class CFingerprintSet {
 public:
  CFingerprintSet();

  // True when the fingerprint was not in the set; it is then added.
  bool Insert(uint32_t key, uint32_t crc, int32_t length);

  // Whether the set holds every line of the key.
  void MarkLongKey(uint32_t key) { Insert(key, 0, kLongKeyMark); }
  bool IsLongKey(uint32_t key) const { return m_nEntries > 0 && Contains(key, 0, kLongKeyMark); }

  size_t Entries() const { return m_nEntries; }

 private:
  // Twelve bytes, so that a line here costs about what a record and a map
  // entry cost elsewhere.
  struct Slot {
    uint32_t key;
    uint32_t crc;
    uint32_t lengthMark;  // the length + 2; 0: a free slot
  };
  static constexpr int32_t kLongKeyMark = -1;  // no line has this length

  static uint32_t MarkOf(int32_t length) { return static_cast<uint32_t>(length) + 2; }

  bool Contains(uint32_t key, uint32_t crc, int32_t length) const;
  size_t SlotOf(uint32_t key, uint32_t crc, uint32_t lengthMark) const;
  void Grow();

  CLargeBuffer m_table;
  Slot* m_pSlots = nullptr;  // in m_table
  size_t m_nSlots = 0;       // a power of two
  size_t m_nEntries = 0;
  uint32_t m_nSeed;
};
