#include "platform/CharacterCase.h"

#include <unicode/uchar.h>

bool IsUpperCase(int32_t c) { return u_isupper(c) != 0; }

int32_t ToLowerCase(int32_t c) { return u_tolower(c); }
