// UTF-8 case folding sixteen bytes at a time in a register (x86-64 with
// SSE4.1), for CUtf8FoldTable: the processor-specific code. Elsewhere, or on
// a processor without it, HasUtf8FoldSimd() is false and nothing else may be
// called; FoldedHashSimd needs a fast key as well.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"

// The table's group bits and two-byte entries (see CUtf8FoldTable); the
// arrays of group bits are 16-byte aligned and 32 bytes long, that of the
// lead bytes of three (foldingLeads3) 16 bytes long.
struct Utf8FoldGroups {
  const uint8_t* changing;
  const uint8_t* shifted;
  const uint8_t* shiftedButLast;
  const uint32_t* twoByte;
  const uint8_t* foldingLeads3;
};

bool HasUtf8FoldSimd();

// Folds text[0, length), 16 bytes or more, for as long as its windows of
// sixteen bytes hold only ASCII and two-byte characters that fold to two
// bytes, or only ASCII and characters of three bytes that do not fold;
// returns the bytes taken, the same number as written.
size_t FoldWindowsSimd(const uint8_t* text, size_t length, uint8_t* dst, const Utf8FoldGroups& groups);

// The fingerprint of text[0, length) folded that way, without a copy; false
// for a line those windows cannot fold. key.fast must be set.
bool FoldedHashSimd(const uint8_t* text, size_t length, const Utf8FoldGroups& groups, const FingerprintKey& key,
                    LineFingerprint* fingerprint);
