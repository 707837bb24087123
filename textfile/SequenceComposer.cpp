#include "textfile/SequenceComposer.h"

#include <algorithm>

#include "platform/Composition.h"
#include "platform/Utf.h"

namespace {

// The end of the character that starts at units[i], i < end.
size_t NextChar(const char16_t* units, size_t i, size_t end) { return NextUtf16(units, i, end); }

// Copies n units, a few at most; returns the end of the copy.
char16_t* CopyUnits(char16_t* out, const char16_t* from, size_t n) {
  for (size_t k = 0; k < n; ++k) out[k] = from[k];
  return out + n;
}

size_t Finish(const char16_t* first, const char16_t* out, size_t reached, size_t* written) {
  *written = static_cast<size_t>(out - first);
  return reached;
}

}  // namespace

std::unique_ptr<CSequenceComposer> CSequenceComposer::Create(const CCodePage& codePage) {
  if (!HasCompositionData()) return nullptr;
  return std::make_unique<CSequenceComposer>(codePage);
}

CSequenceComposer::CSequenceComposer(const CCodePage& codePage)
    : m_codePage(codePage),
      m_pClass(new uint8_t[0x10000]()),
      m_pEncodable(new uint8_t[0x10000]()),
      m_pPairs(new PairEntry[kPairCacheSize]()) {}

CSequenceComposer::Class CSequenceComposer::ClassOf(int32_t c) {
  if (JoinsPreviousCharacter(c)) return kJoins;
  return ChangesWhenComposed(c) ? kChanges : kPlain;
}

CSequenceComposer::Class CSequenceComposer::LookUpClass(const char16_t* units, size_t i, size_t end) {
  const char16_t u = units[i];
  if (IsSurrogate(u)) {
    // Characters beyond the BMP are rare: asked each time. An unpaired
    // surrogate stands alone.
    if (IsLeadSurrogate(u) && i + 1 < end && IsTrailSurrogate(units[i + 1])) {
      return ClassOf(SupplementaryOf(u, units[i + 1]));
    }
    return kPlain;
  }
  const int32_t first = u & 0xFF00;
  for (int32_t c = first; c < first + 0x100; ++c) m_pClass[c] = ClassOf(c);
  return static_cast<Class>(m_pClass[u]);
}

bool CSequenceComposer::CanEncodeAll(const char16_t* units, size_t n) {
  for (size_t i = 0; i < n;) {
    const int32_t c = DecodeUtf16(units, &i, n);
    if (c > 0xFFFF) {
      if (!m_codePage.CanEncode(c)) return false;
      continue;
    }
    uint8_t& known = m_pEncodable[c];
    if (known == 0) known = m_codePage.CanEncode(c) ? 1 : 2;
    if (known != 1) return false;
  }
  return true;
}

size_t CSequenceComposer::SafeEnd(const char16_t* units, size_t begin, size_t end) {
  size_t stop = end;
  if (stop > begin && IsLeadSurrogate(units[stop - 1])) --stop;
  // A control character (a line end) takes no marks: it need not wait, so a
  // pipe's line goes on whole without waiting for the next one.
  if (stop > begin && units[stop - 1] < 0x20) return stop;
  size_t i = stop;
  for (int marks = 0; i > begin; ++marks) {
    if (marks > kMaxMarks) return stop;
    const size_t start = PreviousUtf16(units, begin, i);
    if (ClassAt(units, start, stop) != kJoins) return start;
    i = start;
  }
  return begin;
}

size_t CSequenceComposer::Compose(const char16_t* units, size_t begin, size_t end, char16_t* out, size_t room,
                                  size_t* written) {
  char16_t* const first = out;
  char16_t* const last = out + room;
  size_t i = begin;
  while (i < end) {
    const char16_t u = units[i];
    if (u < kFirstComposing) {
      if (out == last) break;
      *out++ = u;
      ++i;
      continue;
    }
    const Class found = ClassAt(units, i, end);
    if (found == kPlain) {
      const size_t length = NextChar(units, i, end) - i;
      if (static_cast<size_t>(last - out) < length) break;
      out = CopyUnits(out, units + i, length);
      i += length;
      continue;
    }
    // A sequence. A mark joins the character before it, which went out
    // unchanged (a sequence before it would have taken the mark): take it back.
    size_t start = i;
    if (found == kJoins && i > begin) start = PreviousUtf16(units, begin, start);
    out -= i - start;
    size_t next = NextChar(units, i, end);
    while (next < end && ClassAt(units, next, end) == kJoins) next = NextChar(units, next, end);

    char16_t head[kMaxHead];
    size_t headLength = 0;
    size_t covered = ComposeHead(units + start, next - start, head, &headLength);
    size_t rest = next - start - covered;
    if (headLength + rest > static_cast<size_t>(last - out)) {
      if (out > first) return Finish(first, out, start, written);  // the sequence waits for the next call
      // A sequence longer than a whole block: its composed head, and as many
      // of its other marks, unchanged, as fit.
      if (headLength > room) covered = headLength = 0;
      rest = room - headLength;
      const char16_t* cut = units + start + covered + rest;
      if (rest > 0 && IsLeadSurrogate(cut[-1]) && IsTrailSurrogate(cut[0])) --rest;
      next = start + covered + rest;
    }
    out = CopyUnits(out, head, headLength);
    out = CopyUnits(out, units + start + covered, rest);
    i = next;
  }
  return Finish(first, out, i, written);
}

size_t CSequenceComposer::ComposeHead(const char16_t* sequence, size_t length, char16_t* head, size_t* headLength) {
  if (length != 2 || IsSurrogate(sequence[0]) || IsSurrogate(sequence[1])) {
    return ComposeHeadUncached(sequence, length, head, headLength);
  }
  const uint32_t key = uint32_t{sequence[0]} << 16 | sequence[1];
  PairEntry& entry = m_pPairs[(key * 0x9E3779B1u) >> 22];
  if (entry.key != key) {
    const size_t covered = ComposeHeadUncached(sequence, length, head, headLength);
    if (*headLength <= sizeof entry.head / sizeof entry.head[0]) {
      entry = {key, static_cast<uint8_t>(*headLength), static_cast<uint8_t>(covered), {}};
      std::copy(head, head + *headLength, entry.head);
    }
    return covered;
  }
  std::copy(entry.head, entry.head + entry.length, head);
  *headLength = entry.length;
  return entry.covered;
}

// The longest leading part of the sequence whose composed form the code page
// has, in that form (e + U+0301 + U+0302 gives e-acute, and the circumflex
// follows unchanged); nothing when not even the base is there.
size_t CSequenceComposer::ComposeHeadUncached(const char16_t* sequence, size_t length, char16_t* head,
                                              size_t* headLength) {
  size_t part = 0;
  for (int chars = 0; chars <= kMaxMarks && part < length; ++chars) part = NextUtf16(sequence, part, length);
  while (part > 0) {
    const int32_t n = ComposeCanonically(sequence, static_cast<int32_t>(part), head, static_cast<int32_t>(kMaxHead));
    if (n >= 0 && CanEncodeAll(head, static_cast<size_t>(n))) {
      *headLength = static_cast<size_t>(n);
      return part;
    }
    part = PreviousUtf16(sequence, 0, part);
  }
  *headLength = 0;
  return 0;
}
