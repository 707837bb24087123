// Lines set aside on disk and sifted: the first line of every fingerprint is
// kept, in line order, however many parts the lines go to and however often a
// part too big for the budget is dealt out again.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "TempDir.h"
#include "dedup/SpilledLines.h"

TEST(SpilledLines, KeepsTheFirstLineOfEveryFingerprint) {
  struct Case {
    uint64_t budget;
    uint64_t expectedLines;
    size_t parts;
  };
  const Case cases[] = {
      {1 << 20, 30000, 1},                           // one part's set holds all
      {16 << 10, 1500, 2},                           // 768 distinct lines fit one part's set
      {16 << 10, 0, 16},                             // nobody can tell
      {16 << 10, 1 << 30, 128}, {16 << 10, 100, 1},  // too few parts: dealt out again, and again
  };
  constexpr uint64_t kFirstKept = 1000;  // the lines before belong to exclusion lists
  TempDir dir;
  for (const Case& c : cases) {
    CSpilledLines spilled(dir.Root().string(), c.budget, c.expectedLines);
    EXPECT_EQ(spilled.Parts(), c.parts) << c.budget << " " << c.expectedLines;
    std::set<std::tuple<uint32_t, uint32_t, uint16_t>> seen;
    std::vector<uint64_t> expected;
    auto add = [&](uint32_t value, uint64_t line) {
      // Fifty values of the first word, each shared by many different lines.
      const LineFingerprint fingerprint{value % 50, value * 2654435761u, 0, LengthCode(value % 7)};
      spilled.Add(fingerprint, line);
      if (seen.insert({fingerprint.hashLow, fingerprint.hashMid, fingerprint.lengthCode}).second &&
          line >= kFirstKept) {
        expected.push_back(line);
      }
    };
    for (uint64_t line = 0; line < 30000; ++line) add(static_cast<uint32_t>(line * 7919 % 15000), line);
    add(15001, uint64_t{1} << 33);  // numbers past 32 bits
    spilled.Sift(kFirstKept);
    std::vector<uint64_t> kept;
    for (uint64_t line = spilled.NextKept(); line != CSortedMerge::kEnd; line = spilled.NextKept())
      kept.push_back(line);
    EXPECT_EQ(kept, expected) << c.budget << " " << c.expectedLines;
  }
}
