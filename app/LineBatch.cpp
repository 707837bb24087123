#include "app/LineBatch.h"

#include <cstring>

CLineBatch::CLineBatch(CDuplicateIndex& index, CTextFile& target, bool caseSensitive, RunProgress& counts)
    : m_index(index), m_target(target), m_bCaseSensitive(caseSensitive), m_counts(counts) {
  m_pending.reserve(kLines);
  m_text.reserve(kLines * 128);
}

void CLineBatch::Offer(const char* line, int32_t length, int32_t eolStyle) {
  m_nEolStyle = eolStyle;
  const LineFingerprint fingerprint = m_index.Fingerprint(line, length, m_bCaseSensitive);
  if (length > kLongLine) {
    Drain();
    Decide(line, fingerprint);
    return;
  }
  m_index.PrefetchBucket(fingerprint.key);
  const size_t offset = m_text.size();
  m_text.resize(offset + static_cast<size_t>(length));
  std::memcpy(m_text.data() + offset, line, static_cast<size_t>(length));
  m_pending.push_back({offset, fingerprint});
  if (m_pending.size() == kLines) Drain();
}

void CLineBatch::Drain() {
  for (const Pending& p : m_pending) m_index.PrefetchEntry(p.fingerprint.key);
  for (const Pending& p : m_pending) m_index.PrefetchRecord(p.fingerprint.key);
  for (const Pending& p : m_pending) Decide(m_text.data() + p.offset, p.fingerprint);
  m_pending.clear();
  m_text.clear();
}

void CLineBatch::Decide(const char* line, const LineFingerprint& fingerprint) {
  if (!m_index.TestAndAdd(fingerprint)) {
    ++m_counts.linesDropped;
    return;
  }
  m_target.WriteString(line, static_cast<uint32_t>(fingerprint.length));
  m_target.WriteEol(m_nEolStyle);
  ++m_counts.linesKept;
}
