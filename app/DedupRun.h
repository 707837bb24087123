// One run of the tool: checks, opens, the read-filter-write pass over the
// exclusion lists and the source, and the second reading when memory ran short.
#pragma once

#include <string>

#include "app/DedupCommandLineInfo.h"
#include "app/RunProgress.h"

enum ExitStatus : int {
  exitDone = 0,
  exitFailed = 1,
  exitUsage = 2,
};

// Reports a mistaken command line, or prints the help or version text (a
// failure when standard output does not take it); prints the usage text and
// waits for a key when a name is missing; refuses a target named like the
// source; opens the files and runs the pass. Errors of the open files
// propagate as exceptions. After a completed run that changed text
// (characters the code page lacks), *notice is set to a line for standard
// error, without the program's name; it stays empty otherwise.
int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress = nullptr,
             std::string* notice = nullptr);
