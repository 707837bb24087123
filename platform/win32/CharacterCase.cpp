#include "platform/CharacterCase.h"

#include "platform/win32/WinApi.h"

namespace {

int ToUnits(int32_t c, wchar_t units[2]) {
  if (c < 0x10000) {
    units[0] = static_cast<wchar_t>(c);
    return 1;
  }
  units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
  units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return 2;
}

}  // namespace

bool IsUpperCase(int32_t c) {
  if (c < 0 || c > 0x10FFFF) return false;
  wchar_t units[2];
  WORD types[2] = {};
  return ::GetStringTypeW(CT_CTYPE1, units, ToUnits(c, units), types) && (types[0] & C1_UPPER) != 0;
}

int32_t ToLowerCase(int32_t c) {
  if (c < 0 || c > 0x10FFFF) return c;
  wchar_t units[2];
  const int n = ToUnits(c, units);
  wchar_t lower[4];
  // The locale's file-system casing: I becomes i even in a Turkish locale.
  const int length = ::LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, units, n, lower, 4);
  if (length == 1 && (lower[0] < 0xD800 || lower[0] > 0xDFFF)) return lower[0];
  if (length == 2 && lower[0] >= 0xD800 && lower[0] <= 0xDBFF && lower[1] >= 0xDC00 && lower[1] <= 0xDFFF)
    return 0x10000 + ((lower[0] - 0xD800) << 10) + (lower[1] - 0xDC00);
  return c;
}
