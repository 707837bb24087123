#include "app/LineDecider.h"

#include <algorithm>
#include <utility>

namespace {

// The buffer of the lists of lines taken as new and of those kept.
constexpr size_t kFirstsBuffer = 256 * 1024;
// Lines looked up at once when they are resolved, so that their cache misses overlap.
constexpr size_t kResolveBatch = 64;

}  // namespace

CLineDecider::CLineDecider(uint64_t budget, std::string tempDir, uint32_t lanes, LineSelection selection,
                           CLineTexts* texts)
    : m_nBudget(budget),
      m_strTempDir(std::move(tempDir)),
      m_nLanes(std::clamp<uint32_t>(lanes, 1, CDuplicateIndex::kParts)),
      m_pLaneFull(new bool[m_nLanes]()),
      m_nSelection(selection),
      m_pTexts(texts) {
  m_index.emplace(CCaseFolder::System(), m_nBudget, m_nLanes);
  if (m_nSelection != selectFirst) m_index->CountRepeats();
}

void CLineDecider::BeginInput(const CTextFile& input, CTextFile* target, CTextFile* duplicates) {
  m_input = &input;
  m_target = target;
  m_duplicates = target ? duplicates : nullptr;
  m_nInputFirstLine = m_nLines;
  m_nInputBytes = 0;
  if (!target) return;
  m_nFirstSourceLine = m_nLines;
  m_done = {};
  m_stats = {};
  if (Deferred()) {
    m_nFirstUndecided = m_nLines;
    m_pUndecided = std::make_unique<CUndecidedLines>(input, m_strTempDir);
  }
  if (m_nSelection != selectFirst) {
    m_pFirstsSpace = std::make_unique<CTempSpace>(m_strTempDir);
    m_pFirsts = std::make_unique<CTempRecordFile<SpilledLine>>(*m_pFirstsSpace, kFirstsBuffer);
  }
}

// A lane whose index had no room for a line only looks up the lines after
// it: a line it holds is a duplicate all the same, any other waits for the
// sifting. Lanes that still have room keep taking lines; the writer sets
// aside those from S on too, so that nothing depends on which lane ran out
// first.
void CLineDecider::DecideLane(uint32_t lane, CLineBatch& batch) {
  if (m_pTexts) {
    DecideLaneByTexts(lane, batch);
    return;
  }
  const uint16_t* order = batch.laneLines.get();
  const uint32_t begin = batch.laneStart[lane];
  const uint32_t end = batch.laneStart[lane + 1];
  const CLineBatch::Line* lines = batch.lines.get();
  CDuplicateIndex& index = *m_index;
  for (uint32_t i = begin; i < std::min(end, begin + kLookAhead); ++i) index.Prefetch(lines[order[i]].fingerprint);
  bool& full = m_pLaneFull[lane];
  const LineState stateIfNew = m_target ? stateOnce : stateExcluded;
  for (uint32_t i = begin; i < end; ++i) {
    if (i + kLookAhead < end) index.Prefetch(lines[order[i + kLookAhead]].fingerprint);
    const LineFingerprint& fingerprint = lines[order[i]].fingerprint;
    LineVerdict verdict;
    if (!full) {
      verdict = index.TestAndAdd(fingerprint, stateIfNew);
      full = verdict == lineNoRoom;
    } else {
      verdict = index.Look(fingerprint);
    }
    batch.verdicts[order[i]] = verdict;
  }
}

