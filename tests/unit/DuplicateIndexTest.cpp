// Fingerprints, the record pool, the key map and the duplicate test built on them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/DuplicateIndex.h"
#include "dedup/Fingerprints.h"

namespace {

// h = h * 9551 + signed byte, one byte at a time, as the key is defined.
uint32_t ReferenceKey(const std::string& text) {
  uint32_t h = 0;
  for (char c : text) h = h * 9551u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

// The CRC-32 bit by bit, reflected, polynomial 0xEDB88320.
uint32_t ReferenceCrc(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

const CaseFolder utf8(Page("UTF-8"));

bool Add(CDuplicateIndex& index, const std::string& line, bool caseSensitive = true) {
  return index.TestAndAdd(line.c_str(), static_cast<int32_t>(line.size()), caseSensitive);
}


}  // namespace

TEST(Fingerprints, KnownValues) {
  EXPECT_EQ(HashLineKey("abc"), 0x0F779B62u);
  EXPECT_EQ(HashLineKey("ABC"), 0x61752542u);
  EXPECT_EQ(HashLineKey("\xE9"), 0xFFFFFFE9u);
  EXPECT_EQ(HashLineKey(""), 0u);
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_NE(Crc32("a\0b", 3), Crc32("a\0c", 3)) << "bytes after a NUL count";
}

// Both are computed several bytes a step; every length must agree with the definition.
TEST(Fingerprints, MatchTheirDefinitionsAtEveryLength) {
  std::string text;
  for (int length = 0; length <= 1100; ++length) {
    ASSERT_EQ(HashLineKey(text.c_str()), ReferenceKey(text)) << "length " << length;
    ASSERT_EQ(HashLineKey(text.data(), text.size()), ReferenceKey(text)) << "length " << length;
    ASSERT_EQ(Crc32(text.data(), text.size()), ReferenceCrc(text)) << "length " << length;
    const LineKeyAndCrc both = KeyAndCrc32(text.data(), text.size());
    ASSERT_EQ(both.key, ReferenceKey(text)) << "length " << length;
    ASSERT_EQ(both.crc, ReferenceCrc(text)) << "length " << length;
    text += static_cast<char>(length % 2 ? 0x80 + length * 7 : 'A' + length % 26);
  }
}

// Folding A-Z in the register gives the fingerprints of the folded copy, and
// gives up on any byte above 0x7F, wherever it stands.
TEST(Fingerprints, OfAsciiLowerCaseMatchTheFoldedCopy) {
  std::string text, folded;
  for (int length = 0; length <= 300; ++length) {
    LineKeyAndCrc both{};
    if (KeyAndCrc32OfAsciiLowerCase(text.data(), text.size(), &both)) {
      ASSERT_EQ(both.key, ReferenceKey(folded)) << "length " << length;
      ASSERT_EQ(both.crc, ReferenceCrc(folded)) << "length " << length;
      std::string high = text + "\xC9";
      high.insert(high.size() / 2, 1, '\xE9');
      ASSERT_FALSE(KeyAndCrc32OfAsciiLowerCase(high.data(), high.size() - 1, &both)) << "length " << length;
    }
    // Every letter and both neighbours of each letter range, in a scrambled order.
    const char c = " @AZ[`az{~\tMm0"[length * 5 % 14];
    text += c;
    folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  EXPECT_TRUE(CaseFolder(Page("UTF-8")).FoldsAsciiAsAtoZ());
  EXPECT_TRUE(CaseFolder(Page("CP1252")).FoldsAsciiAsAtoZ());
  EXPECT_TRUE(CaseFolder(Page("CP932")).FoldsAsciiAsAtoZ());
}

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
      {"UTF-8", false, "\xC3\x89" "COLE", "\xC3\xA9" "cole", false},
  };
  for (const Case& c : cases) {
    const CaseFolder folder(Page(c.codeset));
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

TEST(DuplicateIndex, RecordsComeInBlocksOf100) {
  for (bool duplicate : {false, true}) {
    SCOPED_TRACE(duplicate ? "101st line is a duplicate" : "101st line is new");
    CDuplicateIndex index(utf8);
    EXPECT_EQ(index.Pool().Available(), 100u);
    EXPECT_EQ(index.Pool().Blocks(), 1u);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(Add(index, "line " + std::to_string(i)));
    EXPECT_EQ(index.Pool().Blocks(), 1u);
    EXPECT_EQ(Add(index, duplicate ? "line 7" : "line 100"), !duplicate);
    EXPECT_EQ(index.Pool().Blocks(), 2u);
    EXPECT_EQ(index.Pool().InUse(), duplicate ? 100u : 101u);
    for (int i = 0; i < 500; ++i) ASSERT_FALSE(Add(index, "line " + std::to_string(i % 100)));
    EXPECT_EQ(index.Pool().InUse(), duplicate ? 100u : 101u) << "duplicates keep no record";
    EXPECT_EQ(index.Pool().Blocks(), 2u);
  }
}

TEST(DuplicateIndex, MapGrowsAndStillFindsEveryLine) {
  CDuplicateIndex index(utf8);
  EXPECT_EQ(index.Map().Buckets(), 1000u);
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
  EXPECT_EQ(index.Pool().InUse(), 257u);
}
