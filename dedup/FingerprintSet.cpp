#include "dedup/FingerprintSet.h"

#include "dedup/FingerprintMap.h"

namespace {

constexpr size_t kInitialSlots = 1024;

}  // namespace

CFingerprintSet::CFingerprintSet() : m_nSeed(DrawHashSeed()) {}

// A multiplicative mix of all three values, seeded like the map so that lines
// cannot be made to crowd one stretch of the table.
size_t CFingerprintSet::SlotOf(uint32_t key, uint32_t crc, uint32_t lengthMark) const {
  uint64_t h = (uint64_t{key ^ m_nSeed} << 32 | crc) * 0x9E3779B97F4A7C15ull;
  h ^= (uint64_t{lengthMark} + m_nSeed) * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 31;
  return static_cast<size_t>(h & (m_nSlots - 1));
}

bool CFingerprintSet::Contains(uint32_t key, uint32_t crc, int32_t length) const {
  const uint32_t mark = MarkOf(length);
  for (size_t s = SlotOf(key, crc, mark);; s = (s + 1) & (m_nSlots - 1)) {
    const Slot& slot = m_pSlots[s];
    if (slot.lengthMark == 0) return false;
    if (slot.key == key && slot.crc == crc && slot.lengthMark == mark) return true;
  }
}

// Past three quarters full, runs of taken slots grow long.
size_t CFingerprintSet::SlotsFor(size_t entries) const {
  if (entries * 4 <= m_nSlots * 3) return 0;
  size_t slots = m_nSlots ? m_nSlots * 2 : kInitialSlots;
  while (entries * 4 > slots * 3) slots *= 2;
  return slots;
}

size_t CFingerprintSet::EntriesIn(size_t bytes) {
  size_t slots = kInitialSlots;
  while (slots * 2 * sizeof(Slot) <= bytes) slots *= 2;
  return slots / 4 * 3;
}

bool CFingerprintSet::Insert(uint32_t key, uint32_t crc, int32_t length) {
  if (const size_t slots = SlotsFor(m_nEntries + 1)) Grow(slots);
  const uint32_t mark = MarkOf(length);
  size_t s = SlotOf(key, crc, mark);
  for (; m_pSlots[s].lengthMark != 0; s = (s + 1) & (m_nSlots - 1)) {
    const Slot& slot = m_pSlots[s];
    if (slot.key == key && slot.crc == crc && slot.lengthMark == mark) return false;
  }
  m_pSlots[s] = {key, crc, mark};
  ++m_nEntries;
  return true;
}

// Moves the slots to the new table in table order, giving the old table's
// pages back as they empty, so that both are never held whole.
void CFingerprintSet::Grow(size_t slots) {
  CLargeBuffer table(slots * sizeof(Slot));
  CLargeBuffer old = std::move(m_table);
  const Slot* from = m_pSlots;
  const size_t oldSlots = m_nSlots;
  m_nSlots = slots;
  m_table = std::move(table);
  m_pSlots = static_cast<Slot*>(m_table.Data());

  const size_t unit = old.Size() >= CLargeBuffer::kHugePage ? CLargeBuffer::kHugePage : 64 * 1024;
  size_t given = 0;  // bytes of the old table given back
  for (size_t i = 0; i < oldSlots; ++i) {
    if (from[i].lengthMark != 0) {
      size_t s = SlotOf(from[i].key, from[i].crc, from[i].lengthMark);
      while (m_pSlots[s].lengthMark != 0) s = (s + 1) & (m_nSlots - 1);
      m_pSlots[s] = from[i];
    }
    if ((i + 1) * sizeof(Slot) >= given + unit) {
      old.Discard(given, unit);
      given += unit;
    }
  }
}
