#include "dedup/DuplicateIndex.h"

#include "dedup/Fingerprints.h"

CDuplicateIndex::CDuplicateIndex(const CaseFolder& folder) : m_folder(folder) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  return TestAndAdd(Fingerprint(line, length, caseSensitive));
}

LineFingerprint CDuplicateIndex::Fingerprint(const char* line, int32_t length, bool caseSensitive) {
  const auto size = static_cast<size_t>(length);
  const char* text = line;
  if (!caseSensitive) {
    if (m_folded.size() < size) m_folded.resize(size);
    m_folder.Fold(line, size, m_folded.data());
    text = m_folded.data();
  }
  const LineKeyAndCrc both = KeyAndCrc32(text, size);
  return {both.key, both.crc, length};
}

bool CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint) {
  const RecordRef record = m_pool.TakeRecord();
  LineRecord& fresh = m_pool[record];
  fresh = {fingerprint.crc, fingerprint.length, kNoRecord};

  RecordRef* head = m_map.FindHead(fingerprint.key);
  if (!head) {
    m_map.AddKey(fingerprint.key, record);
    return true;
  }
  // The whole chain is walked: lines with the same key but another CRC-32 or
  // length are different lines.
  for (RecordRef r = *head; r != kNoRecord;) {
    const LineRecord& kept = m_pool[r];
    if (kept.crc == fingerprint.crc && kept.length == fingerprint.length) {
      m_pool.ReleaseLast(record);
      return false;
    }
    r = kept.next;
  }
  fresh.next = *head;
  *head = record;
  return true;
}

void CDuplicateIndex::PrefetchRecord(uint32_t key) {
  if (const RecordRef* head = m_map.FindHead(key)) __builtin_prefetch(&m_pool[*head]);
}
