#include "platform/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

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
  ::tcsetattr(fd, TCSANOW, &raw);

  char key = 0;
  ssize_t n;
  do {
    n = ::read(fd, &key, 1);
  } while (n < 0 && errno == EINTR);
  if (n == 1 && key == '\x1b') DrainEscapeSequence(fd);

  ::tcsetattr(fd, TCSANOW, &saved);
  ::close(fd);
}
