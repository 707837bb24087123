#include "dedup/LineFingerprinter.h"

#include "dedup/Fingerprints.h"

namespace {

LineFingerprint Fingerprint(LineKeyAndCrc both, uint64_t length) {
  return {both.key, both.crc, static_cast<uint16_t>(length >> 16), LengthCode(length)};
}

}  // namespace

bool CLineFingerprinter::TakeQuickly(const char* line, int32_t length, bool caseSensitive,
                                     LineFingerprint* fingerprint) const {
  const auto size = static_cast<size_t>(length);
  LineKeyAndCrc both;
  if (caseSensitive) {
    both = KeyAndCrc32(line, size);
  } else if (!m_folder->FoldsAsciiAsAtoZ() || !KeyAndCrc32OfAsciiLowerCase(line, size, &both)) {
    return false;
  }
  *fingerprint = Fingerprint(both, static_cast<uint32_t>(length));
  return true;
}

LineFingerprint CLineFingerprinter::Take(const char* line, int32_t length, bool caseSensitive) {
  LineFingerprint quick;
  return TakeQuickly(line, length, caseSensitive, &quick) ? quick : TakeFolded(line, length);
}

LineFingerprint CLineFingerprinter::TakeFolded(const char* line, int32_t length) {
  const auto size = static_cast<size_t>(length);
  LineKeyAndCrc both;
  if (m_folder->KeyAndCrc32OfFolded(line, size, &both)) return Fingerprint(both, static_cast<uint32_t>(length));
  size_t done = 0;
  size_t foldedLength = 0;
  do {
    const size_t end = done + m_folder->PieceEnd(line + done, size - done, kPiece);
    const size_t room = m_folder->FoldRoom(end - done);
    if (m_folded.size() < room) m_folded.resize(room);
    const size_t folded = m_folder->Fold(line + done, end - done, m_folded.data());
    const LineKeyAndCrc piece = KeyAndCrc32(m_folded.data(), folded);
    both = done == 0 ? piece : CombineKeyAndCrc(both, piece, folded);
    foldedLength += folded;
    done = end;
  } while (done < size);
  return Fingerprint(both, foldedLength);
}
