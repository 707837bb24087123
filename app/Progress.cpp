#include "app/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>

namespace {

// Back to the start of the line, then clear to its end.
const char kErase[] = "\r\x1b[K";

// The terminal the line is on while it is shown, for the signal handler.
volatile sig_atomic_t g_shownFd = -1;

int64_t NowMs() {
  timespec ts{};
  // The coarse clock is read from memory without a system call; its few
  // milliseconds of resolution are plenty for a display.
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void WriteAll(int fd, const char* text, size_t n) {
  while (n > 0) {
    ssize_t done = ::write(fd, text, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;  // a display is not worth failing the run for
    text += done;
    n -= static_cast<size_t>(done);
  }
}

// Ctrl+C or a kill while the line is shown: erase it, then die of the signal
// as if nothing had been caught.
void EraseAndDie(int sig) {
  const int fd = g_shownFd;
  if (fd >= 0) {
    ssize_t ignored = ::write(fd, kErase, sizeof kErase - 1);
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

}  // namespace

CProgressLine::CProgressLine(int fd) : m_nFd(fd), m_bTerminal(::isatty(fd) == 1), m_nStartMs(NowMs()) {
  m_nNextDrawMs = m_nStartMs + DelayMs();
}

CProgressLine::~CProgressLine() { Erase(); }

ProgressCallback CProgressLine::Callback() {
  if (!m_bTerminal) return nullptr;
  return [this](const RunProgress& done) { Update(done); };
}

void CProgressLine::Update(const RunProgress& done) {
  const int64_t now = NowMs();
  if (now < m_nNextDrawMs) return;
  m_nNextDrawMs = now + kRedrawMs;
  Draw(done, now);
}

void CProgressLine::Draw(const RunProgress& done, int64_t now) {
  if (!m_bTerminal) return;
  // A background job keeps quiet and takes its line away.
  const pid_t foreground = ::tcgetpgrp(m_nFd);
  if (foreground >= 0 && foreground != ::getpgrp()) {
    Erase();
    return;
  }
  // One column short of the width, so that the terminal never wraps the line
  // and the carriage return always reaches its start.
  size_t width = 79;
  winsize ws{};
  if (::ioctl(m_nFd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) width = ws.ws_col - 1u;

  char line[256];
  line[0] = '\r';
  size_t n = 1 + Format(done, now - m_nStartMs, line + 1, std::min(width, sizeof line - 8));
  for (char c : {'\x1b', '[', 'K'}) line[n++] = c;
  CatchEndingSignals();
  WriteAll(m_nFd, line, n);
  m_bShown = true;
  g_shownFd = m_nFd;
}

void CProgressLine::Erase() {
  if (!m_bShown) return;
  g_shownFd = -1;
  m_bShown = false;
  WriteAll(m_nFd, kErase, sizeof kErase - 1);
}

size_t CProgressLine::Format(const RunProgress& done, int64_t elapsedMs, char* out, size_t width) {
  char read[32], size[32], rate[32];
  FormatBytes(done.bytesRead, read, sizeof read);
  // The rate over the whole run so far; steadier than the last interval's.
  const double seconds = static_cast<double>(elapsedMs > 0 ? elapsedMs : 1) / 1000;
  FormatBytes(static_cast<uint64_t>(static_cast<double>(done.bytesRead) / seconds), rate, sizeof rate);

  char text[256];
  int n;
  const auto kept = static_cast<unsigned long long>(done.linesKept);
  const auto dropped = static_cast<unsigned long long>(done.linesDropped);
  if (done.sourceSize > 0) {
    FormatBytes(done.sourceSize, size, sizeof size);
    // A source that grows while it is read must not show more than 100%.
    const uint64_t percent =
        done.bytesRead >= done.sourceSize
            ? 100
            : static_cast<uint64_t>(static_cast<double>(done.bytesRead) * 100 / static_cast<double>(done.sourceSize));
    n = std::snprintf(text, sizeof text, "rowsift: %s of %s (%llu%%), %s/s, %llu kept, %llu dropped", read, size,
                      static_cast<unsigned long long>(percent), rate, kept, dropped);
  } else {
    n = std::snprintf(text, sizeof text, "rowsift: %s read, %s/s, %llu kept, %llu dropped", read, rate, kept, dropped);
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
