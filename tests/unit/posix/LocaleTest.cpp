// How the code page is chosen from the locale in the environment, and the
// codeset names only ICU knows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "../TestFiles.h"
#include "platform/CodePage.h"

TEST(CodePagePosix, KindOfIcuNames) {
  using Kind = CCodePage::Kind;
  const std::pair<const char*, Kind> cases[] = {
      {"ANSI_X3.4-1968", Kind::Utf8}, {"Shift_JIS", Kind::Icu},   {"KOI8-R", Kind::Icu},
      {"EUC-JP", Kind::Unknown},      {"GB18030", Kind::Unknown},
  };
  for (const auto& [codeset, kind] : cases) EXPECT_EQ(Page(codeset).GetKind(), kind) << codeset;
}

TEST(CodePagePosix, CodesetComesFromLcAllThenLcCtypeThenLang) {
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::optional<std::string> saved[3];
  auto set = [&](int i, const char* value) { value ? ::setenv(names[i], value, 1) : ::unsetenv(names[i]); };
  for (int i = 0; i < 3; ++i)
    if (const char* value = std::getenv(names[i])) saved[i] = value;
  struct Case {
    const char* values[3];  // LC_ALL, LC_CTYPE, LANG; null: unset
    const char* codeset;
  };
  // clang-format off
  const Case cases[] = {
      {{nullptr, nullptr, nullptr}, ""},
      {{nullptr, nullptr, "en_US.UTF-8"}, "UTF-8"},
      {{nullptr, "ru_RU.KOI8-R", "en_US.UTF-8"}, "KOI8-R"},
      {{"en_US.CP1252", "ru_RU.KOI8-R", "en_US.UTF-8"}, "CP1252"},
      {{"", "de_DE.ISO-8859-15@euro", "en_US.UTF-8"}, "ISO-8859-15"},
      {{"C", "ru_RU.KOI8-R", nullptr}, ""},
      {{nullptr, "", "ja_JP.SJIS"}, "SJIS"},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) set(i, c.values[i]);
    EXPECT_EQ(CCodePage::CodesetFromEnvironment(), c.codeset) << ::testing::PrintToString(c.values);
  }
  for (int i = 0; i < 3; ++i) set(i, saved[i] ? saved[i]->c_str() : nullptr);
}
