#include "dedup/SpilledLines.h"

#include <algorithm>
#include <new>
#include <utility>

#include "dedup/FingerprintTable.h"

namespace {

static_assert(sizeof(SpilledLine) == 20, "a spilled line takes 20 bytes on disk");

constexpr int kMostBits = 7;  // at most 128 parts
constexpr int kBitsWhenUnknown = 4;
// The buffers of all parts together, and the least one part gets.
constexpr size_t kAllPartBuffers = size_t{2} << 20;
constexpr size_t kLeastBuffer = 8 * 1024;
// Lines read ahead when a part is sifted, so that the set's cache misses overlap.
constexpr size_t kSiftBatch = 64;
// Sifting tells its progress every this many lines.
constexpr uint64_t kReportEvery = 64 * 1024;
// Below this the set's table is as small as it gets: a smaller budget would not help.
constexpr uint64_t kLeastBudget = 64 * 1024;

// The most lines one table within the budget sifts.
uint64_t EntriesIn(uint64_t budget) {
  const uint64_t buckets =
      std::max<uint64_t>(256, std::min<uint64_t>(budget / CFingerprintTable::BytesOf(1), uint64_t{1} << 32));
  return CFingerprintTable::LimitOf(static_cast<size_t>(buckets));
}

}  // namespace

CSpilledLines::CSpilledLines(std::string dir, uint64_t budget, uint64_t expectedLines, SameText sameText)
    : m_strDir(std::move(dir)), m_nBudget(budget), m_sameText(std::move(sameText)) {
  // Enough parts that each holds what one table within the budget can sift.
  const uint64_t room = EntriesIn(m_nBudget);
  if (expectedLines == 0) {
    m_nBits = kBitsWhenUnknown;
  } else {
    while (m_nBits < kMostBits && (expectedLines >> m_nBits) > room) ++m_nBits;
  }
  const size_t parts = size_t{1} << m_nBits;
  m_nKeptBuffer = std::max(kLeastBuffer, kAllPartBuffers / 2 / parts);
  m_parts = MakeParts(LevelAt(0).parts, parts);
}

