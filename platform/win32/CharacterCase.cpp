#include "platform/CharacterCase.h"

#include "platform/Utf.h"
#include "platform/win32/WinApi.h"

namespace {

// One character through LCMapStringEx; the character itself when the result
// is not one character (or is a lone surrogate).
int32_t MapCase(const wchar_t* locale, DWORD flags, int32_t c) {
  if (c < 0 || c > 0x10FFFF) return c;
  char16_t units[2];
  const auto n = static_cast<int>(PutUtf16(c, units));
  char16_t mapped[4];
  const int length = ::LCMapStringEx(locale, flags, reinterpret_cast<const wchar_t*>(units), n,
                                     reinterpret_cast<wchar_t*>(mapped), 4, nullptr, nullptr, 0);
  if (length <= 0) return c;
  size_t end = 0;
  const int32_t result = DecodeUtf16(mapped, &end, static_cast<size_t>(length));
  return end == static_cast<size_t>(length) && !IsSurrogate(static_cast<uint32_t>(result)) ? result : c;
}

}  // namespace

// The locale's file-system casing: I becomes i even in a Turkish locale.
int32_t ToLowerCase(int32_t c) { return MapCase(LOCALE_NAME_SYSTEM_DEFAULT, LCMAP_LOWERCASE, c); }

// Windows has no case folding of its own: the lower case of the upper case,
// by the invariant locale's linguistic casing (the file-system casing lacks
// most pairs beyond Latin-1, final sigma's upper case among them). This is
// Unicode's simple folding but for the dotless i, whose upper case is I while
// the default folding keeps it apart (only Turkic folding joins them).
int32_t FoldCaseSimply(int32_t c) {
  constexpr int32_t kDotlessI = 0x131;
  if (c == kDotlessI) return c;
  const int32_t upper = MapCase(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, c);
  return MapCase(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, upper);
}
