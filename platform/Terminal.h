// Standard error as a terminal (a Windows console), for a status line that is
// drawn and redrawn in place, and the clock that paces it.
#pragma once

#include <cstddef>
#include <cstdint>

class CErrorTerminal {
 public:
  // Looks once at what standard error is.
  CErrorTerminal();
  ~CErrorTerminal();
  CErrorTerminal(const CErrorTerminal&) = delete;
  CErrorTerminal& operator=(const CErrorTerminal&) = delete;

  bool IsTerminal() const { return m_bTerminal; }
  // False while the process is a background job of its terminal.
  bool InForeground() const;
  // Columns of the terminal, 80 when unknown.
  size_t Width() const;

  // Puts text (one line, no line end) in place of the line shown before. Until
  // Erase, Ctrl+C or a signal that ends the process erases it first.
  void Show(const char* text, size_t length);
  // Removes the line, if one is shown.
  void Erase();

 private:
  bool m_bTerminal = false;
  size_t m_nShown = 0;  // length of the line shown; 0 when none
};

// Milliseconds of a clock that only goes forward, cheap to read.
int64_t MonotonicMs();
