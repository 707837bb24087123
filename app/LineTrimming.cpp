#include "app/LineTrimming.h"

#include "app/DedupCommandLineInfo.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int32_t TrimLine(char** start, int32_t length, uint32_t options) {
  char* line = *start;
  if (options & optTrimLeading) {
    while (length > 0 && IsBlank(*line)) {
      ++line;
      --length;
    }
  }
  if (options & optTrimTrailing) {
    while (length > 0 && IsBlank(line[length - 1])) --length;
  }
  *start = line;
  return length;
}

int32_t OfferedLength(char** start, int32_t length, uint32_t options) {
  const bool removeBlank = (options & optRemoveBlank) != 0;
  if (length == 0 && removeBlank) return -1;
  length = TrimLine(start, length, options);
  return length == 0 && removeBlank ? -1 : length;
}
