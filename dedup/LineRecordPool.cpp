#include "dedup/LineRecordPool.h"

void CLineRecordPool::ExtendTo(uint32_t newSize) {
  while (m_records.Capacity() < newSize) m_records.AddBlock();
  // Blocks arrive zero-filled; a record given back is cleared when taken again.
  if (newSize > m_nAvailable) m_nAvailable = newSize;
}

RecordRef CLineRecordPool::TakeRecord() {
  ReserveRecord();
  return m_nInUse++;
}

void CLineRecordPool::ReleaseLast(RecordRef record) {
  if (m_nInUse > 0 && record == m_nInUse - 1) --m_nInUse;
}
