#include "app/SecondReading.h"

#include <stdexcept>

#include "app/DedupPass.h"
#include "dedup/SortedMerge.h"

void WriteUndecidedLines(CLineDecider& decider, const CTextFile& source, CTextFile& target, CTextFile* duplicates,
                         uint32_t options, EolStyle eolStyle) {
  // Told what the first reading found, it skips the same mark.
  CTextFile again(source.m_nEncoding);
  CTextFile* reader = decider.SourceCopy();
  uint64_t skip = 0;  // lines before S
  if (reader) {
    reader->FlushBuffer();
    reader->SeekToStart();
  } else {
    // The same reader from the same start gives the same lines.
    again.OpenAgain(source);
    reader = &again;
    skip = decider.FirstUndecided() - decider.FirstSourceLine();
  }

  uint64_t line = decider.FirstUndecided();
  uint64_t kept = decider.NextKept();
  while (char* text = reader->ReadLine()) {
    // The copy's lines were offered once already; offering them again
    // changes none of them.
    const int32_t length = OfferedLength(&text, reader->GetLineLength(), options);
    if (length < 0) continue;
    if (skip > 0) {
      --skip;
      continue;
    }
    CTextFile* out = duplicates;
    if (line++ == kept) {
      out = &target;
      kept = decider.NextKept();
    }
    if (out) out->WriteLine(text, static_cast<uint32_t>(length), eolStyle);
  }
  // A file changed meanwhile would have its lines misplaced.
  if (skip > 0 || line != decider.LinesOffered() || kept != CSortedMerge::kEnd) {
    throw std::runtime_error("changed while it was read: its second reading gave other lines than the first");
  }
}
