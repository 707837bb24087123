#include "dedup/LineFingerprinter.h"

#include "dedup/Fingerprints.h"

LineFingerprint CLineFingerprinter::Take(const char* line, int32_t length, bool caseSensitive) {
  const auto size = static_cast<size_t>(length);
  const char* text = line;
  if (!caseSensitive) {
    LineKeyAndCrc folded;
    if (m_folder.FoldsAsciiAsAtoZ() && KeyAndCrc32OfAsciiLowerCase(line, size, &folded)) {
      return {folded.key, folded.crc, length};
    }
    if (m_folded.size() < size) m_folded.resize(size);
    m_folder.Fold(line, size, m_folded.data());
    text = m_folded.data();
  }
  const LineKeyAndCrc both = KeyAndCrc32(text, size);
  return {both.key, both.crc, length};
}
