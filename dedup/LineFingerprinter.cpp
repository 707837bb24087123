#include "dedup/LineFingerprinter.h"

bool CLineFingerprinter::TakeQuickly(const char* line, int32_t length, bool caseSensitive,
                                     LineFingerprint* fingerprint) const {
  const auto size = static_cast<size_t>(length);
  if (caseSensitive) {
    *fingerprint = FingerprintOf(*m_key, line, size);
    return true;
  }
  return m_folder->FoldsAsciiAsAtoZ() && FingerprintOfAsciiLowerCase(*m_key, line, size, fingerprint);
}

LineFingerprint CLineFingerprinter::Take(const char* line, int32_t length, bool caseSensitive) {
  LineFingerprint quick;
  const LineFingerprint fingerprint =
      TakeQuickly(line, length, caseSensitive, &quick) ? quick : TakeFolded(line, length);
#if defined(ROWSIFT_TEST_FINGERPRINT_BITS)
  // Only in a build for the tests: so few bits of the hash that different
  // lines of one length share them all, spread over a few parts.
  return {fingerprint.hashLow & 0xC0000000u, fingerprint.hashMid & ((1u << ROWSIFT_TEST_FINGERPRINT_BITS) - 1), 0,
          fingerprint.lengthCode};
#else
  return fingerprint;
#endif
}

LineFingerprint CLineFingerprinter::TakeFolded(const char* line, int32_t length) {
  const auto size = static_cast<size_t>(length);
  LineFingerprint fingerprint;
  if (m_folder->HashOfFolded(line, size, *m_key, &fingerprint)) return fingerprint;
  auto fold = [this, line](size_t from, size_t to) {
    const size_t room = m_folder->FoldRoom(to - from);
    if (m_folded.size() < room) m_folded.resize(room);
    return m_folder->Fold(line + from, to - from, m_folded.data());
  };
  if (m_folder->PieceEnd(line, size, kPiece) == size) {
    const size_t folded = fold(0, size);  // before data(): folding may move the buffer
    return FingerprintOf(*m_key, m_folded.data(), folded);
  }
  CFingerprintStream stream(*m_key);
  for (size_t done = 0; done < size;) {
    const size_t end = done + m_folder->PieceEnd(line + done, size - done, kPiece);
    const size_t folded = fold(done, end);
    stream.Add(m_folded.data(), folded);
    done = end;
  }
  return stream.Finish();
}
