// What a run has done so far, handed to a progress display now and then.
#pragma once

#include <cstdint>
#include <functional>

// A run that sets lines aside sifts them once the source is read, and then
// reads the source again.
enum RunPhase : int { phaseReading, phaseSifting, phaseSecondReading };

struct RunProgress {
  uint64_t sourceSize;  // 0 when unknown (a pipe)
  uint64_t bytesRead;   // of the source, by the phase's reading
  uint64_t linesKept;
  uint64_t linesDropped;
  RunPhase phase;
  uint64_t linesSifted;  // while sifting, of linesToSift
  uint64_t linesToSift;
};

// Called now and then during a run (about every 64 KiB of input).
using ProgressCallback = std::function<void(const RunProgress&)>;
