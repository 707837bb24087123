// The record pool, the key map and the duplicate test built on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/DuplicateIndex.h"
#include "dedup/Fingerprints.h"
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

// Pairs of different lines with equal keys (found by search): same length, and different lengths.
TEST(DuplicateIndex, LinesSharingAKeyFormAChain) {
  const std::string pairs[][2] = {{"irqkxc", "zgnzaf"}, {"kobwnq", "oecyane"}};
  for (const auto& pair : pairs) {
    ASSERT_EQ(HashLineKey(pair[0].c_str()), HashLineKey(pair[1].c_str()));
    CDuplicateIndex index(utf8);
    EXPECT_TRUE(Add(index, pair[0]));
    EXPECT_TRUE(Add(index, pair[1])) << "same key, other CRC or length: a new line";
    EXPECT_FALSE(Add(index, pair[0])) << "the older line is still found behind the newer head";
    EXPECT_FALSE(Add(index, pair[1]));
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

// "13ar" and "bf10" share a key, so every line made of such pieces does too:
// 256 different lines on one key, far past the point where the index stops
// walking the key's chain.
TEST(DuplicateIndex, ManyLinesOnOneKeyStayApart) {
  ASSERT_EQ(ReferenceKey("13ar"), ReferenceKey("bf10"));
  std::vector<std::string> lines;
  for (int bits = 0; bits < 256; ++bits) {
    std::string line;
    for (int piece = 0; piece < 8; ++piece) line += (bits >> piece & 1) ? "bf10" : "13ar";
    lines.push_back(line);
  }
  CDuplicateIndex index(utf8);
  for (const std::string& line : lines) EXPECT_TRUE(index.TestAndAdd(line.data(), 32, true)) << line;
  for (const std::string& line : lines) EXPECT_FALSE(index.TestAndAdd(line.data(), 32, true)) << line;
  EXPECT_FALSE(index.TestAndAdd("13AR13ar13ar13ar13ar13ar13ar13ar", 32, false));
  EXPECT_TRUE(index.TestAndAdd("13ar13ar13ar13ar13ar13ar13ar13a", 31, true));
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
