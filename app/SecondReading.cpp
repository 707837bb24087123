#include "app/SecondReading.h"

#include <stdexcept>

#include "app/DedupCommandLineInfo.h"
#include "app/DedupPass.h"
#include "dedup/SortedMerge.h"

namespace {

// The progress line is told of the second reading about every this many bytes read.
constexpr uint64_t kReportEvery = 64 * 1024;

[[noreturn]] void ThrowChanged() {
  throw std::runtime_error("changed while it was read: its second reading gave other lines than the first");
}

}  // namespace

// The second reading is one thread: it has little to do but read and write,
// and handing its lines between two threads, a batch at a time, cost more
// than it saved on a busy machine.
void FinishWithSecondReading(CLineDecider& decider, const CTextFile& source, CTextFile& target, CTextFile* duplicates,
                             uint32_t options, const ProgressCallback& progress) {
  RunProgress done = decider.Done();
  done.phase = phaseSifting;
  decider.Resolve([&](uint64_t sifted, uint64_t total) {
    if (!progress) return;
    done.linesSifted = sifted;
    done.linesToSift = total;
    progress(done);
  });

  CUndecidedLines& undecided = decider.Undecided();
  // Told what the first reading found, it skips the same mark.
  CTextFile again(source.m_nEncoding);
  CTextFile* reader = undecided.BeginSecondReading();
  uint64_t line = decider.FirstUndecided();  // the number of the next line read
  if (reader) {
    done.sourceSize = progress ? reader->GetLength() : 0;
  } else {
    // The same reader over the same bytes gives the same lines.
    again.OpenAgain(source);
    again.ReadNoMoreThan(source.GetBytesRead());
    reader = &again;
    line = decider.FirstSourceLine();
    done.sourceSize = source.GetBytesRead();
  }
  done.phase = phaseSecondReading;
  done.bytesRead = 0;
  CLineFingerprinter fingerprinter(FolderOfSource(source.m_nEncoding));
  const bool caseSensitive = (options & optCaseSensitive) != 0;
  uint64_t kept = decider.NextKept();
  uint64_t nextReport = 0;
  while (char* text = reader->ReadLine()) {
    if (progress && reader->GetBytesRead() >= nextReport) {
      done.bytesRead = reader->GetBytesRead();
      nextReport = done.bytesRead + kReportEvery;
      progress(done);
    }
    // The copy's lines were offered once already; offering them again
    // changes none of them.
    const int32_t length = OfferedLength(&text, reader->GetLineLength(), options);
    if (length < 0) continue;
    const uint64_t number = line++;
    if (number < decider.FirstUndecided()) continue;  // written by the first reading
    // A line more than the first time, or another line, means the source changed.
    if (number >= decider.LinesOffered() || !undecided.Matches(fingerprinter, text, length, caseSensitive)) {
      ThrowChanged();
    }
    CTextFile* out = duplicates;
    if (number == kept) {
      out = &target;
      kept = decider.NextKept();
      ++done.linesKept;
      ++decider.Stats().linesWritten;
    } else {
      ++done.linesDropped;
    }
    if (out) out->WriteLine(text, static_cast<uint32_t>(length), source.m_nEolStyle);
  }
  if (line != decider.LinesOffered() || kept != CSortedMerge::kEnd) ThrowChanged();
}
