// Canonical composition (Unicode's NFC) as the system offers it, for the
// conversion of UTF-16 to a code page with precomposed characters: ICU's on
// POSIX systems, NormalizeString on Windows. (WideCharToMultiByte's own
// WC_COMPOSITECHECK composes a base with its first mark only.)
#pragma once

#include <cstdint>

// False when the system has no composition data (ICU's is missing).
bool HasCompositionData();

// Whether c may join the character before it into one composed character (a
// combining mark: ICU sees no composition boundary before it; on Windows, a
// nonspacing mark), and whether, standing alone, it composes to something
// else (U+212B ANGSTROM SIGN to U+00C5).
bool JoinsPreviousCharacter(int32_t c);
bool ChangesWhenComposed(int32_t c);
// Whether nothing after c can compose with it (a line end).
bool EndsComposition(int32_t c);

// The composed form of units[0, n) into out, which has room for capacity
// units; its length, or -1 when it does not fit or cannot be made.
int32_t ComposeCanonically(const char16_t* units, int32_t n, char16_t* out, int32_t capacity);
