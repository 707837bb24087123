// Letter case of Unicode characters as the system knows it: by ICU on POSIX
// systems; by LCMapStringW and LCMapStringEx on Windows.
#pragma once

#include <cstdint>

// The simple lower-case form, one character (u_tolower; LCMAP_LOWERCASE).
int32_t ToLowerCase(int32_t c);
// Unicode's default simple case folding, one character (u_foldCase): the
// form that joins characters lower-casing leaves apart (final sigma and
// sigma, micro sign and mu).
int32_t FoldCaseSimply(int32_t c);
