#include "platform/Composition.h"

#include "platform/Utf.h"
#include "platform/win32/WinApi.h"

bool HasCompositionData() { return true; }

// WideCharToMultiByte with WC_COMPOSITECHECK composes a base character with
// the nonspacing marks after it.
bool JoinsPreviousCharacter(int32_t c) {
  char16_t units[2];
  const auto n = static_cast<int>(PutUtf16(c, units));
  WORD types[2] = {};
  return ::GetStringTypeW(CT_CTYPE3, reinterpret_cast<const wchar_t*>(units), n, types) &&
         (types[0] & C3_NONSPACING) != 0;
}

bool ChangesWhenComposed(int32_t /*c*/) { return false; }

// A mark after a control character (a line end) does not compose with it.
bool EndsComposition(int32_t c) { return c < 0x20; }

int32_t ComposeCanonically(const char16_t* /*units*/, int32_t /*n*/, char16_t* /*out*/, int32_t /*capacity*/) {
  return -1;
}
