#include "dedup/DuplicateIndex.h"

#include "dedup/Prefetch.h"

CDuplicateIndex::CDuplicateIndex(const CCaseFolder& folder) : m_fingerprinter(folder) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  return TestAndAdd(m_fingerprinter.Take(line, length, caseSensitive));
}

bool CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint, FingerprintAssoc* entry) {
  if (!entry) entry = m_map.Find(fingerprint.key);
  if (entry && m_longKeys.IsLongKey(fingerprint.key)) {
    return m_longKeys.Insert(fingerprint.key, fingerprint.crc, fingerprint.length);
  }

  const RecordRef record = m_pool.TakeRecord();
  LineRecord& fresh = m_pool[record];
  fresh = {fingerprint.crc, fingerprint.length, kNoRecord};
  if (!entry) {
    m_map.AddKey(fingerprint.key, record);
    return true;
  }
  // The whole chain is walked: lines with the same key but another CRC-32 or
  // length are different lines.
  uint32_t walked = 0;
  for (RecordRef r = entry->Head(); r != kNoRecord; ++walked) {
    const LineRecord& kept = m_pool[r];
    if (kept.crc == fingerprint.crc && kept.length == fingerprint.length) {
      m_pool.ReleaseLast(record);
      return false;
    }
    r = kept.next;
  }
  fresh.next = entry->Head();
  entry->SetHead(record);
  if (walked >= kLongChain) MoveToLongKeys(fingerprint.key, record);
  return true;
}

// The key's chain stays as it is; from now on its lines are looked up, and
// new ones kept, in the set alone.
void CDuplicateIndex::MoveToLongKeys(uint32_t key, RecordRef head) {
  m_longKeys.MarkLongKey(key);
  for (RecordRef r = head; r != kNoRecord; r = m_pool[r].next) m_longKeys.Insert(key, m_pool[r].crc, m_pool[r].length);
}

FingerprintAssoc* CDuplicateIndex::PrefetchRecord(uint32_t key) {
  FingerprintAssoc* entry = m_map.Find(key);
  if (entry) PrefetchForRead(&m_pool[entry->Head()]);
  return entry;
}
