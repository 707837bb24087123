// What a code page's name gives.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/CodePage.h"

TEST(CodePage, KindFollowsTheCodeset) {
  using Kind = CCodePage::Kind;
  // Names that ICU and Windows both know.
  const std::pair<const char*, Kind> cases[] = {
      {"", Kind::Utf8},      {"utf8", Kind::Utf8},         {"UTF-8", Kind::Utf8},
      {"CP1252", Kind::Icu}, {"windows-1252", Kind::Icu},  {"CP932", Kind::Icu},
      {"CP936", Kind::Icu},  {"windows-20866", Kind::Icu}, {"no-such-codeset", Kind::Unknown},
  };
  for (const auto& [codeset, kind] : cases) EXPECT_EQ(Page(codeset).GetKind(), kind) << codeset;
}
