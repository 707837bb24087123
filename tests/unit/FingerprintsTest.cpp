// The line key and CRC-32 against their definitions, at every length and
// alignment, plain and A-Z-folded.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/CaseFolder.h"
#include "dedup/Fingerprints.h"
#include "dedup/LineFingerprinter.h"
#include "tests/support/ReferenceFingerprints.h"

namespace {

// text placed offset bytes into a buffer that ends with it: the fingerprints
// load sixteen bytes at a time, and a load past the end shows under the
// address sanitizer.
std::vector<char> Placed(const std::string& text, size_t offset) {
  std::vector<char> buffer(offset + text.size());
  std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
  return buffer;
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
    const uint32_t crc = ReferenceCrc32(text);
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
    const uint32_t crc = ReferenceCrc32(folded);
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

// Lines of letters of one and two bytes that fold to the same length,
// capitals among them, or of ASCII and three-byte characters that do not
// fold, fingerprinted folded in the register: the same as over the folded
// copy, at every length and wherever a character straddles two blocks.
// Anything else is refused.
TEST(Fingerprints, OfUtf8FoldedInTheRegisterMatchTheFoldedCopy) {
  const CCaseFolder folder(Page("UTF-8"));
  LineKeyAndCrc both{};
  if (!folder.KeyAndCrc32OfFolded("", 0, &both)) GTEST_SKIP() << "the processor lacks what this needs";
  // ASCII with two-byte characters, or with three-byte ones that do not fold
  // (CJK) and a stray continuation byte, all taken; and the two mixed, where
  // a line may be refused but one taken must be right.
  struct Alphabet {
    std::vector<std::string> letters;
    bool allTaken;
  };
  const Alphabet alphabets[] = {
      {{"A", "z", " ", "\xD0\x9F", "\xD0\xBF", "\xD0\xA0", "\xD1\x80", "\xC3\x89", "\xCE\xA3", "\xC5\x81", "\xC3\x97",
        "\xC3\x9F"},
       true},
      {{"A", "z", " ", "\xE4\xB8\xAD", "\xE6\x96\x87", "\x9F", "Q", "\xEB\x8B\xA4"}, true},
      {{"A", "x", "y", "z", "\xD0\x94", "\xD0\xA0", "\xE4\xB8\xAD", "b", "c", "d", "e"}, false}};
  for (const auto& [letters, allTaken] : alphabets) {
    for (size_t offset = 0; offset < letters.size(); ++offset) {
      std::string text;
      for (size_t k = 0; text.size() < 100; ++k) {
        const std::vector<char> buffer = Placed(text, 0);
        std::string folded(folder.FoldRoom(text.size()), '\0');
        folded.resize(folder.Fold(text.data(), text.size(), folded.data()));
        const bool taken = folder.KeyAndCrc32OfFolded(buffer.data(), text.size(), &both);
        // Three-byte characters are taken from a window on, not just after one.
        ASSERT_TRUE(taken || !allTaken || (text.size() > 16 && text.size() < 19)) << ::testing::PrintToString(text);
        if (taken) {
          ASSERT_EQ(both.key, ReferenceKey(folded)) << ::testing::PrintToString(text);
          ASSERT_EQ(both.crc, ReferenceCrc32(folded)) << ::testing::PrintToString(text);
        }
        text += letters[(k * 5 + offset) % letters.size()];
      }
    }
  }
  // A capital across the end of a window, CJK after it.
  const std::string cjk = "\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD";
  for (size_t prefix = 12; prefix < 18; ++prefix) {
    const std::string text = std::string(prefix, 'x') + "\xD0\x94" + std::string(6, 'y') + cjk;
    const std::string folded = std::string(prefix, 'x') + "\xD0\xB4" + std::string(6, 'y') + cjk;
    std::string copy(folder.FoldRoom(text.size()), '\0');
    copy.resize(folder.Fold(text.data(), text.size(), copy.data()));
    EXPECT_EQ(copy, folded);
    if (folder.KeyAndCrc32OfFolded(text.data(), text.size(), &both)) {
      EXPECT_EQ(both.crc, ReferenceCrc32(folded)) << ::testing::PrintToString(text);
    }
  }
  for (const std::string refused : {"\xE1\xBA\x9E", "\xCE\x90", "\xE2\x82\xAC", "\xD0", "\xD0\x9F\xE4\xB8\xAD"}) {
    const std::string text = "0123456789abcdefghij" + refused + "XYZ";
    EXPECT_FALSE(folder.KeyAndCrc32OfFolded(text.data(), text.size(), &both)) << ::testing::PrintToString(text);
    EXPECT_FALSE(folder.KeyAndCrc32OfFolded(refused.data(), refused.size(), &both))
        << ::testing::PrintToString(refused);
  }
}

// A long line is folded a piece at a time, and the pieces' fingerprints
// combined: the same as those of the whole folded copy, wherever a piece
// ends within the characters (4 bytes, 2 that fold to 6, 3 that fold to 1, a
// malformed byte, a letter).
TEST(Fingerprints, OfALineFoldedInPiecesMatchTheWholeFoldedCopy) {
  const CCaseFolder folder(Page("UTF-8"));
  CLineFingerprinter fingerprinter(folder);
  const std::string unit = "\xF0\x90\x90\x80\xCE\x90\xE2\x84\xAA\xE9Q";
  for (size_t prefix = 0; prefix < unit.size(); ++prefix) {
    std::string line(prefix, 'x');
    while (line.size() < 140000) line += unit;
    std::string folded(folder.FoldRoom(line.size()), '\0');
    folded.resize(folder.Fold(line.data(), line.size(), folded.data()));
    const LineFingerprint got = fingerprinter.Take(line.data(), static_cast<int32_t>(line.size()), false);
    EXPECT_EQ(got.hashLow, ReferenceKey(folded)) << "prefix " << prefix;
    EXPECT_EQ(got.hashMid, ReferenceCrc32(folded)) << "prefix " << prefix;
    EXPECT_EQ(got.lengthCode, LengthCode(folded.size())) << "prefix " << prefix;
  }
}
