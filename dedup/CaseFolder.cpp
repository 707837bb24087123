#include "dedup/CaseFolder.h"

#include <cstring>

#include "dedup/CaseGroups.h"
#include "dedup/Utf8FoldTable.h"

namespace {

bool IsAtoZ(uint8_t byte) { return byte >= 'A' && byte <= 'Z'; }

}  // namespace

const CCaseFolder& CCaseFolder::System() {
  static const CCaseFolder folder(CCodePage::System());
  return folder;
}

const CCaseFolder& CCaseFolder::ForSource(SourceText text) {
  static const CCaseFolder atoZ;
  static const CCodePage utf8CodePage("UTF-8");
  static const CCaseFolder utf8(utf8CodePage);
  if (text == SourceText::Utf8) return utf8;
  return text == SourceText::FromUtf16 && CCodePage::System().GetKind() == CCodePage::Kind::Unknown ? atoZ : System();
}

CCaseFolder::CCaseFolder() {
  for (int b = 0; b < 256; ++b) m_table[b] = static_cast<uint8_t>(IsAtoZ(static_cast<uint8_t>(b)) ? b + 32 : b);
}

CCaseFolder::CCaseFolder(const CCodePage& codePage) : CCaseFolder() {
  switch (codePage.GetKind()) {
    case CCodePage::Kind::Utf8:
      m_mode = Mode::Utf8;
      break;
    case CCodePage::Kind::Unknown:
      if (codePage.ReadsCharacters()) {
        m_mode = Mode::Characters;
        m_codePage = &codePage;
      }
      break;
    case CCodePage::Kind::Icu:
      BuildCodePageTables(codePage);
      break;
  }
  for (int b = 0; b < 0x80; ++b) {
    const int atoZ = IsAtoZ(static_cast<uint8_t>(b)) ? b + 32 : b;
    const bool joins = m_codePage && m_codePage->MayJoinBytes(static_cast<uint8_t>(b));
    if (m_bLead[b] || joins || m_table[b] != atoZ) m_bAsciiAtoZ = false;
  }
}

