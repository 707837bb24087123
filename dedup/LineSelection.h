// Which of the distinct lines a run writes: the first occurrence of each, or
// only those of the lines that occur once, or more than once. The last two
// are known only once the whole source has been read.
#pragma once

#include <cstdint>

#include "dedup/FingerprintTable.h"

enum LineSelection : uint8_t {
  selectFirst,     // every distinct line, at its first occurrence
  selectUnique,    // the lines that occur exactly once
  selectRepeated,  // the lines that occur more than once, at their first occurrence
};

// Whether a line whose occurrences left it in state is written.
inline bool IsSelected(LineSelection selection, LineState state) {
  switch (selection) {
    case selectUnique:
      return state == stateOnce;
    case selectRepeated:
      return state == stateRepeated;
    case selectFirst:
      break;
  }
  return state != stateExcluded;
}
