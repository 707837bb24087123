#include "dedup/SpilledLines.h"

#include <algorithm>
#include <utility>

#include "dedup/FingerprintMap.h"
#include "dedup/FingerprintSet.h"

namespace {

static_assert(sizeof(SpilledLine) == 20, "a spilled line takes 20 bytes on disk");

// At most 128 parts: with their kept lists, 256 descriptors at the end.
constexpr int kMostBits = 7;
constexpr int kBitsWhenUnknown = 4;
// The buffers of all parts together, and the least one part gets.
constexpr size_t kAllPartBuffers = size_t{2} << 20;
constexpr size_t kLeastBuffer = 8 * 1024;
// Lines read ahead when a part is sifted, so that the set's cache misses overlap.
constexpr size_t kSiftBatch = 64;

}  // namespace

CSpilledLines::CSpilledLines(std::string dir, uint64_t budget, uint64_t expectedLines)
    : m_strDir(std::move(dir)), m_nBudget(budget), m_nSeed(uint64_t{DrawHashSeed()} << 32 | DrawHashSeed()) {
  // Enough parts that each holds what one set within the budget can sift.
  const uint64_t room = CFingerprintSet::EntriesIn(m_nBudget);
  if (expectedLines == 0) {
    m_nBits = kBitsWhenUnknown;
  } else {
    while (m_nBits < kMostBits && (expectedLines >> m_nBits) > room) ++m_nBits;
  }
  const size_t parts = size_t{1} << m_nBits;
  m_nKeptBuffer = std::max(kLeastBuffer, kAllPartBuffers / 2 / parts);
  m_parts = MakeParts(parts);
}

// A 64-bit mix of the whole fingerprint, seeded so that crafted lines cannot
// crowd one part. The key alone would not do: lines that share a key would
// share every part, however far it is split.
uint64_t CSpilledLines::Mix(const SpilledLine& line) const {
  uint64_t h = (uint64_t{line.key} << 32 | line.crc) ^ m_nSeed;
  h ^= (uint64_t{static_cast<uint32_t>(line.length)} + 1) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

std::vector<std::unique_ptr<CSpilledLines::PartFile>> CSpilledLines::MakeParts(size_t count) const {
  const size_t buffer = std::max(kLeastBuffer, kAllPartBuffers / count);
  std::vector<std::unique_ptr<PartFile>> parts;
  for (size_t i = 0; i < count; ++i) parts.push_back(std::make_unique<PartFile>(m_strDir, buffer));
  return parts;
}

void CSpilledLines::Add(const LineFingerprint& fingerprint, uint64_t line) {
  const SpilledLine spilled{fingerprint.hashLow, fingerprint.hashMid,
                            static_cast<int32_t>(HighAndLengthCode(fingerprint)), static_cast<uint32_t>(line),
                            static_cast<uint32_t>(line >> 32)};
  m_parts[PartOf(Mix(spilled), 0, m_nBits)]->Append(spilled);
  ++m_nCount;
}

void CSpilledLines::Sift(uint64_t firstKept) {
  m_nFirstKept = firstKept;
  for (std::unique_ptr<PartFile>& part : m_parts) {
    m_kept.push_back(SiftPart(*part, m_nBits));
    part.reset();
  }
  m_parts.clear();
  for (std::unique_ptr<KeptFile>& kept : m_kept) m_merge.Add(*kept);
}

std::unique_ptr<CSpilledLines::KeptFile> CSpilledLines::SiftPart(PartFile& part, int bitsUsed) {
  auto kept = std::make_unique<KeptFile>(m_strDir, m_nKeptBuffer);
  if (part.Count() == 0) return kept;
  // Past 64 bits nothing is left to split by: the set then grows as it must.
  const bool canSplit = bitsUsed + kSplitBits <= 64;
  const uint64_t room = canSplit ? CFingerprintSet::EntriesIn(m_nBudget) : UINT64_MAX;
  std::vector<std::unique_ptr<PartFile>> rest;
  {
    CFingerprintSet set;
    set.Reserve(static_cast<size_t>(std::min(part.Count(), room)));
    part.StartReading();
    SpilledLine batch[kSiftBatch];
    for (;;) {
      size_t n = 0;
      while (n < kSiftBatch && part.Next(&batch[n])) ++n;
      if (n == 0) break;
      for (size_t i = 0; i < n; ++i) set.Prefetch(batch[i].key, batch[i].crc, batch[i].length);
      for (size_t i = 0; i < n; ++i) {
        const SpilledLine& line = batch[i];
        if (rest.empty() && set.Entries() < room) {
          if (set.Insert(line.key, line.crc, line.length) && line.Line() >= m_nFirstKept) kept->Append(line.Line());
          continue;
        }
        // The set is full; a line it holds is a duplicate all the same, and
        // a line it lacks equals none of the lines before, so the rest can
        // be sifted apart.
        if (set.Contains(line.key, line.crc, line.length)) continue;
        if (rest.empty()) rest = MakeParts(size_t{1} << kSplitBits);
        rest[PartOf(Mix(line), bitsUsed, kSplitBits)]->Append(line);
      }
    }
  }
  part.Clear();
  if (rest.empty()) return kept;

  std::vector<std::unique_ptr<KeptFile>> keptOfRest;
  for (std::unique_ptr<PartFile>& smaller : rest) {
    keptOfRest.push_back(SiftPart(*smaller, bitsUsed + kSplitBits));
    smaller.reset();
  }
  CSortedMerge merge;
  merge.Add(*kept);
  for (std::unique_ptr<KeptFile>& file : keptOfRest) merge.Add(*file);
  auto merged = std::make_unique<KeptFile>(m_strDir, m_nKeptBuffer);
  for (uint64_t line = merge.Next(); line != CSortedMerge::kEnd; line = merge.Next()) merged->Append(line);
  return merged;
}
