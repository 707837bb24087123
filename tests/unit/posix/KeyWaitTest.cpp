// The key wait after the usage text, on a pseudo-terminal that has a key
// typed ahead: whether the wait took it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Console.h"

// Only a terminal showing the usage text is waited on: with standard output
// redirected, nobody would know why the program does not end.
TEST(KeyWaitPosix, WaitsOnlyWhenStandardOutputIsTheTerminal) {
  for (const bool outputOnTerminal : {true, false}) {
    SCOPED_TRACE(outputOnTerminal ? "output on the terminal" : "output redirected");
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string name = ::ptsname(master);
    const int terminal = ::open(name.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    // Typed ahead: the line is there before the wait begins.
    ASSERT_EQ(::write(master, "x\n", 2), 2);
    pollfd typed = {terminal, POLLIN, 0};
    ASSERT_EQ(::poll(&typed, 1, -1), 1);

    const pid_t child = ::fork();
    if (child == 0) {
      // A session of its own, whose controlling terminal is this one.
      if (::setsid() < 0 || ::open(name.c_str(), O_RDWR) < 0) ::_exit(2);
      if (!outputOnTerminal && ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO) < 0) ::_exit(2);
      if (outputOnTerminal && ::dup2(terminal, STDOUT_FILENO) < 0) ::_exit(2);
      WaitForKey();
      ::_exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    int pending = -1;
    ASSERT_EQ(::ioctl(terminal, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, outputOnTerminal ? 1 : 2) << "bytes left of \"x\\n\"";
    ::close(terminal);
    ::close(master);
  }
}
