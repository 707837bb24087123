#include "app/DedupRun.h"

#include <cstdio>
#include <string>

#include "app/DedupPass.h"
#include "app/LongOptions.h"
#include "platform/Console.h"
#include "platform/File.h"
#include "textfile/TextFile.h"

namespace {

const char kUsage[] =
    "Culltext rowsift, made by the Culltext team\n"
    "Culltext v1.0: remove duplicate lines in text file.\n"
    "Usage: rowsift.exe source_file target_file [options]\n"
    "Available options:\n"
    "\t/r  - Remove blank lines\n"
    "\t/b  - strip blanks from line Beginning\n"
    "\t/e  - strip blanks from line Ending\n"
    "\t/c  - Case sensitive\n";

// The message on standard output has no line end; the reason follows on
// standard error for people and scripts.
int ReportOpenFailure(const char* message, const std::string& name, const std::string& reason) {
  std::fputs(message, stdout);
  std::fputs(name.c_str(), stdout);
  std::fflush(stdout);
  std::fprintf(stderr, "rowsift: %s: %s\n", name.empty() ? "''" : name.c_str(), reason.c_str());
  return exitFailed;
}

}  // namespace

int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress) {
  if (const std::string error = info.UsageError(); !error.empty()) {
    std::fprintf(stderr, "rowsift: %s (rowsift --help lists the options)\n", error.c_str());
    return exitUsage;
  }
  if (info.m_bHelp) {
    std::fputs(kUsage, stdout);
    std::fputs(LongOptionsHelp().c_str(), stdout);
    return exitDone;
  }
  if (info.m_bVersion) {
    std::fputs("rowsift " ROWSIFT_VERSION "\n", stdout);
    return exitDone;
  }
  if (!info.HasBothNames()) {
    std::fputs(kUsage, stdout);
    WaitForKey();
    return exitUsage;
  }
  if (FileNamesEqual(info.m_strSource, info.m_strTarget)) {
    std::fputs("Source file is identical to target file! \n", stdout);
    std::fputs(info.m_strSource.c_str(), stdout);
    return exitFailed;
  }

  std::string reason;
  CTextFile source(encAutoDetect);
  if (!source.Open(info.m_strSource, CFile::modeRead | CFile::shareDenyNone, &reason)) {
    return ReportOpenFailure("Failed to open source file ", info.m_strSource, reason);
  }
  // Constructed before anything is read, so the target writes 8-bit text.
  CTextFile target(source.m_nEncoding);
  if (!target.Open(info.m_strTarget, CFile::modeCreate | CFile::modeWrite, &reason)) {
    return ReportOpenFailure("Failed to open target file ", info.m_strTarget, reason);
  }

  // A progress line would land among the lines on a terminal target.
  const ProgressCallback none;
  CDedupPass pass(source, target, info.m_nOptions, target.IsTerminal() ? none : progress);
  pass.Run();
  target.FlushBuffer();
  target.Close();
  return exitDone;
}
