#include "dedup/DuplicateIndex.h"

#include "dedup/Fingerprints.h"

CDuplicateIndex::CDuplicateIndex(const CaseFolder& folder) : m_folder(folder) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  const auto size = static_cast<size_t>(length);
  const char* text = line;
  if (!caseSensitive) {
    if (m_folded.size() < size) m_folded.resize(size);
    m_folder.Fold(line, size, m_folded.data());
    text = m_folded.data();
  }
  const uint32_t key = HashLineKey(text, size);
  const uint32_t crc = Crc32(text, size);

  const RecordRef record = m_pool.TakeRecord();
  LineRecord& fresh = m_pool[record];
  fresh = {crc, length, kNoRecord};

  RecordRef* head = m_map.FindHead(key);
  if (!head) {
    m_map.AddKey(key, record);
    return true;
  }
  for (RecordRef r = *head; r != kNoRecord;) {
    const LineRecord& kept = m_pool[r];
    if (kept.crc == crc && kept.length == length) {
      m_pool.ReleaseLast(record);
      return false;
    }
    r = kept.next;
  }
  fresh.next = *head;
  *head = record;
  return true;
}
