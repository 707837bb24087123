#include "platform/Process.h"

void PrepareProcess() {}

void ParseProcessCommandLine(int argc, char** argv, CCommandLineInfo& info) { ParseCommandLine(argc, argv, info); }
