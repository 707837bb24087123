// Case folding per code page.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "dedup/CaseFolder.h"

namespace {

std::string Fold(const CCaseFolder& folder, const std::string& text) {
  std::string out(text.size() + 1, '#');
  folder.Fold(text.data(), text.size(), out.data());
  EXPECT_EQ(out.back(), '#') << "folding wrote past the line";
  out.pop_back();
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
      {"windows-20866", "\xF0\xF2\xE9", "\xD0\xD2\xC9"},          // KOI8-R: capitals above small letters
      {"no-such-codeset", "ABC \xC9", "abc \xC9"},                // A to Z only
      {"CP1251", "\xCF\xD0\xC8", "\xEF\xF0\xE8"},                 // Cyrillic
      {"UTF-8", "\xC3\x89" "COLE", "\xC3\xA9" "cole"},
      {"UTF-8", "\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"},  // Cyrillic
      {"UTF-8", "\xCE\x91\xCE\x92\xCE\xA3", "\xCE\xB1\xCE\xB2\xCF\x83"},  // Greek
      {"UTF-8", "\xE9\x41", "\xE9\x61"},                          // malformed E9, then an A of its own
      {"UTF-8", "\xC3", "\xC3"},                                  // truncated sequence
      {"UTF-8", "\xC4\xB0X", "\xC4\xB0x"},                        // dotted I: lower form is shorter
      {"UTF-8", "\xC8\xBA", "\xC8\xBA"},                          // lower form is longer
      {"UTF-8", "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{", "abcdefghijklmnopqrstuvwxyz@[`{"},
      {"UTF-8", "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},          // Deseret, four bytes
      {"CP932", "\x82\x60\x82\x79Z", "\x82\x81\x82\x9Az"},        // fullwidth A and Z
      {"CP932", "\xB1" "A\x82\xA0", "\xB1" "a\x82\xA0"},          // half-width kana, hiragana
      {"CP932", "A\x82\x20" "B", "a\x82\x20" "B"},                // invalid pair: folding stops
      {"CP932", "A\x82", "a\x82"},                                // lead byte last
  };
  // clang-format on
  for (const Case& c : cases) {
    const CCaseFolder folder(Page(c.codeset));
    EXPECT_EQ(Fold(folder, c.text), c.folded) << c.codeset << " " << ::testing::PrintToString(c.text);
  }
}
