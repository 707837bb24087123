#include "platform/Composition.h"

#include "platform/Utf.h"
#include "platform/win32/WinApi.h"

// NormalizeString is in every supported Windows (kernel32).
bool HasCompositionData() { return true; }

// A nonspacing mark: what composes with the character before it in the code
// pages' precomposed letters (accents, kana voicing marks).
bool JoinsPreviousCharacter(int32_t c) {
  char16_t units[2];
  const auto n = static_cast<int>(PutUtf16(c, units));
  WORD types[2] = {};
  return ::GetStringTypeW(CT_CTYPE3, reinterpret_cast<const wchar_t*>(units), n, types) &&
         (types[0] & C3_NONSPACING) != 0;
}

bool ChangesWhenComposed(int32_t c) {
  char16_t units[2];
  const auto n = static_cast<int>(PutUtf16(c, units));
  return !::IsNormalizedString(NormalizationC, reinterpret_cast<const wchar_t*>(units), n);
}

// A mark after a control character (a line end) does not compose with it.
bool EndsComposition(int32_t c) { return c < 0x20; }

int32_t ComposeCanonically(const char16_t* units, int32_t n, char16_t* out, int32_t capacity) {
  const int length = ::NormalizeString(NormalizationC, reinterpret_cast<const wchar_t*>(units), n,
                                       reinterpret_cast<wchar_t*>(out), capacity);
  return length > 0 || n == 0 ? length : -1;
}
