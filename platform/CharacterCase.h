// Letter case of Unicode characters as the system knows it: by ICU on POSIX
// systems; by GetStringTypeW and LCMapStringW on Windows.
#pragma once

#include <cstdint>

// True for an upper-case letter (ICU's u_isupper; Windows' C1_UPPER).
bool IsUpperCase(int32_t c);
// The simple lower-case form, one character (u_tolower; LCMAP_LOWERCASE).
int32_t ToLowerCase(int32_t c);
