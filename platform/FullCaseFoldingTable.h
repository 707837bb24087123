// Unicode's default full case folding as data: what the POSIX build reads from
// ICU, made into a table for the Windows build, which has no ICU.
#pragma once

#include <cstddef>
#include <cstdint>

struct FullCaseFoldingEntry {
  int32_t character;
  uint8_t length;      // of the folded form
  uint8_t folded[12];  // UTF-8
};

// Every character that folds to something else, in ascending order.
extern const FullCaseFoldingEntry kFullCaseFoldingTable[];
extern const size_t kFullCaseFoldingTableSize;
// The Unicode version of the data (ICU's u_getUnicodeVersion when made).
extern const char kFullCaseFoldingUnicodeVersion[];
