// rowsift: removes duplicate lines from a text file, keeping the first
// occurrence of every line in source order.
#include <cstdio>
#include <exception>
#include <new>

#include "app/DedupCommandLineInfo.h"
#include "app/DedupRun.h"

int main(int argc, char** argv) {
  CDedupCommandLineInfo info;
  ParseCommandLine(argc, argv, info);
  try {
    return RunDedup(info);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("rowsift: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "rowsift: %s\n", e.what());
  }
  return exitFailed;
}
