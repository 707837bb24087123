// Stand-in for the framework's command-line record and scan: each argument is
// handed to ParseParam as a switch (without its leading character) or a name.
#pragma once

class CCommandLineInfo {
 public:
  virtual ~CCommandLineInfo() = default;
  // Sees every argument whole before the scan sorts it into a switch or a
  // name; true when it took the argument, which then goes no further. The
  // framework's record takes none; extensions (long options and their
  // values, which a '/' or '-' must not cut) are read here.
  virtual bool ParseWholeArgument(const char* /*arg*/) { return false; }
  virtual void ParseParam(const char* param, bool isSwitch, bool isLast) = 0;
};

// An argument is a switch when it begins with '-' and has more after it, or
// begins with '/' while the rest holds no '/' and no '.': "/r" and "/" are
// switches; "-", "/tmp/in.txt" and "/data.txt" are names.
bool IsSwitchArgument(const char* arg);

void ParseCommandLine(int argc, const char* const* argv, CCommandLineInfo& info);
