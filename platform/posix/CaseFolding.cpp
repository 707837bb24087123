#include "platform/CaseFolding.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cstring>

namespace {

// Every character that case folding may change. Changes_When_Casefolded
// alone misses those whose canonical decomposition is already their folded
// form (U+0390, U+1E96); together with Changes_When_Casemapped the set holds
// every character that folds, which a unit test checks over all code points.
USet* FoldingCandidates() {
  USet* candidates = uset_openEmpty();
  UErrorCode err = U_ZERO_ERROR;
  uset_addAll(candidates, u_getBinaryPropertySet(UCHAR_CHANGES_WHEN_CASEFOLDED, &err));
  uset_addAll(candidates, u_getBinaryPropertySet(UCHAR_CHANGES_WHEN_CASEMAPPED, &err));
  if (U_FAILURE(err)) uset_addRange(candidates, 0, 0x10FFFF);  // slower, and still exact
  return candidates;
}

}  // namespace

void VisitFullCaseFoldings(const CaseFoldingVisitor& visit) {
  USet* candidates = FoldingCandidates();
  UErrorCode err = U_ZERO_ERROR;
  for (int32_t item = 0; item < uset_getItemCount(candidates); ++item) {
    UChar32 first = 0;
    UChar32 last = 0;
    uset_getItem(candidates, item, &first, &last, nullptr, 0, &err);
    for (UChar32 c = first; c <= last; ++c) {
      if (U_IS_SURROGATE(c)) continue;  // not a character in UTF-8
      UChar in[2];
      int32_t inLength = 0;
      U16_APPEND_UNSAFE(in, inLength, c);
      UChar out[8];
      UErrorCode foldErr = U_ZERO_ERROR;
      const int32_t outLength = u_strFoldCase(out, 8, in, inLength, U_FOLD_CASE_DEFAULT, &foldErr);
      if (U_FAILURE(foldErr) || (outLength == inLength && std::memcmp(in, out, sizeof(UChar) * inLength) == 0))
        continue;
      char folded[32];
      int32_t bytes = 0;
      u_strToUTF8(folded, sizeof folded, &bytes, out, outLength, &foldErr);
      if (U_SUCCESS(foldErr)) visit(c, reinterpret_cast<const uint8_t*>(folded), static_cast<size_t>(bytes));
    }
  }
  uset_close(candidates);
}
