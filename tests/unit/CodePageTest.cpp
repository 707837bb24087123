// How the code page is chosen from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "TestFiles.h"
#include "platform/CodePage.h"

TEST(CodePage, KindFollowsTheCodeset) {
  using Kind = CCodePage::Kind;
  const std::pair<const char*, Kind> cases[] = {
      {"", Kind::Utf8},          {"utf8", Kind::Utf8},        {"ANSI_X3.4-1968", Kind::Utf8},
      {"CP1252", Kind::Icu},     {"windows-1252", Kind::Icu}, {"Shift_JIS", Kind::Icu},
      {"EUC-JP", Kind::Unknown}, {"GB18030", Kind::Unknown},  {"no-such-codeset", Kind::Unknown},
  };
  for (const auto& [codeset, kind] : cases) EXPECT_EQ(Page(codeset).GetKind(), kind) << codeset;
}

TEST(CodePage, CodesetComesFromLcAllThenLcCtypeThenLang) {
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
