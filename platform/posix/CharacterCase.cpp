#include "platform/CharacterCase.h"

#include <unicode/uchar.h>

int32_t ToLowerCase(int32_t c) { return u_tolower(c); }

int32_t FoldCaseSimply(int32_t c) { return u_foldCase(c, U_FOLD_CASE_DEFAULT); }
