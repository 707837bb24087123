// The record pool, the key map and the duplicate test built on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/DuplicateIndex.h"

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

// Different lines whose fingerprints share the map's key (hashLow), in
// their other bits or in their length code alone.
TEST(DuplicateIndex, LinesSharingAKeyFormAChain) {
  const LineFingerprint pairs[][2] = {{{7, 1, 2, 3}, {7, 2, 2, 3}}, {{7, 1, 2, 3}, {7, 1, 2, 4}}};
  for (const auto& pair : pairs) {
    CDuplicateIndex index(utf8);
    EXPECT_EQ(index.TestAndAdd(pair[0]), lineNew);
    EXPECT_EQ(index.TestAndAdd(pair[1]), lineNew) << "same key, other bits: a new line";
    EXPECT_EQ(index.TestAndAdd(pair[0]), lineDuplicate) << "the older line is still found behind the newer head";
    EXPECT_EQ(index.TestAndAdd(pair[1]), lineDuplicate);
    EXPECT_EQ(index.Map().Entries(), 1u);
    EXPECT_EQ(index.Pool().InUse(), 2u);
  }
}

TEST(DuplicateIndex, DuplicatesKeepNoRecord) {
  CDuplicateIndex index(utf8);
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(Add(index, "line " + std::to_string(i)));
  for (int i = 0; i < 500; ++i) ASSERT_FALSE(Add(index, "line " + std::to_string(i % 150)));
  EXPECT_EQ(index.Pool().InUse(), 150u);
}

TEST(DuplicateIndex, MapGrowsAndStillFindsEveryLine) {
  CDuplicateIndex index(utf8);
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(Add(index, std::to_string(i), false));
  EXPECT_EQ(index.Map().Entries(), 5000u);
  EXPECT_GE(index.Map().Buckets(), 5000u);
  for (int i = 0; i < 5000; ++i) ASSERT_FALSE(Add(index, std::to_string(i), false)) << i;
  EXPECT_TRUE(Add(index, "5000", false));
}

// 256 different lines on one key, far past the point where the index stops
// walking the key's chain, told apart by any of their other bits.
TEST(DuplicateIndex, ManyLinesOnOneKeyStayApart) {
  auto line = [](uint32_t i) {
    return LineFingerprint{42, i & 0x0F, static_cast<uint16_t>(i >> 4 & 3), static_cast<uint16_t>((i >> 6) + 1)};
  };
  CDuplicateIndex index(utf8);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(index.TestAndAdd(line(i)), lineNew) << i;
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(index.TestAndAdd(line(i)), lineDuplicate) << i;
  EXPECT_EQ(index.TestAndAdd(LineFingerprint{42, 0, 0, 0xFFFF}), lineNew);
  EXPECT_EQ(index.TestAndAdd(LineFingerprint{43, 0, 0, 1}), lineNew);
  EXPECT_EQ(index.Map().Entries(), 2u);
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
