// Case folding per code page.
#include <gtest/gtest.h>

#include "FoldText.h"
#include "TestFiles.h"
#include "dedup/CaseFolder.h"

// Code pages named as both ICU and Windows know them; those only ICU has are
// in posix/CaseFolderIcuTest.cpp.

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
      {"windows-20866", "\xF0\xF2\xE9", "\xD0\xD2\xC9"},          // KOI8-R: capitals above small letters
      {"no-such-codeset", "ABC \xC9", "abc \xC9"},                // A to Z only
      {"CP1251", "\xCF\xD0\xC8", "\xEF\xF0\xE8"},                 // Cyrillic
      // Pairs Unicode's folding joins beyond lower-casing: final sigma and sigma, micro sign and mu.
      {"CP1253", "\xCF\xC4\xCF\xD3 \xEF\xE4\xEF\xF2 \xB5\xCC", "\xEF\xE4\xEF\xF3 \xEF\xE4\xEF\xF3 \xEC\xEC"},
      {"CP1254", "I\xDD\xFD", "ii\xFD"},                          // I and dotted I to i; dotless i stays
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
      {"CP932", "A\x82\x20" "B", "a\x82\x20" "b"},                // invalid pair: folding goes on
      {"CP932", "\x81\xF0" "Q", "\x81\xF0" "q"},                  // Angstrom sign: no small form here
      {"CP936", "\xA2\xFC" "Q\xA2\xF1", "\xA2\xFC" "q\xA2\xA1"},  // XII has none either; I to i
      {"CP932", "A\x82", "a\x82"},                                // lead byte last
      // A byte of A-Z that is part of a longer character stays.
      {"CP932", "\x83\x41" "A", "\x83\x41" "a"},
      {"CP936", "\x81\x41" "A", "\x81\x41" "a"},              // GBK
      {"CP950", "\xA4\x41" "A", "\xA4\x41" "a"},              // Big5
  };
  // clang-format on
  for (const Case& c : cases) {
    const CCaseFolder folder(Page(c.codeset));
    EXPECT_EQ(Fold(folder, c.text), c.folded) << c.codeset << " " << ::testing::PrintToString(c.text);
  }
}
