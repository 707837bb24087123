#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>

namespace {

// Back to the start of the line, then clear to its end.
const char kErase[] = "\r\x1b[K";

// The line is shown on standard error, for the signal handler.
volatile sig_atomic_t g_bShown = 0;

void WriteAll(const char* text, size_t n) {
  while (n > 0) {
    ssize_t done = ::write(STDERR_FILENO, text, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;  // a display is not worth failing the run for
    text += done;
    n -= static_cast<size_t>(done);
  }
}

// Ctrl+C or a kill while the line is shown: erase it, then die of the signal
// as if nothing had been caught.
void EraseAndDie(int sig) {
  if (g_bShown) {
    ssize_t ignored = ::write(STDERR_FILENO, kErase, sizeof kErase - 1);
    (void)ignored;
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void CatchEndingSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction old {};
    // A signal ignored by whoever started us (a background job) stays ignored.
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = EraseAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

}  // namespace

CErrorTerminal::CErrorTerminal() : m_bTerminal(::isatty(STDERR_FILENO) == 1) {}

CErrorTerminal::~CErrorTerminal() { Erase(); }

bool CErrorTerminal::InForeground() const {
  const pid_t foreground = ::tcgetpgrp(STDERR_FILENO);
  return foreground < 0 || foreground == ::getpgrp();
}

size_t CErrorTerminal::Width() const {
  winsize ws{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
}

void CErrorTerminal::Show(const char* text, size_t length) {
  char line[512];
  length = std::min(length, sizeof line - sizeof kErase);
  line[0] = '\r';
  std::copy(text, text + length, line + 1);
  size_t n = 1 + length;
  for (char c : {'\x1b', '[', 'K'}) line[n++] = c;
  CatchEndingSignals();
  WriteAll(line, n);
  m_nShown = length + 1;
  g_bShown = 1;
}

void CErrorTerminal::Erase() {
  if (m_nShown == 0) return;
  g_bShown = 0;
  m_nShown = 0;
  WriteAll(kErase, sizeof kErase - 1);
}

int64_t MonotonicMs() {
  timespec ts{};
  // The coarse clock is read from memory without a system call; its few
  // milliseconds of resolution are plenty for a display.
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