// A 64-bit mix of the whole fingerprint, whose bits choose the parts. The
// fingerprint is keyed with the run's secret already, so nobody can make
// lines crowd one part; the mix only keeps the parts' bits apart from those
// the tables take their slots from. Lines with locations are equal only in
// their hashMid.
uint64_t CSpilledLines::Mix(const SpilledLine& line) const {
  const LineFingerprint& f = line.fingerprint;
  uint64_t h = m_sameText ? uint64_t{f.hashMid} << 32 | f.hashMid
                          : (uint64_t{f.hashLow} << 32 | f.hashMid) ^
                                (uint64_t{f.hashHigh} << 16 | f.lengthCode) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

CSpilledLines::Level& CSpilledLines::LevelAt(size_t depth) {
  while (m_levels.size() <= depth) m_levels.push_back(std::make_unique<Level>(m_strDir));
  return *m_levels[depth];
}

std::vector<std::unique_ptr<CSpilledLines::PartFile>> CSpilledLines::MakeParts(CTempSpace& space, size_t count) {
  m_counts.parts += count;
  const size_t buffer = std::max(kLeastBuffer, kAllPartBuffers / count);
  std::vector<std::unique_ptr<PartFile>> parts;
  for (size_t i = 0; i < count; ++i) parts.push_back(std::make_unique<PartFile>(space, buffer));
  return parts;
}

void CSpilledLines::Add(const LineFingerprint& fingerprint, uint64_t line) {
  const SpilledLine spilled{fingerprint, static_cast<uint32_t>(line), static_cast<uint32_t>(line >> 32)};
  m_parts[PartOf(Mix(spilled), 0, m_nBits)]->Append(spilled);
  ++m_nCount;
}

void CSpilledLines::Sift(uint64_t firstKept, LineSelection selection, const SiftProgress& progress) {
  m_nFirstKept = firstKept;
  m_nSelection = selection;
  m_progress = progress;
  m_nToSift = m_nCount;
  CountSifted(0);
  for (std::unique_ptr<PartFile>& part : m_parts) {
    m_kept.push_back(SiftPart(*part, m_nBits, 0));
    part.reset();
  }
  m_parts.clear();
  m_progress = nullptr;
  // The merge reads the kept lines of the first depth only.
  m_levels.resize(1);
  m_levels[0]->parts.Clear();
  for (std::unique_ptr<KeptFile>& kept : m_kept) m_merge.Add(*kept);
}

std::unique_ptr<CSpilledLines::KeptFile> CSpilledLines::SiftPart(PartFile& part, int bitsUsed, size_t depth) {
  auto kept = std::make_unique<KeptFile>(LevelAt(depth).kept, m_nKeptBuffer);
  if (part.Count() == 0) return kept;
  std::vector<std::unique_ptr<PartFile>> rest;
  // Whether a first line is kept depends on the lines after it: the first
  // lines wait here until the part has been read.
  std::unique_ptr<PartFile> firsts;
  if (m_nSelection != selectFirst) firsts = std::make_unique<PartFile>(LevelAt(depth).kept, m_nKeptBuffer);
  {
    CFingerprintTable set;
    // Past 64 bits nothing is left to split by: the set then takes every line.
    const bool canSplit = bitsUsed + kSplitBits <= 64;
    const uint64_t room = canSplit ? ReserveWithinBudget(set, part.Count()) : UINT64_MAX;
    if (!canSplit) set.Resize(CFingerprintTable::BucketsFor(static_cast<size_t>(part.Count())));
    part.StartReading();
    SpilledLine batch[kSiftBatch];
    for (;;) {
      size_t n = 0;
      while (n < kSiftBatch && part.Next(&batch[n])) ++n;
      if (n == 0) break;
      CountSifted(n);
      for (size_t i = 0; i < n; ++i) set.Prefetch(batch[i].fingerprint);
      for (size_t i = 0; i < n; ++i) {
        const SpilledLine& line = batch[i];
        const bool source = line.Line() >= m_nFirstKept;
        const CFingerprintTable::Spot place = Search(set, line.fingerprint);
        if (place.found) {
          const LineState state = set.StateAt(place);
          if (source) ++(state == stateExcluded ? m_counts.excluded : m_counts.duplicates);
          if (state == stateOnce) set.SetState(place, stateRepeated);
          continue;
        }
        if (rest.empty() && set.Entries() < room) {
          set.AddAt(place, line.fingerprint, source ? stateOnce : stateExcluded);
          if (source) {
            if (firsts) {
              firsts->Append(line);
            } else {
              kept->Append(line.Line());
            }
            ++m_counts.kept;
          }
          continue;
        }
        // The set is full; a line it lacks equals none of the lines before,
        // so the rest can be sifted apart.
        if (rest.empty()) rest = MakeParts(LevelAt(depth + 1).parts, size_t{1} << kSplitBits);
        rest[PartOf(Mix(line), bitsUsed, kSplitBits)]->Append(line);
        ++m_nToSift;
      }
    }
    if (firsts) {
      firsts->StartReading();
      for (SpilledLine line{}; firsts->Next(&line);) {
        if (IsSelected(m_nSelection, set.StateAt(set.Find(line.fingerprint)))) kept->Append(line.Line());
      }
    }
  }
  if (rest.empty()) return kept;

  std::vector<std::unique_ptr<KeptFile>> keptOfRest;
  for (std::unique_ptr<PartFile>& smaller : rest) {
    keptOfRest.push_back(SiftPart(*smaller, bitsUsed + kSplitBits, depth + 1));
    smaller.reset();
  }
  CSortedMerge merge;
  merge.Add(*kept);
  for (std::unique_ptr<KeptFile>& file : keptOfRest) merge.Add(*file);
  auto merged = std::make_unique<KeptFile>(LevelAt(depth).kept, m_nKeptBuffer);
  for (uint64_t line = merge.Next(); line != CSortedMerge::kEnd; line = merge.Next()) merged->Append(line);
  // The next part too big for the budget uses the deeper files afresh.
  keptOfRest.clear();
  m_levels.resize(depth + 1);
  return merged;
}

CFingerprintTable::Spot CSpilledLines::Search(const CFingerprintTable& set, const LineFingerprint& fingerprint) const {
  if (!m_sameText) return set.Find(fingerprint);
  const uint64_t location = LocationOf(fingerprint);
  return set.FindWhere(fingerprint.hashMid,
                       [&](const LineFingerprint& held) { return m_sameText(LocationOf(held), location); });
}

// Makes room in the set for the lines of a part, or for as many as the
// budget allows; answers how many that is. When the system cannot give that
// much (an address-space limit below the budget), the budget halves for this
// part and every later one, which deals more lines out to smaller parts.
uint64_t CSpilledLines::ReserveWithinBudget(CFingerprintTable& set, uint64_t lines) {
  for (;;) {
    const uint64_t room = EntriesIn(m_nBudget);
    try {
      set.Resize(CFingerprintTable::BucketsFor(static_cast<size_t>(std::min(lines, room))));
      return room;
    } catch (const std::bad_alloc&) {
      if (m_nBudget < kLeastBudget) throw;
      m_nBudget /= 2;
    }
  }
}

void CSpilledLines::CountSifted(size_t lines) {
  m_nSifted += lines;
  if (!m_progress || m_nSifted < m_nNextReport) return;
  m_nNextReport = m_nSifted + kReportEvery;
  m_progress(m_nSifted, m_nToSift);
}
