#include "platform/CommandLine.h"

#include <cstring>

bool IsSwitchArgument(const char* arg) {
  // A bare "-" is the name of the standard input or output, as in other tools.
  if (arg[0] == '-') return arg[1] != '\0';
  return arg[0] == '/' && std::strpbrk(arg + 1, "/.") == nullptr;
}

void ParseCommandLine(int argc, const char* const* argv, CCommandLineInfo& info) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool isLast = i + 1 == argc;
    if (info.ParseWholeArgument(arg)) continue;
    if (IsSwitchArgument(arg)) {
      info.ParseParam(arg + 1, true, isLast);
    } else {
      info.ParseParam(arg, false, isLast);
    }
  }
}
