// The record pool, the key map and the duplicate test built on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/DuplicateIndex.h"
#include "tests/support/ReferenceFingerprints.h"

namespace {

const CCaseFolder utf8(Page("UTF-8"));

bool Add(CDuplicateIndex& index, const std::string& line, bool caseSensitive = true) {
  return index.TestAndAdd(line.c_str(), static_cast<int32_t>(line.size()), caseSensitive);
}

}  // namespace

TEST(DuplicateIndex, EqualityOfLines) {
  struct Case {
    const char* codeset;
    bool caseSensitive;
    std::string first, second;
    bool secondIsNew;
  };
  const Case cases[] = {
      {"UTF-8", true, "", "", false},
      {"UTF-8", false, "Abc", "aBC", false},
      {"UTF-8", true, "Abc", "aBC", true},
      {"UTF-8", false, "ab", "abc", true},
      {"UTF-8", false, "abc", "ab", true},
      {"CP1252", false, "\xC9", "\xE9", false},
      {"CP1252", true, "\xC9", "\xE9", true},
      {"no-such-codeset", false, "\xC9", "\xE9", true},
      {"no-such-codeset", false, "XyZ", "xYz", false},
      {"UTF-8", false,
       "\xC3\x89"
       "COLE",
       "\xC3\xA9"
       "cole",
       false},
      {"UTF-8", false, "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", false},  // ΟΔΟΣ, οδος
      {"UTF-8", false, "STRASSE", "stra\xC3\x9F\x65", false},
      {"UTF-8", false, "\xE2\x84\xAA", "k", false},  // Kelvin sign: three bytes fold to one
      {"UTF-8", true, "\xE2\x84\xAA", "k", true},
      {"UTF-8", false, "I", "\xC4\xB1", true},                  // dotless i: Turkic rules only
      {"CP936", false, "\x81\x41", "\x81\x61", true},           // two characters, not one in two cases
      {"CP936", false, "\x81\x41\x41", "\x81\x41\x61", false},  // the A after them folds
  };
  for (const Case& c : cases) {
    const CCaseFolder folder(Page(c.codeset));
    CDuplicateIndex index(folder);
    EXPECT_TRUE(Add(index, c.first, c.caseSensitive));
    EXPECT_EQ(Add(index, c.second, c.caseSensitive), c.secondIsNew)
        << c.codeset << " " << ::testing::PrintToString(c.first) << " / " << ::testing::PrintToString(c.second);
    EXPECT_FALSE(Add(index, c.first, c.caseSensitive)) << "the first line stays kept";
  }
}

// Every part grows many times over on its own; nothing is lost on the way,
// and an empty line and lines that differ only in length stay apart.
TEST(DuplicateIndex, PartsGrowAndStillFindEveryLine) {
  CDuplicateIndex index(utf8);
  for (int i = 0; i < 200000; ++i) ASSERT_TRUE(Add(index, std::to_string(i), false));
  EXPECT_EQ(index.Entries(), 200000u);
  for (int i = 0; i < 200000; i += 3) ASSERT_FALSE(Add(index, std::to_string(i), false)) << i;
  EXPECT_TRUE(Add(index, ""));
  EXPECT_TRUE(Add(index, "00"));
  EXPECT_FALSE(Add(index, "0"));
}

// Lines of one part only, enough that its table grows past 2 MiB: the next
// table is taken a piece at a time beforehand, the entries move over a few
// buckets at a time afterwards, and every line is found all along, whether
// it has moved yet or not.
TEST(DuplicateIndex, ALargePartGrowsWhileItIsUsed) {
  CDuplicateIndex index(utf8);
  auto fingerprint = [](uint32_t i) {
    return LineFingerprint{i * 2654435761u >> CDuplicateIndex::kPartBits, i * 40503u + 1, 3, 9};
  };
  constexpr uint32_t kLines = 400000;
  for (uint32_t i = 0; i < kLines; ++i) {
    ASSERT_EQ(index.TestAndAdd(fingerprint(i)), lineNew) << i;
    if (i % 97 == 0) {
      ASSERT_EQ(index.TestAndAdd(fingerprint(i / 2)), lineDuplicate) << i;
    }
  }
  EXPECT_EQ(index.Entries(), kLines);
  EXPECT_GT(index.Bytes(), uint64_t{4} << 20);
  for (uint32_t i = 0; i < kLines; i += 7) ASSERT_TRUE(index.Contains(fingerprint(i))) << i;
  EXPECT_FALSE(index.Contains(fingerprint(kLines)));
}

// With a budget, the index takes lines while they fit; a new line that would
// pass it is "no room" and changes nothing, and the lines held are still
// found.
TEST(DuplicateIndex, BudgetBoundsTheIndex) {
  constexpr uint64_t kBudget = 64 * 1024;
  CLineFingerprinter fingerprinter(utf8);
  auto line = [&](int i) {
    const std::string text = "line " + std::to_string(i);
    return fingerprinter.Take(text.data(), static_cast<int32_t>(text.size()), true);
  };
  CDuplicateIndex index(utf8, kBudget);
  int held = 0;
  for (; index.TestAndAdd(line(held)) == lineNew; ++held) ASSERT_LE(index.Bytes(), kBudget);
  EXPECT_GT(held, 1000);
  const uint64_t bytes = index.Bytes();
  EXPECT_EQ(index.TestAndAdd(line(held)), lineNoRoom);
  EXPECT_FALSE(index.Contains(line(held)));
  EXPECT_EQ(index.Bytes(), bytes);
  for (int i = 0; i < held; i += 7) {
    EXPECT_TRUE(index.Contains(line(i))) << i;
    EXPECT_EQ(index.TestAndAdd(line(i)), lineDuplicate) << i;
  }
}
