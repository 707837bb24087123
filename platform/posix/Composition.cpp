#include "platform/Composition.h"

#include <unicode/unorm2.h>

#include "platform/Utf.h"

namespace {

const UNormalizer2* Nfc() {
  UErrorCode err = U_ZERO_ERROR;
  static const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
  return nfc;
}

}  // namespace

bool HasCompositionData() { return Nfc() != nullptr; }

bool JoinsPreviousCharacter(int32_t c) { return !unorm2_hasBoundaryBefore(Nfc(), c); }

bool ChangesWhenComposed(int32_t c) {
  char16_t units[2];
  const auto n = static_cast<int32_t>(PutUtf16(c, units));
  UErrorCode err = U_ZERO_ERROR;
  return unorm2_quickCheck(Nfc(), units, n, &err) == UNORM_NO;
}

bool EndsComposition(int32_t c) { return unorm2_hasBoundaryAfter(Nfc(), c); }

int32_t ComposeCanonically(const char16_t* units, int32_t n, char16_t* out, int32_t capacity) {
  UErrorCode err = U_ZERO_ERROR;
  const int32_t length = unorm2_normalize(Nfc(), units, n, out, capacity, &err);
  return U_SUCCESS(err) ? length : -1;
}
