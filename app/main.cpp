// rowsift: removes duplicate lines from a text file, keeping the first
// occurrence of every line in source order.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "app/DedupCommandLineInfo.h"
#include "app/DedupRun.h"
#include "app/Progress.h"

int main(int argc, char** argv) {
  CDedupCommandLineInfo info;
  ParseCommandLine(argc, argv, info);
  // Drawn on standard error only when it is a terminal and the run is long.
  CProgressLine progressLine(STDERR_FILENO);
  try {
    std::string notice;
    const int status = RunDedup(info, progressLine.Callback(), &notice);
    progressLine.Erase();
    if (!notice.empty()) std::fprintf(stderr, "rowsift: %s\n", notice.c_str());
    return status;
  } catch (const std::bad_alloc&) {
    progressLine.Erase();
    std::fflush(stdout);
    std::fputs("rowsift: out of memory\n", stderr);
  } catch (const std::exception& e) {
    progressLine.Erase();
    std::fflush(stdout);
    std::fprintf(stderr, "rowsift: %s\n", e.what());
  }
  return exitFailed;
}
