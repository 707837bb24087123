#include "platform/Terminal.h"

#include <algorithm>
#include <atomic>

#include "platform/win32/WinApi.h"

namespace {

HANDLE ErrorHandle() { return ::GetStdHandle(STD_ERROR_HANDLE); }

// Columns of the line shown, for Ctrl+C, which runs on a thread of its own.
std::atomic<size_t> g_nShown{0};

void WriteAll(const char* text, size_t n) {
  DWORD done = 0;
  // A display is not worth failing the run for.
  ::WriteFile(ErrorHandle(), text, static_cast<DWORD>(n), &done, nullptr);
}

// The console draws no escape sequences before Windows 10, so a line is
// erased by writing blanks over it.
void Blank(size_t columns) {
  char line[512];
  columns = std::min(columns, sizeof line - 2);
  line[0] = '\r';
  std::fill(line + 1, line + 1 + columns, ' ');
  line[columns + 1] = '\r';
  WriteAll(line, columns + 2);
}

BOOL WINAPI EraseOnCtrlC(DWORD /*event*/) {
  if (const size_t shown = g_nShown.exchange(0)) Blank(shown);
  return FALSE;  // the default handler ends the process
}

}  // namespace

CErrorTerminal::CErrorTerminal() {
  DWORD mode = 0;
  m_bTerminal = ::GetConsoleMode(ErrorHandle(), &mode) != 0;
}

CErrorTerminal::~CErrorTerminal() { Erase(); }

bool CErrorTerminal::InForeground() const { return true; }

size_t CErrorTerminal::Width() const {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(ErrorHandle(), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<size_t>(columns) : 80;
}

void CErrorTerminal::Show(const char* text, size_t length) {
  static const bool handlerSet = ::SetConsoleCtrlHandler(EraseOnCtrlC, TRUE) != 0;
  (void)handlerSet;
  char line[512];
  length = std::min(length, sizeof line - 2);
  line[0] = '\r';
  std::copy(text, text + length, line + 1);
  size_t n = 1 + length;
  // Blanks over what is left of a longer line before.
  const size_t shown = std::max(m_nShown, length);
  while (n < 1 + shown && n < sizeof line) line[n++] = ' ';
  WriteAll(line, n);
  m_nShown = shown;
  g_nShown = shown;
}

void CErrorTerminal::Erase() {
  if (m_nShown == 0) return;
  g_nShown = 0;
  Blank(m_nShown);
  m_nShown = 0;
}

int64_t MonotonicMs() { return static_cast<int64_t>(::GetTickCount64()); }
