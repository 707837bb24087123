// A line as the switches offer it to be compared: blanks trimmed from its
// ends (/b, /e), or dropped when blank (/r). The pass, the second reading and
// the texts read again (--exact) must trim alike.
#pragma once

#include <cstdint>

// The length of line after trimming blanks as the options say; *start moves
// past leading blanks.
int32_t TrimLine(char** start, int32_t length, uint32_t options);
// The length of the line as the pass offers it, trimmed as the options say
// (*start moves past leading blanks), or -1 when it is dropped as blank.
int32_t OfferedLength(char** start, int32_t length, uint32_t options);
