#include "app/DedupRun.h"

#include <cstdio>
#include <string>

#include "app/DedupPass.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
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

// Equal ignoring the case of A to Z and nothing else.
bool NamesEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The message on standard output has no line end; the reason follows on
// standard error for people and scripts.
int ReportOpenFailure(const char* message, const std::string& name, const std::string& reason) {
  std::fputs(message, stdout);
  std::fputs(name.c_str(), stdout);
  std::fflush(stdout);
  std::fprintf(stderr, "rowsift: %s: %s\n", name.c_str(), reason.c_str());
  return exitFailed;
}

}  // namespace

int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress, std::string* notice) {
  if (info.m_strSource.empty() || info.m_strTarget.empty()) {
    std::fputs(kUsage, stdout);
    WaitForKey();
    return exitUsage;
  }
  if (NamesEqual(info.m_strSource, info.m_strTarget)) {
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

  CDedupPass pass(source, target, info.m_nOptions, progress);
  pass.Run();
  target.FlushBuffer();
  target.Close();
  // The '?' written for missing characters may have merged distinct lines:
  // said once, at the end. A run stopped by an error says only that.
  if (const uint64_t unmapped = source.GetUnmappedCount(); notice && unmapped > 0) {
    *notice = info.m_strSource + ": " + std::to_string(unmapped) + " characters have no form in code page " +
              CCodePage::System().Codeset() + " and were written as '?'";
  }
  return exitDone;
}
