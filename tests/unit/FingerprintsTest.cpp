// The fingerprint against its definition, at every length and alignment,
// plain and A-Z-folded, folded in the register, a character and a piece at a
// time; SipHash against its published values.
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

// The key of the reference's secret: the fast one where the processor has what it needs.
const FingerprintKey& Key() {
  static const FingerprintKey key = MakeFingerprintKey(reference::kSecret, true);
  return key;
}

LineFingerprint Reference(const std::string& text) { return reference::Fingerprint(reference::kSecret, text); }

}  // namespace

TEST(Fingerprints, KnownValues) {
  uint8_t secret[32] = {};
  std::string text;
  for (char k = 0; k < 64; ++k) text += k;
  std::copy(text.begin(), text.begin() + 16, secret);
  // FIPS-197, appendix C.1.
  reference::Bytes16 plain;
  for (uint8_t k = 0; k < 16; ++k) plain[k] = static_cast<uint8_t>(k * 0x11);
  EXPECT_EQ(reference::Aes128(secret, plain), (reference::Bytes16{0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8,
                                                                  0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}));
  // SipHash-2-4's published 128-bit values (key and text 00 01 02 ...), their first 80 bits.
  const FingerprintKey sipHash = MakeFingerprintKey(secret, false);
  EXPECT_EQ(FingerprintOf(sipHash, text.data(), 0), (LineFingerprint{0x047f81a3, 0xe6a825ba, 0xf66d, 1}));
  EXPECT_EQ(FingerprintOf(sipHash, text.data(), 7), (LineFingerprint{0xbeebf1a1, 0x53c1dbd8, 0xb8c0, 8}));
  EXPECT_EQ(FingerprintOf(sipHash, text.data(), 8), (LineFingerprint{0xbaa9623b, 0x61f55862, 0x830f, 9}));
  EXPECT_EQ(FingerprintOf(sipHash, text.data(), 17), (LineFingerprint{0xe8063d47, 0x98b88d73, 0xc054, 18}));
  EXPECT_EQ(FingerprintOf(sipHash, text.data(), 63), (LineFingerprint{0x77d15051, 0x4a83502f, 0x3e50, 64}));
  EXPECT_EQ(std::vector<uint16_t>({LengthCode(0), LengthCode(0xFFFC), LengthCode(0xFFFD), LengthCode(1ull << 40)}),
            std::vector<uint16_t>({1, 0xFFFD, 0xFFFF, 0xFFFF}));
}

// Every run draws a secret of its own.
TEST(Fingerprints, EachDrawGivesOtherFingerprints) {
  const FingerprintKey first = DrawFingerprintKey();
  EXPECT_NE(FingerprintOf(first, "abc", 3), FingerprintOf(DrawFingerprintKey(), "abc", 3));
  EXPECT_NE(FingerprintOf(first, "abc", 3), FingerprintOf(ProcessFingerprintKey(), "abc", 3));
}

// Sixteen bytes a step with a partial last block, a short line in
// overlapping words; every length at every alignment must agree with the definition.
TEST(Fingerprints, MatchTheirDefinitionsAtEveryLength) {
  if (!Key().fast) GTEST_SKIP() << "the processor lacks what the fast function needs";
  std::string text;
  for (size_t length = 0; length <= 600; ++length) {
    const LineFingerprint expected = Reference(text);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      const char* line = buffer.data() + offset;
      ASSERT_EQ(FingerprintOf(Key(), line, length), expected) << "length " << length << " offset " << offset;
    }
    text += static_cast<char>(length % 2 ? 0x80 + length * 7 : length % 7 ? 'A' + length % 26 : 0);
  }
}

