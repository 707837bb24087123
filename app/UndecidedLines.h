// What the second reading of a run that set lines aside needs of the
// source's lines from the first undecided one (S) on.
//
// A regular file is read again; a check of each line's fingerprints goes to a
// temporary file, four bytes a line, so that a line that reads otherwise the
// second time stops the run rather than put lines in the wrong places.
//
// A pipe or terminal cannot be read again: the text of its lines goes to a
// temporary file instead, as they were offered (trimmed, in the code page),
// one to a line. They hold no LF, CR or NUL, so LF alone ends them, and no
// reader state (UTF-16 decoding, a line end split between reads) needs to be
// carried over as it would for the raw bytes. Those the index holds are
// copied too: the duplicates file takes them in order, and the second reading
// stays one loop for both kinds of source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dedup/FingerprintCheck.h"
#include "dedup/LineFingerprinter.h"
#include "dedup/TempRecordFile.h"
#include "dedup/TempSpace.h"
#include "textfile/TextFile.h"

class CUndecidedLines {
 public:
  CUndecidedLines(const CTextFile& source, const std::string& tempDir);

  // The source's next line, as offered, and its fingerprints.
  void Add(const char* line, int32_t length, const LineFingerprint& fingerprint) {
    if (m_pCopy) {
      m_pCopy->WriteLine(line, static_cast<uint32_t>(length), eolLf);
    } else {
      m_pChecks->Append(FingerprintCheck(fingerprint));
    }
  }

  // Starts the second reading: answers the copy of the lines, from its
  // start, or null when the source itself is read again.
  CTextFile* BeginSecondReading();
  // Whether the next line read again, as offered, has the fingerprints the
  // first reading took (always, for a copy, which is not fingerprinted).
  bool Matches(CLineFingerprinter& fingerprinter, const char* line, int32_t length, bool caseSensitive) {
    if (!m_pChecks) return true;
    uint32_t check = 0;
    return m_pChecks->Next(&check) && check == FingerprintCheck(fingerprinter.Take(line, length, caseSensitive));
  }

 private:
  std::unique_ptr<CTextFile> m_pCopy;
  std::unique_ptr<CTempSpace> m_pCheckSpace;
  std::unique_ptr<CTempRecordFile<uint32_t>> m_pChecks;
};
