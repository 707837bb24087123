#include "app/Progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// The delay before the line first appears. ROWSIFT_PROGRESS_DELAY_MS exists
// only so that the tests need not run for a second; it is not documented.
int64_t DelayMs() {
  const char* value = std::getenv("ROWSIFT_PROGRESS_DELAY_MS");
  if (!value || !*value) return CProgressLine::kDefaultDelayMs;
  char* end = nullptr;
  long long ms = std::strtoll(value, &end, 10);
  return *end == '\0' && ms >= 0 ? ms : CProgressLine::kDefaultDelayMs;
}

// 1536 -> "1.5 KiB"; below 1 KiB the exact count.
int FormatBytes(uint64_t bytes, char* out, size_t size) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::snprintf(out, size, "%llu B", static_cast<unsigned long long>(bytes));
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  // Switch units before printf would round up to 1024.0.
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return std::snprintf(out, size, "%.1f %s", value, kUnits[unit]);
}

// A source that grows while it is read must not show more than 100%.
uint64_t Percent(uint64_t part, uint64_t whole) {
  if (part >= whole) return 100;
  return static_cast<uint64_t>(static_cast<double>(part) * 100 / static_cast<double>(whole));
}

}  // namespace

CProgressLine::CProgressLine() : m_nPhaseStartMs(MonotonicMs()) {
  m_nFirstDrawMs = m_nNextDrawMs = m_nPhaseStartMs + DelayMs();
}

ProgressCallback CProgressLine::Callback() {
  if (!m_terminal.IsTerminal()) return nullptr;
  return [this](const RunProgress& done) { Update(done); };
}

void CProgressLine::Update(const RunProgress& done) {
  const int64_t now = MonotonicMs();
  // A new phase is news: drawn at once, once the line shows at all.
  if (done.phase != m_nPhase) {
    m_nPhase = done.phase;
    m_nPhaseStartMs = now;
    m_nNextDrawMs = std::max(now, m_nFirstDrawMs);
  }
  if (now < m_nNextDrawMs) return;
  m_nNextDrawMs = now + kRedrawMs;
  Draw(done, now);
}

void CProgressLine::Draw(const RunProgress& done, int64_t now) {
  if (!m_terminal.IsTerminal()) return;
  // A background job keeps quiet and takes its line away.
  if (!m_terminal.InForeground()) {
    Erase();
    return;
  }
  // One column short of the width, so that the terminal never wraps the line
  // and the carriage return always reaches its start.
  const size_t columns = m_terminal.Width();
  const size_t width = columns > 1 ? columns - 1 : 79;
  char line[256];
  const size_t n = Format(done, now - m_nPhaseStartMs, line, std::min(width, sizeof line));
  m_terminal.Show(line, n);
}

void CProgressLine::Erase() { m_terminal.Erase(); }

size_t CProgressLine::Format(const RunProgress& done, int64_t elapsedMs, char* out, size_t width) {
  char read[32], size[32], rate[32];
  FormatBytes(done.bytesRead, read, sizeof read);
  // The rate over the whole phase so far; steadier than the last interval's.
  const double seconds = static_cast<double>(elapsedMs > 0 ? elapsedMs : 1) / 1000;
  FormatBytes(static_cast<uint64_t>(static_cast<double>(done.bytesRead) / seconds), rate, sizeof rate);

  char text[256];
  int n;
  const auto kept = static_cast<unsigned long long>(done.linesKept);
  const auto dropped = static_cast<unsigned long long>(done.linesDropped);
  const char* phase = done.phase == phaseSecondReading ? "second reading, " : "";
  if (done.phase == phaseSifting) {
    n = std::snprintf(
        text, sizeof text, "rowsift: sifting lines set aside, %llu of %llu (%llu%%), %llu kept, %llu dropped",
        static_cast<unsigned long long>(done.linesSifted), static_cast<unsigned long long>(done.linesToSift),
        static_cast<unsigned long long>(Percent(done.linesSifted, done.linesToSift)), kept, dropped);
  } else if (done.sourceSize > 0) {
    FormatBytes(done.sourceSize, size, sizeof size);
    n = std::snprintf(text, sizeof text, "rowsift: %s%s of %s (%llu%%), %s/s, %llu kept, %llu dropped", phase, read,
                      size, static_cast<unsigned long long>(Percent(done.bytesRead, done.sourceSize)), rate, kept,
                      dropped);
  } else {
    n = std::snprintf(text, sizeof text, "rowsift: %s%s read, %s/s, %llu kept, %llu dropped", phase, read, rate, kept,
                      dropped);
  }
  size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1);
  // On a narrow terminal the name goes first, then the end of the line.
  const char* start = text;
  const size_t prefix = sizeof "rowsift: " - 1;
  if (length > width && length >= prefix) {
    start += prefix;
    length -= prefix;
  }
  length = std::min(length, width);
  for (size_t i = 0; i < length; ++i) out[i] = start[i];
  return length;
}
