// The end of a run that set lines aside: the lines set aside are sifted, and
// a second pass reads the source once more (or the copy of its undecided
// lines, when it cannot be read again), writing the lines from the first
// undecided one (S) on in source order: those the sifting kept to the target,
// the others to the duplicates file.
#pragma once

#include <cstdint>

#include "app/LaterPass.h"
#include "app/LineBatch.h"
#include "app/LineDecider.h"
#include "app/RunProgress.h"
#include "textfile/TextFile.h"

// Sifts and reads again, after the pass over the source. Throws when the
// source gives other lines than the first time; lines added to its end meanwhile
// are no part of the run. progress may be empty.
void FinishSpilledRun(CLineDecider& decider, CTextFile& source, CTextFile& target, CTextFile* duplicates,
                      uint32_t options, const ProgressCallback& progress);

// Decides the lines of the second pass, batch after batch, in place of the decider.
class CSecondReading : public CLaterPass {
 public:
  // firstLine: the number of the first line the pass reads. eolStyle: the
  // source's, which both outputs use.
  CSecondReading(CLineDecider& decider, uint64_t firstLine, CTextFile& target, CTextFile* duplicates,
                 EolStyle eolStyle);

  void Decide(const CLineBatch& batch) override;
  // After the last batch: throws unless every line was read again.
  void Finish() const;
  const RunProgress& Done() const override { return m_done; }

 private:
  void DecideLine(const char* line, int32_t length, const LineFingerprint& fingerprint);

  CLineDecider& m_decider;
  CUndecidedLines& m_undecided;
  CTextFile& m_target;
  CTextFile* m_duplicates;
  EolStyle m_nEolStyle;
  uint64_t m_nLine;  // the number of the next line read
  uint64_t m_nKept;  // the next line the sifting kept
  RunProgress m_done;
};
