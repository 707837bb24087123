// A batch of lines on its way through the pass: their text (trimmed), their
// fingerprints, the index's verdict on each, and what the reader saw with
// them. A batch is filled by one thread, its lines are then decided lane by
// lane (possibly by several threads at once, each lane's lines by one) and
// finally written in order.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "dedup/DuplicateIndex.h"
#include "dedup/LineFingerprinter.h"

struct CLineBatch {
  static constexpr uint32_t kMaxLines = 16384;
  // A batch is full once its text reaches this size; the last line added may
  // pass it by up to kMaxCopiedLine bytes.
  static constexpr uint32_t kTextSize = 512 * 1024;
  // Longer lines are not copied: the reader lends its buffer and stops until
  // the batch has been written.
  static constexpr int32_t kMaxCopiedLine = 64 * 1024;

  struct Line {
    uint32_t offset;  // in text; kBorrowed for the borrowed line
    int32_t length;   // of the text, which the fingerprint's compared text need not have
    LineFingerprint fingerprint;
  };
  static constexpr uint32_t kBorrowed = UINT32_MAX;

  std::unique_ptr<char[]> text{new char[kTextSize + kMaxCopiedLine]};
  uint32_t textSize = 0;
  std::unique_ptr<Line[]> lines{new Line[kMaxLines + 1]};
  uint32_t lineCount = 0;
  // A line too long to copy, left in the reader's buffer; always the last.
  const char* borrowed = nullptr;

  // Where each line's text can be read again (CLineTexts), in a run that
  // tells lines apart by their texts; null otherwise.
  std::unique_ptr<uint64_t[]> locations;

  // The index's verdict on each line, set lane by lane.
  std::unique_ptr<LineVerdict[]> verdicts{new LineVerdict[kMaxLines + 1]};
  // The lines of each lane, in order: laneLines[laneStart[l]] up to
  // laneLines[laneStart[l + 1]].
  std::unique_ptr<uint16_t[]> laneLines{new uint16_t[kMaxLines + 1]};
  std::vector<uint32_t> laneStart;
  std::vector<uint32_t> laneNext;  // SortIntoLanes's room

  const CCaseFolder* folder = nullptr;  // for the fingerprints still to take
  uint64_t bytesRead = 0;               // source bytes taken up to the end of this batch
  uint64_t blankLinesDropped = 0;
  bool fingerprinted = false;  // set under the pass's schedule's lock
  bool flush = false;          // the source waits: the outputs go out after these lines
  std::exception_ptr error;    // the source failed after these lines

  // line holds length bytes, at most kMaxCopiedLine. The next line added is
  // lines[lineCount].
  void Add(const char* line, int32_t length, const LineFingerprint& fingerprint) {
    lines[lineCount++] = {textSize, length, fingerprint};
    std::memcpy(text.get() + textSize, line, static_cast<size_t>(length));
    textSize += static_cast<uint32_t>(length);
  }
  void Borrow(const char* line, int32_t length, const LineFingerprint& fingerprint) {
    lines[lineCount++] = {kBorrowed, length, fingerprint};
    borrowed = line;
  }
  // The location of the line added last.
  void Locate(uint64_t location) { locations[lineCount - 1] = location; }
  bool Full() const { return lineCount == kMaxLines || textSize >= kTextSize || borrowed; }
  const char* TextOf(const Line& line) const { return line.offset == kBorrowed ? borrowed : text.get() + line.offset; }

  // Deals the lines out to `lanes` lanes by their fingerprints' parts
  // (allocating nothing after the first time).
  void SortIntoLanes(uint32_t lanes) {
    laneStart.assign(lanes + 1, 0);
    laneNext.resize(lanes);
    for (uint32_t i = 0; i < lineCount; ++i) ++laneStart[LaneOf(lines[i].fingerprint, lanes) + 1];
    for (uint32_t l = 0; l < lanes; ++l) {
      laneStart[l + 1] += laneStart[l];
      laneNext[l] = laneStart[l];
    }
    for (uint32_t i = 0; i < lineCount; ++i) {
      laneLines[laneNext[LaneOf(lines[i].fingerprint, lanes)]++] = static_cast<uint16_t>(i);
    }
  }
  static uint32_t LaneOf(const LineFingerprint& fingerprint, uint32_t lanes) {
    return CDuplicateIndex::LaneOf(fingerprint, lanes);
  }

  // The memory a batch holds once its arrays have been written.
  static constexpr uint64_t kBytes =
      kTextSize + kMaxCopiedLine + (kMaxLines + 1) * (sizeof(Line) + sizeof(LineVerdict) + sizeof(uint16_t));

  void Clear() {
    textSize = 0;
    lineCount = 0;
    borrowed = nullptr;
    bytesRead = 0;
    blankLinesDropped = 0;
    fingerprinted = false;
    flush = false;
    error = nullptr;
  }
};
