#include "platform/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>

namespace {

// The terminal and its mode before the wait, for the signal handler.
volatile sig_atomic_t g_terminalFd = -1;
struct termios g_savedMode {};

// The signals that end a process waiting at a terminal: a kill, timeout(1),
// the terminal going away. (Ctrl+C itself is only a key while the wait runs.)
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Gives the terminal its mode back, then dies of the signal as if nothing had
// caught it. Only async-signal-safe calls.
void RestoreAndDie(int sig) {
  if (g_terminalFd >= 0) ::tcsetattr(g_terminalFd, TCSANOW, &g_savedMode);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// While the terminal is raw, a signal that ends the process restores it first.
class CRestoreOnSignal {
 public:
  CRestoreOnSignal(int fd, const struct termios& mode) {
    g_savedMode = mode;
    g_terminalFd = fd;
    struct sigaction action {};
    action.sa_handler = RestoreAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
      // A signal ignored by whoever started us (nohup, a background job) stays ignored.
      m_bInstalled[i] = ::sigaction(kEndingSignals[i], nullptr, &m_previous[i]) == 0 &&
                        m_previous[i].sa_handler != SIG_IGN && ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
  }
  ~CRestoreOnSignal() {
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
      if (m_bInstalled[i]) ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
    }
    g_terminalFd = -1;
  }
  CRestoreOnSignal(const CRestoreOnSignal&) = delete;
  CRestoreOnSignal& operator=(const CRestoreOnSignal&) = delete;

 private:
  struct sigaction m_previous[std::size(kEndingSignals)]{};
  bool m_bInstalled[std::size(kEndingSignals)] = {};
};

// After ESC, the rest of an escape sequence arrives within a few milliseconds;
// it is consumed so that it does not land on the shell's prompt.
void DrainEscapeSequence(int fd) {
  struct pollfd pfd = {fd, POLLIN, 0};
  char rest[32];
  while (::poll(&pfd, 1, 30) > 0 && (pfd.revents & POLLIN)) {
    if (::read(fd, rest, sizeof rest) <= 0) break;
  }
}

}  // namespace

void WaitForKey() {
  // With the text sent elsewhere nobody knows a key is awaited.
  if (::isatty(STDOUT_FILENO) != 1) return;
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;  // no controlling terminal: nobody to wait for
  std::fflush(stdout);

  struct termios saved {};
  if (::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return;
  }
  struct termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  {
    CRestoreOnSignal restore(fd, saved);
    ::tcsetattr(fd, TCSANOW, &raw);

    char key = 0;
    ssize_t n;
    do {
      n = ::read(fd, &key, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 1 && key == '\x1b') DrainEscapeSequence(fd);

    ::tcsetattr(fd, TCSANOW, &saved);
  }
  ::close(fd);
}

void WriteStandardText(StandardStream stream, const std::string& text) {
  std::FILE* file = stream == streamOutput ? stdout : stderr;
  std::fflush(stdout);
  std::fputs(text.c_str(), file);
  std::fflush(file);
}