// The same with a check of the texts, for a run that tells lines apart by
// them, a group of lines at a time: while one group is decided, the buckets
// of the group after next and the texts of the next group, which the lines
// of most matches will be compared with, are on their way. On a source with
// many duplicates most of the time goes to the address translation of the
// source's pages, read back at random: fetching further ahead, or reading
// the texts rather than hinting at them, gained nothing measurable.
void CLineDecider::DecideLaneByTexts(uint32_t lane, CLineBatch& batch) {
  const uint16_t* order = batch.laneLines.get();
  const uint32_t begin = batch.laneStart[lane];
  const uint32_t end = batch.laneStart[lane + 1];
  const CLineBatch::Line* lines = batch.lines.get();
  CDuplicateIndex& index = *m_index;
  uint64_t texts[kTextGroup];
  uint32_t lengths[kTextGroup];
  // The texts of group `first`, whose buckets came in before: those of the
  // lines remembered first in their home buckets, of the length of the line
  // that will be compared with them.
  auto fetch = [&](uint32_t first) {
    size_t n = 0;
    for (uint32_t i = first; i < std::min(end, first + kTextGroup); ++i) {
      const CLineBatch::Line& line = lines[order[i]];
      const uint64_t location = index.FirstLocation(line.fingerprint);
      if (location == kLocationLimit) continue;
      texts[n] = location;
      lengths[n++] = static_cast<uint32_t>(line.length);
    }
    m_pTexts->Fetch(texts, lengths, n);
  };
  for (uint32_t i = begin; i < std::min(end, begin + 2 * kTextGroup); ++i) index.Prefetch(lines[order[i]].fingerprint);
  fetch(begin);
  for (uint32_t group = begin; group < end; group += kTextGroup) {
    const uint32_t next = group + kTextGroup;
    for (uint32_t i = next + kTextGroup; i < std::min(end, next + 2 * kTextGroup); ++i) {
      index.Prefetch(lines[order[i]].fingerprint);
    }
    if (next < end) fetch(next);
    for (uint32_t i = group; i < std::min(end, next); ++i)
      batch.verdicts[order[i]] = DecideByText(lane, batch, order[i]);
  }
}

LineVerdict CLineDecider::DecideByText(uint32_t lane, const CLineBatch& batch, uint32_t i) {
  struct Offered {
    CLineTexts* texts;
    const char* text;
    int32_t length;
    const CCaseFolder* folder;
    uint32_t lane;
  };
  const CLineBatch::Line& line = batch.lines[i];
  const Offered offered{m_pTexts, batch.TextOf(line), line.length, batch.folder, lane};
  const CDuplicateIndex::TextCheck check{batch.locations[i],
                                         [](const void* context, uint64_t location) {
                                           const auto& o = *static_cast<const Offered*>(context);
                                           return o.texts->Same(location, o.text, o.length, *o.folder, o.lane);
                                         },
                                         &offered};
  bool& full = m_pLaneFull[lane];
  if (full) return m_index->Look(line.fingerprint, &check);
  const LineVerdict verdict = m_index->TestAndAdd(line.fingerprint, m_target ? stateOnce : stateExcluded, &check);
  full = verdict == lineNoRoom;
  return verdict;
}

void CLineDecider::WriteBatch(const CLineBatch& batch, EolStyle eolStyle) {
  m_nInputBytes = std::max(m_nInputBytes, batch.bytesRead);
  if (m_target) {
    m_stats.linesRead += batch.lineCount + batch.blankLinesDropped;
    m_stats.blank += batch.blankLinesDropped;
  }
  for (uint32_t i = 0; i < batch.lineCount; ++i) {
    const uint64_t number = m_nLines++;
    const CLineBatch::Line& line = batch.lines[i];
    const LineVerdict verdict = batch.verdicts[i];
    const char* text = batch.TextOf(line);
    const auto length = static_cast<uint32_t>(line.length);
    const bool found = verdict == lineDuplicate || verdict == lineExcluded;
    if (m_target && found) ++(verdict == lineExcluded ? m_stats.excluded : m_stats.duplicates);
    // What the index remembers of the line, and so what is set aside of it.
    const LineFingerprint remembered = m_pTexts ? WithLocation(line.fingerprint, batch.locations[i]) : line.fingerprint;
    if (m_pFirsts) {
      // Nothing is written before the whole source has been read. The index
      // counts every occurrence of a line it holds, from its first on; the
      // sifting those of the lines set aside, which the index never held.
      if (verdict == lineNew) {
        m_pFirsts->Append({remembered, static_cast<uint32_t>(number), static_cast<uint32_t>(number >> 32)});
        ++m_stats.distinct;
      } else if (verdict == lineNoRoom) {
        if (!m_pSpilled) StartSpilling(number);
        m_pSpilled->Add(remembered, number);
      }
      m_pUndecided->Add(text, line.length, line.fingerprint);
      continue;
    }
    if (!m_pSpilled) {
      if (verdict == lineNew) {
        if (m_target) {
          m_target->WriteLine(text, length, eolStyle);
          ++m_done.linesKept;
          ++m_stats.linesWritten;
          ++m_stats.distinct;
        }
        continue;
      }
      if (found) {
        if (m_duplicates) m_duplicates->WriteLine(text, length, eolStyle);
        ++m_done.linesDropped;
        continue;
      }
      StartSpilling(number);
    }
    // From S on, what the index holds is a duplicate, which the second
    // reading writes and counts; the rest waits for the sifting, also the
    // lines a lane with room took as new.
    if (!found) m_pSpilled->Add(remembered, number);
    if (m_pUndecided) m_pUndecided->Add(text, line.length, line.fingerprint);
  }
  m_done.linesDropped += batch.blankLinesDropped;
  m_done.bytesRead = m_nInputBytes;
}

