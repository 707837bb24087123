#include "dedup/DuplicateIndex.h"

#include <new>

#include "dedup/Prefetch.h"

CDuplicateIndex::CDuplicateIndex(const CCaseFolder& folder, uint64_t budget)
    : m_fingerprinter(folder), m_nBudget(budget) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  const LineVerdict verdict = TestAndAdd(m_fingerprinter.Take(line, length, caseSensitive));
  if (verdict == lineNoRoom) throw std::bad_alloc();
  return verdict == lineNew;
}

LineVerdict CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint, FingerprintAssoc* entry) {
  const auto rest = static_cast<int32_t>(HighAndLengthCode(fingerprint));
  if (!entry) entry = m_map.Find(fingerprint.hashLow);
  if (entry && m_longKeys.IsLongKey(fingerprint.hashLow)) {
    if (!Fits(m_longKeys.BytesToInsert(1)) && !m_longKeys.Contains(fingerprint.hashLow, fingerprint.hashMid, rest)) {
      return lineNoRoom;
    }
    return m_longKeys.Insert(fingerprint.hashLow, fingerprint.hashMid, rest) ? lineNew : lineDuplicate;
  }

  // The whole chain is walked: lines with the same key but other bits of the
  // fingerprint are different lines.
  uint32_t walked = 0;
  if (entry && ChainHolds(entry->Head(), fingerprint, &walked)) return lineDuplicate;

  size_t more = m_pool.BytesToTakeRecord();
  if (!entry) more += m_map.BytesToAddKey();
  if (walked >= kLongChain) more += m_longKeys.BytesToInsert(walked + 2);  // the chain, this line and the mark
  if (!Fits(more)) return lineNoRoom;

  const RecordRef record = m_pool.TakeRecord();
  m_pool[record] = {fingerprint.hashMid, rest, entry ? entry->Head() : kNoRecord};
  if (!entry) {
    m_map.AddKey(fingerprint.hashLow, record);
  } else {
    entry->SetHead(record);
    if (walked >= kLongChain) MoveToLongKeys(fingerprint.hashLow, record);
  }
  return lineNew;
}

bool CDuplicateIndex::Contains(const LineFingerprint& fingerprint, FingerprintAssoc* entry) {
  if (!entry) entry = m_map.Find(fingerprint.hashLow);
  if (!entry) return false;
  if (m_longKeys.IsLongKey(fingerprint.hashLow)) {
    return m_longKeys.Contains(fingerprint.hashLow, fingerprint.hashMid,
                               static_cast<int32_t>(HighAndLengthCode(fingerprint)));
  }
  uint32_t walked = 0;
  return ChainHolds(entry->Head(), fingerprint, &walked);
}

bool CDuplicateIndex::ChainHolds(RecordRef head, const LineFingerprint& fingerprint, uint32_t* walked) const {
  for (RecordRef r = head; r != kNoRecord; ++*walked) {
    const LineRecord& kept = m_pool[r];
    if (kept.crc == fingerprint.hashMid && kept.length == static_cast<int32_t>(HighAndLengthCode(fingerprint))) {
      return true;
    }
    r = kept.next;
  }
  return false;
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
