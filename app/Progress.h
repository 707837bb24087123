// The progress line of a long run: one line on a terminal, redrawn in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/RunProgress.h"
#include "platform/Terminal.h"

class CProgressLine {
 public:
  // The line is drawn on standard error only when it is a terminal;
  // otherwise nothing is ever written to it.
  CProgressLine();

  // The callback for RunDedup: empty when the line is not drawn, so that an
  // unwatched run pays nothing.
  ProgressCallback Callback();

  // Redraws the line when the run has lasted long enough and the last drawing
  // is old enough, or the run has begun another phase; otherwise only reads
  // the clock.
  void Update(const RunProgress& done);
  // Removes the line from the terminal, if it is there.
  void Erase();

  // The text of the line, at most width bytes, without line end; elapsedMs:
  // since the phase began.
  static size_t Format(const RunProgress& done, int64_t elapsedMs, char* out, size_t width);

  static constexpr int64_t kDefaultDelayMs = 1000;  // quiet for the first second
  static constexpr int64_t kRedrawMs = 200;         // five times a second

 private:
  void Draw(const RunProgress& done, int64_t now);

  CErrorTerminal m_terminal;  // erases the line when the run ends
  int64_t m_nPhaseStartMs = 0;
  int64_t m_nFirstDrawMs = 0;
  int64_t m_nNextDrawMs = 0;
  RunPhase m_nPhase = phaseReading;
};
