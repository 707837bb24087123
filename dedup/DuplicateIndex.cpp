#include "dedup/DuplicateIndex.h"

CDuplicateIndex::CDuplicateIndex(const CaseFolder& folder) : m_fingerprinter(folder) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  return TestAndAdd(m_fingerprinter.Take(line, length, caseSensitive));
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
