#include "app/SecondReading.h"

#include <stdexcept>

#include "app/DedupPass.h"
#include "dedup/SortedMerge.h"

namespace {

[[noreturn]] void ThrowChanged() {
  throw std::runtime_error("changed while it was read: its second reading gave other lines than the first");
}

}  // namespace

void FinishSpilledRun(CLineDecider& decider, CTextFile& source, CTextFile& target, CTextFile* duplicates,
                      uint32_t options, const ProgressCallback& progress) {
  RunProgress sifting = decider.Done();
  sifting.phase = phaseSifting;
  decider.SiftSpilled([&](uint64_t sifted, uint64_t total) {
    if (!progress) return;
    sifting.linesSifted = sifted;
    sifting.linesToSift = total;
    progress(sifting);
  });

  CTextFile again(encAutoDetect);
  CTextFile* reader = decider.Undecided().BeginSecondReading();
  uint64_t firstLine = decider.FirstUndecided();
  if (!reader) {
    // The same reader over the same bytes gives the same lines.
    again.OpenAgain(source);
    again.ReadNoMoreThan(source.GetBytesRead());
    reader = &again;
    firstLine = decider.FirstSourceLine();
  }
  CSecondReading reading(decider, firstLine, target, duplicates, source.m_nEolStyle);
  decider.HandBatchesTo(reading);
  CDedupPass pass(*reader, decider, options, progress);
  pass.Run();
  reading.Finish();
}

CSecondReading::CSecondReading(CLineDecider& decider, uint64_t firstLine, CTextFile& target, CTextFile* duplicates,
                               EolStyle eolStyle)
    : m_decider(decider),
      m_undecided(decider.Undecided()),
      m_target(target),
      m_duplicates(duplicates),
      m_nEolStyle(eolStyle),
      m_nLine(firstLine),
      m_nKept(decider.NextKept()),
      m_done(decider.Done()) {
  m_done.phase = phaseSecondReading;
  m_done.bytesRead = 0;
}

void CSecondReading::Decide(const CLineBatch& batch) {
  for (uint32_t i = 0; i < batch.lineCount; ++i) {
    const CLineBatch::Line& line = batch.lines[i];
    DecideLine(batch.TextOf(line), line.length, line.fingerprint);
  }
  if (batch.borrowed) DecideLine(batch.borrowed, batch.borrowedLength, batch.borrowedFingerprint);
  m_done.bytesRead = batch.bytesRead;
}

void CSecondReading::DecideLine(const char* line, int32_t length, const LineFingerprint& fingerprint) {
  const uint64_t number = m_nLine++;
  if (number < m_decider.FirstUndecided()) return;  // written by the first reading
  // A line more than the first time, or another line, means the source changed.
  if (number >= m_decider.LinesOffered() || !m_undecided.Matches(fingerprint)) ThrowChanged();
  CTextFile* out = m_duplicates;
  if (number == m_nKept) {
    out = &m_target;
    m_nKept = m_decider.NextKept();
    ++m_done.linesKept;
  } else {
    ++m_done.linesDropped;
  }
  if (out) out->WriteLine(line, static_cast<uint32_t>(length), m_nEolStyle);
}

void CSecondReading::Finish() const {
  if (m_nLine != m_decider.LinesOffered() || m_nKept != CSortedMerge::kEnd) ThrowChanged();
}
