// A batch of lines on its way from the reading thread to the deciding one:
// their text (trimmed), their fingerprints and what the reader saw with them.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "dedup/LineFingerprinter.h"
#include "textfile/TextFile.h"

struct CLineBatch {
  static constexpr uint32_t kMaxLines = 256;
  // A batch is sent once its text reaches this size; the last line added may
  // pass it by up to kMaxCopiedLine bytes.
  static constexpr uint32_t kTextSize = 64 * 1024;
  // Longer lines are not copied: the reader lends its buffer and waits.
  static constexpr int32_t kMaxCopiedLine = 64 * 1024;

  struct Line {
    uint32_t offset;              // in text
    int32_t length;               // of the text, which the fingerprint's length need not be
    LineFingerprint fingerprint;  // lengthCode kNotTaken: left to the deciding thread
  };
  static constexpr uint16_t kNotTaken = 0;  // no fingerprint has this length code

  std::unique_ptr<char[]> text{new char[kTextSize + kMaxCopiedLine]};
  uint32_t textSize = 0;
  Line lines[kMaxLines];
  uint32_t lineCount = 0;
  // A line too long to copy, left in the reader's buffer; it comes after
  // `lines`, and the reader waits until it has been decided.
  const char* borrowed = nullptr;
  int32_t borrowedLength = 0;
  LineFingerprint borrowedFingerprint{};

  // The folder for the fingerprints left to the deciding thread.
  const CCaseFolder* folder = nullptr;

  EolStyle eolStyle = eolCrLf;  // the source's line-ending style
  uint64_t bytesRead = 0;       // source bytes taken up to this batch
  uint64_t blankLinesDropped = 0;
  bool last = false;         // nothing follows
  bool flush = false;        // the source waits: the target's buffer goes out after these
  std::exception_ptr error;  // the source failed after these lines

  // line holds length bytes, at most kMaxCopiedLine.
  // The next line added is lines[lineCount].
  void Add(const char* line, int32_t length, const LineFingerprint& fingerprint) {
    lines[lineCount++] = {textSize, length, fingerprint};
    std::memcpy(text.get() + textSize, line, static_cast<size_t>(length));
    textSize += static_cast<uint32_t>(length);
  }
  bool Full() const { return lineCount == kMaxLines || textSize >= kTextSize; }
  const char* TextOf(const Line& line) const { return text.get() + line.offset; }

  void Clear() {
    textSize = 0;
    lineCount = 0;
    borrowed = nullptr;
    blankLinesDropped = 0;
    last = false;
    flush = false;
    error = nullptr;
  }
};
