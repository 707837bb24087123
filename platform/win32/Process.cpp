#include "platform/Process.h"

#include <string>
#include <vector>

#include "platform/win32/WinApi.h"
// After <windows.h>, whose types it uses.
#include <shellapi.h>

void PrepareProcess() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

void ParseProcessCommandLine(int argc, char** argv, CCommandLineInfo& info) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) {
    ParseCommandLine(argc, argv, info);
    return;
  }
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(NarrowToUtf8(wide[i], std::wcslen(wide[i])));
  ::LocalFree(wide);
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  ParseCommandLine(count, pointers.data(), info);
}
