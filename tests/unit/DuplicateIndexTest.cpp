// Fingerprints, the record pool, the key map and the duplicate test built on them.
#include <gtest/gtest.h>

#include <algorithm>
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

const CCaseFolder utf8(Page("UTF-8"));

// text placed offset bytes into a buffer that ends with it: the fingerprints
// load sixteen bytes at a time, and a load past the end shows under the
// address sanitizer.
std::vector<char> Placed(const std::string& text, size_t offset) {
  std::vector<char> buffer(offset + text.size());
  std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
  return buffer;
}

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

// Both are computed sixteen bytes a step with a partial last block; every
// length at every alignment must agree with the definition.
TEST(Fingerprints, MatchTheirDefinitionsAtEveryLength) {
  std::string text;
  for (size_t length = 0; length <= 600; ++length) {
    const uint32_t key = ReferenceKey(text);
    const uint32_t crc = ReferenceCrc(text);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      const char* line = buffer.data() + offset;
      ASSERT_EQ(HashLineKey(line, length), key) << "length " << length << " offset " << offset;
      ASSERT_EQ(Crc32(line, length), crc) << "length " << length << " offset " << offset;
      const LineKeyAndCrc both = KeyAndCrc32(line, length);
      ASSERT_EQ(both.key, key) << "length " << length << " offset " << offset;
      ASSERT_EQ(both.crc, crc) << "length " << length << " offset " << offset;
    }
    text += static_cast<char>(length % 2 ? 0x80 + length * 7 : length % 7 ? 'A' + length % 26 : 0);
  }
}

// Folding A-Z in the register gives the fingerprints of the folded copy, and
// gives up on any byte above 0x7F, wherever it stands.
TEST(Fingerprints, OfAsciiLowerCaseMatchTheFoldedCopy) {
  // Every letter and both neighbours of each letter range, and NUL.
  constexpr char kBytes[] = " @AZ[`az{~\tMm0\0";
  LineKeyAndCrc both{};
  const bool inRegister = KeyAndCrc32OfAsciiLowerCase("", 0, &both);  // false where the processor cannot
  std::string text, folded;
  for (size_t length = 0; inRegister && length <= 600; ++length) {
    const uint32_t key = ReferenceKey(folded);
    const uint32_t crc = ReferenceCrc(folded);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      ASSERT_TRUE(KeyAndCrc32OfAsciiLowerCase(buffer.data() + offset, length, &both)) << "length " << length;
      ASSERT_EQ(both.key, key) << "length " << length << " offset " << offset;
      ASSERT_EQ(both.crc, crc) << "length " << length << " offset " << offset;
      for (const size_t at : {length / 2, length}) {
        std::string high = text;
        high.insert(at, 1, '\xE9');
        const std::vector<char> highBuffer = Placed(high, offset);
        ASSERT_FALSE(KeyAndCrc32OfAsciiLowerCase(highBuffer.data() + offset, high.size(), &both))
            << "length " << length << " offset " << offset << " at " << at;
      }
    }
    const char c = kBytes[length * 7 % 15];  // in a scrambled order
    text += c;
    folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  EXPECT_TRUE(CCaseFolder(Page("UTF-8")).FoldsAsciiAsAtoZ());
  EXPECT_TRUE(CCaseFolder(Page("CP1252")).FoldsAsciiAsAtoZ());
  EXPECT_TRUE(CCaseFolder(Page("CP932")).FoldsAsciiAsAtoZ());
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
      {"UTF-8", false,
       "\xC3\x89"
       "COLE",
       "\xC3\xA9"
       "cole",
       false},
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