// Folding A-Z in the register gives the fingerprint of the folded copy, and
// gives up on any byte above 0x7F, wherever it stands.
TEST(Fingerprints, OfAsciiLowerCaseMatchTheFoldedCopy) {
  // Every letter and both neighbours of each letter range, and NUL.
  constexpr char kBytes[] = " @AZ[`az{~\tMm0\0";
  LineFingerprint both{};
  const bool inRegister = FingerprintOfAsciiLowerCase(Key(), "", 0, &both);  // false where the processor cannot
  std::string text, folded;
  for (size_t length = 0; inRegister && length <= 600; ++length) {
    const LineFingerprint expected = Reference(folded);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      ASSERT_TRUE(FingerprintOfAsciiLowerCase(Key(), buffer.data() + offset, length, &both)) << "length " << length;
      ASSERT_EQ(both, expected) << "length " << length << " offset " << offset;
      for (const size_t at : {length / 2, length}) {
        std::string high = text;
        high.insert(at, 1, '\xE9');
        const std::vector<char> highBuffer = Placed(high, offset);
        ASSERT_FALSE(FingerprintOfAsciiLowerCase(Key(), highBuffer.data() + offset, high.size(), &both))
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
// Anything else is refused, and folded a character at a time to the same end.
TEST(Fingerprints, OfUtf8FoldedInTheRegisterMatchTheFoldedCopy) {
  const CCaseFolder folder(Page("UTF-8"));
  CLineFingerprinter fingerprinter(folder, Key());
  LineFingerprint both{};
  if (!folder.HashOfFolded("", 0, Key(), &both)) GTEST_SKIP() << "the processor lacks what this needs";
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
      {{"A", "x", "y", "z", "\xD0\x94", "\xD0\xA0", "\xE4\xB8\xAD", "b", "c", "d", "e"}, false},
      {{"\xE1\xBA\x9E", "\xCE\x90", "\xE2\x82\xAC", "\xD0", "\xD0\x9F\xE4\xB8\xAD", "a", "B"}, false}};
  for (const auto& [letters, allTaken] : alphabets) {
    for (size_t offset = 0; offset < letters.size(); ++offset) {
      std::string text;
      for (size_t k = 0; text.size() < 300; ++k) {
        const std::vector<char> buffer = Placed(text, 0);
        std::string folded(folder.FoldRoom(text.size()), '\0');
        folded.resize(folder.Fold(text.data(), text.size(), folded.data()));
        const bool taken = folder.HashOfFolded(buffer.data(), text.size(), Key(), &both);
        // Three-byte characters are taken from a window on, not just after one.
        ASSERT_TRUE(taken || !allTaken || (text.size() > 16 && text.size() < 19)) << ::testing::PrintToString(text);
        if (taken) {
          ASSERT_EQ(both, Reference(folded)) << ::testing::PrintToString(text);
        }
        ASSERT_EQ(fingerprinter.Take(buffer.data(), static_cast<int32_t>(text.size()), false), Reference(folded));
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
    if (folder.HashOfFolded(text.data(), text.size(), Key(), &both)) {
      EXPECT_EQ(both, Reference(folded)) << ::testing::PrintToString(text);
    }
  }
  for (const std::string refused : {"\xE1\xBA\x9E", "\xCE\x90", "\xE2\x82\xAC", "\xD0", "\xD0\x9F\xE4\xB8\xAD"}) {
    const std::string text = "0123456789abcdefghij" + refused + "XYZ";
    EXPECT_FALSE(folder.HashOfFolded(text.data(), text.size(), Key(), &both)) << ::testing::PrintToString(text);
    EXPECT_FALSE(folder.HashOfFolded(refused.data(), refused.size(), Key(), &both))
        << ::testing::PrintToString(refused);
  }
}

// A long line is folded a piece at a time, and the pieces hashed as they
// come: the same as the whole folded copy, wherever a piece ends within the
// characters (4 bytes, 2 that fold to 6, 3 that fold to 1, a malformed byte,
// a letter), with either function. So is any text given in pieces of any size.
TEST(Fingerprints, OfALineFoldedInPiecesMatchTheWholeFoldedCopy) {
  const CCaseFolder folder(Page("UTF-8"));
  const FingerprintKey sipHash = MakeFingerprintKey(reference::kSecret, false);
  CLineFingerprinter fingerprinter(folder, Key()), sipHasher(folder, sipHash);
  const std::string unit = "\xF0\x90\x90\x80\xCE\x90\xE2\x84\xAA\xE9Q";
  std::string text;
  for (size_t k = 0; k < 1000; ++k) text += static_cast<char>(k * 131 % 256);
  for (const FingerprintKey* key : {&Key(), &sipHash}) {
    for (size_t piece = 1; piece <= 40; ++piece) {
      CFingerprintStream stream(*key);
      for (size_t at = 0; at < text.size(); at += piece)
        stream.Add(text.data() + at, std::min(piece, text.size() - at));
      EXPECT_EQ(stream.Finish(), FingerprintOf(*key, text.data(), text.size())) << "pieces of " << piece;
    }
  }
  for (size_t prefix = 0; prefix < unit.size(); ++prefix) {
    std::string line(prefix, 'x');
    while (line.size() < 140000) line += unit;
    std::string folded(folder.FoldRoom(line.size()), '\0');
    folded.resize(folder.Fold(line.data(), line.size(), folded.data()));
    const LineFingerprint got = fingerprinter.Take(line.data(), static_cast<int32_t>(line.size()), false);
    EXPECT_EQ(got, Key().fast ? Reference(folded) : FingerprintOf(Key(), folded.data(), folded.size())) << prefix;
    EXPECT_EQ(sipHasher.Take(line.data(), static_cast<int32_t>(line.size()), false),
              FingerprintOf(sipHash, folded.data(), folded.size()))
        << "prefix " << prefix;
  }
}
