// One run of the tool: checks, opens, the read-filter-write pass over the
// exclusion lists and the source, and the second reading when memory ran short.
#pragma once

#include <string>
#include <vector>

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
// propagate as exceptions. After a completed run, *notices takes the lines
// for standard error, each without the program's name and line end: one when
// text changed (characters the code page lacks), one of figures with --stats.
int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress = nullptr,
             std::vector<std::string>* notices = nullptr);
