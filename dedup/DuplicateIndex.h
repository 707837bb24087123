// Answers whether a line equal to the offered one was kept before. A kept
// line is remembered by its fingerprint alone (LineFingerprint: 96 bits),
// never by its text.
//
// The fingerprints are spread over many parts by their top bits, each a
// table of its own that grows on its own, by half, when it is four fifths
// full: growth is never the whole index at once, and since the parts start
// at sizes spread over one growth step they do not all grow at the same
// moment either. Nor does a part's growth stop its lines for long: the new
// table's memory is taken from the system a piece with every line offered
// while the part nears its limit, and the old table's entries move to the
// new one a few buckets with every line offered after, lookups seeing both. Threads may offer lines at the same time as
// long as no two offer lines of one part: the parts are dealt out to lanes (PartOf modulo the number of lanes), and
// each lane's lines are decided by one thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "dedup/CaseFolder.h"
#include "dedup/FingerprintTable.h"
#include "dedup/LineFingerprinter.h"

// What the index answers for an offered line.
enum LineVerdict : uint8_t {
  lineNew,        // no equal line was kept before; this one is remembered now
  lineDuplicate,  // an equal line was kept before
  lineExcluded,   // an equal line of an exclusion list was remembered before
  lineNoRoom,     // no equal line was kept before, and remembering this one would pass the budget
};

class CDuplicateIndex {
 public:
  static constexpr uint64_t kUnlimited = UINT64_MAX;
  static constexpr int kPartBits = 6;
  static constexpr uint32_t kParts = uint32_t{1} << kPartBits;

  // budget: the bytes the parts' tables may take together, counting a
  // growing table twice while its entries move. Each of the lanes has an
  // equal share of it, so that where the index runs out of room depends on
  // the lines alone, not on which thread came first.
  explicit CDuplicateIndex(const CCaseFolder& folder = CCaseFolder::System(), uint64_t budget = kUnlimited,
                           uint32_t lanes = 1);
  ~CDuplicateIndex();

  static uint32_t PartOf(const LineFingerprint& fingerprint) { return fingerprint.hashLow >> (32 - kPartBits); }

  // An index that tells lines apart by their texts (--exact) remembers each
  // with its location (WithLocation): lines whose part and hashMid agree are
  // one only when a check of their texts says so, and different lines of one
  // fingerprint are all remembered.
  static_assert(kPartBits <= kLocatedHighBits, "a line with its location stays in its part");
  // How such an index checks an offered line: where its own text is, and
  // whether the text at the location of a line remembered is the same.
  struct TextCheck {
    uint64_t location;
    bool (*same)(const void* context, uint64_t location);
    const void* context;
  };
  static uint32_t LaneOf(const LineFingerprint& fingerprint, uint32_t lanes) { return PartOf(fingerprint) % lanes; }

  // True when no equal line was kept before; the line is then remembered.
  // False for a duplicate. line holds length bytes and no NUL among them; its
  // bytes are never changed. An index without room throws std::bad_alloc.
  bool TestAndAdd(const char* line, int32_t length, bool caseSensitive);

  // The same for a line whose fingerprint was taken already (by a
  // CLineFingerprinter). Within the budget the index changes as TestAndAdd
  // says; lineNoRoom leaves it as it was. A table the system refuses memory
  // for is no room too. A new line is remembered in stateIfNew.
  // With a check, the line is told apart by its text, and remembered with
  // its location.
  LineVerdict TestAndAdd(const LineFingerprint& fingerprint, LineState stateIfNew = stateOnce,
                         const TextCheck* check = nullptr);
  // The verdict on a line the index holds (found again, as TestAndAdd
  // counts it), or lineNoRoom when it holds none equal, adding nothing.
  LineVerdict Look(const LineFingerprint& fingerprint, const TextCheck* check = nullptr);
  // The location of the first line of the home bucket a check of this
  // fingerprint will look at, or kLocationLimit: for a cache hint.
  uint64_t FirstLocation(const LineFingerprint& fingerprint) const {
    const LineFingerprint* first = m_parts[PartOf(fingerprint)].table.FirstIn(fingerprint.hashMid);
    return first ? LocationOf(*first) : kLocationLimit;
  }
  // Whether an equal line was kept, changing nothing.
  bool Contains(const LineFingerprint& fingerprint) const {
    const Part& part = m_parts[PartOf(fingerprint)];
    return part.table.Contains(fingerprint) || part.old.Contains(fingerprint);
  }
  // The state of the line remembered with this fingerprint (as remembered,
  // with its location when it has one); it must be there.
  LineState StateOf(const LineFingerprint& fingerprint) const;
  // From now on a line found again moves from stateOnce to stateRepeated.
  void CountRepeats() { m_bCountRepeats = true; }
  // Cache hint for a lookup to come; changes nothing.
  void Prefetch(const LineFingerprint& fingerprint) const {
    const Part& part = m_parts[PartOf(fingerprint)];
    part.table.Prefetch(fingerprint);
    part.old.Prefetch(fingerprint);
  }

  // The memory the parts' tables take now, which the budget bounds.
  uint64_t Bytes() const;
  // Lines remembered; call it while no lines are offered.
  uint64_t Entries() const;

 private:
  // The size of part p's table after `grown` growths: 1.5 times the size
  // before, the parts' sizes spread evenly over one such step, so that they
  // grow one after another rather than all at once.
  static size_t BucketsAfter(uint32_t part, uint32_t grown);
  // Buckets of the old table moved with each line offered: a table 1.5
  // times the size has room for the lines of 2 buckets in 4 while the move
  // needs 1 in 16, and the old table is soon given back.
  static constexpr size_t kMoveStep = 16;
  // Bytes of the next table's memory taken with each line offered: the
  // system's clearing of some 20 MiB at once, at 50M distinct lines, took
  // from 5 to 50 ms.
  static constexpr size_t kWriteStep = 16 * 1024;

  struct Part {
    CFingerprintTable table;
    CFingerprintTable next;  // taken ahead, from `prepareFrom` entries on, when large
    CFingerprintTable old;   // the table before, whose entries move from bucket `moved` on
    size_t prepareFrom = SIZE_MAX;
    size_t moved = 0;
    uint8_t grown = 0;
  };
  static CFingerprintTable::Spot Search(const CFingerprintTable& table, const LineFingerprint& fingerprint,
                                        const TextCheck* check);
  LineVerdict Found(CFingerprintTable& table, const CFingerprintTable::Spot& place) const;
  bool Take(uint32_t index, uint64_t bytes);
  void Prepare(uint32_t index);
  bool MakeNext(uint32_t index);
  bool Grow(uint32_t index);
  void MoveSome(uint32_t index, size_t buckets);

  CLineFingerprinter m_fingerprinter;
  std::unique_ptr<Part[]> m_parts;
  uint32_t m_nLanes;
  uint64_t m_nLaneBudget;
  bool m_bCountRepeats = false;
  // The bytes of each lane's tables, changed by the lane's thread alone.
  std::unique_ptr<std::atomic<uint64_t>[]> m_pLaneBytes;
};
