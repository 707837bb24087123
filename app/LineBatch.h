// A batch of lines on its way from the reading thread to the deciding one:
// their text (trimmed), their fingerprints and what the reader saw with them.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "dedup/LineFingerprinter.h"
#include "textfile/TextFile.h"

struct CLineBatch {
  struct Line {
    size_t offset;  // in text
    LineFingerprint fingerprint;
  };

  std::vector<char> text;
  std::vector<Line> lines;
  // A line too long to copy, left in the reader's buffer; it comes after
  // `lines`, and the reader waits until it has been decided.
  const char* borrowed = nullptr;
  LineFingerprint borrowedFingerprint{};

  int32_t eolStyle = eolCrLf;     // the source's line-ending style
  uint64_t bytesRead = 0;         // source bytes taken up to this batch
  uint64_t blankLinesDropped = 0;
  bool last = false;              // nothing follows
  std::exception_ptr error;       // the source failed after these lines

  void Add(const char* line, const LineFingerprint& fingerprint) {
    lines.push_back({text.size(), fingerprint});
    text.insert(text.end(), line, line + fingerprint.length);
  }
  void Clear() {
    text.clear();
    lines.clear();
    borrowed = nullptr;
    blankLinesDropped = 0;
    last = false;
    error = nullptr;
  }
};
