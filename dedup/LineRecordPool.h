// The records of kept lines, handed out one at a time, 100 to a block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/BlockArray.h"

// Records are named by their number in the pool; kNoRecord ends a chain.
using RecordRef = uint32_t;
constexpr RecordRef kNoRecord = UINT32_MAX;

struct LineRecord {
  uint32_t crc;    // the fingerprint's hashMid
  int32_t length;  // its hashHigh << 16 | lengthCode (HighAndLengthCode)
  RecordRef next;  // the line kept before this one with the same key
};

class CLineRecordPool {
 public:
  static constexpr uint32_t kPerBlock = 100;

  // Makes records 0 to newSize - 1 available, zero-filled.
  void ExtendTo(uint32_t newSize);
  // Hands out the next record, adding a block when all are in use.
  RecordRef TakeRecord();
  // Gives back the record handed out last; anything else is ignored.
  void ReleaseLast(RecordRef record);

  LineRecord& operator[](RecordRef record) { return m_records[record]; }
  const LineRecord& operator[](RecordRef record) const { return m_records[record]; }

  uint32_t InUse() const { return m_nInUse; }
  size_t Bytes() const { return CBlockArray<LineRecord, kPerBlock>::BytesFor(m_records.Capacity()); }
  // What the next TakeRecord adds to Bytes().
  size_t BytesToTakeRecord() const {
    if (m_nInUse < m_nAvailable) return 0;
    return CBlockArray<LineRecord, kPerBlock>::BytesFor(m_records.Capacity() + kPerBlock) - Bytes();
  }

 private:
  CBlockArray<LineRecord, kPerBlock> m_records;
  uint32_t m_nAvailable = 0;
  uint32_t m_nInUse = 0;
};
