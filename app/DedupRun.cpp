#include "app/DedupRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/DedupPass.h"
#include "app/LineDecider.h"
#include "app/LineTexts.h"
#include "app/LongOptions.h"
#include "app/Messages.h"
#include "app/RunStats.h"
#include "app/SecondReading.h"
#include "dedup/Fingerprints.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/File.h"
#include "platform/RunFiles.h"
#include "platform/SystemResources.h"
#include "platform/Terminal.h"
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

// After the options in --help.
const char kNamesHelp[] = "A name of - is standard input as source_file, standard output as target_file.\n";
// Last in --help: the options that answer questions other tools of this kind
// are asked most, by example.
const char kExamplesHelp[] =
    "Examples:\n"
    "\trowsift words.txt out.txt --exact         - no two different lines merged, ever\n"
    "\trowsift words.txt once.txt --unique       - the lines that occur once (uniq -u, unsorted)\n"
    "\trowsift app.log repeats.txt --repeated /c - each line that repeats, once (uniq -d, unsorted)\n"
    "\trowsift words.txt out.txt --stats         - lines read, written, dropped... on standard error\n";

// Standard output may be a full disk or a closed pipe: a text that did not
// arrive there makes the run fail, as in other tools.
int FinishStandardOutput(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const int error = errno;
  std::fprintf(stderr, "rowsift: standard output: write failed: %s\n", std::strerror(error));
  return exitFailed;
}

// The message on standard output has no line end; the reason follows on
// standard error for people and scripts. A message that goes elsewhere (see
// MessageStream) ends its line.
int ReportOpenFailure(const char* message, const std::string& name, const std::string& reason) {
  const std::optional<StandardStream> out = MessageStream(streamOutput), err = MessageStream(streamError);
  if (out) WriteStandardText(*out, message + name + (out == streamOutput && err != out ? "" : "\n"));
  if (err) WriteStandardText(*err, "rowsift: " + (name.empty() ? "''" : name) + ": " + reason + "\n");
  return exitFailed;
}

// The budget without --memory: what the machine can give once the pass's
// threads run (threads - 1 besides this one, and a reader for a stream), less
// a margin for what else a run holds (buffers, the room kept to start setting
// lines aside, the code page's tables).
uint64_t MachineBudget(uint32_t threads) {
  const uint64_t available = QueryAvailableMemory(threads);
  if (available == UINT64_MAX) return CDuplicateIndex::kUnlimited;
  const uint64_t margin = available / 8 + (uint64_t{32} << 20);
  return available > margin + (uint64_t{1} << 20) ? available - margin : uint64_t{1} << 20;
}

// The index's share of --memory: what the pass's buffers leave of it, but
// at least 1 MiB (or the whole of a smaller budget, which cannot bound the
// process anyway), so that a small budget sets lines aside rather than fails.
uint64_t IndexBudget(uint64_t memory, uint32_t threads) {
  const uint64_t buffers = CDedupPass::BufferBytes(threads);
  return std::max(memory > buffers ? memory - buffers : 0, std::min(memory, uint64_t{1} << 20));
}

}  // namespace

