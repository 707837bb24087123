// What a process does before its work: the system's settings, and the
// command line it was started with.
#pragma once

#include "platform/CommandLine.h"

// On Windows, the system shows no dialog box of its own when a file cannot be
// opened or a drive is not ready: such failures come back as results. Nothing
// to do elsewhere.
void PrepareProcess();

// Hands the process's arguments to info as ParseCommandLine does. On Windows
// they are taken from the UTF-16 command line rather than from argv, which
// holds them in the ANSI code page: a name outside it still opens.
void ParseProcessCommandLine(int argc, char** argv, CCommandLineInfo& info);
