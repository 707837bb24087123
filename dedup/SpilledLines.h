// The lines the index had no room for, set aside on disk by their
// fingerprints and numbers. Equal lines have equal fingerprints, so parts
// chosen by mixed bits of the fingerprints can each be sifted in memory on
// its own: in line order, the first line of every fingerprint is kept. A
// part that holds more distinct lines than the budget allows sifts what fits
// and deals the rest out to smaller parts by further bits. The kept lines'
// numbers then come out in ascending order, merged from all parts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dedup/LineFingerprinter.h"
#include "dedup/SortedMerge.h"
#include "dedup/TempRecordFile.h"

// One line set aside: 20 bytes on disk.
struct SpilledLine {
  uint32_t key;      // the fingerprint's hashLow
  uint32_t crc;      // hashMid
  int32_t length;    // HighAndLengthCode
  uint32_t lineLow;  // the line's number, in halves so that nothing pads the record
  uint32_t lineHigh;

  uint64_t Line() const { return uint64_t{lineHigh} << 32 | lineLow; }
};

class CSpilledLines {
 public:
  // dir: the folder for the temporary files. budget: the bytes the sifting
  // of one part may take. expectedLines: about how many lines will come, to
  // choose the number of parts; 0 when nobody can tell.
  CSpilledLines(std::string dir, uint64_t budget, uint64_t expectedLines);

  void Add(const LineFingerprint& fingerprint, uint64_t line);
  uint64_t Count() const { return m_nCount; }
  size_t Parts() const { return m_parts.size(); }

  // Sifts every part, giving its disk space back. Lines numbered below
  // firstKept (those of exclusion lists) are compared like the others but
  // never kept.
  void Sift(uint64_t firstKept);
  // After Sift: the kept lines' numbers, ascending, one per call, then
  // CSortedMerge::kEnd.
  uint64_t NextKept() { return m_merge.Next(); }

 private:
  using PartFile = CTempRecordFile<SpilledLine>;
  using KeptFile = CTempRecordFile<uint64_t>;

  static constexpr int kSplitBits = 4;  // a part too big is dealt out to 16

  uint64_t Mix(const SpilledLine& line) const;
  // The part of a line among 2^bits, by the bits of its mix after the first bitsUsed.
  static size_t PartOf(uint64_t mixed, int bitsUsed, int bits) {
    return bits == 0 ? 0 : static_cast<size_t>((mixed << bitsUsed) >> (64 - bits));
  }
  std::vector<std::unique_ptr<PartFile>> MakeParts(size_t count) const;
  std::unique_ptr<KeptFile> SiftPart(PartFile& part, int bitsUsed);

  std::string m_strDir;
  uint64_t m_nBudget;
  uint64_t m_nSeed;
  int m_nBits = 0;           // there are 2^m_nBits parts
  size_t m_nKeptBuffer = 0;  // bytes of the buffer of each part's kept lines
  uint64_t m_nCount = 0;
  uint64_t m_nFirstKept = 0;
  std::vector<std::unique_ptr<PartFile>> m_parts;
  std::vector<std::unique_ptr<KeptFile>> m_kept;
  CSortedMerge m_merge;
};
