// What a run has done so far, handed to a progress display now and then.
#pragma once

#include <cstdint>
#include <functional>

struct RunProgress {
  uint64_t sourceSize;  // 0 when unknown (a pipe)
  uint64_t bytesRead;
  uint64_t linesKept;
  uint64_t linesDropped;
};

// Called now and then during the pass (about every 64 KiB of input).
using ProgressCallback = std::function<void(const RunProgress&)>;