int RunDedup(const CDedupCommandLineInfo& info, const ProgressCallback& progress, std::vector<std::string>* notices) {
  const int64_t startMs = MonotonicMs();
  if (const std::string error = info.UsageError(); !error.empty()) {
    std::fprintf(stderr, "rowsift: %s (rowsift --help lists the options)\n", error.c_str());
    return exitUsage;
  }
  if (info.m_bHelp) {
    std::fputs(kUsage, stdout);
    std::fputs(LongOptionsHelp().c_str(), stdout);
    std::fputs(kNamesHelp, stdout);
    std::fputs(kExamplesHelp, stdout);
    return FinishStandardOutput(exitDone);
  }
  if (info.m_bVersion) {
    std::fputs("rowsift " ROWSIFT_VERSION "\n", stdout);
    return FinishStandardOutput(exitDone);
  }
  if (!info.HasBothNames()) {
    std::fputs(kUsage, stdout);
    const int status = FinishStandardOutput(exitUsage);
    if (status == exitUsage) WaitForKey();
    return status;
  }
  if (FileNamesEqual(info.m_strSource, info.m_strTarget)) {
    NoteFileOfRun(info.m_strSource);
    const std::string text = "Source file is identical to target file! \n" + info.m_strSource;
    if (const auto out = MessageStream(streamOutput)) WriteStandardText(*out, out == streamOutput ? text : text + "\n");
    return exitFailed;
  }

  // The fingerprints' secret, drawn before any file is opened: without a
  // random source there is no run, rather than fingerprints one could forge.
  try {
    ProcessFingerprintKey();
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "rowsift: %s\n", e.what());
    return exitFailed;
  }

  std::string reason;
  CTextFile source(info.m_nEncoding);
  if (!source.Open(info.m_strSource, CFile::modeRead | CFile::shareDenyNone, &reason, "the source file")) {
    return ReportOpenFailure("Failed to open source file ", info.m_strSource, reason);
  }
  // The exclusion lists are checked before the outputs are opened, so that an
  // output that is one of them is refused before anything is cut; they are
  // then let go of and read one at a time, so that any number of them fit in
  // the files a process may hold open.
  std::vector<std::unique_ptr<CTextFile>> lists;
  for (const std::string& name : info.m_exclusionLists) {
    lists.push_back(std::make_unique<CTextFile>(info.m_nEncoding));
    if (!lists.back()->Open(name, CFile::modeRead | CFile::shareDenyNone, &reason, "an exclusion list")) {
      return ReportOpenFailure("Failed to open exclusion list ", name, reason);
    }
    lists.back()->Suspend();
  }
  // The folder is tried now rather than when memory runs short, halfway
  // through the run and after the target was cut.
  const std::string tempDir = info.m_strTempDir.empty() ? DefaultTempDir() : info.m_strTempDir;
  try {
    CFile probe;
    probe.CreateTemporary(tempDir);
  } catch (const CFileException& e) {
    return ReportOpenFailure("Failed to open temporary folder ", tempDir, e.Reason());
  }

  // The outputs are 8-bit text whatever the source: UTF-16 is converted as it
  // is read. Both are checked against every file of the run before either is
  // cut.
  const unsigned create = CFile::modeCreate | CFile::modeWrite | CFile::modeNoTruncate;
  CTextFile target(encAnsi);
  if (!target.Open(info.m_strTarget, create, &reason, "the target file")) {
    return ReportOpenFailure("Failed to open target file ", info.m_strTarget, reason);
  }
  std::unique_ptr<CTextFile> duplicates;
  if (!info.m_strDuplicates.empty()) {
    duplicates = std::make_unique<CTextFile>(encAnsi);
    if (!duplicates->Open(info.m_strDuplicates, create, &reason, "the duplicates file")) {
      return ReportOpenFailure("Failed to open duplicates file ", info.m_strDuplicates, reason);
    }
  }
  target.Cut();
  if (duplicates) duplicates->Cut();

  const uint32_t threads = info.m_nThreads ? info.m_nThreads : QueryUsableProcessors();
  const uint32_t lanes = std::clamp<uint32_t>(threads, 1, CDuplicateIndex::kParts);
  std::unique_ptr<CLineTexts> texts;
  if (info.m_bExact) texts = std::make_unique<CLineTexts>(info.m_nOptions, tempDir, lanes);
  CLineDecider decider(info.m_nMemory ? IndexBudget(info.m_nMemory, threads) : MachineBudget(threads), tempDir, lanes,
                       info.m_nSelection, texts.get());
  const ProgressCallback none;
  try {
    for (std::unique_ptr<CTextFile>& list : lists) {
      if (!list->Resume(&reason)) {
        return ReportOpenFailure("Failed to open exclusion list ", list->GetFileName(), reason);
      }
      decider.BeginInput(*list, nullptr, nullptr);
      CDedupPass(*list, decider, info.m_nOptions, none, threads).Run();
      list.reset();  // its buffers and its file
    }
    decider.BeginInput(source, &target, duplicates.get());
    // A progress line would land among the lines on a terminal target, or
    // among those typed on a terminal source.
    const ProgressCallback& shown = target.IsTerminal() || source.IsTerminal() ? none : progress;
    CDedupPass pass(source, decider, info.m_nOptions, shown, threads);
    pass.Run();
    if (decider.Deferred()) {
      FinishWithSecondReading(decider, source, target, duplicates.get(), info.m_nOptions, shown);
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
  const uint64_t unmapped = source.GetUnmappedCount();
  if (notices && unmapped > 0) {
    notices->push_back(info.m_strSource + ": " + std::to_string(unmapped) + " characters have no form in code page " +
                       CCodePage::System().Codeset() + " and were written as '?'");
  }
  if (notices && info.m_bStats) {
    RunStats stats = decider.Stats();
    stats.unmapped = unmapped;
    stats.bytesRead = source.GetBytesRead();
    stats.milliseconds = static_cast<uint64_t>(MonotonicMs() - startMs);
    stats.peakMemory = QueryPeakMemory();
    notices->push_back("stats: " + FormatRunStats(stats));
  }
  return exitDone;
}
