#include "app/LineDecider.h"

#include <utility>

CLineDecider::CLineDecider(uint64_t budget, std::string tempDir) : m_nBudget(budget), m_strTempDir(std::move(tempDir)) {
  m_index.emplace(CCaseFolder::System(), m_nBudget);
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
  if (Spilled()) {
    m_nFirstUndecided = m_nLines;
    StartCopyingSource();
  }
}

void CLineDecider::Decide(const CLineBatch& batch) {
  m_nInputBytes = batch.bytesRead;
  // Rounds of cache hints before the lookups, each reading what the
  // round before fetched, so that the misses of a whole batch overlap.
  const uint32_t count = batch.lineCount;
  const CLineBatch::Line* lines = batch.lines;
  for (uint32_t i = 0; i < count; ++i) m_index->PrefetchBucket(lines[i].fingerprint.hashLow);
  for (uint32_t i = 0; i < count; ++i) m_entries[i] = m_index->PrefetchRecord(lines[i].fingerprint.hashLow);
  // Entries found ahead move when the map grows; then the rest are looked up again.
  const uint32_t buckets = m_index->Map().Buckets();
  for (uint32_t i = 0; i < count; ++i) {
    FingerprintAssoc* entry = m_index->Map().Buckets() == buckets ? m_entries[i] : nullptr;
    DecideLine(batch.TextOf(lines[i]), lines[i].length, lines[i].fingerprint, batch.eolStyle, entry);
  }
  if (batch.borrowed) {
    DecideLine(batch.borrowed, batch.borrowedLength, batch.borrowedFingerprint, batch.eolStyle, nullptr);
  }
  m_done.linesDropped += batch.blankLinesDropped;
  m_done.bytesRead = batch.bytesRead;
}

void CLineDecider::DecideLine(const char* line, int32_t length, const LineFingerprint& fingerprint, EolStyle eolStyle,
                              FingerprintAssoc* entry) {
  const uint64_t number = m_nLines++;
  if (!m_pSpilled) {
    switch (m_index->TestAndAdd(fingerprint, entry)) {
      case lineNew:
        if (m_target) {
          m_target->WriteLine(line, static_cast<uint32_t>(length), eolStyle);
          ++m_done.linesKept;
        }
        return;
      case lineDuplicate:
        if (m_duplicates) m_duplicates->WriteLine(line, static_cast<uint32_t>(length), eolStyle);
        ++m_done.linesDropped;
        return;
      case lineNoRoom:
        StartSpilling(number);
        break;
    }
  }
  // Whatever the index holds is a duplicate; the rest waits for the sifting.
  if (m_index->Contains(fingerprint, entry)) {
    ++m_done.linesDropped;
  } else {
    m_pSpilled->Add(fingerprint, number);
  }
  if (m_pCopy) m_pCopy->WriteLine(line, static_cast<uint32_t>(length), eolLf);
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
  m_pSpilled = std::make_unique<CSpilledLines>(m_strTempDir, m_nBudget, expected);
  m_nFirstUndecided = line;
  if (m_target) StartCopyingSource();
}

// A source that cannot be read again (a pipe, a terminal) keeps the text of
// its lines from S on in a temporary file: the lines as they were offered,
// trimmed and in the code page, one to a line. They hold no LF, CR or NUL, so
// LF alone ends them, and no reader state (UTF-16 decoding, a line end split
// between reads) needs to be carried over as it would for the raw bytes.
// Those the index holds are copied too: the duplicates file takes them in
// order, and the second reading stays one loop for both kinds of source.
void CLineDecider::StartCopyingSource() {
  if (m_input->CanReadAgain()) return;
  m_pCopy = std::make_unique<CTextFile>(encAnsi);
  m_pCopy->CreateTemporary(m_strTempDir);
}

void CLineDecider::FlushOutputs() {
  if (m_target) m_target->FlushBuffer();
  if (m_duplicates) m_duplicates->FlushBuffer();
}

void CLineDecider::SiftSpilled() {
  m_index.reset();
  m_pSpilled->Sift(m_nFirstSourceLine);
}
