#include "app/RunStats.h"

#include <utility>

std::string FormatRunStats(const RunStats& stats) {
  const std::pair<const char*, uint64_t> figures[] = {
      {"lines_read", stats.linesRead},      {"lines_written", stats.linesWritten},
      {"duplicates", stats.duplicates},     {"blank", stats.blank},
      {"excluded", stats.excluded},         {"unmapped_chars", stats.unmapped},
      {"distinct", stats.distinct},         {"bytes_read", stats.bytesRead},
      {"milliseconds", stats.milliseconds}, {"peak_memory_bytes", stats.peakMemory},
  };
  std::string line;
  for (const auto& [name, value] : figures) {
    if (!line.empty()) line += ' ';
    line += std::string(name) + '=' + std::to_string(value);
  }
  // A run with memory to spare has no parts: the figure would only puzzle.
  if (stats.spilledParts > 0) line += " spilled_parts=" + std::to_string(stats.spilledParts);
  return line;
}
