// The fingerprints against their definitions: the fast function against a
// plain reference at every length and alignment, SipHash against its
// published values, and every way a fingerprint is taken (folded in the
// register, a character at a time, a piece at a time) against that of the
// folded copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "dedup/CaseFolder.h"
#include "dedup/Fingerprints.h"
#include "dedup/LineFingerprinter.h"
#include "tests/support/ReferenceFingerprints.h"

void PrintTo(const LineFingerprint& f, std::ostream* out) {
  *out << std::hex << f.hashHigh << ":" << f.hashMid << ":" << f.hashLow << " length code " << std::dec << f.lengthCode;
}

namespace {

// text placed offset bytes into a buffer that ends with it: the fingerprints
// load sixteen bytes at a time, and a load past the end shows under the
// address sanitizer.
std::vector<char> Placed(const std::string& text, size_t offset) {
  std::vector<char> buffer(offset + text.size());
  std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
  return buffer;
}

// A secret of the tests' own, so that the reference can follow.
const uint8_t (&Secret())[FingerprintKey::kSecretBytes] {
  static uint8_t secret[FingerprintKey::kSecretBytes];
  for (size_t k = 0; k < sizeof secret; ++k) secret[k] = static_cast<uint8_t>(k * 167 + 29);
  return secret;
}

// SipHash's key, and the fast one where the processor has what it needs.
std::vector<FingerprintKey> Keys() {
  std::vector<FingerprintKey> keys{MakeFingerprintKey(Secret(), false)};
  if (const FingerprintKey fast = MakeFingerprintKey(Secret(), true); fast.fast) keys.push_back(fast);
  return keys;
}

LineFingerprint Of(const FingerprintKey& key, const std::string& text) {
  return FingerprintOf(key, text.data(), text.size());
}

std::string Folded(const CCaseFolder& folder, const std::string& text) {
  std::string folded(folder.FoldRoom(text.size()), '\0');
  folded.resize(folder.Fold(text.data(), text.size(), folded.data()));
  return folded;
}

}  // namespace

TEST(Fingerprints, KnownValues) {
  // FIPS-197, appendix C.1: the reference's AES.
  uint8_t aesKey[16];
  reference::Bytes16 plain;
  for (uint8_t k = 0; k < 16; ++k) {
    aesKey[k] = k;
    plain[k] = static_cast<uint8_t>(k * 0x11);
  }
  EXPECT_EQ(reference::Aes128(aesKey, plain), (reference::Bytes16{0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8,
                                                                  0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}));
  // SipHash-2-4-128's published values (key and text 00 01 02 ...), first 80 bits.
  const std::pair<size_t, const char*> vectors[] = {{0, "a3817f04ba25a8e66df6"},  {7, "a1f1ebbed8dbc153c0b8"},
                                                    {8, "3b62a9ba6258f5610f83"},  {15, "5493e99933b0a8117e08"},
                                                    {16, "6ee2a4ca67b054bbfd33"}, {17, "473d06e8738db89854c0"},
                                                    {63, "5150d1772f50834a503e"}};
  uint8_t secret[FingerprintKey::kSecretBytes] = {};
  std::copy(aesKey, aesKey + 16, secret);
  std::string text;
  for (char k = 0; k < 64; ++k) text += k;
  const FingerprintKey sipHash = MakeFingerprintKey(secret, false);
  for (const auto& [length, hex] : vectors) {
    uint8_t b[10];
    for (size_t k = 0; k < 10; ++k) b[k] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * k, 2), nullptr, 16));
    auto word = [&b](size_t at) {
      return uint32_t{b[at]} | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
    };
    const LineFingerprint expected{word(0), word(4), static_cast<uint16_t>(b[8] | b[9] << 8), LengthCode(length)};
    EXPECT_EQ(FingerprintOf(sipHash, text.data(), length), expected) << length;
  }
  EXPECT_EQ(LengthCode(0), 1);
  EXPECT_EQ(LengthCode(0xFFFC), 0xFFFD);
  EXPECT_EQ(LengthCode(0xFFFD), 0xFFFF);
  EXPECT_EQ(LengthCode(uint64_t{1} << 40), 0xFFFF);
}

// Sixteen bytes a step with a partial last block, and short lines read in
// overlapping words: every length at every alignment, NULs and high bytes among them.
TEST(Fingerprints, FastMatchesTheReferenceAtEveryLength) {
  const FingerprintKey key = MakeFingerprintKey(Secret(), true);
  if (!key.fast) GTEST_SKIP() << "the processor lacks what the fast function needs";
  std::string text;
  for (size_t length = 0; length <= 600; ++length) {
    const LineFingerprint expected = reference::Fingerprint(Secret(), text);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      ASSERT_EQ(FingerprintOf(key, buffer.data() + offset, length), expected)
          << "length " << length << " at " << offset;
    }
    text += static_cast<char>(length % 2 ? 0x80 + length * 7 : length % 7 ? 'A' + length % 26 : 0);
  }
}

// Every run draws a secret of its own.
TEST(Fingerprints, EachDrawGivesOtherFingerprints) {
  const FingerprintKey first = DrawFingerprintKey();
  const FingerprintKey second = DrawFingerprintKey();
  EXPECT_NE(Of(first, "abc"), Of(second, "abc"));
  EXPECT_NE(Of(first, "abc"), Of(ProcessFingerprintKey(), "abc"));
  EXPECT_EQ(Of(first, "abc"), Of(first, "abc"));
}

