// The figures of a completed run that --stats reports, one line for scripts.
#pragma once

#include <cstdint>
#include <string>

struct RunStats {
  uint64_t linesRead;     // of the source, blank ones included
  uint64_t linesWritten;  // to the target
  uint64_t duplicates;    // equal to an earlier line of the source
  uint64_t blank;         // dropped by /r
  uint64_t excluded;      // equal to a line of an exclusion list
  uint64_t unmapped;      // characters written as '?'
  uint64_t distinct;      // lines of the source equal to no earlier line nor to a listed one
  uint64_t bytesRead;     // of the source, by its first reading
  uint64_t milliseconds;  // from start to end of the run
  uint64_t peakMemory;    // bytes, the most the process held at once
  uint64_t spilledParts;  // 0 when no line was set aside
};

// "lines_read=N lines_written=N ...": names and whole numbers, no unit
// beyond those the names say.
std::string FormatRunStats(const RunStats& stats);
