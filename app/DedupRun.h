// One run of the tool: checks, opens, the single read-filter-write pass.
#pragma once

#include <cstdint>
#include <functional>

#include "app/DedupCommandLineInfo.h"

enum ExitStatus : int {
  exitDone = 0,
  exitFailed = 1,
  exitUsage = 2,
};

// What a run has done so far, for a progress display.
struct RunProgress {
  uint64_t sourceSize;  // 0 when unknown (a pipe)
  uint64_t bytesRead;
  uint64_t linesKept;
  uint64_t linesDropped;
};

// Called now and then during the pass (about every 64 KiB of input).
using ProgressCallback = std::function<void(const RunProgress&)>;

// Prints the usage text and waits for a key when a name is missing; refuses a
// target named like the source; opens both files and runs the pass. Errors of
// the open files propagate as exceptions.
int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress = nullptr);

// The length of line after trimming blanks as the options say; *start moves
// past leading blanks.
int32_t TrimLine(char** start, int32_t length, uint32_t options);