// Folding A-Z in the register gives the fingerprint of the folded copy, and
// gives up on any byte above 0x7F, wherever it stands.
TEST(Fingerprints, OfAsciiLowerCaseMatchTheFoldedCopy) {
  // Every letter and both neighbours of each letter range, and NUL.
  constexpr char kBytes[] = " @AZ[`az{~\tMm0\0";
  LineFingerprint got;
  EXPECT_FALSE(FingerprintOfAsciiLowerCase(MakeFingerprintKey(Secret(), false), "a", 1, &got))
      << "SipHash folds a copy";
  const FingerprintKey key = MakeFingerprintKey(Secret(), true);
  std::string text, folded;
  for (size_t length = 0; key.fast && length <= 600; ++length) {
    const LineFingerprint expected = Of(key, folded);
    for (size_t offset = 0; offset < 16; ++offset) {
      const std::vector<char> buffer = Placed(text, offset);
      ASSERT_TRUE(FingerprintOfAsciiLowerCase(key, buffer.data() + offset, length, &got)) << "length " << length;
      ASSERT_EQ(got, expected) << "length " << length << " offset " << offset;
      for (const size_t at : {length / 2, length}) {
        std::string high = text;
        high.insert(at, 1, '\xE9');
        const std::vector<char> highBuffer = Placed(high, offset);
        ASSERT_FALSE(FingerprintOfAsciiLowerCase(key, highBuffer.data() + offset, high.size(), &got))
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
// fold, fingerprinted folded in the register: the same as the folded copy,
// at every length and wherever a character straddles two blocks. Other
// lines are refused there, and folded a character at a time to the same end.
TEST(Fingerprints, OfUtf8FoldedInTheRegisterMatchTheFoldedCopy) {
  const CCaseFolder folder(Page("UTF-8"));
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
  for (const FingerprintKey& key : Keys()) {
    CLineFingerprinter fingerprinter(folder, key);
    for (const auto& [letters, allTaken] : alphabets) {
      for (size_t offset = 0; offset < letters.size(); ++offset) {
        std::string text;
        for (size_t k = 0; text.size() < 300; ++k) {
          const std::vector<char> buffer = Placed(text, 0);
          const LineFingerprint expected = Of(key, Folded(folder, text));
          LineFingerprint got;
          const bool taken = folder.HashOfFolded(buffer.data(), text.size(), key, &got);
          // Three-byte characters are taken from a window on, not just after one.
          ASSERT_TRUE(taken || !allTaken || !key.fast || (text.size() > 16 && text.size() < 19))
              << ::testing::PrintToString(text);
          if (taken) {
            ASSERT_EQ(got, expected) << ::testing::PrintToString(text);
          }
          ASSERT_EQ(fingerprinter.Take(buffer.data(), static_cast<int32_t>(text.size()), false), expected)
              << ::testing::PrintToString(text);
          text += letters[(k * 5 + offset) % letters.size()];
        }
      }
    }
    // A capital across the end of a window, CJK after it.
    const std::string cjk = "\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD";
    for (size_t prefix = 12; prefix < 18; ++prefix) {
      const std::string text = std::string(prefix, 'x') + "\xD0\x94" + std::string(6, 'y') + cjk;
      const std::string folded = std::string(prefix, 'x') + "\xD0\xB4" + std::string(6, 'y') + cjk;
      EXPECT_EQ(Folded(folder, text), folded);
      EXPECT_EQ(fingerprinter.Take(text.data(), static_cast<int32_t>(text.size()), false), Of(key, folded));
    }
  }
}

// A long line is folded a piece at a time and its fingerprint taken as the
// pieces come: the same as that of the whole folded copy, wherever a piece
// ends within the characters (4 bytes, 2 that fold to 6, 3 that fold to 1, a
// malformed byte, a letter). So is a stream given pieces of any size.
TEST(Fingerprints, OfALineInPiecesMatchTheWhole) {
  const CCaseFolder folder(Page("UTF-8"));
  const std::string unit = "\xF0\x90\x90\x80\xCE\x90\xE2\x84\xAA\xE9Q";
  std::string text;
  for (size_t k = 0; k < 1000; ++k) text += static_cast<char>(k * 131 % 256);
  for (const FingerprintKey& key : Keys()) {
    CLineFingerprinter fingerprinter(folder, key);
    for (size_t prefix = 0; prefix < unit.size(); ++prefix) {
      std::string line(prefix, 'x');
      while (line.size() < 140000) line += unit;
      EXPECT_EQ(fingerprinter.Take(line.data(), static_cast<int32_t>(line.size()), false),
                Of(key, Folded(folder, line)))
          << "prefix " << prefix;
    }
    for (size_t piece = 1; piece <= 40; ++piece) {
      CFingerprintStream stream(key);
      for (size_t at = 0; at < text.size(); at += piece)
        stream.Add(text.data() + at, std::min(piece, text.size() - at));
      EXPECT_EQ(stream.Finish(), Of(key, text)) << "pieces of " << piece;
    }
  }
}