void CCaseFolder::BuildCodePageTables(const CCodePage& codePage) {
  uint8_t out[2];
  CCaseGroups groups;
  auto add = [&](int32_t c) {
    if (c >= 0) groups.Add(c, codePage.EncodeChar(c, out));
  };
  int32_t single[256];
  for (int b = 1; b < 256; ++b) {
    m_bLead[b] = codePage.IsLeadByte(static_cast<uint8_t>(b));
    const auto byte = static_cast<uint8_t>(b);
    single[b] = m_bLead[b] ? -1 : codePage.DecodeChar(&byte, 1);
    add(single[b]);
  }
  std::vector<int32_t> pairs;
  if (codePage.HasLeadBytes()) {
    pairs.assign(65536, -1);
    for (int lead = 1; lead < 256; ++lead) {
      for (int trail = 0; m_bLead[lead] && trail < 256; ++trail) {
        const uint8_t pair[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
        add(pairs[static_cast<size_t>(lead << 8 | trail)] = codePage.DecodeChar(pair, 2));
      }
    }
  }
  groups.Join();

  for (int b = 1; b < 256; ++b) {
    const int32_t folded = single[b] >= 0 ? groups.FoldedForm(single[b], 1) : single[b];
    m_table[b] = folded != single[b] && codePage.EncodeChar(folded, out) == 1 ? out[0] : static_cast<uint8_t>(b);
  }
  if (pairs.empty()) return;

  // Every pair folds to a pair: a character is written back in the code
  // page's own bytes for its folded form (one of several byte pairs for the
  // same character becomes the one the code page writes), or stays as it is
  // when that form takes one byte or none; an invalid pair spans the bytes
  // the code page reads as one, so that what follows is read as it reads it.
  m_mode = Mode::DoubleByte;
  m_double.assign(65536, 0);
  for (int lead = 1; lead < 256; ++lead) {
    for (int trail = 0; m_bLead[lead] && trail < 256; ++trail) {
      const auto at = static_cast<size_t>(lead << 8 | trail);
      const uint8_t pair[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
      const int32_t c = pairs[at];
      const int32_t folded = c >= 0 ? groups.FoldedForm(c, 2) : c;
      const bool refolds = c >= 0 && codePage.EncodeChar(folded, out) == 2;
      const int length = c >= 0 ? 2 : codePage.PairLength(pair);
      m_double[at] = length << 16 | (refolds ? out[0] << 8 | out[1] : lead << 8 | (length == 2 ? trail : 0));
    }
  }
}

size_t CCaseFolder::FoldRoom(size_t length) const {
  return m_mode == Mode::Utf8 ? CUtf8FoldTable::Room(length) : length;
}

bool CCaseFolder::HashOfFolded(const char* src, size_t length, const FingerprintKey& key,
                               LineFingerprint* fingerprint) const {
  return m_mode == Mode::Utf8 && CUtf8FoldTable::Get().HashOfFolded(src, length, key, fingerprint);
}

size_t CCaseFolder::PieceEnd(const char* src, size_t length, size_t limit) const {
  if (m_mode != Mode::Utf8 || limit >= length) return length;
  // A cut before a byte that is not a continuation byte (10xxxxxx) splits no
  // well-formed sequence; nor does one after three continuation bytes, since
  // a sequence holds at most three.
  for (size_t end = limit; end + 3 >= limit && end > 0; --end) {
    if ((static_cast<uint8_t>(src[end]) & 0xC0) != 0x80) return end;
  }
  return limit;
}

size_t CCaseFolder::Fold(const char* src, size_t length, char* dst) const {
  const auto* in = reinterpret_cast<const uint8_t*>(src);
  auto* out = reinterpret_cast<uint8_t*>(dst);
  switch (m_mode) {
    case Mode::Utf8:
      return CUtf8FoldTable::Get().Fold(in, length, out);
    case Mode::DoubleByte:
      FoldDoubleByte(in, length, out);
      break;
    case Mode::Characters:
      FoldCharacters(in, length, out);
      break;
    case Mode::Table:
      for (size_t i = 0; i < length; ++i) out[i] = m_table[in[i]];
      break;
  }
  return length;
}

// A lead byte and the byte after it fold as one character, or as many bytes
// as the code page reads as one; a lead byte at the end stays.
void CCaseFolder::FoldDoubleByte(const uint8_t* src, size_t length, uint8_t* dst) const {
  size_t i = 0;
  while (i < length) {
    const uint8_t b = src[i];
    if (!m_bLead[b]) {
      dst[i] = m_table[b];
      ++i;
      continue;
    }
    if (i + 1 == length) {
      dst[i] = b;
      break;
    }
    const int32_t folded = m_double[static_cast<size_t>(b << 8 | src[i + 1])];
    dst[i] = static_cast<uint8_t>(folded >> 8);
    if ((folded >> 16) == 2) dst[i + 1] = static_cast<uint8_t>(folded);
    i += static_cast<size_t>(folded >> 16);
  }
}

// A byte of A-Z folds only where the code page reads it as that letter on its
// own, not as part of a longer character (GB18030 81 41, a pair after ESC $ B
// in ISO-2022-JP). A line without a byte that may join others is read as
// ASCII, and only a line that has both such a byte and a letter is converted.
void CCaseFolder::FoldCharacters(const uint8_t* src, size_t length, uint8_t* dst) const {
  bool letters = false;
  bool joins = false;
  for (size_t i = 0; i < length; ++i) {
    letters = letters || IsAtoZ(src[i]);
    joins = joins || m_codePage->MayJoinBytes(src[i]);
  }
  if (!joins) {
    for (size_t i = 0; i < length; ++i) dst[i] = m_table[src[i]];
    return;
  }
  if (length > 0) std::memcpy(dst, src, length);
  if (!letters) return;
  m_codePage->ReadCharacters(reinterpret_cast<const char*>(src), length,
                             [src, dst](const char16_t* units, const int32_t* offsets, size_t count) {
                               for (size_t k = 0; k < count; ++k) {
                                 const int32_t at = offsets[k];
                                 if (at >= 0 && units[k] == src[at] && IsAtoZ(src[at]))
                                   dst[at] = static_cast<uint8_t>(src[at] + 32);
                               }
                             });
}
