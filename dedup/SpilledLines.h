// The lines the index had no room for, set aside on disk by their
// fingerprints and numbers. Equal lines have equal fingerprints, so parts
// chosen by mixed bits of the fingerprints can each be sifted in memory on
// its own: in line order, the first line of every fingerprint is kept. A
// part that holds more distinct lines than the budget allows sifts what fits
// and deals the rest out to smaller parts by further bits. The kept lines'
// numbers then come out in ascending order, merged from all parts.
//
// The parts of one depth of dealing out share one temporary file, and their
// kept lines another, so that the files open stay few however many parts
// there are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dedup/FingerprintTable.h"
#include "dedup/LineFingerprinter.h"
#include "dedup/LineSelection.h"
#include "dedup/SortedMerge.h"
#include "dedup/TempRecordFile.h"
#include "dedup/TempSpace.h"

// One line set aside: 20 bytes on disk.
struct SpilledLine {
  LineFingerprint fingerprint;
  uint32_t lineLow;  // the line's number, in halves so that nothing pads the record
  uint32_t lineHigh;

  uint64_t Line() const { return uint64_t{lineHigh} << 32 | lineLow; }
};

class CSpilledLines {
 public:
  // What the sifting found of the lines numbered from firstKept on, and the
  // parts made.
  struct Counts {
    uint64_t kept = 0;
    uint64_t duplicates = 0;  // equal to a line before that was kept
    uint64_t excluded = 0;    // equal to a line before firstKept
    uint64_t parts = 0;       // every part made, those dealt out again included
  };

  // The memory setting lines aside takes from its start (buffers of the
  // parts, of the kept lines and of the second reading's records, with room
  // to spare), which a run keeps free until then.
  static constexpr size_t kRoomToStart = size_t{8} << 20;

  // Told now and then while sifting: the lines sifted so far and the lines
  // to sift, both counting again a line dealt out to a smaller part.
  using SiftProgress = std::function<void(uint64_t sifted, uint64_t total)>;

  // In a run that tells lines apart by their texts: whether the lines at
  // two locations have the same text.
  using SameText = std::function<bool(uint64_t, uint64_t)>;

  // dir: the folder for the temporary files. budget: the bytes the sifting
  // of one part may take. expectedLines: about how many lines will come, to
  // choose the number of parts; 0 when nobody can tell. With sameText, the
  // lines are set aside with their locations (WithLocation), and lines whose
  // hashMid agree are one when sameText says so.
  CSpilledLines(std::string dir, uint64_t budget, uint64_t expectedLines, SameText sameText = nullptr);

  void Add(const LineFingerprint& fingerprint, uint64_t line);
  uint64_t Count() const { return m_nCount; }
  size_t Parts() const { return m_parts.size(); }

  // Sifts every part, giving their disk space back. Lines numbered below
  // firstKept (those of exclusion lists) are compared like the others but
  // never kept. Of the others, the first line of each fingerprint is kept
  // when selection says so of the lines set aside with it.
  void Sift(uint64_t firstKept, LineSelection selection = selectFirst, const SiftProgress& progress = nullptr);
  // After Sift: the kept lines' numbers, ascending, one per call, then
  // CSortedMerge::kEnd.
  uint64_t NextKept() { return m_merge.Next(); }
  const Counts& SiftCounts() const { return m_counts; }

 private:
  using PartFile = CTempRecordFile<SpilledLine>;
  using KeptFile = CTempRecordFile<uint64_t>;

  // The two files of one depth of dealing out.
  struct Level {
    explicit Level(const std::string& dir) : parts(dir), kept(dir) {}
    CTempSpace parts;
    CTempSpace kept;
  };

  static constexpr int kSplitBits = 4;  // a part too big is dealt out to 16

  uint64_t Mix(const SpilledLine& line) const;
  // The part of a line among 2^bits, by the bits of its mix after the first bitsUsed.
  static size_t PartOf(uint64_t mixed, int bitsUsed, int bits) {
    return bits == 0 ? 0 : static_cast<size_t>((mixed << bitsUsed) >> (64 - bits));
  }
  Level& LevelAt(size_t depth);
  std::vector<std::unique_ptr<PartFile>> MakeParts(CTempSpace& space, size_t count);
  // Sifts part, dealt out depth times already by bitsUsed bits; its kept
  // lines go to a list in the kept file of that depth.
  std::unique_ptr<KeptFile> SiftPart(PartFile& part, int bitsUsed, size_t depth);
  uint64_t ReserveWithinBudget(CFingerprintTable& set, uint64_t lines);
  CFingerprintTable::Spot Search(const CFingerprintTable& set, const LineFingerprint& fingerprint) const;
  void CountSifted(size_t lines);

  std::string m_strDir;
  uint64_t m_nBudget;
  SameText m_sameText;
  int m_nBits = 0;           // there are 2^m_nBits parts
  size_t m_nKeptBuffer = 0;  // bytes of the buffer of each part's kept lines
  uint64_t m_nCount = 0;
  uint64_t m_nFirstKept = 0;
  LineSelection m_nSelection = selectFirst;
  Counts m_counts;
  std::vector<std::unique_ptr<Level>> m_levels;  // the first holds the parts Add fills
  std::vector<std::unique_ptr<PartFile>> m_parts;
  std::vector<std::unique_ptr<KeptFile>> m_kept;
  CSortedMerge m_merge;

  SiftProgress m_progress;  // while sifting
  uint64_t m_nSifted = 0;
  uint64_t m_nToSift = 0;
  uint64_t m_nNextReport = 0;
};
