// Decides the lines of a run and places them, in the order they are offered:
// in memory while the index has room, and from the first line it has none for
// (line S) by setting aside on disk every line the index does not hold. From
// S on no line is written here; once the last input is read, the lines set
// aside are sifted and a second reading writes what follows S
// (SecondReading.h).
//
// Deciding goes lane by lane (DecideLane), each lane's lines in order and by
// one thread at a time, while other threads decide other lanes; placing goes
// batch by batch in order (WriteBatch), once every lane has decided the batch.
//
// The inputs come one after another, the exclusion lists and then the
// source, and share one numbering of the lines offered; the lines of an
// exclusion list are remembered and never written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/LineBatch.h"
#include "app/LineTexts.h"
#include "app/RunProgress.h"
#include "app/RunStats.h"
#include "app/UndecidedLines.h"
#include "dedup/DuplicateIndex.h"
#include "dedup/SpilledLines.h"
#include "platform/LargeBuffer.h"
#include "textfile/TextFile.h"

class CLineDecider {
 public:
  // budget: the bytes the index, and later the sifting, may take. tempDir:
  // the folder for the files of lines set aside. lanes: how many threads may
  // decide lines at once (no more than the index has parts). selection:
  // which lines are written; but for selectFirst, only once the whole source
  // has been read, by a second reading. texts: in a run that tells lines
  // apart by their texts, where they are read again (it must outlive the
  // decider); null otherwise.
  CLineDecider(uint64_t budget, std::string tempDir, uint32_t lanes = 1, LineSelection selection = selectFirst,
               CLineTexts* texts = nullptr);

  uint32_t Lanes() const { return m_nLanes; }
  CLineTexts* Texts() const { return m_pTexts; }
  // Whether the input begun last may be read where it lies, its lines
  // located by their offsets: not an exclusion list when texts are compared,
  // as a list is closed once read.
  bool MayReadInPlace() const { return !m_pTexts || m_target; }

  // The lines that follow come from input. Kept ones go to target and
  // duplicates to duplicates (either may be null); without a target the
  // input is an exclusion list. The last input is the source.
  void BeginInput(const CTextFile& input, CTextFile* target, CTextFile* duplicates);
  // Sets the verdicts of the lane's lines of batch.
  void DecideLane(uint32_t lane, CLineBatch& batch);
  // Writes the lines of batch, or sets them aside, as their verdicts say;
  // eolStyle: the input's.
  void WriteBatch(const CLineBatch& batch, EolStyle eolStyle);
  // The source waits for input: the lines written so far go out meanwhile.
  void FlushOutputs();

  bool Spilled() const { return m_pSpilled != nullptr; }
  // The source's lines from FirstUndecided() on are to be written by a
  // second reading: lines were set aside, or the selection needs the whole
  // source.
  bool Deferred() const { return Spilled() || m_nSelection != selectFirst; }
  // After the last input: settles which of those lines are kept. The lines
  // the index decided are looked up there for their state; then the index's
  // memory is given back and the lines set aside are sifted.
  void Resolve(const CSpilledLines::SiftProgress& progress);

  // For the second reading, once resolved.
  // S, or the source's first line when S fell in an exclusion list.
  uint64_t FirstUndecided() const { return m_nFirstUndecided; }
  uint64_t FirstSourceLine() const { return m_nFirstSourceLine; }
  uint64_t LinesOffered() const { return m_nLines; }
  // The numbers of the kept lines, ascending, one per call; then
  // CSortedMerge::kEnd.
  uint64_t NextKept();
  CUndecidedLines& Undecided() { return *m_pUndecided; }

  const RunProgress& Done() const { return m_done; }
  // The source's figures so far: those the first reading decided, and once
  // sifted those of the lines set aside. The second reading adds the lines
  // it writes.
  RunStats& Stats() { return m_stats; }

 private:
  // Lines looked up ahead of the one decided, so that their cache misses
  // overlap.
  static constexpr uint32_t kLookAhead = 16;
  // Lines decided by their texts a group at a time, so that the texts'
  // cache misses overlap.
  static constexpr uint32_t kTextGroup = 16;

  void DecideLaneByTexts(uint32_t lane, CLineBatch& batch);
  LineVerdict DecideByText(uint32_t lane, const CLineBatch& batch, uint32_t i);

  void StartSpilling(uint64_t line);
  void ResolveFirsts();
  uint64_t NextResolved();

  uint64_t m_nBudget;
  std::string m_strTempDir;
  uint32_t m_nLanes;
  std::optional<CDuplicateIndex> m_index;
  // Per lane: the index had no room for one of its lines; from then on it
  // only looks lines up. Bytes, not bits: lanes are written by different threads.
  std::unique_ptr<bool[]> m_pLaneFull;

  const CTextFile* m_input = nullptr;
  CTextFile* m_target = nullptr;
  CTextFile* m_duplicates = nullptr;
  uint64_t m_nLines = 0;           // lines offered so far, by every input
  uint64_t m_nInputFirstLine = 0;  // the number of the current input's first line
  uint64_t m_nInputBytes = 0;      // bytes of the current input read
  uint64_t m_nFirstSourceLine = 0;
  uint64_t m_nFirstUndecided = 0;
  std::unique_ptr<CSpilledLines> m_pSpilled;
  std::unique_ptr<CUndecidedLines> m_pUndecided;
  LineSelection m_nSelection;
  CLineTexts* m_pTexts;
  // With a selection other than selectFirst: the source's lines the index
  // took as new, their fingerprints and numbers, and then the numbers of
  // those the selection keeps. The next number of each list to merge.
  std::unique_ptr<CTempSpace> m_pFirstsSpace;
  std::unique_ptr<CTempRecordFile<SpilledLine>> m_pFirsts;
  std::unique_ptr<CTempRecordFile<uint64_t>> m_pResolved;
  uint64_t m_nNextResolved = CSortedMerge::kEnd;
  uint64_t m_nNextSifted = CSortedMerge::kEnd;
  // Address space kept free until lines are set aside, so that an index
  // that met the system's limit rather than the budget can still start.
  CLargeBuffer m_roomToSpill{CSpilledLines::kRoomToStart, false};
  RunProgress m_done{};
  RunStats m_stats{};
};
