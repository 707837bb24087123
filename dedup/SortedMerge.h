// Numbers from several files, each in ascending order, handed out as one
// ascending sequence.
#pragma once

#include <cstdint>
#include <vector>

#include "dedup/TempRecordFile.h"

class CSortedMerge {
 public:
  static constexpr uint64_t kEnd = UINT64_MAX;

  // Reads file from its first number on; the file must outlive the merge.
  void Add(CTempRecordFile<uint64_t>& file);
  // The least number not handed out yet, or kEnd after the last.
  uint64_t Next();

 private:
  struct Head {
    uint64_t value;
    CTempRecordFile<uint64_t>* file;
    bool operator>(const Head& other) const { return value > other.value; }
  };
  std::vector<Head> m_heap;  // the least value first
};