void CLineDecider::StartSpilling(uint64_t line) {
  // How many lines are still to come, from the share of the input read so
  // far; the number of parts depends on it. Lines of inputs still to come,
  // and those of a stream, cannot be told.
  uint64_t expected = 0;
  if (m_target && !m_input->IsStream() && m_nInputBytes > 0) {
    const uint64_t length = m_input->GetLength();
    const auto linesPerByte = static_cast<double>(m_nLines - m_nInputFirstLine) / static_cast<double>(m_nInputBytes);
    const uint64_t bytesLeft = length > m_nInputBytes ? length - m_nInputBytes : 0;
    expected = static_cast<uint64_t>(linesPerByte * static_cast<double>(bytesLeft)) + 1;
  }
  m_roomToSpill = CLargeBuffer();
  CSpilledLines::SameText sameText;
  if (CLineTexts* texts = m_pTexts) sameText = [texts](uint64_t a, uint64_t b) { return texts->SameAt(a, b); };
  m_pSpilled = std::make_unique<CSpilledLines>(m_strTempDir, m_nBudget, expected, std::move(sameText));
  if (m_pUndecided) return;  // the source's lines are all undecided already
  m_nFirstUndecided = line;
  if (m_target) m_pUndecided = std::make_unique<CUndecidedLines>(*m_input, m_strTempDir);
}

void CLineDecider::FlushOutputs() {
  if (m_target) m_target->FlushBuffer();
  if (m_duplicates) m_duplicates->FlushBuffer();
}

void CLineDecider::Resolve(const CSpilledLines::SiftProgress& progress) {
  if (m_pFirsts) ResolveFirsts();
  m_index.reset();
  if (!m_pSpilled) return;
  m_pSpilled->Sift(m_nFirstSourceLine, m_nSelection, progress);
  m_nNextSifted = m_pSpilled->NextKept();
  const CSpilledLines::Counts& sifted = m_pSpilled->SiftCounts();
  m_stats.distinct += sifted.kept;
  m_stats.duplicates += sifted.duplicates;
  m_stats.excluded += sifted.excluded;
  m_stats.spilledParts = sifted.parts;
}

// Every occurrence of the lines the index took as new has been counted:
// their states say which are kept.
void CLineDecider::ResolveFirsts() {
  m_pResolved = std::make_unique<CTempRecordFile<uint64_t>>(*m_pFirstsSpace, kFirstsBuffer);
  m_pFirsts->StartReading();
  SpilledLine batch[kResolveBatch];
  for (;;) {
    size_t n = 0;
    while (n < kResolveBatch && m_pFirsts->Next(&batch[n])) ++n;
    if (n == 0) break;
    for (size_t i = 0; i < n; ++i) m_index->Prefetch(batch[i].fingerprint);
    for (size_t i = 0; i < n; ++i) {
      if (IsSelected(m_nSelection, m_index->StateOf(batch[i].fingerprint))) m_pResolved->Append(batch[i].Line());
    }
  }
  m_pFirsts.reset();
  m_pResolved->StartReading();
  m_nNextResolved = NextResolved();
}

uint64_t CLineDecider::NextResolved() {
  uint64_t line = 0;
  return m_pResolved->Next(&line) ? line : CSortedMerge::kEnd;
}

// The lines the index decided and those sifted are two ascending lists with
// no number in both.
uint64_t CLineDecider::NextKept() {
  if (m_nNextResolved < m_nNextSifted) return std::exchange(m_nNextResolved, NextResolved());
  if (m_nNextSifted == CSortedMerge::kEnd) return CSortedMerge::kEnd;
  return std::exchange(m_nNextSifted, m_pSpilled->NextKept());
}
