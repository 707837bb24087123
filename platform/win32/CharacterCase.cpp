#include "platform/CharacterCase.h"

#include "platform/Utf.h"
#include "platform/win32/WinApi.h"

bool IsUpperCase(int32_t c) {
  if (c < 0 || c > 0x10FFFF) return false;
  char16_t units[2];
  WORD types[2] = {};
  const auto n = static_cast<int>(PutUtf16(c, units));
  return ::GetStringTypeW(CT_CTYPE1, reinterpret_cast<const wchar_t*>(units), n, types) && (types[0] & C1_UPPER) != 0;
}

int32_t ToLowerCase(int32_t c) {
  if (c < 0 || c > 0x10FFFF) return c;
  char16_t units[2];
  const auto n = static_cast<int>(PutUtf16(c, units));
  char16_t lower[4];
  // The locale's file-system casing: I becomes i even in a Turkish locale.
  const int length = ::LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, reinterpret_cast<const wchar_t*>(units), n,
                                    reinterpret_cast<wchar_t*>(lower), 4);
  if (length <= 0) return c;
  // One character, not a lone surrogate.
  size_t end = 0;
  const int32_t folded = DecodeUtf16(lower, &end, static_cast<size_t>(length));
  return end == static_cast<size_t>(length) && (folded < 0xD800 || folded > 0xDFFF) ? folded : c;
}
