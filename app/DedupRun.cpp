#include "app/DedupRun.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/DedupPass.h"
#include "app/LineDecider.h"
#include "app/LongOptions.h"
#include "app/SecondReading.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/File.h"
#include "platform/SystemResources.h"
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

// Messages go to standard output, unless that is the source itself (its
// refusal must not write into it).
std::FILE* MessageStream(const std::string& source) { return StandardOutputIsFile(source) ? stderr : stdout; }

// The message on standard output has no line end; the reason follows on
// standard error for people and scripts.
int ReportOpenFailure(const char* message, const std::string& name, const std::string& reason,
                      const std::string& source) {
  std::FILE* out = MessageStream(source);
  std::fputs(message, out);
  std::fputs(ConsoleText(name).c_str(), out);
  if (out == stderr) std::fputc('\n', out);
  std::fflush(out);
  std::fprintf(stderr, "rowsift: %s: %s\n", name.empty() ? "''" : ConsoleText(name).c_str(),
               ConsoleText(reason).c_str());
  return exitFailed;
}

// The budget without --memory: what the machine can give, less a margin for
// what else a run holds (buffers, the code page's tables, thread stacks).
uint64_t MachineBudget() {
  const uint64_t available = QueryAvailableMemory();
  if (available == UINT64_MAX) return CDuplicateIndex::kUnlimited;
  const uint64_t margin = available / 8 + (uint64_t{32} << 20);
  return available > margin + (uint64_t{1} << 20) ? available - margin : uint64_t{1} << 20;
}

}  // namespace

int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress, std::string* notice) {
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
    std::FILE* out = MessageStream(info.m_strSource);
    std::fputs("Source file is identical to target file! \n", out);
    std::fputs(ConsoleText(info.m_strSource).c_str(), out);
    if (out == stderr) std::fputc('\n', out);
    return exitFailed;
  }

  std::string reason;
  CTextFile source(info.m_nEncoding);
  if (!source.Open(info.m_strSource, CFile::modeRead | CFile::shareDenyNone, &reason, "the source file")) {
    return ReportOpenFailure("Failed to open source file ", info.m_strSource, reason, info.m_strSource);
  }
  // The exclusion lists are open before the outputs, so that an output that
  // is one of them is refused before anything is cut.
  std::vector<std::unique_ptr<CTextFile>> lists;
  for (const std::string& name : info.m_exclusionLists) {
    lists.push_back(std::make_unique<CTextFile>(info.m_nEncoding));
    if (!lists.back()->Open(name, CFile::modeRead | CFile::shareDenyNone, &reason, "an exclusion list")) {
      return ReportOpenFailure("Failed to open exclusion list ", name, reason, info.m_strSource);
    }
  }
  // A folder given on the command line is tried now rather than when memory
  // runs short, halfway through the run.
  const std::string tempDir = info.m_strTempDir.empty() ? DefaultTempDir() : info.m_strTempDir;
  if (!info.m_strTempDir.empty()) {
    try {
      CFile probe;
      probe.CreateTemporary(tempDir);
    } catch (const CFileException& e) {
      return ReportOpenFailure("Failed to open temporary folder ", tempDir, e.Reason(), info.m_strSource);
    }
  }

  // The outputs are 8-bit text whatever the source: UTF-16 is converted as it
  // is read. Both are checked against every file of the run before either is
  // cut.
  const unsigned create = CFile::modeCreate | CFile::modeWrite | CFile::modeNoTruncate;
  CTextFile target(encAnsi);
  if (!target.Open(info.m_strTarget, create, &reason, "the target file")) {
    return ReportOpenFailure("Failed to open target file ", info.m_strTarget, reason, info.m_strSource);
  }
  std::unique_ptr<CTextFile> duplicates;
  if (!info.m_strDuplicates.empty()) {
    duplicates = std::make_unique<CTextFile>(encAnsi);
    if (!duplicates->Open(info.m_strDuplicates, create, &reason, "the duplicates file")) {
      return ReportOpenFailure("Failed to open duplicates file ", info.m_strDuplicates, reason, info.m_strSource);
    }
  }
  target.Cut();
  if (duplicates) duplicates->Cut();

  CLineDecider decider(info.m_nMemory ? info.m_nMemory : MachineBudget(), tempDir);
  const ProgressCallback none;
  try {
    for (std::unique_ptr<CTextFile>& list : lists) {
      decider.BeginInput(*list, nullptr, nullptr);
      CDedupPass pass(*list, decider, info.m_nOptions, none);
      pass.Run();
    }
    decider.BeginInput(source, &target, duplicates.get());
    // A progress line would land among the lines on a terminal target.
    CDedupPass pass(source, decider, info.m_nOptions, target.IsTerminal() ? none : progress);
    pass.Run();
    if (decider.Spilled()) {
      decider.SiftSpilled();
      WriteUndecidedLines(decider, source, target, duplicates.get(), info.m_nOptions, source.m_nEolStyle);
    }
  } catch (const CFileException& e) {
    // A full temporary folder: the outputs keep every line decided so far.
    if (e.IsTemporary()) {
      target.FlushBuffer();
      if (duplicates) duplicates->FlushBuffer();
    }
    throw;
  }
  target.FlushBuffer();
  target.Close();
  if (duplicates) {
    duplicates->FlushBuffer();
    duplicates->Close();
  }
  // The '?' written for missing characters may have merged distinct lines:
  // said once, at the end. A run stopped by an error says only that.
  if (const uint64_t unmapped = source.GetUnmappedCount(); notice && unmapped > 0) {
    *notice = info.m_strSource + ": " + std::to_string(unmapped) + " characters have no form in code page " +
              CCodePage::System().Codeset() + " and were written as '?'";
  }
  return exitDone;
}
