// Case folding per code page.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include "TestFiles.h"
#include "dedup/CaseFolder.h"

namespace {

std::string Fold(const CCaseFolder& folder, const std::string& text) {
  const size_t room = folder.FoldRoom(text.size());
  std::string out(room + 1, '#');
  out.resize(folder.Fold(text.data(), text.size(), out.data()));
  EXPECT_LE(out.size(), room);
  return out;
}

}  // namespace

TEST(CaseFolder, FoldsByTheRulesOfTheCodePage) {
  struct Case {
    const char* codeset;
    std::string text, folded;
  };
  // clang-format off
  const Case cases[] = {
      {"CP1252", "ABC xyz \xC9\xC0\xDE", "abc xyz \xE9\xE0\xFE"},
      {"CP1252", "\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"},         // S, OE, Z, Y with marks
      {"CP1252", "\xE9\xDF\xB5", "\xE9\xDF\xB5"},                 // lower already, or no upper form
      {"KOI8-R", "\xF0\xF2\xE9", "\xD0\xD2\xC9"},                 // capitals above small letters
      {"no-such-codeset", "ABC \xC9", "abc \xC9"},                // A to Z only
      {"CP1251", "\xCF\xD0\xC8", "\xEF\xF0\xE8"},                 // Cyrillic
      {"UTF-8", "\xC3\x89" "COLE", "\xC3\xA9" "cole"},
      {"UTF-8", "\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"}, // Cyrillic
      {"UTF-8", "\xCE\x91\xCE\x92\xCE\xA3", "\xCE\xB1\xCE\xB2\xCF\x83"}, // Greek
      {"UTF-8", "\xE9\x41", "\xE9\x61"},                          // malformed E9, then an A of its own
      {"UTF-8", "\xC3", "\xC3"},                                  // truncated sequence
      {"UTF-8", "\xC4\xB0X", "i\xCC\x87x"},                       // dotted I: i and a combining dot
      {"UTF-8", "I\xC4\xB1", "i\xC4\xB1"},                        // dotless i stays: not Turkic
      {"UTF-8", "\xC8\xBA", "\xE2\xB1\xA5"},                      // folded form is longer
      {"UTF-8", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x83"},  // ΟΔΟΣ
      {"UTF-8", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x83"},  // οδος: final sigma
      {"UTF-8", "stra\xC3\x9F" "e \xE1\xBA\x9E", "strasse ss"},   // ß and capital ẞ
      {"UTF-8", "\xE2\x84\xAA\xE2\x84\xAB", "k\xC3\xA5"},         // Kelvin and Angstrom signs
      {"UTF-8", "\xCE\x90", "\xCE\xB9\xCC\x88\xCC\x81"},          // two bytes to six
      {"UTF-8", "\xEF\xAC\x83\xC5\xBF", "ffis"},                  // ffi ligature, long s
      {"UTF-8", "abcdefghijklmno\xD0\xA0\xD0", "abcdefghijklmno\xD1\x80\xD0"},  // Р across blocks, lead last
      {"UTF-8", "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{", "abcdefghijklmnopqrstuvwxyz@[`{"},
      {"UTF-8", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},          // Deseret, four bytes
      {"CP932", "\x82\x60\x82\x79Z", "\x82\x81\x82\x9Az"},        // fullwidth A and Z
      {"CP932", "\xB1" "A\x82\xA0", "\xB1" "a\x82\xA0"},          // half-width kana, hiragana
      {"CP932", "A\x82\x20" "B", "a\x82\x20" "B"},                // invalid pair: folding stops
      {"CP932", "A\x82", "a\x82"},                                // lead byte last
      // A byte of A-Z that is part of a longer character stays.
      {"CP932", "\x83\x41" "A", "\x83\x41" "a"},
      {"GBK", "\x81\x41" "A", "\x81\x41" "a"},
      {"BIG5", "\xA4\x41" "A", "\xA4\x41" "a"},
      {"Big5-HKSCS", "\x88\x41" "A\x87\x41", "\x88\x41" "a\x87\x41"},
      {"GB18030", "\x81\x41" "A\x81\x30\x81\x30" "B", "\x81\x41" "a\x81\x30\x81\x30" "b"},
      {"GB18030", "ABC", "abc"},
      {"GB18030", "A\x81", "a\x81"},                            // lead byte last
      {"EUC-JP", "\xA4\xA2" "A\x8F\xA2\xB7" "B", "\xA4\xA2" "a\x8F\xA2\xB7" "b"},
      {"EUC-TW", "\x8E\xA2\xA1\xA1" "A", "\x8E\xA2\xA1\xA1" "a"},
      {"ISO-2022-JP", "A\x1B$B\x24\x41\x1B(BA", "a\x1B$B\x24\x41\x1B(Ba"},
      {"ISO-2022-JP", "\x1B$BA", "\x1B$BA"},                      // half a character
      {"ISO-2022-KR", "\x1B$)C\x0E\x30\x41\x0F" "A", "\x1B$)C\x0E\x30\x41\x0F" "a"},
      {"ISO-2022-CN", "\x1B$)A\x0E\x30\x41\x0F" "A", "\x1B$)A\x0E\x30\x41\x0F" "a"},
      {"HZ", "~{\x30\x41~}A", "~{\x30\x41~}a"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const CCaseFolder folder(Page(c.codeset));
    EXPECT_EQ(Fold(folder, c.text), c.folded) << c.codeset << " " << ::testing::PrintToString(c.text);
  }
}

// The table built at start-up against ICU itself, character by character,
// and the one- and two-byte characters once more in a run, where most are
// folded sixteen bytes at a time.
TEST(CaseFolder, Utf8FoldsEveryCodePointAsIcuDoes) {
  const CCaseFolder folder(Page("UTF-8"));
  std::string run, runFolded;
  int mismatches = 0;
  for (UChar32 c = 0; c <= 0x10FFFF && mismatches < 10; ++c) {
    if (U_IS_SURROGATE(c)) continue;
    char bytes[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, c);
    UChar units[2];
    int32_t unitCount = 0;
    U16_APPEND_UNSAFE(units, unitCount, c);
    UChar folded[8];
    char expected[32];
    int32_t expectedLength = 0;
    UErrorCode err = U_ZERO_ERROR;
    const int32_t foldedCount = u_strFoldCase(folded, 8, units, unitCount, U_FOLD_CASE_DEFAULT, &err);
    u_strToUTF8(expected, sizeof expected, &expectedLength, folded, foldedCount, &err);
    ASSERT_TRUE(U_SUCCESS(err));
    const std::string got = Fold(folder, std::string(bytes, static_cast<size_t>(n)));
    if (got != std::string(expected, static_cast<size_t>(expectedLength))) {
      ADD_FAILURE() << "U+" << std::hex << c << " folds to " << ::testing::PrintToString(got);
      ++mismatches;
    }
    if (c < 0x800) {
      run.append(c % 3 ? "" : "Q").append(bytes, static_cast<size_t>(n));
      runFolded.append(c % 3 ? "" : "q").append(expected, static_cast<size_t>(expectedLength));
    }
  }
  EXPECT_EQ(Fold(folder, run), runFolded);
}
