// Composition of UTF-16 text for a code page with precomposed characters: a
// base character followed by combining marks becomes the precomposed
// character where the code page has one (e + U+0301 becomes e-acute in
// CP1252). Text without marks is copied as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/CodePage.h"

class CSequenceComposer {
 public:
  // Null when the system has no composition data (see platform/Composition.h).
  static std::unique_ptr<CSequenceComposer> Create(const CCodePage& codePage);
  explicit CSequenceComposer(const CCodePage& codePage);

  // Marks after the first kMaxMarks of a sequence are never tried: the
  // longest canonical decomposition in Unicode holds three marks (U+1F82),
  // and a fourth leaves room for a mark of another class among them.
  static constexpr int kMaxMarks = 4;

  // Writes units[begin, end) to out, every combining sequence composed, at
  // most room units (at least 64); sets *written and returns the position
  // reached. A sequence whose composed form does not fit waits for the next
  // call, unless nothing was written before it: then as much of it as fits
  // goes out.
  size_t Compose(const char16_t* units, size_t begin, size_t end, char16_t* out, size_t room, size_t* written);

  // Where the units before end may be cut for the next block: before the last
  // base character, which may still gain marks, and never between the halves
  // of a surrogate pair. Past kMaxMarks marks the sequence is not composed
  // any further, so it may be cut anywhere.
  size_t SafeEnd(const char16_t* units, size_t begin, size_t end);

 private:
  enum Class : uint8_t {
    kUnknown = 0,  // not looked up yet; surrogates stay so
    kPlain,        // stands alone and is in its composed form
    kJoins,        // may join the character before it (a combining mark)
    kChanges       // stands alone but its composed form differs (U+212B becomes U+00C5)
  };
  // Below U+0300 no character joins the one before it or changes when composed.
  static constexpr char16_t kFirstComposing = 0x300;
  static constexpr size_t kMaxHead = 64;

  // The class of the character at units[i], i < end.
  Class ClassAt(const char16_t* units, size_t i, size_t end) {
    const char16_t u = units[i];
    if (u < kFirstComposing) return kPlain;
    const uint8_t known = m_pClass[u];
    return known != kUnknown ? static_cast<Class>(known) : LookUpClass(units, i, end);
  }
  Class LookUpClass(const char16_t* units, size_t i, size_t end);
  static Class ClassOf(int32_t c);
  bool CanEncodeAll(const char16_t* units, size_t n);
  // The composed head of one sequence into head (kMaxHead units), its length
  // in *headLength; returns how many units of the sequence the head stands
  // for. The rest of the sequence follows unchanged.
  size_t ComposeHead(const char16_t* sequence, size_t length, char16_t* head, size_t* headLength);
  size_t ComposeHeadUncached(const char16_t* sequence, size_t length, char16_t* head, size_t* headLength);

  const CCodePage& m_codePage;
  // Per BMP character, filled a page of 256 at a time on first use.
  std::unique_ptr<uint8_t[]> m_pClass;
  std::unique_ptr<uint8_t[]> m_pEncodable;  // 0 unknown, 1 yes, 2 no

  // The heads of the last base-and-mark pairs seen: most text uses few of
  // them, again and again.
  struct PairEntry {
    uint32_t key;  // base << 16 | mark; 0 for none
    uint8_t length;
    uint8_t covered;
    char16_t head[3];
  };
  static constexpr size_t kPairCacheSize = 1024;
  std::unique_ptr<PairEntry[]> m_pPairs;
};
