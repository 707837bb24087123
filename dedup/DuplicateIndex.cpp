#include "dedup/DuplicateIndex.h"

CDuplicateIndex::CDuplicateIndex(const CCaseFolder& folder) : m_fingerprinter(folder) {
  m_pool.ExtendTo(CLineRecordPool::kPerBlock);
}

bool CDuplicateIndex::TestAndAdd(const char* line, int32_t length, bool caseSensitive) {
  return TestAndAdd(m_fingerprinter.Take(line, length, caseSensitive));
}

namespace {

uint64_t CrcAndLength(uint32_t crc, int32_t length) { return uint64_t{crc} << 32 | static_cast<uint32_t>(length); }

}  // namespace

bool CDuplicateIndex::TestAndAdd(const LineFingerprint& fingerprint, FingerprintAssoc* entry) {
  if (!entry) entry = m_map.Find(fingerprint.key);
  if (entry && !m_longChains.empty()) {
    auto longChain = m_longChains.find(fingerprint.key);
    if (longChain != m_longChains.end()) return TestAndAddToLongChain(longChain->second, fingerprint, *entry);
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
  if (walked >= kLongChain) IndexLongChain(fingerprint.key, record);
  return true;
}

bool CDuplicateIndex::TestAndAddToLongChain(std::unordered_set<uint64_t>& kept, const LineFingerprint& fingerprint,
                                            FingerprintAssoc& entry) {
  if (!kept.insert(CrcAndLength(fingerprint.crc, fingerprint.length)).second) return false;
  // The chain is kept as well, newest first, so the index stays one structure.
  const RecordRef record = m_pool.TakeRecord();
  m_pool[record] = {fingerprint.crc, fingerprint.length, entry.Head()};
  entry.SetHead(record);
  return true;
}

void CDuplicateIndex::IndexLongChain(uint32_t key, RecordRef head) {
  std::unordered_set<uint64_t>& kept = m_longChains[key];
  for (RecordRef r = head; r != kNoRecord; r = m_pool[r].next)
    kept.insert(CrcAndLength(m_pool[r].crc, m_pool[r].length));
}

FingerprintAssoc* CDuplicateIndex::PrefetchRecord(uint32_t key) {
  FingerprintAssoc* entry = m_map.Find(key);
  if (entry) __builtin_prefetch(&m_pool[entry->Head()]);
  return entry;
}
